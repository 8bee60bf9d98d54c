#include "modules/leftovers.h"
#include "platform/treeremover.h"
#include "platform/elevatedlauncher.h"
#include "platform/hostenvironment.h"
#include "platform/hostprocesses.h"
#include "tests/support/fakehost.h"
#include "tests/support/specialfiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace pfw;

class TestLeftovers : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void safeNames_data();
    void safeNames();
    void paths_data();
    void paths();
    void requests_data();
    void requests();
    void findsAndMeasures();
    void measuringStopsAt50000Files();
    void deletesEverythingNamed();
    void refusals_data();
    void refusals();
    void linkedParentFolderIsNotFollowed();
    void folderLinkInsideGoesTargetStays_data();
    void folderLinkInsideGoesTargetStays();
    void folderJunctionInsideGoesTargetStays();
    void parentSwappedForLinkIsNotFollowed();
    void failuresAreCollected();
    void runningHostStopsEverything();
    void helper_data();
    void helper();

private:
    QString install(const QString &relative = QString()) const;
    QString user(const QString &relative = QString()) const;
    void makeFile(const QString &path, const QByteArray &bytes = "data");
    void makeMireluxLeftovers();
    QStringList everything() const;
    HostEnvironment helperEnvironment() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

static const QString kExtension = HostEnvironment::moduleExtension();

void TestLeftovers::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    for (const char *folder :
         {"Programs/PixInsight/bin", "Programs/PixInsight/lib", "Programs/PixInsight/src/scripts",
          "Programs/PixInsight/doc/tools", "Programs/PixInsight/doc/scripts", "Pleiades", "outside/keep"})
        QVERIFY(QDir().mkpath(m_dir->filePath(QLatin1String(folder))));
    makeFile(m_dir->filePath(QStringLiteral("outside/keep/precious.txt")));
}

QString TestLeftovers::install(const QString &relative) const
{
    const QString root = m_dir->filePath(QStringLiteral("Programs/PixInsight"));
    return relative.isEmpty() ? root : root + u'/' + relative;
}

QString TestLeftovers::user(const QString &relative) const
{
    const QString root = m_dir->filePath(QStringLiteral("Pleiades"));
    return relative.isEmpty() ? root : root + u'/' + relative;
}

void TestLeftovers::makeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void TestLeftovers::makeMireluxLeftovers()
{
    makeFile(install(QStringLiteral("bin/Mirelux-pxm.") + kExtension), QByteArray(1000, 'm'));
    makeFile(install(QStringLiteral("bin/Mirelux-pxm.xsgn")), QByteArray(10, 's'));
    makeFile(install(QStringLiteral("bin/Mirelux/helper.bin")));
    makeFile(install(QStringLiteral("lib/Mirelux/deep/er/lib.so")), QByteArray(300, 'l'));
    makeFile(install(QStringLiteral("lib/Mirelux/.hidden")), QByteArray(7, 'h'));
    makeFile(install(QStringLiteral("src/scripts/Mirelux/run.js")));
    makeFile(install(QStringLiteral("doc/tools/Mirelux/index.html")));
    makeFile(install(QStringLiteral("doc/scripts/Mirelux/index.html")));
    makeFile(user(QStringLiteral("Mirelux/cache.dat")));
    const QString readOnly = install(QStringLiteral("lib/Mirelux/deep/readonly.txt"));
    makeFile(readOnly);
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
    QVERIFY(QFile::setPermissions(install(QStringLiteral("lib/Mirelux/deep/er")),
                                  QFileDevice::ReadOwner | QFileDevice::ExeOwner));
}

QStringList TestLeftovers::everything() const
{
    QStringList all;
    QDirIterator it(m_dir->path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        all << it.next().mid(m_dir->path().size());
    all.sort();
    return all;
}

HostEnvironment TestLeftovers::helperEnvironment() const
{
    HostEnvironment environment;
    environment.flavour = PlatformFlavour::Windows;
    environment.programFilesFolders = QStringList{m_dir->filePath(QStringLiteral("Programs"))};
    return environment;
}

void TestLeftovers::safeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "Mirelux" << true;
    QTest::newRow("digits and signs") << "9Star_X.v2-beta" << true;
    QTest::newRow("64 characters") << QString(64, u'a') << true;
    QTest::newRow("65 characters") << QString(65, u'a') << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("leading dash") << "-rf" << false;
    QTest::newRow("leading dot") << ".hidden" << false;
    QTest::newRow("double dot") << "a..b" << false;
    QTest::newRow("dot dot alone") << ".." << false;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("colon") << "C:" << false;
    QTest::newRow("blank") << "My Module" << false;
    QTest::newRow("reserved") << "Scripts" << false;
    QTest::newRow("reserved in capitals") << "SYSTEM32" << false;
    QTest::newRow("reserved mixed") << "PixInsight" << false;
    QTest::newRow("line feed") << "Mirelux\n" << false;
}

void TestLeftovers::safeNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(isSafeModuleName(name), safe);
    for (int kind = 0; kind < kLeftoverKindCount; ++kind)
        QCOMPARE(leftoverPath(kind, install(), user(), name).isEmpty(), !safe);
}

void TestLeftovers::paths_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("installFolder");
    QTest::addColumn<QString>("userFolder");
    QTest::addColumn<QString>("path");
    QTest::newRow("module file") << 0 << "/opt/PixInsight/"
                                 << ""
                                 << "/opt/PixInsight/bin/M-pxm." + kExtension;
    QTest::newRow("signature") << 1 << "/opt/./PixInsight"
                               << ""
                               << "/opt/PixInsight/bin/M-pxm.xsgn";
    QTest::newRow("bin") << 2 << "/opt//PixInsight"
                         << ""
                         << "/opt/PixInsight/bin/M";
    QTest::newRow("lib") << 3 << "/opt/PixInsight"
                         << ""
                         << "/opt/PixInsight/lib/M";
    QTest::newRow("scripts") << 4 << "/opt/PixInsight"
                             << ""
                             << "/opt/PixInsight/src/scripts/M";
    QTest::newRow("tool docs") << 5 << "/opt/PixInsight"
                               << ""
                               << "/opt/PixInsight/doc/tools/M";
    QTest::newRow("script docs") << 6 << "/opt/PixInsight"
                                 << ""
                                 << "/opt/PixInsight/doc/scripts/M";
    QTest::newRow("user") << 7 << ""
                          << "/home/a/.config/Pleiades/"
                          << "/home/a/.config/Pleiades/M";
    QTest::newRow("user without folder") << 7 << "/opt/PixInsight"
                                         << ""
                                         << "";
    QTest::newRow("install without folder") << 3 << ""
                                            << "/home/a/Pleiades"
                                            << "";
    QTest::newRow("no such kind") << 8 << "/opt/PixInsight"
                                  << "/home/a"
                                  << "";
}

void TestLeftovers::paths()
{
    QFETCH(int, kind);
    QFETCH(QString, installFolder);
    QFETCH(QString, userFolder);
    QFETCH(QString, path);
    QCOMPARE(leftoverPath(kind, installFolder, userFolder, QStringLiteral("M")), path);
}

void TestLeftovers::requests_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("module");
    QTest::newRow("bin") << "bin:Mirelux" << true << 2 << "Mirelux";
    QTest::newRow("user") << "user:Mirelux" << true << 7 << "Mirelux";
    QTest::newRow("second colon kept") << "file:a:b" << true << 0 << "a:b";
    QTest::newRow("empty name") << "lib:" << true << 3 << "";
    QTest::newRow("no colon") << "binMirelux" << false << 0 << "";
    QTest::newRow("leading colon") << ":Mirelux" << false << 0 << "";
    QTest::newRow("key case") << "BIN:Mirelux" << false << 0 << "";
    QTest::newRow("unknown key") << "etc:Mirelux" << false << 0 << "";
}

void TestLeftovers::requests()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, kind);
    QFETCH(QString, module);
    int parsedKind = -1;
    QString parsedModule;
    QCOMPARE(parseLeftoverRequest(text, &parsedKind, &parsedModule), ok);
    if (ok) {
        QCOMPARE(parsedKind, kind);
        QCOMPARE(parsedModule, module);
        Leftover leftover;
        leftover.kind = kind;
        leftover.module = module;
        QCOMPARE(leftoverRequest(leftover), text.section(u':', 0, 0) + u':' + module);
    }
}

void TestLeftovers::findsAndMeasures()
{
    makeMireluxLeftovers();
    const QList<Leftover> found = findLeftovers(install(), user(), QStringLiteral("Mirelux"), true);
    QCOMPARE(found.size(), 8);
    for (int kind = 0; kind < 8; ++kind) {
        QCOMPARE(found.at(kind).kind, kind);
        QCOMPARE(found.at(kind).isFolder, kind >= 2);
        QCOMPARE(found.at(kind).isProtected, kind != 7);
    }
    QCOMPARE(found.at(0).bytes, 1000);
    QCOMPARE(found.at(0).files, 1);
    QCOMPARE(found.at(3).files, 3);
    QCOMPARE(found.at(3).bytes, 300 + 7 + 4);
    QCOMPARE(Leftovers::label(5), QStringLiteral("tool documentation folder"));

    const QList<Leftover> unmeasured = findLeftovers(install(), QString(), QStringLiteral("Mirelux"), false);
    QCOMPARE(unmeasured.size(), 7);
    QCOMPARE(unmeasured.at(3).files, 0);
    // A folder where the module file should be is not a module file.
    QVERIFY(QDir().mkpath(install(QStringLiteral("bin/Other-pxm.") + kExtension)));
    QVERIFY(findLeftovers(install(), user(), QStringLiteral("Other"), false).isEmpty());
    QVERIFY(findLeftovers(install(), user(), QStringLiteral("lib"), false).isEmpty());
}

void TestLeftovers::measuringStopsAt50000Files()
{
#ifdef Q_OS_WIN
    // The count is the same portable code everywhere; Wine takes minutes to make the files.
    QSKIP("50,010 files take Wine several minutes to make");
#endif
    const QString folder = install(QStringLiteral("lib/Huge"));
    QVERIFY(QDir().mkpath(folder + QLatin1String("/a")));
    QVERIFY(QDir().mkpath(folder + QLatin1String("/b")));
    for (int i = 0; i < 50010; ++i) {
        QFile file(folder + (i % 2 ? QLatin1String("/a/") : QLatin1String("/b/")) + QString::number(i));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("xy");
    }
    Leftover huge = findLeftovers(install(), QString(), QStringLiteral("Huge"), false).constFirst();
    measureLeftover(huge);
    QCOMPARE(huge.files, 50000);
    QCOMPARE(huge.bytes, 100000);
}

void TestLeftovers::deletesEverythingNamed()
{
    makeMireluxLeftovers();
    QStringList requests;
    for (const Leftover &leftover : findLeftovers(install(), user(), QStringLiteral("Mirelux"), false))
        requests << leftoverRequest(leftover);
    const LeftoverResult result = deleteLeftovers(install(), user(), requests, false);
    QCOMPARE(result.status, 0);
    QVERIFY(result.message.isEmpty());
    QCOMPARE(result.removed, requests);
    QVERIFY(findLeftovers(install(), user(), QStringLiteral("Mirelux"), false).isEmpty());
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("outside/keep/precious.txt"))));
    QVERIFY(QFileInfo(install(QStringLiteral("lib"))).isDir());
}

void TestLeftovers::refusals_data()
{
    QTest::addColumn<QString>("setup"); // what to put in place before the run
    QTest::addColumn<QString>("request"); // run together with lib:Mirelux, which alone would be fine
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // %1: native path of the request's item
    QTest::newRow("unknown kind") << ""
                                  << "etc:Mirelux" << 4 << "etc:Mirelux is not a recognized request.";
    QTest::newRow("reserved name")
        << ""
        << "bin:Scripts" << 4 << "bin:Scripts is not acceptable (an unsafe name, or a location that is not known).";
    QTest::newRow("path as name")
        << ""
        << "lib:../../../outside" << 4
        << "lib:../../../outside is not acceptable (an unsafe name, or a location that is not known).";
    QTest::newRow("absolute path as name")
        << ""
        << "file:/etc/passwd" << 4
        << "file:/etc/passwd is not acceptable (an unsafe name, or a location that is not known).";
    QTest::newRow("missing") << ""
                             << "scripts:Nothing" << 3 << "%1 does not exist.";
    QTest::newRow("folder for a file") << "dir bin/Other-pxm.EXT"
                                       << "file:Other" << 4 << "%1 is not the kind of item that was asked for.";
    QTest::newRow("file for a folder") << "file doc/tools/Other"
                                       << "tooldocs:Other" << 4 << "%1 is not the kind of item that was asked for.";
    QTest::newRow("link to a folder outside")
        << "link lib/Other -> outside/keep"
        << "lib:Other" << 4 << "%1 is a link to somewhere else and is not touched.";
    QTest::newRow("link to a folder inside")
        << "link bin/Other -> Programs/PixInsight/doc"
        << "bin:Other" << 4 << "%1 is a link to somewhere else and is not touched.";
    QTest::newRow("module file is a link") << "link bin/Other-pxm.EXT -> outside/keep/precious.txt"
                                           << "file:Other" << 4 << "%1 is a link to somewhere else and is not touched.";
    QTest::newRow("dangling link") << "link doc/scripts/Other -> outside/gone"
                                   << "scriptdocs:Other" << 4 << "%1 is a link to somewhere else and is not touched.";
}

void TestLeftovers::refusals()
{
    QFETCH(QString, setup);
    QFETCH(QString, request);
    QFETCH(int, status);
    QFETCH(QString, message);
    makeMireluxLeftovers();
    setup.replace(QLatin1String("EXT"), kExtension);
    const QString relative = setup.section(u' ', 1, 1);
    if (setup.startsWith(QLatin1String("dir ")))
        QVERIFY(QDir().mkpath(install(relative)));
    else if (setup.startsWith(QLatin1String("file ")))
        makeFile(install(relative));
    else if (setup.startsWith(QLatin1String("link ")))
        PFW_SYMBOLIC_LINK_OR_SKIP(m_dir->filePath(setup.section(u' ', 3, 3)), install(relative));
    const QStringList before = everything();

    int kind = 0;
    QString module;
    const QString path
        = parseLeftoverRequest(request, &kind, &module) ? leftoverPath(kind, install(), user(), module) : QString();
    const LeftoverResult result = deleteLeftovers(install(), user(), {QStringLiteral("lib:Mirelux"), request}, false);
    QCOMPARE(result.status, status);
    QCOMPARE(result.message,
             message.contains(QLatin1String("%1")) ? message.arg(QDir::toNativeSeparators(path)) : message);
    QVERIFY(result.removed.isEmpty());
    QCOMPARE(everything(), before);
}

// The helper runs as root: a lib folder that is a link would have it delete wherever the link
// points, so nothing is deleted through one.
void TestLeftovers::linkedParentFolderIsNotFollowed()
{
    QVERIFY(QDir(install(QStringLiteral("lib"))).removeRecursively());
    makeFile(m_dir->filePath(QStringLiteral("otherdrive/lib/Mirelux/a.txt")));
    PFW_SYMBOLIC_LINK_OR_SKIP(m_dir->filePath(QStringLiteral("otherdrive/lib")), install(QStringLiteral("lib")));
    const LeftoverResult result = deleteLeftovers(install(), user(), {QStringLiteral("lib:Mirelux")}, false);
    QCOMPARE(result.status, int(HelperRefused));
    QCOMPARE(result.message,
             QStringLiteral("%1 is reached through the link %2 and is not touched.")
                 .arg(QDir::toNativeSeparators(install(QStringLiteral("lib/Mirelux"))),
                      QDir::toNativeSeparators(install(QStringLiteral("lib")))));
    QVERIFY(QFileInfo::exists(m_dir->filePath(QStringLiteral("otherdrive/lib/Mirelux/a.txt"))));
}

void TestLeftovers::folderLinkInsideGoesTargetStays_data()
{
    QTest::addColumn<bool>("portable");
    QTest::newRow("posix walk") << false;
    QTest::newRow("portable walk") << true;
}

void TestLeftovers::folderLinkInsideGoesTargetStays()
{
    QFETCH(bool, portable);
    makeMireluxLeftovers();
    const QString folder = install(QStringLiteral("lib/Mirelux"));
    PFW_SYMBOLIC_LINK_OR_SKIP(m_dir->filePath(QStringLiteral("outside/keep")), folder + QLatin1String("/linked"));
    PFW_SYMBOLIC_LINK_OR_SKIP(m_dir->filePath(QStringLiteral("outside/keep/precious.txt")),
                              folder + QLatin1String("/file-link"));
    PFW_SYMBOLIC_LINK_OR_SKIP(m_dir->filePath(QStringLiteral("outside/none")), folder + QLatin1String("/dangling"));
    QVERIFY(portable ? removeTreePortable(folder) : removeTree(folder));
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("outside/keep/precious.txt"))));
    QVERIFY(QFileInfo(install(QStringLiteral("lib"))).isDir());
}

// A junction inside a leftover folder goes as an entry; the folder it points at keeps its files.
void TestLeftovers::folderJunctionInsideGoesTargetStays()
{
    makeMireluxLeftovers();
    const QString junction = install(QStringLiteral("lib/Mirelux/deep/moved"));
    if (!pfw::test::makeFolderJunction(m_dir->filePath(QStringLiteral("outside/keep")), junction))
        QSKIP("this system makes no folder links");
    const LeftoverResult result = deleteLeftovers(install(), user(), {QStringLiteral("lib:Mirelux")}, false);
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("outside/keep/precious.txt"))));
    if (pfw::test::runsUnderWine()) {
        // The link stays, and the item is reported as not removed.
        QCOMPARE(result.failedRequests, QStringList{QStringLiteral("lib:Mirelux")});
        QVERIFY(QFileInfo::exists(junction));
        return;
    }
    QCOMPARE(result.message, QString());
    QCOMPARE(result.status, int(HelperDone));
    QVERIFY(!QFileInfo::exists(install(QStringLiteral("lib/Mirelux"))));
}

// A folder on the way that is replaced by a link after the item was checked: the deletion
// must not follow it.
void TestLeftovers::parentSwappedForLinkIsNotFollowed()
{
    makeFile(install(QStringLiteral("doc/tools/Mirelux/index.html")));
    makeFile(m_dir->filePath(QStringLiteral("outside/tools/Mirelux/keep.html")));
    // Only a name of the folder itself is removed, never one that reaches elsewhere.
    for (const char *reaching : {"..", "tools/Mirelux", "tools\\Mirelux"})
        QVERIFY(!removeEntryIn(m_dir->filePath(QStringLiteral("outside")), QLatin1String(reaching), true));
    QVERIFY(!removeEntryIn(m_dir->filePath(QStringLiteral("outside/tools")), QStringLiteral(".."), true));
    const QString checkedParent = QFileInfo(install(QStringLiteral("doc/tools"))).canonicalFilePath();
    QVERIFY(QDir(install(QStringLiteral("doc"))).removeRecursively());
    PFW_SYMBOLIC_LINK_OR_SKIP(m_dir->filePath(QStringLiteral("outside")), install(QStringLiteral("doc")));
    QVERIFY(!removeEntryIn(checkedParent, QStringLiteral("Mirelux"), true));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("outside/tools/Mirelux/keep.html"))));
    // The item changed from a folder to a file since it was checked.
    QVERIFY(
        !removeEntryIn(m_dir->filePath(QStringLiteral("outside/tools/Mirelux")), QStringLiteral("keep.html"), true));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("outside/tools/Mirelux/keep.html"))));
}

void TestLeftovers::failuresAreCollected()
{
    makeMireluxLeftovers();
    // The same item twice: the second finds nothing left to remove.
    const LeftoverResult result = deleteLeftovers(
        install(), user(),
        {QStringLiteral("bin:Mirelux"), QStringLiteral("bin:Mirelux"), QStringLiteral("sig:Mirelux")}, false);
    QCOMPARE(result.status, 5);
    QCOMPARE(result.removed, QStringList({QStringLiteral("bin:Mirelux"), QStringLiteral("sig:Mirelux")}));
    QCOMPARE(result.failedRequests, QStringList{QStringLiteral("bin:Mirelux")});
    QCOMPARE(result.failureNotes,
             QStringList{QStringLiteral("bin:Mirelux: could not be removed (in use, or no permission)")});
    QCOMPARE(result.message,
             QStringLiteral(
                 "Some items could not be removed: bin:Mirelux: could not be removed (in use, or no permission)"));
    QCOMPARE(deleteLeftovers(install(), user(), {}, false).message, QStringLiteral("Nothing was named."));
}

void TestLeftovers::runningHostStopsEverything()
{
    makeMireluxLeftovers();
    const QStringList before = everything();
    test::FakeHost host;
    QVERIFY(host.start(m_dir->path()));
    const qint64 pid = host.pid();
    const auto running = [pid] { return runningHostProcesses().contains(pid); };
    const LeftoverResult result = deleteLeftovers(install(), user(), {QStringLiteral("lib:Mirelux")}, true, running);
    QCOMPARE(result.status, 2);
    QCOMPARE(result.message, QStringLiteral("PixInsight is running. Close it first."));
    QCOMPARE(runLeftoversHelper(
                 {QStringLiteral("--leftovers-helper"), QStringLiteral("delete"), QStringLiteral("lib:Mirelux")},
                 helperEnvironment(), running),
             2);
    host.stop();
    QCOMPARE(everything().size(), before.size() + 1); // only the fake program was added
}

void TestLeftovers::helper_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("deletes");
    const QString selector = QStringLiteral("--leftovers-helper");
    const QString action = QStringLiteral("delete");
    QTest::newRow("too few") << QStringList{selector, action} << true << 6 << false;
    QTest::newRow("wrong selector") << QStringList{QStringLiteral("--installed-updates-helper"), action,
                                                   QStringLiteral("lib:Mirelux")}
                                    << true << 6 << false;
    QTest::newRow("wrong action") << QStringList{selector, QStringLiteral("remove"), QStringLiteral("lib:Mirelux")}
                                  << true << 6 << false;
    QTest::newRow("user data") << QStringList{selector, action, QStringLiteral("lib:Mirelux"),
                                              QStringLiteral("user:Mirelux")}
                               << true << 4 << false;
    QTest::newRow("unknown kind") << QStringList{selector, action, QStringLiteral("lib:Mirelux"),
                                                 QStringLiteral("dll:Mirelux")}
                                  << true << 4 << false;
    QTest::newRow("path as name") << QStringList{selector, action, QStringLiteral("lib:Mirelux"),
                                                 QStringLiteral("lib:../lib")}
                                  << true << 4 << false;
    QTest::newRow("a path instead of a request")
        << QStringList{selector, action, QStringLiteral("/etc")} << true << 4 << false;
    QTest::newRow("no installation") << QStringList{selector, action, QStringLiteral("lib:Mirelux")} << false << 3
                                     << false;
    QTest::newRow("done") << QStringList{selector, action, QStringLiteral("lib:Mirelux"),
                                         QStringLiteral("file:Mirelux")}
                          << true << 0 << true;
}

void TestLeftovers::helper()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, installed);
    QFETCH(int, code);
    QFETCH(bool, deletes);
    makeMireluxLeftovers();
    HostEnvironment environment = helperEnvironment();
    if (!installed)
        environment.programFilesFolders = QStringList{m_dir->filePath(QStringLiteral("nowhere"))};
    // The user's own variables never steer the helper.
    environment.variables.insert(QStringLiteral("ProgramFiles"), m_dir->filePath(QStringLiteral("Programs")));
    environment.variables.insert(QStringLiteral("PIXINSIGHT_DIR"), m_dir->filePath(QStringLiteral("outside")));
    const QStringList before = everything();
    QCOMPARE(runLeftoversHelper(arguments, environment, [] { return false; }), code);
    if (deletes) {
        QVERIFY(!QFileInfo::exists(install(QStringLiteral("lib/Mirelux"))));
        QVERIFY(!QFileInfo::exists(install(QStringLiteral("bin/Mirelux-pxm.") + kExtension)));
        QVERIFY(QFileInfo::exists(user(QStringLiteral("Mirelux"))));
    } else {
        QCOMPARE(everything(), before);
    }
}

QTEST_GUILESS_MAIN(TestLeftovers)
#include "tst_leftovers.moc"
