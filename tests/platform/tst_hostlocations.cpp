#include "platform/hostenvironment.h"
#include "platform/hostlocations.h"
#include "tests/support/specialfiles.h"

#include <QCoreApplication>
#include <QLocale>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace pfw;

Q_DECLARE_METATYPE(pfw::PlatformFlavour)

class TestHostLocations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void folders_data();
    void folders();
    void findsFilesInNameOrder();
    void findsFilesFolderByFolder();
    void instances_data();
    void instances();
    void describe_data();
    void describe();
    void candidates_data();
    void candidates();
    void installFolderNeedsBin();
    void userDataFolder_data();
    void userDataFolder();
    void writeProbe();
    void writeProbeNeverFollowsALink_data();
    void writeProbeNeverFollowsALink();
    void helperFolderProblem();
    void theSystemsOwnFolders();

private:
    QString makeFile(const QString &relativePath, qint64 size = 10);
    HostEnvironment environment(PlatformFlavour flavour) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestHostLocations::initTestCase()
{
    // Sizes are shown in the user's locale; the expected texts are written in one.
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
}

void TestHostLocations::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestHostLocations::makeFile(const QString &relativePath, qint64 size)
{
    const QString path = m_dir->filePath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(QByteArray(size, 'x'));
    return path;
}

HostEnvironment TestHostLocations::environment(PlatformFlavour flavour) const
{
    HostEnvironment env;
    env.flavour = flavour;
    env.home = m_dir->filePath(QStringLiteral("home"));
    env.genericConfig = m_dir->filePath(QStringLiteral("config"));
    env.variables = QProcessEnvironment();
    return env;
}

void TestHostLocations::folders_data()
{
    QTest::addColumn<PlatformFlavour>("flavour");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("appData");
    QTest::addColumn<QString>("config");
    QTest::addColumn<QStringList>("folders");
    QTest::newRow("windows") << PlatformFlavour::Windows << "C:/Users/a"
                             << "C:\\Users\\a\\AppData\\Roaming"
                             << "" << QStringList{QStringLiteral("C:/Users/a/AppData/Roaming/Pleiades")};
    QTest::newRow("windows without APPDATA") << PlatformFlavour::Windows << "C:/Users/a"
                                             << ""
                                             << "C:/cfg" << QStringList{};
    QTest::newRow("linux") << PlatformFlavour::Linux << "/home/a"
                           << ""
                           << "/home/a/cfg"
                           << QStringList{QStringLiteral("/home/a/.PixInsight"), QStringLiteral("/home/a/cfg/Pleiades"),
                                          QStringLiteral("/home/a/.config/Pleiades")};
    QTest::newRow("linux config is the default")
        << PlatformFlavour::Linux << "/home/a"
        << ""
        << "/home/a/.config"
        << QStringList{QStringLiteral("/home/a/.PixInsight"), QStringLiteral("/home/a/.config/Pleiades")};
    QTest::newRow("linux keeps backslashes")
        << PlatformFlavour::Linux << "/home/a\\b"
        << ""
        << "" << QStringList{QStringLiteral("/home/a\\b/.PixInsight"), QStringLiteral("/home/a\\b/.config/Pleiades")};
    QTest::newRow("macos") << PlatformFlavour::MacOS << "/Users/a"
                           << ""
                           << ""
                           << QStringList{QStringLiteral("/Users/a/Library/PixInsight"),
                                          QStringLiteral("/Users/a/Library/PixInsight-x64"),
                                          QStringLiteral("/Users/a/Library/Application Support/Pleiades"),
                                          QStringLiteral("/Library/Application Support/Pleiades"),
                                          QStringLiteral("/Users/a/.config/Pleiades")};
}

void TestHostLocations::folders()
{
    QFETCH(PlatformFlavour, flavour);
    QFETCH(QString, home);
    QFETCH(QString, appData);
    QFETCH(QString, config);
    QFETCH(QStringList, folders);
    QCOMPARE(settingsFolders(flavour, home, appData, config), folders);
}

void TestHostLocations::findsFilesInNameOrder()
{
    HostEnvironment env = environment(PlatformFlavour::Windows);
    env.variables.insert(QStringLiteral("APPDATA"), m_dir->filePath(QStringLiteral("roaming")));
    for (const char *name : {"core-002-pxi.settings", "core-001-pxi.settings", "CORE-003-PXI.SETTINGS",
                             "core-abc-pxi.settings", "core-001-pxi.settings.bak-20260101-101010", "other.txt"})
        QVERIFY(!makeFile(QStringLiteral("roaming/Pleiades/") + QLatin1String(name)).isEmpty());
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("roaming/Pleiades/core-009-pxi.settings"))));

    const QString folder = m_dir->filePath(QStringLiteral("roaming/Pleiades/"));
    QCOMPARE(findSettingsFiles(env),
             QStringList(
                 {folder + QLatin1String("CORE-003-PXI.SETTINGS"), folder + QLatin1String("core-001-pxi.settings"),
                  folder + QLatin1String("core-002-pxi.settings"), folder + QLatin1String("core-abc-pxi.settings")}));

    env.variables.remove(QStringLiteral("APPDATA"));
    QVERIFY(findSettingsFiles(env).isEmpty());
    QVERIFY(defaultSettingsFolders(env).isEmpty());
}

void TestHostLocations::findsFilesFolderByFolder()
{
    const HostEnvironment env = environment(PlatformFlavour::Linux);
    const QString late = makeFile(QStringLiteral("home/.config/Pleiades/core-001-pxi.settings"));
    const QString early = makeFile(QStringLiteral("home/.PixInsight/core-002-pxi.settings"));
    QCOMPARE(findSettingsFiles(env), QStringList({early, late}));
}

void TestHostLocations::instances_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("instance");
    QTest::newRow("first") << "/a/core-001-pxi.settings" << 1;
    QTest::newRow("second") << "core-002-pxi.settings" << 2;
    QTest::newRow("zero") << "/a/core-000-pxi.settings" << 0;
    QTest::newRow("capitals") << "/a/CORE-001-PXI.SETTINGS" << 0;
    QTest::newRow("letters") << "/a/core-abc-pxi.settings" << 0;
    QTest::newRow("backup") << "/a/core-001-pxi.settings.bak-20260101-101010" << 0;
    QTest::newRow("huge") << "/a/core-99999999999999999999-pxi.settings" << 0;
    QTest::newRow("folder named like one") << "/core-001-pxi.settings/x" << 0;
}

void TestHostLocations::instances()
{
    QFETCH(QString, path);
    QFETCH(int, instance);
    QCOMPARE(settingsInstance(path), instance);
}

void TestHostLocations::describe_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("start");
    QTest::newRow("instance") << "Pleiades/core-001-pxi.settings" << qint64(312 * 1024 + 1000)
                              << "core-001-pxi.settings - instance 1, 313.0 KiB, ";
    QTest::newRow("other folder") << "backup-copies/core-001-pxi.settings" << qint64(1023)
                                  << "core-001-pxi.settings [backup-copies] - instance 1, 1023 bytes, ";
    QTest::newRow("backup") << "Pleiades/core-001-pxi.settings.bak-20260101-101010" << qint64(2048)
                            << "core-001-pxi.settings.bak-20260101-101010 - backup, 2.0 KiB, ";
    QTest::newRow("capitals") << "Pleiades/CORE-001-PXI.SETTINGS" << qint64(0) << "CORE-001-PXI.SETTINGS - 0 bytes, ";
}

void TestHostLocations::describe()
{
    QFETCH(QString, relativePath);
    QFETCH(qint64, size);
    QFETCH(QString, start);
    const QString path = makeFile(relativePath, size);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QDateTime when(QDate(2025, 3, 14), QTime(9, 26));
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
    file.close();
    QCOMPARE(describeSettingsFile(path), start + QLatin1String("2025-03-14 09:26:00"));
}

void TestHostLocations::candidates_data()
{
    QTest::addColumn<PlatformFlavour>("flavour");
    QTest::addColumn<QStringList>("variables"); // name=value pairs
    QTest::addColumn<bool>("helper");
    QTest::addColumn<QStringList>("systemFolders"); // as Windows reports them
    QTest::addColumn<QStringList>("candidates");
    QTest::newRow("windows duplicates") << PlatformFlavour::Windows
                                        << QStringList{QStringLiteral("ProgramFiles=C:\\Program Files"),
                                                       QStringLiteral("ProgramW6432=C:\\Program Files"),
                                                       QStringLiteral("ProgramFiles(x86)=C:\\Program Files (x86)")}
                                        << false << QStringList{}
                                        << QStringList{QStringLiteral("C:/Program Files/PixInsight"),
                                                       QStringLiteral("C:/Program Files (x86)/PixInsight")};
    QTest::newRow("windows nothing set") << PlatformFlavour::Windows << QStringList{} << false << QStringList{}
                                         << QStringList{QStringLiteral("C:/Program Files/PixInsight")};
    QTest::newRow("windows ignores PIXINSIGHT_DIR")
        << PlatformFlavour::Windows << QStringList{QStringLiteral("PIXINSIGHT_DIR=D:/PI")} << false << QStringList{}
        << QStringList{QStringLiteral("C:/Program Files/PixInsight")};
    QTest::newRow("linux") << PlatformFlavour::Linux << QStringList{} << false << QStringList{}
                           << QStringList{QStringLiteral("/opt/PixInsight")};
    QTest::newRow("linux chosen folder first")
        << PlatformFlavour::Linux << QStringList{QStringLiteral("PIXINSIGHT_DIR=/home/a/PixInsight")} << false
        << QStringList{} << QStringList{QStringLiteral("/home/a/PixInsight"), QStringLiteral("/opt/PixInsight")};
    QTest::newRow("helper ignores chosen folder")
        << PlatformFlavour::Linux << QStringList{QStringLiteral("PIXINSIGHT_DIR=/home/a/PixInsight")} << true
        << QStringList{} << QStringList{QStringLiteral("/opt/PixInsight")};
    QTest::newRow("macos") << PlatformFlavour::MacOS << QStringList{} << false << QStringList{}
                           << QStringList{QStringLiteral("/Applications/PixInsight")};
    // The user sets the environment, even for the elevated helper: it asks Windows instead.
    const QStringList userFolders{QStringLiteral("ProgramFiles=C:\\Users\\a\\fake"),
                                  QStringLiteral("ProgramW6432=C:\\Users\\a\\fake"),
                                  QStringLiteral("ProgramFiles(x86)=C:\\Users\\a\\fake86")};
    const QStringList systemFolders{QStringLiteral("C:\\Program Files"), QStringLiteral("C:\\Program Files (x86)")};
    QTest::newRow("windows helper asks the system") << PlatformFlavour::Windows << userFolders << true << systemFolders
                                                    << QStringList{QStringLiteral("C:/Program Files/PixInsight"),
                                                                   QStringLiteral("C:/Program Files (x86)/PixInsight")};
    QTest::newRow("windows helper, system silent") << PlatformFlavour::Windows << userFolders << true << QStringList{}
                                                   << QStringList{QStringLiteral("C:/Program Files/PixInsight")};
    QTest::newRow("windows editor reads the environment")
        << PlatformFlavour::Windows << userFolders << false << systemFolders
        << QStringList{QStringLiteral("C:/Users/a/fake/PixInsight"), QStringLiteral("C:/Users/a/fake86/PixInsight"),
                       QStringLiteral("C:/Program Files/PixInsight")};
}

void TestHostLocations::candidates()
{
    QFETCH(PlatformFlavour, flavour);
    QFETCH(QStringList, variables);
    QFETCH(bool, helper);
    QFETCH(QStringList, systemFolders);
    QFETCH(QStringList, candidates);
    HostEnvironment env = environment(flavour);
    env.programFilesFolders = systemFolders;
    for (const QString &pair : variables)
        env.variables.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    env.elevatedHelper = helper;
    QCOMPARE(installFolderCandidates(env), candidates);
}

void TestHostLocations::installFolderNeedsBin()
{
    const HostEnvironment env = environment(PlatformFlavour::Linux);
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("first/PixInsight/lib"))));
    makeFile(QStringLiteral("second/PixInsight/bin")); // a file, not a folder
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("third/PixInsight/bin"))));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("x"))));
    const QStringList candidates{QString(), m_dir->filePath(QStringLiteral("first/PixInsight")),
                                 m_dir->filePath(QStringLiteral("second/PixInsight")),
                                 m_dir->path() + QLatin1String("/x/../third//PixInsight/")};
    QCOMPARE(findInstallFolder(candidates, env), m_dir->filePath(QStringLiteral("third/PixInsight")));
    QCOMPARE(findInstallFolder(candidates.mid(0, 3), env), QString());
}

void TestHostLocations::userDataFolder_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("found");
    QTest::newRow("Pleiades") << "Pleiades/core-001-pxi.settings" << true;
    QTest::newRow("any case") << "PLEIADES/core-001-pxi.settings" << true;
    QTest::newRow("elsewhere") << "backup-copies/core-001-pxi.settings" << false;
}

void TestHostLocations::userDataFolder()
{
    QFETCH(QString, relativePath);
    QFETCH(bool, found);
    const QString path = makeFile(relativePath);
    QCOMPARE(userDataFolderFor(path), found ? QFileInfo(path).absolutePath() : QString());
    QCOMPARE(userDataFolderFor(QString()), QString());
}

void TestHostLocations::writeProbe()
{
    const QString file = makeFile(QStringLiteral("folder/core-001-pxi.settings"));
    QVERIFY(canWriteBeside(file));
    QCOMPARE(QDir(QFileInfo(file).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("core-001-pxi.settings")});
    QVERIFY(!canWriteBeside(m_dir->filePath(QStringLiteral("missing/core-001-pxi.settings"))));
    // A file standing where the folder should be: refused even for root.
    QVERIFY(!canWriteBeside(file + QLatin1String("/inside")));
}

// A link planted at a probe's name, whether the fixed name of old or the name about to be
// taken, is neither followed (its target neither truncated nor created) nor removed.
void TestHostLocations::writeProbeNeverFollowsALink_data()
{
    QTest::addColumn<bool>("dangling");
    QTest::newRow("link to a file") << false;
    QTest::newRow("dangling link") << true;
}

void TestHostLocations::writeProbeNeverFollowsALink()
{
    QFETCH(bool, dangling);
    const QString file = makeFile(QStringLiteral("folder/core-001-pxi.settings"));
    const QString folder = QFileInfo(file).absolutePath();
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("outside"))));
    const QString target = dangling ? m_dir->filePath(QStringLiteral("outside/nothing"))
                                    : makeFile(QStringLiteral("outside/precious"), 15);
    const QString oldName = QLatin1String(".prefw-write-test-") + QString::number(QCoreApplication::applicationPid());
    for (const QString &name : {oldName, QStringLiteral(".probe-1")})
        PFW_SYMBOLIC_LINK_OR_SKIP(target, folder + u'/' + name);

    QVERIFY(canWriteBeside(file));
    QStringList names{QStringLiteral(".probe-1"), QStringLiteral(".probe-2")};
    QVERIFY(canWriteBeside(file, [&names] { return names.isEmpty() ? QString() : names.takeFirst(); }));
    QVERIFY(names.isEmpty());
    // Every name taken: no probe, and still nothing followed.
    QVERIFY(!canWriteBeside(file, [] { return QStringLiteral(".probe-1"); }));

    if (dangling)
        QVERIFY(!QFileInfo::exists(target));
    else
        QCOMPARE(QFileInfo(target).size(), 15);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             QStringList({QStringLiteral(".prefw-write-test-") + QString::number(QCoreApplication::applicationPid()),
                          QStringLiteral(".probe-1"), QStringLiteral("core-001-pxi.settings")}));
}

void TestHostLocations::helperFolderProblem()
{
    HostEnvironment env = environment(PlatformFlavour::Linux);
    const QString chosen = m_dir->filePath(QStringLiteral("PixInsight"));
    QVERIFY(QDir().mkpath(chosen + QLatin1String("/bin")));
    env.variables.insert(QStringLiteral("PIXINSIGHT_DIR"), chosen);
    QCOMPARE(findInstallFolder({}, env), chosen);
    const QString problem = helperInstallFolderProblem(chosen, env);
    QVERIFY(problem.contains(QDir::toNativeSeparators(chosen)));
    QVERIFY(problem.contains(QLatin1String("PIXINSIGHT_DIR")));

    // Where the helper finds the same folder by itself there is nothing to say.
    if (QFileInfo(QStringLiteral("/opt/PixInsight/bin")).isDir())
        QVERIFY(helperInstallFolderProblem(QStringLiteral("/opt/PixInsight"), env).isEmpty());
}

// What Windows reports, asked for real: the settings folder under the roaming application data,
// and the installation under each Program Files folder the shell knows (SHGetKnownFolderPath).
void TestHostLocations::theSystemsOwnFolders()
{
#ifndef Q_OS_WIN
    QSKIP("the known folders are Windows'");
#else
    const HostEnvironment system = HostEnvironment::system();
    const QString appData = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
    QVERIFY(!appData.isEmpty());
    QCOMPARE(defaultSettingsFolders(system), QStringList{appData + QLatin1String("/Pleiades")});
    QVERIFY(!system.programFilesFolders.isEmpty());
    const QString programFiles = QDir::fromNativeSeparators(qEnvironmentVariable("ProgramW6432").isEmpty()
                                                                ? qEnvironmentVariable("ProgramFiles")
                                                                : qEnvironmentVariable("ProgramW6432"));
    QCOMPARE(QDir::fromNativeSeparators(system.programFilesFolders.constFirst()).toLower(), programFiles.toLower());
    const QStringList candidates = installFolderCandidates(system);
    QVERIFY2(candidates.contains(programFiles + QLatin1String("/PixInsight"), Qt::CaseInsensitive),
             qPrintable(candidates.join(u'\n')));
    // The elevated helper takes only what the shell reports, whatever the environment says.
    HostEnvironment helper = HostEnvironment::system(true);
    helper.variables.insert(QStringLiteral("ProgramFiles"), QStringLiteral("C:/Planted"));
    const QStringList helperCandidates = installFolderCandidates(helper);
    QVERIFY(!helperCandidates.contains(QStringLiteral("C:/Planted/PixInsight"), Qt::CaseInsensitive));
    QVERIFY(helperCandidates.contains(programFiles + QLatin1String("/PixInsight"), Qt::CaseInsensitive));
#endif
}

QTEST_GUILESS_MAIN(TestHostLocations)
#include "tst_hostlocations.moc"
