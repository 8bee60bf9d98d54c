#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"

#include <QFile>
#include <QTest>

using namespace pfw;

class TestDemoFile : public QObject
{
    Q_OBJECT

private slots:
    void bundledCopyMatchesGenerator();
    void demoHasWhatTheViewsNeed_data();
    void demoHasWhatTheViewsNeed();
    void demoHoldsEveryDocumentedVariable();
    void demoHasDuplicateAndSpecialValues();
    void sizedFilesReachTheirSize();
};

static XsdtFile &demo()
{
    static XsdtFile file;
    if (file.root.children.empty() && !file.parse(SettingsGenerator::demo()))
        qFatal("the generated demo does not parse");
    return file;
}

void TestDemoFile::bundledCopyMatchesGenerator()
{
    QFile bundled(QStringLiteral(PFW_SOURCE_DIR "/examples/core-001-pxi.settings"));
    QVERIFY(bundled.open(QIODevice::ReadOnly));
    QCOMPARE(bundled.readAll(), SettingsGenerator::demo());
    QVERIFY(demo().compactLayout);
    QVERIFY(demo().head.startsWith(QStringLiteral("<?xml ")));
}

void TestDemoFile::demoHasWhatTheViewsNeed_data()
{
    QTest::addColumn<QString>("path");
    for (const char *path : {"Global/Preferences/Application/Startup",
                             "Global/Preferences/ScriptEditor/Cache",
                             "Global/Preferences/Identifiers",
                             "Global/Preferences/GUI",
                             "Global/Preferences/ProcessInterface/MireluxInterface",
                             "Global/Statistics/Process",
                             "Global/ColorManagement/DefaultRenderingIntent",
                             "Global/RGBWorkingSpace/sRGBGamma",
                             "ModuleData/Mirelux",
                             "ModuleData/0",
                             "ModuleDataAccess/Mirelux",
                             "ModuleData/ImageCalibration/Interfaces/ImageCalibrationInterface/Geometry",
                             "StarAlignment/Interfaces/StarAlignmentInterface/Geometry",
                             "ScriptData",
                             "CommandHistory",
                             "MainWindow/RecentFiles",
                             "MainWindow/Layout",
                             "DontShowAgain",
                             "LastVersion",
                             "PixInsight",
                             "PixelClipboard",
                             "FileExplorer"})
        QTest::newRow(path) << QString::fromLatin1(path);
}

void TestDemoFile::demoHasWhatTheViewsNeed()
{
    QFETCH(QString, path);
    QVERIFY(demo().root.findPath(path));
}

void TestDemoFile::demoHoldsEveryDocumentedVariable()
{
    QStringList groups;
    for (const char *group :
         {"Application", "MainWindow", "ImageWindow", "Process", "Security", "Workspace", "TransparencyBrush"})
        groups << QStringLiteral("Global/Preferences/") + QLatin1String(group);
    for (const char *group : {"ColorManagement", "FileFormat", "ImageContainerIcon", "Preview", "ProcessIcon",
                              "ScriptIcon", "System", "View", "ViewList"})
        groups << QStringLiteral("Global/") + QLatin1String(group);
    int values = 0;
    for (const QString &path : groups) {
        const XsdtNode *group = demo().root.findPath(path);
        QVERIFY2(group, qPrintable(path));
        values += int(group->children.size());
    }
    QCOMPARE(values, 243 + 2); // Application also has two undocumented subgroups
}

void TestDemoFile::demoHasDuplicateAndSpecialValues()
{
    const XsdtNode *mirelux = demo().root.findPath(u"ModuleData/Mirelux");
    int presets = 0;
    for (const auto &child : mirelux->children)
        presets += child->key == u"LastPreset" ? 1 : 0;
    QCOMPARE(presets, 2);
    QVERIFY(mirelux->childByKey(u"Notes")->value.contains(u'\n'));
    QVERIFY(mirelux->childByKey(u"LastPreset")->value.contains(u'&'));
    const XsdtNode *layout = demo().root.findPath(u"MainWindow/Layout");
    QVERIFY(layout->block);
    QVERIFY(layout->block->data.count("<s ") >= 2);
    const XsdtNode *modules = demo().root.childByKey(u"Modules");
    bool placeholder = false;
    for (const auto &entry : modules->children) {
        placeholder = placeholder || entry->value.startsWith(QStringLiteral("@pxi_bin_dir/"));
        QVERIFY(!entry->value.contains(QStringLiteral("Mirelux")));
    }
    QVERIFY(placeholder);
}

void TestDemoFile::sizedFilesReachTheirSize()
{
    const QByteArray bytes = SettingsGenerator::sized(2 * 1024 * 1024, 3);
    QVERIFY(bytes.size() >= 2 * 1024 * 1024 - 16384);
    QVERIFY(bytes.size() <= 2 * 1024 * 1024 + 65536);
    XsdtFile file;
    QString error;
    QVERIFY2(file.parse(bytes, &error), qPrintable(error));
    QVERIFY(file.compactLayout);
    QCOMPARE(file.root.childByKey(u"ModuleData")->parent, &file.root);

    XsdtFile many;
    QVERIFY(many.parse(SettingsGenerator::withValues(5000)));
    QVERIFY(many.root.valueCount() >= 5000);
}

QTEST_GUILESS_MAIN(TestDemoFile)
#include "tst_demofile.moc"
