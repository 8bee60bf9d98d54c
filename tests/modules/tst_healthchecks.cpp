#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "modules/healthchecks.h"
#include "schema/settingsschema.h"

#include <QDir>
#include <QTest>

using namespace pfw;

class TestHealthChecks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void absolutePaths_data();
    void absolutePaths();
    void pathSettings_data();
    void pathSettings();
    void pathsOfAnotherComputer_data();
    void pathsOfAnotherComputer();
    void rangesAndOptions();
    void processors_data();
    void processors();
    void threads_data();
    void threads();
    void moduleFiles();
    void modulesUnchecked();
    void noRegistryNoModuleFindings();
    void duplicates();
    void unsignedContent();
    void demoFindingsAreSorted();

private:
    QList<Finding> run(const QByteArray &body, const HealthEnv &env) const;
    static HealthEnv env(const QStringList &existing = {}, bool windows = true, int processors = 0);
    static QStringList ids(const QList<Finding> &findings);

    SettingsSchema m_schema;
    mutable XsdtFile m_file;
};

void TestHealthChecks::initTestCase()
{
    QString error;
    QVERIFY(m_schema.loadBuiltIn(&error));
}

QList<Finding> TestHealthChecks::run(const QByteArray &body, const HealthEnv &environment) const
{
    if (!m_file.parse("<xsdt>" + body + "</xsdt>"))
        return {};
    return runHealthChecks(m_file, m_schema, environment);
}

HealthEnv TestHealthChecks::env(const QStringList &existing, bool windows, int processors)
{
    HealthEnv environment;
    environment.pathExists = [existing](const QString &path) { return existing.contains(path); };
    environment.windows = windows;
    environment.logicalProcessors = processors;
    return environment;
}

QStringList TestHealthChecks::ids(const QList<Finding> &findings)
{
    QStringList out;
    for (const Finding &finding : findings)
        out << finding.id;
    return out;
}

void TestHealthChecks::absolutePaths_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("windows");
    QTest::addColumn<bool>("absolute");
    QTest::newRow("drive slash") << "D:/Astro" << true << true;
    QTest::newRow("drive backslash") << "d:\\Astro" << true << true;
    QTest::newRow("share") << "\\\\nas\\astro" << true << true;
    QTest::newRow("forward share") << "//nas/astro" << true << true;
    QTest::newRow("drive only") << "D:" << true << false;
    QTest::newRow("relative") << "Astro/x" << true << false;
    QTest::newRow("unix on windows") << "/home/a" << true << false;
    QTest::newRow("unix") << "/home/a" << false << true;
    QTest::newRow("home") << "~/astro" << false << true;
    QTest::newRow("drive on unix") << "D:/Astro" << false << false;
}

void TestHealthChecks::absolutePaths()
{
    QFETCH(QString, text);
    QFETCH(bool, windows);
    QFETCH(bool, absolute);
    QCOMPARE(HealthChecks::isAbsolutePath(text, windows), absolute);
}

void TestHealthChecks::pathSettings_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("reported");
    QTest::newRow("missing folder") << QByteArray("E:/Downloads") << true;
    QTest::newRow("existing folder") << QByteArray("C:/Users/a/Downloads") << false;
    QTest::newRow("placeholder") << QByteArray("@pxi_bin_dir/downloads") << false;
    QTest::newRow("relative") << QByteArray("downloads") << false;
    QTest::newRow("blank") << QByteArray("   ") << false;
}

// The Downloads folder setting holding value.
static QByteArray downloads(const QByteArray &value)
{
    return "<i k=\"Global\"><i k=\"Preferences\"><i k=\"ImageWindow\"><v k=\"DownloadsDirectory\" t=\"s\" v=\"" + value
        + "\"/></i></i></i>";
}

void TestHealthChecks::pathSettings()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, reported);
    const QList<Finding> findings = run(downloads(value), env({QStringLiteral("C:/Users/a/Downloads")}));
    QCOMPARE(ids(findings).contains(QStringLiteral("path-missing")), reported);
    if (reported) {
        QCOMPARE(findings.constFirst().severity, Finding::Warning);
        QCOMPARE(findings.constFirst().title, QStringLiteral("Downloads directory: the folder does not exist"));
        QVERIFY(findings.constFirst().detail.startsWith(QDir::toNativeSeparators(QString::fromLatin1(value))
                                                        + QLatin1String(" is not on this computer.")));
    }
}

void TestHealthChecks::pathsOfAnotherComputer_data()
{
    QTest::addColumn<bool>("windows");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("reported");
    QTest::newRow("Linux: a drive") << false << QByteArray("C:/Users/Astro/Downloads/PixInsight") << true;
    QTest::newRow("Linux: a drive, backslashes") << false << QByteArray("D:\\Images") << true;
    QTest::newRow("Linux: a share") << false << QByteArray("\\\\server\\share\\flats") << true;
    QTest::newRow("Linux: its own home") << false << QByteArray("/home/astro/Downloads/PixInsight") << false;
    QTest::newRow("Linux: a name with a colon") << false << QByteArray("C:") << false;
    QTest::newRow("Windows: a Linux home") << true << QByteArray("/home/astro/Downloads") << true;
    QTest::newRow("Windows: a macOS home") << true << QByteArray("/Users/astro/Pictures") << true;
    QTest::newRow("Windows: its own drive") << true << QByteArray("C:/Users/Astro/Downloads") << false;
    QTest::newRow("Windows: a share") << true << QByteArray("\\\\server\\share") << false;
}

// A file carried over from another computer keeps its folders: on Linux
// "C:/Users/Astro/Downloads/PixInsight" is as wrong as "/home/astro/..." is on Windows.
void TestHealthChecks::pathsOfAnotherComputer()
{
    QFETCH(bool, windows);
    QFETCH(QByteArray, value);
    QFETCH(bool, reported);
    const QList<Finding> findings
        = run(downloads(value),
              env({QStringLiteral("C:/Users/Astro/Downloads"), QStringLiteral("\\\\server\\share")}, windows));
    QCOMPARE(ids(findings).contains(QStringLiteral("foreign-path")), reported);
    if (reported) {
        QCOMPARE(findings.constFirst().title,
                 QStringLiteral("This path is from another computer: Downloads directory"));
        QCOMPARE(findings.constFirst().nodes.size(), 1);
        // Reported once: not also as a folder that does not exist.
        QCOMPARE(findings.size(), 1);
    }
}

void TestHealthChecks::rangesAndOptions()
{
    const QList<Finding> findings = run(
        "<i k=\"Global\"><i k=\"Preferences\"><i k=\"Security\"><v k=\"AllowUnsignedRepositories\" t=\"b\" v=\"true\"/></i>"
        "<i k=\"ImageWindow\"><v k=\"DefaultMaskMode\" t=\"i\" v=\"abc\"/><v k=\"DefaultTransparencyMode\" t=\"i\" v=\"7\"/></i>"
        "<i k=\"MainWindow\"><v k=\"ActiveWindowOpacity\" t=\"F\" v=\"1.5\"/></i></i></i>",
        env());
    // The out-of-range Problem comes first whatever its place in the file.
    QCOMPARE(ids(findings),
             QStringList({QStringLiteral("out-of-range"), QStringLiteral("unknown-option"),
                          QStringLiteral("unsigned-allowed")}));
    QCOMPARE(findings.at(0).title, QStringLiteral("Active window opacity is outside its documented range"));
    QCOMPARE(findings.at(0).detail, QStringLiteral("The value is 1.5; PixInsight documents 0 to 1."));
    QCOMPARE(findings.at(1).detail,
             QStringLiteral("The value is 7; the known options are: 0 = Hide transparency, "
                            "1 = Background brush, 2 = Opaque color."));
    QCOMPARE(HealthChecks::severityName(findings.at(0).severity), QStringLiteral("Problem"));
}

void TestHealthChecks::processors_data()
{
    QTest::addColumn<int>("processors");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<bool>("reported");
    QTest::newRow("more than the computer") << 8 << false << true;
    QTest::newRow("unknown count") << 0 << false << false;
    QTest::newRow("enough") << 64 << false << false;
    QTest::newRow("queued for deletion") << 8 << true << false;
}

void TestHealthChecks::processors()
{
    QFETCH(int, processors);
    QFETCH(bool, deleted);
    QFETCH(bool, reported);
    QVERIFY(m_file.parse("<xsdt><i k=\"Global\"><i k=\"Preferences\"><i k=\"Process\"><v k=\"MaxProcessors\" t=\"i\" "
                         "v=\"16\"/></i></i></i></xsdt>"));
    m_file.root.findPath(u"Global/Preferences/Process/MaxProcessors")->deleted = deleted;
    const QList<Finding> findings = runHealthChecks(m_file, m_schema, env({}, true, processors));
    QCOMPARE(ids(findings).contains(QStringLiteral("too-many-processors")), reported);
    if (reported)
        QCOMPARE(findings.constFirst().detail,
                 QStringLiteral("The setting is 16 and this computer has 8 logical processors. This is harmless on the "
                                "computer the file came from, but here PixInsight will simply use them all."));
}

void TestHealthChecks::threads_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("processors");
    QTest::addColumn<bool>("reported");
    QTest::newRow("1000 read threads") << "MaxFileReadThreads"
                                       << "1000" << 8 << true;
    QTest::newRow("1000 write threads") << "MaxFileWriteThreads"
                                        << "1000" << 8 << true;
    QTest::newRow("a few a processor") << "MaxFileReadThreads"
                                       << "32" << 8 << false;
    QTest::newRow("small computer, usual value") << "MaxFileReadThreads"
                                                 << "16" << 2 << false;
    QTest::newRow("unknown count") << "MaxFileReadThreads"
                                   << "1000" << 0 << false;
    QTest::newRow("not a number") << "MaxFileReadThreads"
                                  << "many" << 8 << false;
}

void TestHealthChecks::threads()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(int, processors);
    QFETCH(bool, reported);
    QVERIFY(m_file.parse(QStringLiteral("<xsdt><i k=\"Global\"><i k=\"Preferences\"><i k=\"Process\"><v k=\"%1\" "
                                        "t=\"i\" v=\"%2\"/></i></i></i></xsdt>")
                             .arg(key, value)
                             .toUtf8()));
    const QList<Finding> findings = runHealthChecks(m_file, m_schema, env({}, true, processors));
    QCOMPARE(ids(findings).contains(QStringLiteral("too-many-threads")), reported);
    if (reported)
        QVERIFY(findings.constFirst().detail.startsWith(
            QStringLiteral("The setting is 1000 and this computer has 8 logical processors.")));
}

void TestHealthChecks::moduleFiles()
{
    HealthEnv environment = env({QStringLiteral("C:/Program Files/PixInsight/bin"),
                                 QStringLiteral("C:/Program Files/PixInsight/bin/Here-pxm.dll")});
    environment.installCandidates = {QStringLiteral("C:\\Program Files\\PixInsight")};
    const QList<Finding> findings = run(
        "<i k=\"Modules\"><v k=\"M1\" t=\"s\" v=\"@pxi_bin_dir/Foo-pxm.dll\"/><v k=\"M2\" t=\"s\" "
        "v=\"C:/Program Files/PixInsight/bin/Here-pxm.dll\"/><v k=\"M3\" t=\"s\" v=\"relative/Bar-pxm.dll\"/></i>",
        environment);
    QCOMPARE(ids(findings), QStringList{QStringLiteral("module-file-missing")});
    QCOMPARE(findings.constFirst().title, QStringLiteral("1 registered module has no file on this computer"));
    QCOMPARE(
        findings.constFirst().detail,
        QStringLiteral("Listed in the module registry but not in %1: Foo. PixInsight repairs its registry at startup, "
                       "so this only matters if the modules should be there.")
            .arg(QDir::toNativeSeparators(QStringLiteral("C:/Program Files/PixInsight/bin"))));
    QCOMPARE(findings.constFirst().nodes.size(), 1);
}

void TestHealthChecks::modulesUnchecked()
{
    HealthEnv environment = env();
    const QByteArray body = "<i k=\"Global\"><i k=\"Preferences\"><i k=\"Application\"><v k=\"StyleSheetFile\" t=\"s\" "
                            "v=\"D:/Tools/PixInsight/rsc/style.qss\"/></i></i></i><i k=\"Modules\"/>";
    QList<Finding> findings = run(body, environment);
    QCOMPARE(ids(findings), QStringList({QStringLiteral("path-missing"), QStringLiteral("modules-unchecked")}));
    QVERIFY(findings.at(1).detail.endsWith(
        QStringLiteral("Looked in: %1.").arg(QDir::toNativeSeparators(QStringLiteral("D:/Tools/PixInsight")))));
    findings = run("<i k=\"Modules\"/>", environment);
    QCOMPARE(
        findings.constFirst().detail,
        QStringLiteral("The PixInsight program folder could not be found, so the registered modules could not be "
                       "matched to files. Looked in: (nowhere: no location is recorded in the file and none is known "
                       "for this system)."));
    // Without an existence test the first candidate is taken and nothing is reported missing.
    environment.pathExists = nullptr;
    QVERIFY(run(body, environment).isEmpty());
}

void TestHealthChecks::noRegistryNoModuleFindings()
{
    QVERIFY(run("<i k=\"Global\"/>", env()).isEmpty());
}

void TestHealthChecks::duplicates()
{
    const QList<Finding> findings
        = run("<v k=\"K\" t=\"s\" v=\"1\"/><v k=\"K\" t=\"s\" v=\"2\"/><v k=\"K\" t=\"s\" v=\"3\"/>"
              "<i k=\"G\"><v k=\"a\" t=\"s\" v=\"1\"/><i k=\"a\"/></i>",
              env());
    QCOMPARE(ids(findings).count(QStringLiteral("duplicate-key")), 2);
    QCOMPARE(findings.at(0).title, QStringLiteral("\"K\" appears 3 times in the top level"));
    QCOMPARE(findings.at(0).nodes.size(), 3);
    QCOMPARE(findings.at(1).title, QStringLiteral("\"a\" appears 2 times in G"));
    // Inside an item queued for deletion nothing is reported.
    m_file.root.childByKey(u"G")->deleted = true;
    QCOMPARE(ids(runHealthChecks(m_file, m_schema, env())).count(QStringLiteral("duplicate-key")), 1);
}

void TestHealthChecks::unsignedContent()
{
    const QList<Finding> findings = run(
        "<i k=\"Global\"><i k=\"Preferences\"><i k=\"Security\"><v k=\"AllowUnsignedRepositories\" t=\"b\" v=\"TRUE\"/>"
        "<v k=\"AllowInsecureRepositories\" t=\"b\" v=\"true\"/><v k=\"AllowUnsignedScriptExecution\" t=\"b\" v=\"true\"/>"
        "</i></i></i>",
        env());
    QCOMPARE(findings.size(), 1);
    QCOMPARE(findings.constFirst().detail,
             QStringLiteral("Turned on: allow insecure repositories; allow unsigned script "
                            "execution. That is a choice, not an error; it just lowers "
                            "PixInsight's protection."));
    QCOMPARE(findings.constFirst().nodes.size(), 2);
}

void TestHealthChecks::demoFindingsAreSorted()
{
    XsdtFile demo;
    QVERIFY(demo.parse(SettingsGenerator::demo()));
    HealthEnv environment = env({}, true, 16);
    const QList<Finding> findings = runHealthChecks(demo, m_schema, environment);
    QVERIFY(!findings.isEmpty());
    for (qsizetype i = 1; i < findings.size(); ++i)
        QVERIFY(findings.at(i - 1).severity >= findings.at(i).severity);
    const QStringList found = ids(findings);
    for (const char *id : {"too-many-processors", "duplicate-key", "unused-modules", "unsigned-allowed"})
        QVERIFY2(found.contains(QLatin1String(id)), id);
    for (const Finding &finding : findings) {
        if (finding.id == u"unused-modules")
            QVERIFY(finding.offersUnusedModules && finding.nodes.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestHealthChecks)
#include "tst_healthchecks.moc"
