#include "schema/readablevalue.h"
#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "schema/jsondocument.h"
#include "schema/settingsschema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <limits>

using namespace pfw;

Q_DECLARE_METATYPE(pfw::WidgetKind)

class TestSettingsSchema : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void builtInVariables();
    void builtInQuotedDescriptions_data();
    void builtInQuotedDescriptions();
    void humanize_data();
    void humanize();
    void variableIds_data();
    void variableIds();
    void widgetKinds_data();
    void widgetKinds();
    void ranges_data();
    void ranges();
    void choicesAndDescriptions();
    void readableValues_data();
    void readableValues();
    void refinementWithoutDocumentation();
    void pagesOfTheDemo();
    void pagesSkipMissingAndAddUnknownGroups();
    void hiddenPaths();
    void badDocuments_data();
    void badDocuments();
    void wrongMemberTypesAreIgnored();

private:
    XsdtNode *value(const QString &path, QChar type = u'i');

    SettingsSchema m_schema;
    XsdtFile m_file;
};

void TestSettingsSchema::initTestCase()
{
    QString error;
    QVERIFY2(m_schema.loadBuiltIn(&error), qPrintable(error));
    QVERIFY(m_file.parse(SettingsGenerator::demo()));
}

// A detached value node with the given path, for lookups by path and type.
XsdtNode *TestSettingsSchema::value(const QString &path, QChar type)
{
    XsdtNode *parent = &m_file.root;
    const QStringList keys = path.split(u'/');
    for (qsizetype i = 0; i + 1 < keys.size(); ++i) {
        XsdtNode *next = parent->childByKey(keys.at(i));
        if (!next || next->kind != XsdtNode::Item) {
            auto item = std::make_unique<XsdtNode>();
            item->key = keys.at(i);
            next = parent->appendChild(std::move(item));
        }
        parent = next;
    }
    auto node = std::make_unique<XsdtNode>();
    node->kind = XsdtNode::Value;
    node->key = keys.constLast();
    node->type = type;
    return parent->appendChild(std::move(node));
}

void TestSettingsSchema::builtInVariables()
{
    QJsonObject globals;
    QString error;
    QVERIFY(readJsonObject(resourceBytes(QStringLiteral(":/schema/globals.json")), QStringLiteral("globals.json"),
                           &globals, &error));
    const QJsonObject variables = globals.value(QLatin1String("variables")).toObject();
    QCOMPARE(variables.size(), 243);
    QHash<QString, int> types;
    int readOnly = 0;
    for (auto it = variables.constBegin(); it != variables.constEnd(); ++it) {
        QCOMPARE(it.key().count(u'/'), 1);
        const QJsonObject entry = it.value().toObject();
        ++types[entry.value(QLatin1String("type")).toString()];
        if (entry.value(QLatin1String("readOnly")).toBool()) {
            ++readOnly;
            const QString description = entry.value(QLatin1String("description")).toString();
            QVERIFY2(description.contains(QLatin1String("Read-only."))
                         || description.contains(QLatin1String("Write-only.")),
                     qPrintable(it.key()));
        }
    }
    QCOMPARE(types.value(QStringLiteral("b")), 107);
    QCOMPARE(types.value(QStringLiteral("s")), 85);
    QCOMPARE(types.value(QStringLiteral("i")), 33);
    QCOMPARE(types.value(QStringLiteral("F")), 12);
    QCOMPARE(types.value(QStringLiteral("u")), 6);
    QCOMPARE(readOnly, 36);

    QJsonObject overlay;
    QVERIFY(readJsonObject(resourceBytes(QStringLiteral(":/schema/overlay.json")), QStringLiteral("overlay.json"),
                           &overlay, &error));
    QCOMPARE(overlay.keys().size(), 10);
}

void TestSettingsSchema::builtInQuotedDescriptions_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("description");
    QTest::newRow("scaling") << "Application/UIScalingFactor"
                             << "Global interface scaling factor of the core application. In the range [1.0,4.0].";
    QTest::newRow("opacity") << "MainWindow/MovingWindowOpacity"
                             << "Window opacity in the [0,1] range.";
    QTest::newRow("write-only")
        << "ColorManagement/UpdateMonitorProfile"
        << "Full path to the scheduled new ICC color profile for the primary monitor. Write-only. "
           "See the documentation for ColorManagementSetup.";
    QTest::newRow("instance") << "Application/Instance"
                              << QString::fromUtf8("The running application's instance number (\xE2\x89\xA5 1).");
    QTest::newRow("processors") << "System/NumberOfProcessors"
                                << "Total number of processor cores available. Read-only.";
    QTest::newRow("bundle") << "Application/AppDirectory"
                            << "Full path to the distribution's core application bundle. Read-only. macOS only.";
    QTest::newRow("button order") << "Application/MessageBoxOkCancelButtonOrder"
                                  << "0 = default, 1 = Ok/Cancel, 2 = Cancel/Ok";
    QTest::newRow("brush") << "TransparencyBrush/Brush"
                           << "See the pcl::BackgroundBrush namespace.";
}

void TestSettingsSchema::builtInQuotedDescriptions()
{
    QFETCH(QString, id);
    QFETCH(QString, description);
    QJsonObject globals;
    QString error;
    QVERIFY(readJsonObject(resourceBytes(QStringLiteral(":/schema/globals.json")), QStringLiteral("globals.json"),
                           &globals, &error));
    const QJsonObject entry = globals.value(QLatin1String("variables")).toObject().value(id).toObject();
    QCOMPARE(entry.value(QLatin1String("description")).toString(), description);
}

void TestSettingsSchema::humanize_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("label");
    QTest::newRow("words") << "MaxModuleThreadPriority"
                           << "Max module thread priority";
    QTest::newRow("inner acronym") << "AutoSavePSMPeriod"
                                   << "Auto save PSM period";
    QTest::newRow("underscore") << "CIP_ITRSDataFile"
                                << "CIP ITRS data file";
    QTest::newRow("plural acronym inside") << "OpenURLsWithInternalBrowser"
                                           << "Open URLs with internal browser";
    QTest::newRow("plural acronym at end") << "UseLowResolutionCLUTs"
                                           << "Use low resolution CLUTs";
    QTest::newRow("digits") << "WallpaperFile01"
                            << "Wallpaper file 01";
    QTest::newRow("leading acronym") << "RGBWorkingSpace"
                                     << "RGB working space";
    QTest::newRow("lower first") << "sRGBGamma"
                                 << "S RGB gamma";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("underscores only") << "__"
                                      << "";
    QTest::newRow("single letter") << "x"
                                   << "X";
    QTest::newRow("digit after upper") << "Module3D"
                                       << "Module 3 d";
}

void TestSettingsSchema::humanize()
{
    QFETCH(QString, key);
    QFETCH(QString, label);
    QCOMPARE(SettingsSchema::humanizeKey(key), label);
}

void TestSettingsSchema::variableIds_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("id");
    QTest::newRow("preference") << "Global/Preferences/Process/MaxProcessors"
                                << "Process/MaxProcessors";
    QTest::newRow("global") << "Global/ColorManagement/ProofingIntent"
                            << "ColorManagement/ProofingIntent";
    QTest::newRow("module data") << "ModuleData/Mirelux/Strength"
                                 << "ModuleData/Mirelux/Strength";
    QTest::newRow("preferences only once") << "Global/Preferences/Preferences/X"
                                           << "Preferences/X";
}

void TestSettingsSchema::variableIds()
{
    QFETCH(QString, path);
    QFETCH(QString, id);
    QCOMPARE(SettingsSchema::variableId(*value(path)), id);
}

void TestSettingsSchema::widgetKinds_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QChar>("type");
    QTest::addColumn<WidgetKind>("kind");
    QTest::newRow("colour") << "Global/ColorManagement/GamutWarningColor" << QChar(u'u') << WidgetKind::Color;
    QTest::newRow("plain unsigned") << "Global/Preferences/ImageWindow/WheelStepAngle" << QChar(u'u')
                                    << WidgetKind::UInt;
    QTest::newRow("foreground with digits") << "X/Foreground2" << QChar(u'u') << WidgetKind::Color;
    QTest::newRow("colour name as int") << "X/BackgroundColor" << QChar(u'i') << WidgetKind::Int;
    QTest::newRow("directory") << "Global/Preferences/ImageWindow/DownloadsDirectory" << QChar(u's')
                               << WidgetKind::Directory;
    QTest::newRow("file") << "Global/Preferences/Application/StyleSheetFile" << QChar(u's') << WidgetKind::File;
    QTest::newRow("numbered file") << "Global/Preferences/Application/ResourceFile10" << QChar(u's')
                                   << WidgetKind::File;
    QTest::newRow("file path") << "X/ProfilePath" << QChar(u's') << WidgetKind::File;
    QTest::newRow("url is text") << "Global/Preferences/ImageWindow/ProxyURL" << QChar(u's') << WidgetKind::Text;
    QTest::newRow("case matters") << "X/Somefile" << QChar(u's') << WidgetKind::Text;
    QTest::newRow("time is text") << "X/StartFile" << QChar(u't') << WidgetKind::File;
    QTest::newRow("bool") << "Global/Preferences/Security/ReportModuleSignatures" << QChar(u'b') << WidgetKind::Bool;
    QTest::newRow("single") << "X/Amount" << QChar(u'f') << WidgetKind::Real;
    QTest::newRow("unknown code") << "X/Thing" << QChar(u'x') << WidgetKind::Text;
    QTest::newRow("choice") << "Global/Preferences/ImageWindow/DefaultMaskMode" << QChar(u'i') << WidgetKind::Choice;
    QTest::newRow("choices need an integer")
        << "Global/Preferences/ImageWindow/DefaultMaskMode" << QChar(u'F') << WidgetKind::Real;
}

void TestSettingsSchema::widgetKinds()
{
    QFETCH(QString, path);
    QFETCH(QChar, type);
    QFETCH(WidgetKind, kind);
    QCOMPARE(m_schema.spec(*value(path, type)).kind, kind);
}

void TestSettingsSchema::ranges_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QChar>("type");
    QTest::addColumn<bool>("hasRange");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    const double largest = std::numeric_limits<double>::max();
    QTest::newRow("opacity from description")
        << "Global/Preferences/MainWindow/ActiveWindowOpacity" << QChar(u'F') << true << 0.0 << 1.0;
    QTest::newRow("scaling from description")
        << "Global/Preferences/Application/UIScalingFactor" << QChar(u'F') << true << 1.0 << 4.0;
    QTest::newRow("description range needs a number")
        << "Global/Preferences/MainWindow/ActiveWindowOpacity" << QChar(u's') << false << 0.0 << 0.0;
    QTest::newRow("only a lower bound") << "Global/Preferences/Process/MaxProcessors" << QChar(u'i') << true << 1.0
                                        << largest;
    QTest::newRow("both bounds") << "Global/Preferences/Process/MaxModuleThreadPriority" << QChar(u'i') << true << 0.0
                                 << 7.0;
    QTest::newRow("refined real") << "Global/RGBWorkingSpace/Gamma" << QChar(u'F') << true << 0.1 << 10.0;
    QTest::newRow("none") << "Global/Preferences/Process/MaxConsoleLines" << QChar(u'i') << false << 0.0 << 0.0;
}

void TestSettingsSchema::ranges()
{
    QFETCH(QString, path);
    QFETCH(QChar, type);
    QFETCH(bool, hasRange);
    QFETCH(double, min);
    QFETCH(double, max);
    const VariableSpec spec = m_schema.spec(*value(path, type));
    QCOMPARE(spec.hasRange, hasRange);
    QCOMPARE(spec.min, min);
    QCOMPARE(spec.max, max);
}

void TestSettingsSchema::readableValues_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QChar>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    const QString gamut = QStringLiteral("Global/ColorManagement/GamutWarningColor");
    const QString intent = QStringLiteral("Global/ColorManagement/DefaultRenderingIntent");
    QTest::newRow("opaque colour") << gamut << QChar(u'u') << "4294902015"
                                   << "#FF00FF";
    QTest::newRow("translucent colour") << gamut << QChar(u'u') << "2147483648"
                                        << "#000000 (alpha 128)";
    QTest::newRow("colour that is no number") << gamut << QChar(u'u') << "red"
                                              << "red";
    QTest::newRow("colour beyond 32 bits") << gamut << QChar(u'u') << "4294967296"
                                           << "4294967296";
    QTest::newRow("known choice") << intent << QChar(u'i') << "2"
                                  << "Relative colorimetric";
    QTest::newRow("unknown choice") << intent << QChar(u'i') << "9"
                                    << "9";
    QTest::newRow("plain number") << QStringLiteral("Global/Preferences/Process/MaxProcessors") << QChar(u'i') << "8"
                                  << "8";
}

// The lists that only show a value show it as its editor does, and never hide a value its
// meaning does not fit.
void TestSettingsSchema::readableValues()
{
    QFETCH(QString, path);
    QFETCH(QChar, type);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    const XsdtNode *node = value(path, type);
    QCOMPARE(ReadableValue::text(&m_schema, *node, text), shown);
    QCOMPARE(ReadableValue::colour(&m_schema, *node, text).has_value(), shown.startsWith(u'#'));
    QCOMPARE(ReadableValue::text(nullptr, *node, text), text);
}

void TestSettingsSchema::choicesAndDescriptions()
{
    const VariableSpec intent = m_schema.spec(*value(QStringLiteral("Global/ColorManagement/DefaultRenderingIntent")));
    QCOMPARE(intent.kind, WidgetKind::Choice);
    QCOMPARE(intent.choices.size(), 4);
    QCOMPARE(intent.choices.at(2).value, 2);
    QCOMPARE(intent.choices.at(2).text, QStringLiteral("Relative colorimetric"));
    QVERIFY(intent.description.isEmpty());
    QVERIFY(intent.documented);

    QCOMPARE(m_schema.spec(*value(QStringLiteral("Global/ColorManagement/OnMissingProfile"))).description,
             QStringLiteral("Core application policies."));
    QCOMPARE(m_schema.spec(*value(QStringLiteral("Global/Preferences/ImageWindow/DefaultHorizontalResolution"), u'F'))
                 .description,
             QStringLiteral("In device pixels per resolution unit."));
    QCOMPARE(m_schema.spec(*value(QStringLiteral("Global/Preferences/Process/MaxModuleThreadPriority"))).description,
             QStringLiteral("Maximum thread priority for modules: 0 = idle ... 7 = real-time."));

    const VariableSpec autoScaling
        = m_schema.spec(*value(QStringLiteral("Global/Preferences/Application/AutoUIScaling"), u'b'));
    QVERIFY(autoScaling.documented);
    QVERIFY(autoScaling.description.isEmpty());
    QCOMPARE(autoScaling.label, QStringLiteral("Auto UI scaling"));

    const VariableSpec processors = m_schema.spec(*value(QStringLiteral("Global/System/NumberOfProcessors")));
    QVERIFY(processors.readOnly);

    const VariableSpec module = m_schema.spec(*value(QStringLiteral("ModuleData/Mirelux/Strength"), u'F'));
    QVERIFY(!module.documented);
    QVERIFY(!module.readOnly);
    QCOMPARE(module.label, QStringLiteral("Strength"));
}

void TestSettingsSchema::refinementWithoutDocumentation()
{
    const VariableSpec gamma = m_schema.spec(*value(QStringLiteral("Global/RGBWorkingSpace/sRGBGamma"), u'b'));
    QCOMPARE(gamma.label, QStringLiteral("Use the sRGB gamma function"));
    QVERIFY(!gamma.documented);
}

void TestSettingsSchema::pagesOfTheDemo()
{
    XsdtFile demo;
    QVERIFY(demo.parse(SettingsGenerator::demo()));
    QStringList titles;
    for (const PageSpec &page : m_schema.pages(demo))
        titles << page.title;
    QCOMPARE(
        titles,
        QStringList({QStringLiteral("Application"), QStringLiteral("Main Window"), QStringLiteral("Image Windows"),
                     QStringLiteral("Processes"), QStringLiteral("Color Management"),
                     QStringLiteral("RGB Working Space"), QStringLiteral("Readout Options"),
                     QStringLiteral("Script Editor"), QStringLiteral("Identifiers and GUI"), QStringLiteral("Security"),
                     QStringLiteral("Transparency brush"), QStringLiteral("Workspace")}));
    QCOMPARE(m_schema.pages(demo).at(8).paths.size(), 2);
}

void TestSettingsSchema::pagesSkipMissingAndAddUnknownGroups()
{
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><i k=\"Global\"><i k=\"Preferences\"><i k=\"GUI\"/><i k=\"ProcessInterface\"/>"
                       "<v k=\"Loose\" t=\"s\" v=\"1\"/><i k=\"AstrometrySolver\"/></i></i></xsdt>"));
    const QList<PageSpec> pages = m_schema.pages(file);
    QCOMPARE(pages.size(), 2);
    QCOMPARE(pages.at(0).title, QStringLiteral("Identifiers and GUI"));
    QCOMPARE(pages.at(0).paths, QStringList{QStringLiteral("Global/Preferences/GUI")});
    QCOMPARE(pages.at(1).title, QStringLiteral("Astrometry solver"));
    QCOMPARE(pages.at(1).paths, QStringList{QStringLiteral("Global/Preferences/AstrometrySolver")});
}

void TestSettingsSchema::hiddenPaths()
{
    XsdtFile demo;
    QVERIFY(demo.parse(SettingsGenerator::demo()));
    QVERIFY(m_schema.isHidden(*demo.root.findPath(u"Global/Preferences/ScriptEditor/Cache")));
    QVERIFY(!m_schema.isHidden(*demo.root.findPath(u"Global/Preferences/ScriptEditor")));
}

void TestSettingsSchema::badDocuments_data()
{
    QTest::addColumn<QByteArray>("globals");
    QTest::addColumn<QByteArray>("overlay");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("errorStart");
    const QByteArray globals
        = "{\"variables\": {\"Process/MaxProcessors\": {\"type\": \"i\", \"description\": \"x\", \"readOnly\": false}}}";
    QTest::newRow("white-space overlay") << globals << QByteArray(" \n\t ") << true << "";
    QTest::newRow("empty both") << QByteArray() << QByteArray() << true << "";
    QTest::newRow("overlay not JSON") << globals << QByteArray("{ nope") << false << "overlay.json: ";
    QTest::newRow("globals not JSON") << QByteArray("[1,") << QByteArray("{}") << false << "globals.json: ";
    QTest::newRow("globals an array") << QByteArray("[1, 2]") << QByteArray("{}") << false << "globals.json: ";
    QTest::newRow("overlay a string") << globals << QByteArray("\"text\"") << false << "overlay.json: ";
}

void TestSettingsSchema::badDocuments()
{
    QFETCH(QByteArray, globals);
    QFETCH(QByteArray, overlay);
    QFETCH(bool, ok);
    QFETCH(QString, errorStart);
    SettingsSchema schema;
    QString error;
    QCOMPARE(schema.load(globals, overlay, &error), ok);
    if (!ok) {
        QVERIFY2(error.startsWith(errorStart) && error.size() > errorStart.size(), qPrintable(error));
        // A failed load leaves nothing behind, not even the documents read before the bad one.
        QVERIFY(!schema.spec(*value(QStringLiteral("Global/Preferences/Process/MaxProcessors"))).documented);
    }
    // Without the overlay's pages, only the groups below Global/Preferences become pages.
    for (const PageSpec &page : schema.pages(m_file))
        QVERIFY(page.title != QLatin1String("Processes"));
}

void TestSettingsSchema::wrongMemberTypesAreIgnored()
{
    SettingsSchema schema;
    QString error;
    QVERIFY(schema.load("{\"variables\": [1, 2]}",
                        "{\"pages\": {\"title\": \"x\"}, \"hide\": 7, \"variables\": {\"Process/MaxProcessors\": "
                        "{\"label\": 3, \"min\": \"low\", \"choices\": [5, [\"a\", 1]]}}}",
                        &error));
    const VariableSpec spec = schema.spec(*value(QStringLiteral("Global/Preferences/Process/MaxProcessors")));
    QVERIFY(!spec.documented);
    QVERIFY(spec.label.isEmpty());
    QVERIFY(spec.hasRange);
    QCOMPARE(spec.min, 0.0);
    QCOMPARE(spec.kind, WidgetKind::Choice);
    QCOMPARE(spec.choices.size(), 2);
}

QTEST_GUILESS_MAIN(TestSettingsSchema)
#include "tst_settingsschema.moc"
