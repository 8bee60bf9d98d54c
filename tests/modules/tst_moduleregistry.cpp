#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "modules/moduleregistry.h"
#include "schema/deletionpolicy.h"

#include <QTest>

using namespace pfw;

class TestModuleRegistry : public QObject
{
    Q_OBJECT

private slots:
    void registryNames_data();
    void registryNames();
    void demoModules();
    void dataNamesSkipZeroValuesAndCoreGroups();
    void interfacesBringTheirPreferences();
    void caseMismatchCountsAsUnused();
    void onlyModuleDataIsUnused();
    void find_data();
    void find();
    void valueNodesInOrder();
};

static XsdtFile &sample()
{
    static XsdtFile file;
    if (file.root.children.empty()
        && !file.parse(
            "<xsdt>"
            "<i k=\"Global\"><i k=\"Preferences\"><i k=\"ProcessInterface\"><i k=\"A\"><v k=\"x\" t=\"b\" v=\"true\"/></i>"
            "<i k=\"Mirelux\"/></i></i>"
            "<i k=\"Statistics\"><i k=\"Process\"><i k=\"B\"><v k=\"n\" t=\"u\" v=\"3\"/></i><v k=\"A\" t=\"u\" v=\"1\"/></i></i></i>"
            "<i k=\"Modules\"><v k=\"Module01\" t=\"s\" v=\"C:/x/bin/Other-pxm.DLL\"/>"
            "<v k=\"Module02\" t=\"s\" v=\"@pxi_bin_dir/Mirelux-pxm.dll\"/>"
            "<v k=\"Module03\" t=\"s\" v=\"/opt/PixInsight/bin/Lin-pxm.so\"/><i k=\"Nested\"/></i>"
            "<i k=\"ModuleData\"><i k=\"0\"/><i k=\"Mirelux\"><v k=\"a\" t=\"i\" v=\"1\"/>"
            "<i k=\"Interfaces\"><i k=\"A\"/><i k=\"B\"/></i></i><v k=\"Loose\" t=\"s\" v=\"x\"/>"
            "<i k=\"Other\"><v k=\"o\" t=\"i\" v=\"2\"/></i><i k=\"mirelux\"><v k=\"m\" t=\"i\" v=\"1\"/></i></i>"
            "<i k=\"ModuleDataAccess\"><i k=\"Mirelux\"><v k=\"t\" t=\"t\" v=\"1\"/></i></i>"
            "<i k=\"Mirelux\"><v k=\"top\" t=\"s\" v=\"x\"/></i>"
            "<i k=\"ScriptData\"><i k=\"S\"/></i>"
            "</xsdt>"))
        qFatal("sample settings do not parse");
    return file;
}

void TestModuleRegistry::registryNames_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("name");
    QTest::newRow("full path") << "C:/x/bin/Mirelux-pxm.dll"
                               << "Mirelux";
    QTest::newRow("backslashes") << "C:\\x\\bin\\Mirelux-pxm.dll"
                                 << "Mirelux";
    QTest::newRow("placeholder") << "@pxi_bin_dir/Mirelux-pxm.dll"
                                 << "Mirelux";
    QTest::newRow("shared object") << "/opt/PixInsight/bin/Lin-pxm.so"
                                   << "Lin";
    QTest::newRow("dylib") << "/Applications/PixInsight/bin/Mac-pxm.dylib"
                           << "Mac";
    QTest::newRow("extension case") << "C:/x/bin/Mirelux-pxm.DLL"
                                    << "";
    QTest::newRow("no module") << "C:/x/bin/readme.txt"
                               << "";
    QTest::newRow("bare name") << "Mirelux-pxm.dll"
                               << "Mirelux";
}

void TestModuleRegistry::registryNames()
{
    QFETCH(QString, value);
    QFETCH(QString, name);
    QCOMPARE(registryModuleName(value), name);
}

void TestModuleRegistry::demoModules()
{
    XsdtFile demo;
    QVERIFY(demo.parse(SettingsGenerator::demo()));
    const QStringList registered = registeredModuleNames(demo);
    QVERIFY(registered.contains(QStringLiteral("NoiseWeave")));
    QVERIFY(!registered.contains(QStringLiteral("Mirelux")));
    QStringList unused;
    for (const ModuleInfo &info : unusedModules(demo))
        unused << info.name;
    QVERIFY(unused.contains(QStringLiteral("Mirelux")));
    QVERIFY(!unused.contains(QStringLiteral("NoiseWeave")));
    QVERIFY(!unused.contains(QStringLiteral("Global")));
    const ModuleInfo mirelux = moduleInfo(demo, QStringLiteral("Mirelux"));
    QVERIFY(!mirelux.registered);
    QStringList paths;
    for (const XsdtNode *node : mirelux.dataNodes)
        paths << node->path();
    QCOMPARE(paths,
             QStringList({QStringLiteral("ModuleData/Mirelux"), QStringLiteral("ModuleDataAccess/Mirelux"),
                          QStringLiteral("Global/Statistics/Process/Mirelux"),
                          QStringLiteral("Global/Preferences/ProcessInterface/MireluxInterface")}));
}

void TestModuleRegistry::dataNamesSkipZeroValuesAndCoreGroups()
{
    QCOMPARE(moduleDataNames(sample()),
             QStringList({QStringLiteral("Mirelux"), QStringLiteral("mirelux"), QStringLiteral("Other")}));
    QCOMPARE(registeredModuleNames(sample()), QStringList({QStringLiteral("Lin"), QStringLiteral("Mirelux")}));
    QVERIFY(isCoreGroupName(QStringLiteral("Global")));
    QVERIFY(!isCoreGroupName(QStringLiteral("global")));
    QVERIFY(moduleInfo(sample(), QStringLiteral("Loose")).dataNodes.isEmpty());
}

void TestModuleRegistry::interfacesBringTheirPreferences()
{
    const ModuleInfo info = moduleInfo(sample(), QStringLiteral("Mirelux"));
    QVERIFY(info.registered);
    QCOMPARE(info.registryEntry->key, QStringLiteral("Module02"));
    QStringList paths;
    for (const XsdtNode *node : info.dataNodes)
        paths << node->path();
    // B has statistics only; A's statistics entry is a value and is not collected.
    QCOMPARE(paths,
             QStringList({QStringLiteral("ModuleData/Mirelux"), QStringLiteral("ModuleDataAccess/Mirelux"),
                          QStringLiteral("Mirelux"), QStringLiteral("Global/Preferences/ProcessInterface/Mirelux"),
                          QStringLiteral("Global/Preferences/ProcessInterface/A"),
                          QStringLiteral("Global/Statistics/Process/B")}));
    QCOMPARE(moduleValueCount(info), 1 + 1 + 1 + 1 + 0 + 1 + 1);
}

void TestModuleRegistry::caseMismatchCountsAsUnused()
{
    QStringList unused;
    for (const ModuleInfo &info : unusedModules(sample()))
        unused << info.name;
    QCOMPARE(unused, QStringList({QStringLiteral("mirelux"), QStringLiteral("Other")}));
}

// PixInsight's own groups at the top (a Safe verdict: they are recreated), the settings of its
// standard processes (PixelMath) and empty groups are no module's data.
void TestModuleRegistry::onlyModuleDataIsUnused()
{
    XsdtFile file;
    QVERIFY(
        file.parse("<xsdt><i k=\"PixelClipboard\"><v k=\"w\" t=\"i\" v=\"1\"/></i><i k=\"Favorites\"/>"
                   "<i k=\"PixelMath\"><v k=\"e\" t=\"s\" v=\"$T\"/></i>"
                   "<i k=\"ModuleData\"><i k=\"Empty\"/><i k=\"Gone\"><v k=\"a\" t=\"i\" v=\"1\"/></i></i></xsdt>"));
    DeletionPolicy policy;
    QString error;
    QVERIFY2(policy.loadBuiltIn(&error), qPrintable(error));
    QStringList unused;
    for (const ModuleInfo &info : unusedModules(file, &policy))
        unused << info.name;
    QCOMPARE(unused, QStringList({QStringLiteral("Gone")}));
}

void TestModuleRegistry::find_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("exact ignoring case") << "  MIRELUX " << true
                                         << QStringList{QStringLiteral("Mirelux"), QStringLiteral("mirelux")};
    QTest::newRow("partial") << "relu" << false << QStringList{QStringLiteral("Mirelux"), QStringLiteral("mirelux")};
    QTest::newRow("registered only") << "lin" << true << QStringList{QStringLiteral("Lin")};
    QTest::newRow("nothing") << "zzz" << false << QStringList{};
    QTest::newRow("empty") << "" << false << QStringList{};
}

void TestModuleRegistry::find()
{
    QFETCH(QString, text);
    QFETCH(bool, exact);
    QFETCH(QStringList, names);
    bool wasExact = !exact;
    QStringList found;
    for (const ModuleInfo &info : findModules(sample(), text, &wasExact))
        found << info.name;
    QCOMPARE(found, names);
    QCOMPARE(wasExact, exact);
}

void TestModuleRegistry::valueNodesInOrder()
{
    QStringList paths;
    for (const XsdtNode *node : moduleValueNodes(moduleInfo(sample(), QStringLiteral("Mirelux"))))
        paths << node->path();
    QCOMPARE(paths,
             QStringList({QStringLiteral("Modules/Module02"), QStringLiteral("ModuleData/Mirelux/a"),
                          QStringLiteral("ModuleDataAccess/Mirelux/t"), QStringLiteral("Mirelux/top"),
                          QStringLiteral("Global/Preferences/ProcessInterface/A/x"),
                          QStringLiteral("Global/Statistics/Process/B/n")}));
}

QTEST_GUILESS_MAIN(TestModuleRegistry)
#include "tst_moduleregistry.moc"
