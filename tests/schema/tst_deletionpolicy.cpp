#include "core/xsdtfile.h"
#include "schema/deletionpolicy.h"

#include <QTest>

using namespace pfw;

Q_DECLARE_METATYPE(pfw::DeletionLevel)

class TestDeletionPolicy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void builtInRules();
    void verdicts_data();
    void verdicts();
    void patterns_data();
    void patterns();
    void doubleStarAloneMatchesAllButTheRoot();
    void equalLiteralCountLaterRuleWins();
    void lockedNoiseAndNoCopy_data();
    void lockedNoiseAndNoCopy();
    void warnCandidates();
    void findAll_data();
    void findAll();
    void emptyOverlay();
    void unknownLevelLeavesPolicyEmpty();
    void notJson();
    void cleanupGroups();

private:
    DeletionPolicy m_policy;
    XsdtFile m_file;
};

static const char kTree[]
    = "<xsdt>"
      "<i k=\"Global\">"
      "<i k=\"Statistics\"><i k=\"Process\"><v k=\"Count\" t=\"u\" v=\"1\"/></i><v k=\"Total\" t=\"u\" v=\"2\"/></i>"
      "<i k=\"Preferences\"><i k=\"Application\"><v k=\"Instance\" t=\"i\" v=\"1\"/></i>"
      "<i k=\"ProcessInterface\"><i k=\"X\"/></i><i k=\"ScriptEditor\"><i k=\"Cache\"><v k=\"F\" t=\"s\" v=\"a\"/></i></i></i>"
      "<i k=\"ColorManagement\"><v k=\"IsEnabled\" t=\"b\" v=\"true\"/></i>"
      "<i k=\"UpdateManager\"><i k=\"Repositories\"><i k=\"Main\"><v k=\"Url\" t=\"s\" v=\"x\"/></i></i></i>"
      "<i k=\"FeaturedScripts\"><v k=\"S1\" t=\"s\" v=\"x\"/></i>"
      "<i k=\"FileDialogs\"/>"
      "</i>"
      "<i k=\"ModuleData\"><i k=\"0\"/><i k=\"Mod\"><v k=\"Val\" t=\"i\" v=\"1\"/><i k=\"Interfaces\"><i k=\"ModInterface\">"
      "<i k=\"Geometry\"/></i></i></i></i>"
      "<i k=\"Tool\"><v k=\"Opt\" t=\"s\" v=\"1\"/><i k=\"Interfaces\"><i k=\"ToolInterface\"><i k=\"Geometry\"/></i></i></i>"
      "<v k=\"Stray\" t=\"s\" v=\"1\"/>"
      "<i k=\"ThreadPerformanceOptimization\"/>"
      "<i k=\"Modules\"><v k=\"Module01\" t=\"s\" v=\"x\"/></i>"
      "<i k=\"MainWindow\"><i k=\"RecentFiles\"><v k=\"File01\" t=\"s\" v=\"a\"/></i><v k=\"Layout\" t=\"s\" v=\"x\"/></i>"
      "<i k=\"ScriptData\"><i k=\"Script\"><i k=\"Deep\"><i k=\"Deeper\"/></i></i></i>"
      "<v k=\"LastVersion\" t=\"s\" v=\"1\"/><v k=\"PixInsight\" t=\"s\" v=\"1\"/>"
      "<i k=\"CommandHistory\"/>"
      "<i k=\"ModuleDataAccess\"><i k=\"Mod\"/></i>"
      "<i k=\"Outer\"><i k=\"Mid\"><i k=\"Inner\"/></i></i>"
      "</xsdt>";

void TestDeletionPolicy::initTestCase()
{
    QString error;
    QVERIFY2(m_policy.loadBuiltIn(&error), qPrintable(error));
    QVERIFY(m_file.parse(kTree, &error));
}

void TestDeletionPolicy::builtInRules()
{
    QCOMPARE(m_policy.rules().size(), 60);
    QCOMPARE(
        m_policy.defaultReason(),
        QStringLiteral("This entry is not on the list of entries known to be safe to remove, so it is protected."));
    QCOMPARE(
        m_policy.rules().at(30).reason,
        QStringLiteral(
            "Saved settings of a tool. Deleting resets that tool to its defaults and loses your configuration for it."));
    QVERIFY(m_policy.rules().at(30).groupsOnly);
    QCOMPARE(m_policy.cleanupGroups().size(), 6);
}

void TestDeletionPolicy::verdicts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<DeletionLevel>("level");
    QTest::addColumn<int>("rule"); // 1-based number of the winning rule, 0 for none

    const auto row = [](const char *path, DeletionLevel level, int rule) {
        QTest::newRow(path) << QString::fromLatin1(path) << level << rule;
    };
    const DeletionLevel never = DeletionLevel::Never, warn = DeletionLevel::Warn, safe = DeletionLevel::Safe;
    row("Global", never, 44);
    row("Global/Statistics", safe, 1);
    row("Global/Statistics/Total", safe, 2);
    row("Global/Statistics/Process/Count", safe, 2);
    row("Global/Preferences", never, 46);
    row("Global/Preferences/Application", never, 47);
    row("Global/Preferences/Application/Instance", never, 47);
    row("Global/Preferences/ProcessInterface", safe, 3);
    row("Global/Preferences/ProcessInterface/X", safe, 4);
    row("Global/Preferences/ScriptEditor/Cache", safe, 5);
    row("Global/Preferences/ScriptEditor/Cache/F", safe, 6);
    row("Global/ColorManagement/IsEnabled", never, 48);
    row("Global/UpdateManager", never, 45);
    row("Global/UpdateManager/Repositories/Main", warn, 41);
    row("Global/UpdateManager/Repositories/Main/Url", warn, 42);
    row("Global/FeaturedScripts", warn, 37);
    row("Global/FeaturedScripts/S1", warn, 38);
    row("Global/FileDialogs", safe, 25);
    row("ModuleData", never, 53);
    row("ModuleData/Mod", warn, 33);
    row("ModuleData/Mod/Val", warn, 34);
    row("ModuleData/Mod/Interfaces/ModInterface/Geometry", safe, 17);
    row("Tool", warn, 31);
    row("Tool/Opt", warn, 32);
    row("Tool/Interfaces", warn, 32);
    row("Tool/Interfaces/ToolInterface/Geometry", safe, 19);
    row("Stray", never, 0);
    row("ThreadPerformanceOptimization", warn, 43);
    row("Modules", never, 51);
    row("Modules/Module01", never, 52);
    row("MainWindow", never, 57);
    row("MainWindow/Layout", never, 58);
    row("MainWindow/RecentFiles", safe, 23);
    row("MainWindow/RecentFiles/File01", safe, 24);
    row("ScriptData", never, 56);
    row("ScriptData/Script", warn, 35);
    row("ScriptData/Script/Deep", warn, 36);
    row("LastVersion", never, 59);
    row("PixInsight", never, 60);
    row("CommandHistory", safe, 21);
    row("ModuleDataAccess/Mod", never, 55);
}

void TestDeletionPolicy::verdicts()
{
    QFETCH(QString, path);
    QFETCH(DeletionLevel, level);
    QFETCH(int, rule);
    const XsdtNode *node = m_file.root.findPath(path);
    QVERIFY(node);
    const DeletionVerdict verdict = m_policy.verdict(node);
    QCOMPARE(verdict.level, level);
    QCOMPARE(verdict.reason, rule ? m_policy.rules().at(rule - 1).reason : m_policy.defaultReason());
}

void TestDeletionPolicy::patterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("matches");
    QTest::newRow("exact") << "A/B"
                           << "A/B" << true;
    QTest::newRow("exact is not below") << "A/B"
                                        << "A/B/C" << false;
    QTest::newRow("star is one key") << "A/*"
                                     << "A/B" << true;
    QTest::newRow("star is not two") << "A/*"
                                     << "A/B/C" << false;
    QTest::newRow("recursive below") << "A/**"
                                     << "A/B/C" << true;
    QTest::newRow("recursive not itself") << "A/**"
                                          << "A" << false;
    QTest::newRow("inner double star is a key") << "A/**/C"
                                                << "A/**/C" << true;
    QTest::newRow("inner double star literal") << "A/**/C"
                                               << "A/B/C" << false;
    QTest::newRow("case matters") << "a/b"
                                  << "A/B" << false;
    QTest::newRow("slashes ignored") << "/A//B/"
                                     << "A/B" << true;
}

void TestDeletionPolicy::patterns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, path);
    QFETCH(bool, matches);
    const QStringList keys = path.split(u'/');
    QList<QStringView> parts(keys.cbegin(), keys.cend());
    QCOMPARE(PathPattern(pattern).matches(parts), matches);
}

void TestDeletionPolicy::doubleStarAloneMatchesAllButTheRoot()
{
    DeletionPolicy policy;
    QString error;
    QVERIFY(policy.load("{\"policy\": {\"delete\": [{\"path\": \"**\", \"level\": \"safe\", \"reason\": \"all\"},"
                        "{\"path\": \"//\", \"level\": \"warn\"}]}}",
                        &error));
    QCOMPARE(policy.rules().size(), 1);
    QCOMPARE(policy.verdict(m_file.root.findPath(u"Stray")).level, DeletionLevel::Safe);
    QCOMPARE(policy.verdict(m_file.root.findPath(u"Global/Preferences/Application/Instance")).level,
             DeletionLevel::Safe);
    QCOMPARE(policy.verdict(&m_file.root).level, DeletionLevel::Never);
    QCOMPARE(policy.verdict(nullptr).level, DeletionLevel::Never);
}

void TestDeletionPolicy::equalLiteralCountLaterRuleWins()
{
    DeletionPolicy policy;
    QString error;
    QVERIFY(policy.load("{\"policy\": {\"delete\": ["
                        "{\"path\": \"Tool/*\", \"level\": \"never\", \"reason\": \"first\"},"
                        "{\"path\": \"*/Opt\", \"level\": \"safe\", \"reason\": \"second\"},"
                        "{\"path\": \"Tool/**\", \"level\": \"warn\", \"reason\": \"recursive\"},"
                        "{\"path\": \"Tool\", \"level\": \"warn\", \"groupsOnly\": true, \"reason\": \"\"}]}}",
                        &error));
    const DeletionVerdict opt = policy.verdict(m_file.root.findPath(u"Tool/Opt"));
    QCOMPARE(opt.reason, QStringLiteral("second"));
    QCOMPARE(opt.level, DeletionLevel::Safe);
    const DeletionVerdict tool = policy.verdict(m_file.root.findPath(u"Tool"));
    QCOMPARE(tool.level, DeletionLevel::Warn);
    QCOMPARE(tool.reason, policy.defaultReason());
}

void TestDeletionPolicy::lockedNoiseAndNoCopy_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<bool>("noise");
    QTest::addColumn<bool>("noCopy");
    QTest::newRow("registry entry") << "Modules/Module01" << true << true << true;
    QTest::newRow("registry itself") << "Modules" << false << false << false;
    QTest::newRow("version") << "LastVersion" << true << true << true;
    QTest::newRow("layout") << "MainWindow/Layout" << false << true << true;
    QTest::newRow("safe is noise") << "CommandHistory" << false << true << false;
    QTest::newRow("access record") << "ModuleDataAccess/Mod" << false << true << true;
    QTest::newRow("preference") << "Global/Preferences/Application/Instance" << false << false << false;
    QTest::newRow("module zero") << "ModuleData/0" << false << false << false;
}

void TestDeletionPolicy::lockedNoiseAndNoCopy()
{
    QFETCH(QString, path);
    QFETCH(bool, locked);
    QFETCH(bool, noise);
    QFETCH(bool, noCopy);
    const XsdtNode *node = m_file.root.findPath(path);
    QVERIFY(node);
    QCOMPARE(m_policy.isEditLocked(node), locked);
    QCOMPARE(m_policy.isCompareNoise(node), noise);
    QCOMPARE(m_policy.isCompareNoCopy(node), noCopy);
    QVERIFY(m_policy.isEditLocked(nullptr));
    QVERIFY(m_policy.isCompareNoCopy(nullptr));
    QVERIFY(!m_policy.isCompareNoise(nullptr));
    QVERIFY(!m_policy.isCompareNoise(&m_file.root));
}

void TestDeletionPolicy::warnCandidates()
{
    QStringList paths;
    for (const XsdtNode *node : m_policy.warnCandidates(m_file))
        paths << node->path();
    // Repositories/Main is Warn too, but lies at the fourth level.
    QCOMPARE(paths,
             QStringList({QStringLiteral("Global/FeaturedScripts"), QStringLiteral("ModuleData/0"),
                          QStringLiteral("ModuleData/Mod"), QStringLiteral("Tool"),
                          QStringLiteral("ThreadPerformanceOptimization"), QStringLiteral("ScriptData/Script"),
                          QStringLiteral("Outer")}));
}

void TestDeletionPolicy::findAll_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("paths");
    QTest::newRow("exact") << "Global/FileDialogs" << QStringList{QStringLiteral("Global/FileDialogs")};
    QTest::newRow("wildcards") << "*/Interfaces/*/Geometry"
                               << QStringList{QStringLiteral("Tool/Interfaces/ToolInterface/Geometry")};
    QTest::newRow("module geometry") << "ModuleData/*/Interfaces/*/Geometry"
                                     << QStringList{QStringLiteral("ModuleData/Mod/Interfaces/ModInterface/Geometry")};
    QTest::newRow("values are not descended into") << "Stray/*" << QStringList{};
    QTest::newRow("missing") << "Nope" << QStringList{};
    QTest::newRow("empty") << "" << QStringList{};
}

void TestDeletionPolicy::findAll()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, paths);
    QStringList found;
    for (const XsdtNode *node : DeletionPolicy::findAll(m_file, pattern))
        found << node->path();
    QCOMPARE(found, paths);
}

void TestDeletionPolicy::emptyOverlay()
{
    DeletionPolicy policy;
    QString error;
    QVERIFY(policy.load(" \n", &error));
    const DeletionVerdict verdict = policy.verdict(m_file.root.findPath(u"CommandHistory"));
    QCOMPARE(verdict.level, DeletionLevel::Never);
    QCOMPARE(verdict.reason, QStringLiteral("This entry is not on the list of entries known to be safe to remove."));
    QVERIFY(!policy.isEditLocked(m_file.root.findPath(u"LastVersion")));
    QVERIFY(policy.cleanupGroups().isEmpty());
}

void TestDeletionPolicy::unknownLevelLeavesPolicyEmpty()
{
    DeletionPolicy policy;
    QString error;
    QVERIFY(!policy.load("{\"policy\": {\"defaultReason\": \"kept\", \"delete\": ["
                         "{\"path\": \"CommandHistory\", \"level\": \"safe\"},"
                         "{\"path\": \"X\", \"level\": \"Safe\"}]}, \"editLocked\": [\"LastVersion\"]}",
                         &error));
    QCOMPARE(error, QStringLiteral("overlay.json: unknown delete level 'Safe'"));
    QVERIFY(policy.rules().isEmpty());
    QCOMPARE(policy.verdict(m_file.root.findPath(u"CommandHistory")).reason, QStringLiteral("kept"));

    QVERIFY(!policy.load("{\"policy\": {\"delete\": [{\"path\": \"X\", \"level\": \"%1%2\"}]}}", &error));
    QCOMPARE(error, QStringLiteral("overlay.json: unknown delete level '%1%2'"));
}

void TestDeletionPolicy::notJson()
{
    DeletionPolicy policy;
    QString error;
    QVERIFY(!policy.load("{\"policy\": ", &error));
    QVERIFY2(error.startsWith(QStringLiteral("overlay.json: ")) && error.size() > 14, qPrintable(error));
    QVERIFY(policy.rules().isEmpty());
    QVERIFY(!policy.load("[]", &error));
    QVERIFY(policy.load("{\"policy\": [], \"cleanup\": {}, \"editLocked\": \"x\"}", &error));
    QVERIFY(policy.rules().isEmpty());
}

void TestDeletionPolicy::cleanupGroups()
{
    const CleanupGroup &geometry = m_policy.cleanupGroups().at(2);
    QCOMPARE(geometry.title, QStringLiteral("Window position of each process"));
    QVERIFY(geometry.each);
    QCOMPARE(geometry.paths.size(), 2);
    QVERIFY(!m_policy.cleanupGroups().at(0).each);

    DeletionPolicy policy;
    QString error;
    QVERIFY(policy.load("{\"cleanup\": [{\"title\": \"\", \"paths\": [\"A\"]}, {\"title\": \"T\", \"paths\": []},"
                        "{\"title\": \"Kept\", \"paths\": [\"A\"]}]}",
                        &error));
    QCOMPARE(policy.cleanupGroups().size(), 1);
    QCOMPARE(policy.cleanupGroups().at(0).title, QStringLiteral("Kept"));
}

QTEST_GUILESS_MAIN(TestDeletionPolicy)
#include "tst_deletionpolicy.moc"
