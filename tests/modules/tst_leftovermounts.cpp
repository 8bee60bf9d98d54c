#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// Deletion through the real helper and the walks, with file systems mounted inside (or as) a
// leftover. Mounts are made in a private mount namespace, so they vanish with the process and
// nothing outside this test's folder sees them.
class TestLeftoverMounts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void deletionStaysOnItsOwnMount_data();
    void deletionStaysOnItsOwnMount();

private:
    QString install(const QString &relative) const;
    QStringList everything() const;
    QProcess *runInNamespace(const QString &setup, const QStringList &command, const QString &listed);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
};

// The helper takes no path and looks for PixInsight in /opt/PixInsight only: the test's
// installation is mounted there, in the namespace alone. After the command, the script lists
// the mounted data as the namespace sees it (a tmpfs is gone once the process ends).
static const char kScript[] = R"(root=$1; setup=$2; listed=$3; shift 3
if [ -d /opt/PixInsight ]; then mount --bind "$root/opt/PixInsight" /opt/PixInsight || exit 90
else mount --bind "$root/opt" /opt || exit 90; fi
i=/opt/PixInsight
eval "$setup" || exit 91
"$@"
code=$?
cd "$listed" && find . | LC_ALL=C sort && cat precious.txt
exit $code
)";

void TestLeftoverMounts::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("Mounting file systems needs root; run as root to test deletion across mounts.");
    const QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    QProcess probe;
    probe.start(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("--propagation"), QStringLiteral("private"), QStringLiteral("sh"),
                 QStringLiteral("-c"), QStringLiteral("mount -t tmpfs -o size=1m pfwprobe \"$1\""),
                 QStringLiteral("sh"), scratch.path()});
    if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        QSKIP(qPrintable(QStringLiteral("This system does not allow mounts in a private namespace (unshare -m): %1")
                             .arg(QString::fromLocal8Bit(probe.readAllStandardError()).trimmed())));
}

void TestLeftoverMounts::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    for (const char *folder :
         {"bin", "lib/Mirelux/deep/mnt", "lib/Mirelux/mnt", "src/scripts", "doc/tools/Mirelux", "doc/scripts"})
        QVERIFY(QDir().mkpath(install(QLatin1String(folder))));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("outside/deep"))));
    const QStringList files
        = {install(QStringLiteral("bin/Mirelux-pxm.so")), install(QStringLiteral("lib/Mirelux/a.txt")),
           install(QStringLiteral("lib/Mirelux/deep/b.txt")), m_dir->filePath(QStringLiteral("outside/precious.txt")),
           m_dir->filePath(QStringLiteral("outside/deep/kept.txt"))};
    for (const QString &path : files) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me\n");
    }
}

QString TestLeftoverMounts::install(const QString &relative) const
{
    return m_dir->filePath(QStringLiteral("opt/PixInsight/") + relative);
}

QStringList TestLeftoverMounts::everything() const
{
    QStringList all;
    QDirIterator it(m_dir->path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        all << it.next().mid(m_dir->path().size() + 1);
    all.sort();
    return all;
}

QProcess *TestLeftoverMounts::runInNamespace(const QString &setup, const QStringList &command, const QString &listed)
{
    m_process = std::make_unique<QProcess>();
    // Private propagation, so that no mount made here reaches the system's own namespace.
    m_process->start(QStringLiteral("unshare"),
                     QStringList{QStringLiteral("-m"), QStringLiteral("--propagation"), QStringLiteral("private"),
                                 QStringLiteral("sh"), QStringLiteral("-c"), QString::fromLatin1(kScript),
                                 QStringLiteral("sh"), m_dir->path(), setup, listed}
                         + command);
    m_process->waitForFinished(60000);
    return m_process.get();
}

void TestLeftoverMounts::deletionStaysOnItsOwnMount_data()
{
    QTest::addColumn<QString>("setup"); // shell lines run in the namespace; $i is the installation
    QTest::addColumn<QStringList>("command"); // run in the namespace after the setup
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("mounted"); // where the outside data shows in the namespace
    QTest::addColumn<QStringList>("removed"); // all that may go, relative to the test folder

    const QString bindInside = QStringLiteral(R"(mount --bind "$root/outside" "$i/lib/Mirelux/mnt")");
    const QString tmpfsInside = QStringLiteral(R"(mount -t tmpfs -o size=1m pfwtest "$i/lib/Mirelux/mnt" && )"
                                               R"(cp -a "$root/outside/." "$i/lib/Mirelux/mnt/")");
    const QString bindDeep = QStringLiteral(R"(mount --bind "$root/outside" "$i/lib/Mirelux/deep/mnt")");
    const QString bindItem = QStringLiteral(R"(mount --bind "$root/outside" "$i/doc/tools/Mirelux")");
    const QString tmpfsItem = QStringLiteral(R"(mount -t tmpfs -o size=1m pfwtest "$i/doc/tools/Mirelux" && )"
                                             R"(cp -a "$root/outside/." "$i/doc/tools/Mirelux/")");
    const QString inside = QStringLiteral("/opt/PixInsight/lib/Mirelux/mnt");
    const QString deep = QStringLiteral("/opt/PixInsight/lib/Mirelux/deep/mnt");
    const QString item = QStringLiteral("/opt/PixInsight/doc/tools/Mirelux");
    const QString helper = QStringLiteral(PFW_EXECUTABLE);
    const QString walker = QStringLiteral(PFW_TREEWALKER);
    const QStringList deleteLib
        = {helper, QStringLiteral("--leftovers-helper"), QStringLiteral("delete"), QStringLiteral("lib:Mirelux")};
    // The module file is fine on its own: a refusal must keep it too.
    const QStringList deleteItem = {helper, QStringLiteral("--leftovers-helper"), QStringLiteral("delete"),
                                    QStringLiteral("file:Mirelux"), QStringLiteral("tooldocs:Mirelux")};
    const QStringList libOutsideMount = {
        QStringLiteral("opt/PixInsight/lib/Mirelux/a.txt"), QStringLiteral("opt/PixInsight/lib/Mirelux/deep"),
        QStringLiteral("opt/PixInsight/lib/Mirelux/deep/b.txt"), QStringLiteral("opt/PixInsight/lib/Mirelux/deep/mnt")};
    const QStringList libOutsideDeepMount
        = {QStringLiteral("opt/PixInsight/lib/Mirelux/a.txt"), QStringLiteral("opt/PixInsight/lib/Mirelux/deep/b.txt"),
           QStringLiteral("opt/PixInsight/lib/Mirelux/mnt")};

    QTest::newRow("helper, same-disk bind mount inside") << bindInside << deleteLib << 5 << inside << libOutsideMount;
    QTest::newRow("helper, tmpfs inside") << tmpfsInside << deleteLib << 5 << inside << libOutsideMount;
    QTest::newRow("helper, item is a same-disk bind mount") << bindItem << deleteItem << 4 << item << QStringList();
    QTest::newRow("helper, item is a tmpfs") << tmpfsItem << deleteItem << 4 << item << QStringList();
    QTest::newRow("posix walk, bind mount two levels down")
        << bindDeep << QStringList{walker, QStringLiteral("posix"), QStringLiteral("/opt/PixInsight/lib/Mirelux")} << 1
        << deep << libOutsideDeepMount;
    QTest::newRow("portable walk, bind mount two levels down")
        << bindDeep << QStringList{walker, QStringLiteral("portable"), QStringLiteral("/opt/PixInsight/lib/Mirelux")}
        << 1 << deep << libOutsideDeepMount;
}

void TestLeftoverMounts::deletionStaysOnItsOwnMount()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, command);
    QFETCH(int, code);
    QFETCH(QString, mounted);
    QFETCH(QStringList, removed);
    QStringList expected = everything();
    for (const QString &path : removed)
        QVERIFY2(expected.removeOne(path), qPrintable(path));

    QProcess *process = runInNamespace(setup, command, mounted);
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), code);
    QCOMPARE(QString::fromLocal8Bit(process->readAllStandardOutput()),
             QStringLiteral(".\n./deep\n./deep/kept.txt\n./precious.txt\nkeep me\n"));
    QCOMPARE(everything(), expected);
}

QTEST_GUILESS_MAIN(TestLeftoverMounts)
#include "tst_leftovermounts.moc"
