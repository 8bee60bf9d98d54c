#include "core/backups.h"
#include "core/displaytext.h"
#include "core/problemsearch.h"
#include "core/settingsdocument.h"
#include "core/terminaltext.h"
#include "core/xsdtfile.h"
#include "tests/support/wholefile.h"
#include "tests/support/fakehost.h"
#include "tests/support/searchfixture.h"
#include "tests/support/specialfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

// Runs the real prefwright-cli on copies of the demo file in a temporary folder.
class TestSettingsCli : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void usageErrors_data();
    void usageErrors();
    void helpAndParsingAgree();
    void messagesNameTheFileAsTyped_data();
    void messagesNameTheFileAsTyped();
    void unreadableFiles_data();
    void unreadableFiles();
    void check_data();
    void check();
    void dumpEscapesAndOrder();
    void roundtripWritesTheCompactForm();
    void readOnlyCommands_data();
    void readOnlyCommands();
    void refusalsLeaveTheFileAlone_data();
    void refusalsLeaveTheFileAlone();
    void refusedWhilePixInsightRuns();
    void invalidUtf8IsNeverRewritten();
    void charactersStrictReadersRefuseAreReported();
    void setSavesWithBackup();
    void fingerprintOfCheckAllowsTheSave();
    void deleteFollowsTheVerdicts_data();
    void deleteFollowsTheVerdicts();
    void diffHidesNoise();
    void healthAndModules();
    void backupsKeep();
    void trashNeverLandsInTheWorkingFolder();
    void jsonErrors();
    void outputThatCannotBeWrittenFails_data();
    void outputThatCannotBeWrittenFails();
    void historyAcrossRealBackups();
    void historyOrderWithinOneSecond();
    void suggestedCommandsReachTheFile_data();
    void suggestedCommandsReachTheFile();
    void bisectFindsTheProblem_data();
    void bisectFindsTheProblem();
    void bisectStepsTakeTurns();
    void bisectSurvivesBeingKilled();
    void bisectStartRacesOtherWriters();
    void noControlCharacterReachesTheTerminal();
    void namesNotInTheFileNameEncodingAreRefused();
    void aSaveSaysWhenTheFileHasAnotherName();
    void historyFollowsThePathAsGetDoes();
    void restorePutsABackupBack();
    void limitsOfTheSystemAreReportedAsSuch_data();
    void limitsOfTheSystemAreReportedAsSuch();
    void aDamagedSearchStateStillLeadsBack();
    void exportThenImportRoundTrips();
    void portableExportLeavesOutThisComputer();
    void exportWritesNothingButASnippetFile_data();
    void exportWritesNothingButASnippetFile();
    void importRewritesPaths_data();
    void importRewritesPaths();
    void resetRemovesPreferences();
    void importReadsAllOfAPipe();

private:
    struct Result
    {
        int code = -1;
        QString out;
        QString err;
    };

    // Runs in the temporary folder unless told otherwise, so nothing lands where the tests run.
    Result run(const QStringList &arguments, const QString &workingFolder = QString());
    static bool finish(QProcess &process, const QStringList &arguments);
    QString write(const QString &name, const QByteArray &bytes);
    QStringList backups() const;
    // A file that went bad after its newest backup; returns that backup.
    QString plantSearch();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
    QByteArray m_original;
    QString m_outputFile;
};

using pfw::test::readAll;

namespace {

const QString kMaxProcessors = QStringLiteral("Global/Preferences/Process/MaxProcessors");

} // namespace

void TestSettingsCli::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("home"))));
    m_outputFile.clear();
    m_original = readAll(QStringLiteral(PFW_SOURCE_DIR "/examples/core-001-pxi.settings"));
    QVERIFY(!m_original.isEmpty());
    m_file = write(QStringLiteral("core-001-pxi.settings"), m_original);
}

TestSettingsCli::Result TestSettingsCli::run(const QStringList &arguments, const QString &workingFolder)
{
    QProcess process;
    process.setWorkingDirectory(workingFolder.isEmpty() ? m_dir->path() : workingFolder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Trash and configuration land in the temporary folder, never the real home.
    const QString home = m_dir->filePath(QStringLiteral("home"));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QLatin1String("/.local/share"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QLatin1String("/.config"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("PIXINSIGHT_DIR"));
    process.setProcessEnvironment(environment);
    if (!m_outputFile.isEmpty())
        process.setStandardOutputFile(m_outputFile);
    process.start(QStringLiteral(PFW_CLI), arguments);
    if (!finish(process, arguments))
        return {};
    QString err = QString::fromUtf8(process.readAllStandardError());
#ifdef Q_OS_WIN
    // A Windows console program ends the lines of its messages with CR LF.
    err.replace(QLatin1String("\r\n"), QLatin1String("\n"));
#endif
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), err};
}

// Waits for a started tool, starting it again when Wine failed to start it
// (STATUS_DLL_INIT_FAILED, or no start at all): such a tool never ran.
bool TestSettingsCli::finish(QProcess &process, const QStringList &arguments)
{
    for (int attempt = 0;; ++attempt) {
        const bool finished = process.waitForFinished(60000);
#ifdef Q_OS_WIN
        const bool neverRan = finished
            ? process.exitStatus() == QProcess::CrashExit || process.exitCode() == int(0xC0000142)
            : process.error() == QProcess::FailedToStart;
        if (neverRan && attempt < 3) {
            process.start(QStringLiteral(PFW_CLI), arguments);
            continue;
        }
#else
        Q_UNUSED(arguments)
        Q_UNUSED(attempt)
#endif
        return finished;
    }
}

QString TestSettingsCli::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

QStringList TestSettingsCli::backups() const
{
    return QDir(m_dir->path()).entryList({QStringLiteral("*.bak-*")}, QDir::Files | QDir::Hidden);
}

void TestSettingsCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    const QString f = QStringLiteral("FILE");
    QTest::newRow("nothing") << QStringList{} << 2 << "Usage: prefwright-cli";
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << "";
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate"), f} << 2
                                     << "Unknown command 'frobnicate'.";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("check"), f, QStringLiteral("--force")} << 2
                                    << "Unknown option --force.";
    QTest::newRow("too few") << QStringList{QStringLiteral("get"), f} << 2 << "Wrong number of arguments for get.";
    QTest::newRow("too many") << QStringList{QStringLiteral("check"), f, f} << 2
                              << "Wrong number of arguments for check.";
    QTest::newRow("option elsewhere") << QStringList{QStringLiteral("check"), f, QStringLiteral("--yes")} << 2
                                      << "The option --yes does not apply to check.";
    QTest::newRow("keep not a number") << QStringList{QStringLiteral("backups"), f, QStringLiteral("--keep"),
                                                      QStringLiteral("x")}
                                       << 2 << "--keep needs a whole number";
    QTest::newRow("keep negative") << QStringList{QStringLiteral("backups"), f, QStringLiteral("--keep=-1")} << 2
                                   << "--keep needs a whole number";
    // Which of two counts would be meant is a guess, and --keep removes backups.
    QTest::newRow("keep twice") << QStringList{QStringLiteral("backups"), f, QStringLiteral("--keep=5"),
                                               QStringLiteral("--keep"), QStringLiteral("1")}
                                << 2 << "The option --keep is given twice.";
    QTest::newRow("keep missing") << QStringList{QStringLiteral("backups"), f, QStringLiteral("--keep")} << 2
                                  << "The option --keep needs a value.";
    QTest::newRow("short fingerprint") << QStringList{QStringLiteral("set"), f, QStringLiteral("a=1"),
                                                      QStringLiteral("--fingerprint=abc")}
                                       << 2 << "--fingerprint needs the 64 hexadecimal digits";
    QTest::newRow("flag with value") << QStringList{QStringLiteral("delete"), f, QStringLiteral("A"),
                                                    QStringLiteral("--yes=no")}
                                     << 2 << "The option --yes takes no value.";
    QTest::newRow("empty file") << QStringList{QStringLiteral("check"), QString()} << 2
                                << "A file name given to check is empty.";
    QTest::newRow("empty backup") << QStringList{QStringLiteral("restore"), f, QString()} << 2
                                  << "A file name given to restore is empty.";
    QTest::newRow("assignment without =") << QStringList{QStringLiteral("set"), f, QStringLiteral("Global/X")} << 2
                                          << "Expected PATH=VALUE, got 'Global/X'.";
    QTest::newRow("long type") << QStringList{QStringLiteral("normalize"), QStringLiteral("ii"), QStringLiteral("1")}
                               << 2 << "TYPE is one of the type codes";
    QTest::newRow("unknown type") << QStringList{QStringLiteral("normalize"), QStringLiteral("x"), QStringLiteral("1")}
                                  << 2 << "TYPE is one of the type codes b, i, u, F, f or s; got 'x'.";
}

// Usage errors are found before any file is opened: FILE need not exist.
void TestSettingsCli::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, message);
    const Result result = run(arguments);
    QCOMPARE(result.code, code);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    if (code == 0)
        QVERIFY(result.out.contains(QLatin1String("roundtrip FILE")));
}

// The help is what users go by: every command it lists runs, and every option it shows on a
// command's line is taken by that command.
void TestSettingsCli::messagesNameTheFileAsTyped_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("onOutput");
    QTest::addColumn<QString>("said");
    QTest::addColumn<bool>("jsonNamesIt");
    QTest::newRow("a file that is no settings file")
        << QStringList{"check", "cases/bad.settings"} << false
        << "cases/bad.settings is not a valid PixInsight settings file: " << true;
    QTest::newRow("a file that is not there") << QStringList{"get", "cases/none.settings", kMaxProcessors} << false
                                              << "Cannot read cases/none.settings: " << true;
    QTest::newRow("a list of backups") << QStringList{"backups", "cases/ok.settings"} << true
                                       << "cases/ok.settings.bak-" << true;
    QTest::newRow("a search that is not under way")
        << QStringList{"bisect", "status", "cases/ok.settings"} << true
        << "No search for a problem setting is in progress for cases/ok.settings." << false;
}

// As every command-line tool does, a message names a file as it was typed, although the tool
// works on the whole path; JSON keeps the whole path.
void TestSettingsCli::messagesNameTheFileAsTyped()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, onOutput);
    QFETCH(QString, said);
    QFETCH(bool, jsonNamesIt);
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("cases")));
    QVERIFY(!write(QStringLiteral("cases/bad.settings"), "garbage").isEmpty());
    QVERIFY(!write(QStringLiteral("cases/ok.settings"), m_original).isEmpty());
    QCOMPARE(run({"set", "cases/ok.settings", kMaxProcessors + QStringLiteral("=8")}).code, 0);
    const Result result = run(arguments);
    const QString text = onOutput ? result.out : result.err;
    // A list escapes the backslashes of Windows names.
    const auto named = [&text](const QString &name) {
        const QString native = QDir::toNativeSeparators(name);
        return text.contains(native) || text.contains(QString(native).replace(u'\\', QLatin1String("\\\\")));
    };
    QVERIFY2(named(said), qPrintable(text));
    QVERIFY2(!named(m_dir->path()), qPrintable(text));
    const Result json = run(arguments + QStringList{"--json"});
    if (jsonNamesIt)
        QVERIFY2(json.out.contains(m_dir->path()) || json.out.contains(QDir::toNativeSeparators(m_dir->path()))
                     || json.out.contains(QString(QDir::toNativeSeparators(m_dir->path())).replace(u'\\', "\\\\")),
                 qPrintable(json.out));
}

void TestSettingsCli::helpAndParsingAgree()
{
    const Result help = run({QStringLiteral("--help")});
    QCOMPARE(help.code, 0);
    const QString commands = help.out.left(help.out.indexOf(QLatin1String("\nOptions:")));
    const QRegularExpression line(QStringLiteral("^  ([a-z]+) ([^ ].*?)(?:  |$)"), QRegularExpression::MultilineOption);
    QSet<QString> seen;
    for (auto match = line.globalMatch(commands); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        const QString command = found.captured(1);
        seen << command;
        const QRegularExpression option(QStringLiteral("--[a-z-]+"));
        QStringList arguments{command};
        for (auto it = option.globalMatch(found.captured(2)); it.hasNext();)
            arguments << it.next().captured(0);
        // --keep takes a number; no file is named, so only the words themselves are judged.
        if (arguments.contains(QLatin1String("--keep")))
            arguments.insert(arguments.indexOf(QLatin1String("--keep")) + 1, QStringLiteral("1"));
        if (arguments.contains(QLatin1String("--map")))
            arguments.insert(arguments.indexOf(QLatin1String("--map")) + 1, QStringLiteral("C:/a=/a"));
        const Result result = run(arguments);
        QCOMPARE(result.code, 2);
        QVERIFY2(result.err.contains(QLatin1String("Wrong number of arguments for %1.").arg(command)),
                 qPrintable(command + QLatin1String(": ") + result.err));
    }
    QCOMPARE(seen.size(), 19);
    // "-h" asks for help in place of a command only; after one it is an argument like "-5".
    const Result label = run({QStringLiteral("label"), QStringLiteral("-h")});
    QCOMPARE(label.code, 0);
    QVERIFY2(!label.out.contains(QLatin1String("Usage:")), qPrintable(label.out));
    // Every option the help explains exists.
    const QRegularExpression explained(QStringLiteral("^  (--[a-z-]+)"), QRegularExpression::MultilineOption);
    for (auto match = explained.globalMatch(help.out.mid(commands.size())); match.hasNext();) {
        const QString option = match.next().captured(1);
        if (option == QLatin1String("--"))
            continue;
        const Result result = run({QStringLiteral("check"), option});
        QVERIFY2(!result.err.contains(QLatin1String("Unknown option")), qPrintable(option + result.err));
    }
}

void TestSettingsCli::unreadableFiles_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QByteArray broken("<xsdt>\n<i k=\"A\"><v k=\"x\" t=\"i\" v=\"1\"></i>\n</xsdt>");
    for (const char *command : {"check", "dump", "roundtrip", "health", "modules"}) {
        QTest::addRow("%s missing", command) << command << QByteArray() << "Cannot read ";
        QTest::addRow("%s invalid", command) << command << broken << "is not a valid PixInsight settings file: ";
    }
    // Backups are listed for a file that is gone, but a name with neither is a mistake.
    QTest::newRow("backups missing") << "backups" << QByteArray() << "Cannot read ";
    QTest::newRow("not xml") << "check" << QByteArray("\x89PNG\r\n\x1a\n\0\0", 10)
                             << "is not a valid PixInsight settings file: Not a PixInsight settings file";
}

void TestSettingsCli::unreadableFiles()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString path = bytes.isEmpty() ? m_dir->filePath(QStringLiteral("missing.settings"))
                                         : write(QStringLiteral("broken.settings"), bytes);
    const Result result = run({command, path});
    QCOMPARE(result.code, 3);
    // Paths are named as the system writes them (backslashes on Windows).
    const QString shown = QDir::toNativeSeparators(path);
    QVERIFY2(result.err.startsWith(bytes.isEmpty() ? message + shown : shown + u' ' + message), qPrintable(result.err));
    QVERIFY(result.out.isEmpty());
    if (message.endsWith(QLatin1String("file: "))) // the reader's position is part of its message
        QVERIFY2(result.err.contains(QRegularExpression(QStringLiteral("line \\d+"))), qPrintable(result.err));
    // A folder is no settings file either.
    QCOMPARE(run({command, m_dir->path()}).code, 3);
}

void TestSettingsCli::check_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("output");
    QTest::newRow("compact") << QByteArray(
        "<xsdt version=\"1.0\"><i k=\"A\"><i k=\"B\"/><v k=\"x\" t=\"i\" v=\"1\"/></i>"
        "<v k=\"y\" t=\"b\" v=\"true\"/></xsdt>")
                             << "ok: 2 items, 2 values, compact layout\n";
    QTest::newRow("indented") << readAll(QStringLiteral(PFW_TEST_DATA "/indented.settings"))
                              << "ok: 2 items, 3 values, non-default layout\n";
    QTest::newRow("empty root") << QByteArray("<xsdt></xsdt>") << "ok: 0 items, 0 values, compact layout\n";
}

void TestSettingsCli::check()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, output);
    const QString path = write(QStringLiteral("small.settings"), bytes);
    const Result result = run({QStringLiteral("check"), path});
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, output);
    QVERIFY(result.err.isEmpty());
}

void TestSettingsCli::dumpEscapesAndOrder()
{
    const QString path = write(QStringLiteral("escapes.settings"),
                               "<xsdt><i k=\"A\"><v k=\"t\" t=\"s\" v=\"a\\b&#10;c&#13;&#9;d\"/><i k=\"B\"/></i>"
                               "<v k=\"Layout\" t=\"B\" c=\"zlib+sh\"><s u=\"1024\">eJzT0yMAAGTvBe8=</s></v></xsdt>");
    const Result result = run({QStringLiteral("dump"), path});
    QCOMPARE(result.code, 0);
    QCOMPARE(
        result.out,
        QStringLiteral(
            "A/\nA/t\ts\ta\\\\b\\nc\\r\\td\nA/B/\nLayout\tB\t(compressed zlib+sh block, 1.00 KiB uncompressed)\n"));

    const Result json = run({QStringLiteral("dump"), path, QStringLiteral("--json")});
    const QJsonArray nodes = QJsonDocument::fromJson(json.out.toUtf8()).array();
    QCOMPARE(nodes.size(), 4);
    QCOMPARE(nodes.at(1).toObject().value(QStringLiteral("value")).toString(), QStringLiteral("a\\b\nc\r\td"));
    QVERIFY(nodes.at(3).toObject().value(QStringLiteral("compressed")).toBool());
}

void TestSettingsCli::roundtripWritesTheCompactForm()
{
    Result result = run({QStringLiteral("roundtrip"), m_file});
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out.toUtf8(), m_original);

    const QString indented
        = write(QStringLiteral("indented.settings"), readAll(QStringLiteral(PFW_TEST_DATA "/indented.settings")));
    result = run({QStringLiteral("roundtrip"), indented});
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out,
             QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\"><i k=\"Global\">"
                            "<i k=\"Preferences\"><v k=\"Name\" t=\"s\" v=\"It&apos;s &quot;here&quot;\"/>"
                            "<v k=\"Count\" t=\"i\">12</v></i></i><v k=\"LastVersion\" t=\"s\" v=\"1.9\"/>"
                            "</xsdt>\n"));
    const QJsonObject json
        = QJsonDocument::fromJson(run({QStringLiteral("--json"), QStringLiteral("roundtrip"), indented}).out.toUtf8())
              .object();
    QCOMPARE(json.value(QStringLiteral("identical")).toBool(), false);
    QCOMPARE(json.value(QStringLiteral("size")).toInt(), result.out.toUtf8().size());
    // Reading never writes.
    QCOMPARE(readAll(m_file), m_original);
}

void TestSettingsCli::readOnlyCommands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("output");
    const QString f = QStringLiteral("%FILE%");
    QTest::newRow("get") << QStringList{QStringLiteral("get"), f, kMaxProcessors} << 0 << "64\n";
    QTest::newRow("get block") << QStringList{QStringLiteral("get"), f,
                                              QStringLiteral("ModuleData/ImageIntegration/FileList")}
                               << 0 << "(compressed zlib block, 5.48 KiB uncompressed)\n";
    QTest::newRow("get absent") << QStringList{QStringLiteral("get"), f, QStringLiteral("Global/Nope")} << 1 << "";
    QTest::newRow("get group") << QStringList{QStringLiteral("get"), f, QStringLiteral("Global/Preferences")} << 1
                               << "";
    QTest::newRow("normalize") << QStringList{QStringLiteral("normalize"), QStringLiteral("i"), QStringLiteral("+08")}
                               << 0 << "8\n";
    QTest::newRow("normalize negative") << QStringList{QStringLiteral("normalize"), QStringLiteral("i"),
                                                       QStringLiteral("-5")}
                                        << 0 << "-5\n";
    QTest::newRow("normalize bad") << QStringList{QStringLiteral("normalize"), QStringLiteral("u"),
                                                  QStringLiteral("-1")}
                                   << 1 << "";
    QTest::newRow("normalize block") << QStringList{QStringLiteral("normalize"), QStringLiteral("B"),
                                                    QStringLiteral("x")}
                                     << 1 << "";
    QTest::newRow("label") << QStringList{QStringLiteral("label"), QStringLiteral("MaxModuleThreadPriority")} << 0
                           << "Max module thread priority\n";
    QTest::newRow("label of a key with an escape")
        << QStringList{QStringLiteral("label"), QStringLiteral("Max\x1b[2J")} << 0 << "Max\\x1b[2 j\n";
    QTest::newRow("verdict root")
        << QStringList{QStringLiteral("verdict"), f, QStringLiteral("/")} << 0
        << "never\tThis entry is not on the list of entries known to be safe to remove, so it is protected.\n";
    QTest::newRow("verdict safe")
        << QStringList{QStringLiteral("verdict"), f, QStringLiteral("Global/Statistics")} << 0
        << "safe\tProcess usage counters. Deleting resets them; PixInsight starts counting again.\n";
    QTest::newRow("verdict warn")
        << QStringList{QStringLiteral("verdict"), f, QStringLiteral("ModuleData/Mirelux")} << 0
        << "warn\tSaved settings of a module. Deleting resets that module to its defaults and loses "
           "your configuration for it.\n";
    QTest::newRow("verdict absent") << QStringList{QStringLiteral("verdict"), f, QStringLiteral("Nope")} << 1 << "";
}

void TestSettingsCli::readOnlyCommands()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, output);
    arguments.replaceInStrings(QStringLiteral("%FILE%"), m_file);
    const Result result = run(arguments);
    QCOMPARE(result.code, code);
    QCOMPARE(result.out, output);
    QCOMPARE(result.err.isEmpty(), code == 0);
}

void TestSettingsCli::refusalsLeaveTheFileAlone_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QString f = QStringLiteral("%FILE%");
    const QString set = QStringLiteral("set");
    const QString del = QStringLiteral("delete");
    QTest::newRow("locked")
        << QStringList{set, f, QStringLiteral("Modules/Module01=C:/x/Evil-pxm.dll")}
        << "Modules/Module01 is part of the module registry or version records and is locked against editing.";
    QTest::newRow("protected")
        << QStringList{set, f, QStringLiteral("ModuleData/ImageIntegration/FileList=abc")}
        << "ModuleData/ImageIntegration/FileList: this value type is protected and cannot be edited.";
    QTest::newRow("bad type text") << QStringList{set, f, kMaxProcessors + QLatin1String("=many")}
                                   << kMaxProcessors
            + QLatin1String(": Expected an integer between -2147483648 and 2147483647.");
    QTest::newRow("out of range") << QStringList{set, f, QStringLiteral("Global/RGBWorkingSpace/Gamma=1e3")}
                                  << "Gamma: 1000 is outside the allowed range 0.1 to 10";
    QTest::newRow("not an option") << QStringList{set, f, QStringLiteral("Global/ColorManagement/ProofingIntent=7")}
                                   << "Proofing intent: 7 is not one of the allowed values: 0 (Perceptual)";
    QTest::newRow("documented read-only")
        << QStringList{set, f, QStringLiteral("Global/Preferences/Application/BaseDirectory=/x")}
        << "is documented by PixInsight as read-only or write-only.";
    QTest::newRow("absent") << QStringList{set, f, QStringLiteral("Global/Nope=1")}
                            << "Global/Nope: no such setting. Adding entries is not offered.";
    QTest::newRow("group") << QStringList{set, f, QStringLiteral("Global/Preferences=1")}
                           << "Global/Preferences is a group, not a value.";
    QTest::newRow("pasted terminal colours")
        << QStringList{set, f, QStringLiteral("Global/Preferences/Application/HighResFont=DejaVu\x1B[0m Sans")}
        << "The text contains a control character (U+001B) that a settings file cannot hold.";
    QTest::newRow("one bad of two") << QStringList{set, f, kMaxProcessors + QLatin1String("=8"),
                                                   QStringLiteral("Global/RGBWorkingSpace/Gamma=0")}
                                    << "Gamma: 0 is outside the allowed range";
    QTest::newRow("changed on disk") << QStringList{set, f, kMaxProcessors + QLatin1String("=8"),
                                                    QStringLiteral("--fingerprint"), QString(64, u'0')}
                                     << "The file changed since its fingerprint was taken";
    QTest::newRow("never") << QStringList{del, f, QStringLiteral("ModuleData"), QStringLiteral("--yes")}
                           << "'ModuleData' is protected and cannot be deleted. Container of all module settings.";
    QTest::newRow("root") << QStringList{del, f, QStringLiteral("/"), QStringLiteral("--yes")}
                          << "'/' is protected and cannot be deleted.";
    QTest::newRow("warn without yes") << QStringList{del, f, QStringLiteral("Global/Statistics"),
                                                     QStringLiteral("ModuleData/Mirelux")}
                                      << "'ModuleData/Mirelux' was not deleted: Saved settings of a module.";
    QTest::newRow("delete absent") << QStringList{del, f, QStringLiteral("Nope")} << "Nope: no such setting.";
    QTest::newRow("restore a folder") << QStringList{QStringLiteral("restore"), f, QStringLiteral("%BACKUP FOLDER%")}
                                      << "is a folder, not a backup.";
}

// All or nothing: a refused command writes nothing and leaves no backup.
void TestSettingsCli::refusalsLeaveTheFileAlone()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    arguments.replaceInStrings(QStringLiteral("%FILE%"), m_file);
    // Named as a backup is, but a folder.
    if (arguments.contains(QLatin1String("%BACKUP FOLDER%"))) {
        const QString folder = m_file + QLatin1String(".bak-20260101-000000");
        QVERIFY(QDir().mkpath(folder));
        arguments.replaceInStrings(QStringLiteral("%BACKUP FOLDER%"), folder);
    }
    const Result result = run(arguments);
    QCOMPARE(result.code, 1);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    QCOMPARE(readAll(m_file), m_original);
    QVERIFY(backups().isEmpty());
}

void TestSettingsCli::refusedWhilePixInsightRuns()
{
    pfw::test::FakeHost host;
    QVERIFY(host.start(m_dir->path()));
    for (const QStringList &arguments :
         {QStringList{QStringLiteral("set"), m_file, kMaxProcessors + QLatin1String("=8")},
          QStringList{QStringLiteral("delete"), m_file, QStringLiteral("Global/Statistics")}}) {
        const Result result = run(arguments);
        QCOMPARE(result.code, 1);
        QVERIFY2(result.err.contains(QLatin1String("PixInsight is running.")), qPrintable(result.err));
    }
    // Reading still works while it runs.
    QCOMPARE(run({QStringLiteral("get"), m_file, kMaxProcessors}).code, 0);
    host.stop();
    QCOMPARE(readAll(m_file), m_original);
    QVERIFY(backups().isEmpty());
    // Once it has ended, the same change goes through.
    QCOMPARE(run({QStringLiteral("set"), m_file, kMaxProcessors + QLatin1String("=8")}).code, 0);
    QCOMPARE(backups().size(), 1);
}

// The editor warns in a banner before such a save; a script would destroy the bytes unseen.
void TestSettingsCli::invalidUtf8IsNeverRewritten()
{
    const QByteArray bytes = readAll(QStringLiteral(PFW_TEST_DATA "/invalid-utf8.settings"));
    const QString path = write(QStringLiteral("core-002-pxi.settings"), bytes);
    Result result = run({QStringLiteral("check"), path});
    QCOMPARE(result.code, 0);
    QVERIFY(result.err.startsWith(
        QLatin1String("warning: the file contains bytes that are not valid UTF-8 (first at line 1, column 44)")));
    result = run({QStringLiteral("set"), path, QStringLiteral("Global/a=plain")});
    QCOMPARE(result.code, 1);
    QVERIFY2(result.err.contains(QLatin1String("nothing was written")), qPrintable(result.err));
    QCOMPARE(readAll(path), bytes);
    QVERIFY(backups().isEmpty());
}

// PixInsight's reader may be strict: a file the lenient reader takes is still reported.
void TestSettingsCli::charactersStrictReadersRefuseAreReported()
{
    QByteArray bytes = m_original;
    bytes.replace("v=\"DejaVu Sans\"", "v=\"DejaVu\x1B[0m Sans\"");
    QVERIFY(bytes != m_original);
    const QString path = write(QStringLiteral("core-002-pxi.settings"), bytes);
    Result result = run({QStringLiteral("check"), path});
    QCOMPARE(result.code, 0);
    QVERIFY2(result.err.startsWith(QLatin1String("warning: the file is not well-formed XML (the character U+001B")),
             qPrintable(result.err));
    // The warning shows the character by its name, never raw.
    QVERIFY(!result.err.contains(QChar(0x1B)));
    const QJsonObject json
        = QJsonDocument::fromJson(run({QStringLiteral("check"), QStringLiteral("--json"), path}).out.toUtf8()).object();
    QCOMPARE(json.value(QStringLiteral("wellFormed")), QJsonValue(false));
    result = run({QStringLiteral("health"), path});
    QCOMPARE(result.code, 1);
    QVERIFY2(result.out.contains(QLatin1String("Problem\tunwritable-characters\t")), qPrintable(result.out));
    // Another change keeps what was there, as it was read.
    result = run({QStringLiteral("set"), path, kMaxProcessors + QLatin1String("=8")});
    QCOMPARE(result.code, 0);
    QVERIFY(readAll(path).contains("v=\"DejaVu\x1B[0m Sans\""));
}

void TestSettingsCli::setSavesWithBackup()
{
    Result result = run({QStringLiteral("set"), m_file, kMaxProcessors + QLatin1String("=+08"),
                         QStringLiteral("Global/RGBWorkingSpace/Gamma=2.50")});
    QCOMPARE(result.code, 0);
    QCOMPARE(backups().size(), 1);
    QCOMPARE(result.out, QStringLiteral("Saved. Backup: %1\n").arg(backups().constFirst()));
    QCOMPARE(readAll(m_dir->filePath(backups().constFirst())), m_original);
    QCOMPARE(run({QStringLiteral("get"), m_file, kMaxProcessors}).out, QStringLiteral("8\n"));
    QCOMPARE(run({QStringLiteral("get"), m_file, QStringLiteral("Global/RGBWorkingSpace/Gamma")}).out,
             QStringLiteral("2.5\n"));
    QCOMPARE(run({QStringLiteral("check"), m_file}).out, QStringLiteral("ok: 74 items, 339 values, compact layout\n"));

    // Setting what is already there writes nothing.
    const QByteArray saved = readAll(m_file);
    result = run({QStringLiteral("set"), m_file, kMaxProcessors + QLatin1String("=8")});
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, QStringLiteral("Nothing to save: every value already has that text.\n"));
    QCOMPARE(readAll(m_file), saved);
    QCOMPARE(backups().size(), 1);
}

void TestSettingsCli::fingerprintOfCheckAllowsTheSave()
{
    const QJsonObject check
        = QJsonDocument::fromJson(run({QStringLiteral("check"), QStringLiteral("--json"), m_file}).out.toUtf8())
              .object();
    const QString fingerprint = check.value(QStringLiteral("fingerprint")).toString();
    QCOMPARE(fingerprint.size(), 64);
    QCOMPARE(check.value(QStringLiteral("values")).toInt(), 339);
    const Result result = run({QStringLiteral("--json"), QStringLiteral("set"), m_file, QStringLiteral("--fingerprint"),
                               fingerprint.toUpper(), kMaxProcessors + QLatin1String("=4")});
    QCOMPARE(result.code, 0);
    const QJsonObject saved = QJsonDocument::fromJson(result.out.toUtf8()).object();
    QVERIFY(saved.value(QStringLiteral("saved")).toBool());
    QCOMPARE(saved.value(QStringLiteral("changes")).toInt(), 1);
    QVERIFY(QFile::exists(saved.value(QStringLiteral("backup")).toString()));
    // The old fingerprint no longer matches the saved file.
    QCOMPARE(run({QStringLiteral("set"), m_file, QStringLiteral("--fingerprint"), fingerprint,
                  kMaxProcessors + QLatin1String("=2")})
                 .code,
             1);
    // A file named relative to the working folder: the backup is still reported by its whole path.
    const QString working = QDir::currentPath();
    QDir::setCurrent(QFileInfo(m_file).absolutePath());
    const Result relative = run({QStringLiteral("--json"), QStringLiteral("set"), QFileInfo(m_file).fileName(),
                                 kMaxProcessors + QLatin1String("=3")});
    QDir::setCurrent(working);
    const QString backup
        = QJsonDocument::fromJson(relative.out.toUtf8()).object().value(QStringLiteral("backup")).toString();
    QVERIFY2(QFileInfo(backup).isAbsolute() && QFile::exists(backup), qPrintable(backup + relative.err));
}

void TestSettingsCli::deleteFollowsTheVerdicts_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("yes");
    QTest::newRow("safe at once") << QStringList{QStringLiteral("Global/Statistics")} << false;
    QTest::newRow("warn with yes") << QStringList{QStringLiteral("ModuleData/Mirelux"), QStringLiteral("PixelMath")}
                                   << true;
    QTest::newRow("inside another") << QStringList{QStringLiteral("Global/Statistics"),
                                                   QStringLiteral("Global/Statistics/Process")}
                                    << false;
}

void TestSettingsCli::deleteFollowsTheVerdicts()
{
    QFETCH(QStringList, paths);
    QFETCH(bool, yes);
    // The values that stay are the dump's value lines outside the deleted entries.
    const QStringList before = run({QStringLiteral("dump"), m_file}).out.split(u'\n', Qt::SkipEmptyParts);
    const auto kept = std::count_if(before.cbegin(), before.cend(), [&paths](const QString &line) {
        return line.contains(u'\t') && std::none_of(paths.cbegin(), paths.cend(), [&line](const QString &path) {
                   return line.startsWith(path + u'/');
               });
    });
    QVERIFY(kept < 339);
    QStringList arguments{QStringLiteral("delete"), m_file};
    arguments += paths;
    if (yes)
        arguments << QStringLiteral("--yes");
    const Result result = run(arguments);
    QCOMPARE(result.code, 0);
    QVERIFY(result.out.startsWith(QLatin1String("Saved. Backup: ")));
    QCOMPARE(backups().size(), 1);
    for (const QString &path : std::as_const(paths))
        QCOMPARE(run({QStringLiteral("verdict"), m_file, path}).code, 1);
    const QJsonObject check
        = QJsonDocument::fromJson(run({QStringLiteral("check"), QStringLiteral("--json"), m_file}).out.toUtf8())
              .object();
    QCOMPARE(check.value(QStringLiteral("values")).toInt(), int(kept));
}

void TestSettingsCli::diffHidesNoise()
{
    // An identical copy differs in nothing, duplicate keys and all.
    QCOMPARE(run({QStringLiteral("diff"), m_file, write(QStringLiteral("copy.settings"), m_original),
                  QStringLiteral("--all")})
                 .out,
             QString());
    // Compressed blocks of one size with other data differ; neither has a text to show.
    QByteArray block = m_original;
    const qsizetype at = block.indexOf("<s u=\"1853\">") + 12;
    block[at] = block.at(at) == 'A' ? 'B' : 'A';
    QCOMPARE(
        run({QStringLiteral("diff"), m_file, write(QStringLiteral("block.settings"), block), QStringLiteral("--all")})
            .out,
        QStringLiteral(
            "ModuleData/ImageIntegration/FileList\tDifferent\tdifferent compressed data\tdifferent compressed data\n"));

    QByteArray other = m_original;
    other.replace("<v k=\"MaxProcessors\" t=\"i\" v=\"64\"/>", "<v k=\"MaxProcessors\" t=\"u\" v=\"64\"/>");
    const QString otherPath = write(QStringLiteral("other.settings"), other);
    // A counter is noise; a deleted tool's data exists only in the other file.
    QCOMPARE(run({QStringLiteral("set"), m_file,
                  QStringLiteral("Global/Statistics/Process/ImageCalibration/LaunchCount=113")})
                 .code,
             0);
    QCOMPARE(
        run({QStringLiteral("delete"), m_file, QStringLiteral("--yes"), QStringLiteral("ModuleData/Mirelux")}).code, 0);

    Result result = run({QStringLiteral("diff"), m_file, otherPath});
    QCOMPARE(result.code, 0);
    const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.contains(kMaxProcessors + QLatin1String("\tDifferent (type i / u)\t64\t64")),
             qPrintable(result.out));
    QVERIFY(std::any_of(lines.cbegin(), lines.cend(), [](const QString &line) {
        return line.startsWith(QLatin1String("ModuleData/Mirelux/Strength\tOnly in the other file\t\t0.65"));
    }));
    QVERIFY(!result.out.contains(QLatin1String("Global/Statistics/")));

    // Equal files differ in nothing; --all adds the hidden noise only.
    result = run({QStringLiteral("diff"), m_file, m_file});
    QCOMPARE(result.out, QString());
    result = run({QStringLiteral("diff"), m_file, otherPath, QStringLiteral("--all")});
    QVERIFY(result.out.contains(
        QLatin1String("Global/Statistics/Process/ImageCalibration/LaunchCount\tDifferent\t113\t112\n")));
    const QJsonObject json
        = QJsonDocument::fromJson(
              run({QStringLiteral("diff"), QStringLiteral("--json"), m_file, otherPath}).out.toUtf8())
              .object();
    QCOMPARE(json.value(QStringLiteral("differences")).toArray().size(), lines.size());
    QVERIFY(json.value(QStringLiteral("hidden")).toInt() > 0);
    QCOMPARE(result.out.count(u'\n'), lines.size() + json.value(QStringLiteral("hidden")).toInt());
    QCOMPARE(run({QStringLiteral("diff"), m_file, m_dir->filePath(QStringLiteral("missing"))}).code, 3);
}

void TestSettingsCli::healthAndModules()
{
    Result result = run({QStringLiteral("modules"), m_file});
    QCOMPARE(result.code, 0);
    QVERIFY(result.out.contains(QLatin1String("registered\tImageCalibration\t10\n")));
    QVERIFY(result.out.contains(QLatin1String("unused\tMirelux\t13\n")));
    const QJsonObject modules
        = QJsonDocument::fromJson(run({QStringLiteral("modules"), QStringLiteral("--json"), m_file}).out.toUtf8())
              .object();
    QCOMPARE(modules.value(QStringLiteral("registered")).toArray().size(), 7);
    // Favorites (empty), PixelClipboard (PixInsight's own) and the settings of its standard
    // processes (HistogramTransformation, PixelMath, StarAlignment) are no module's data.
    QCOMPARE(modules.value(QStringLiteral("unused")).toArray().size(), 1);
    QVERIFY(!result.out.contains(QLatin1String("unused\tPixelMath")));

    result = run({QStringLiteral("health"), QStringLiteral("--json"), m_file});
    const QJsonArray findings
        = QJsonDocument::fromJson(result.out.toUtf8()).object().value(QStringLiteral("findings")).toArray();
    bool problem = false, unused = false;
    for (const QJsonValue &finding : findings) {
        problem
            = problem || finding.toObject().value(QStringLiteral("severity")).toString() == QLatin1String("Problem");
        unused = unused || finding.toObject().value(QStringLiteral("id")).toString() == QLatin1String("unused-modules");
    }
    QVERIFY(unused);
    QCOMPARE(result.code, problem ? 1 : 0);
    QVERIFY(run({QStringLiteral("health"), m_file})
                .out.contains(QLatin1String("\tunused-modules\t1 module has saved data")));
}

void TestSettingsCli::backupsKeep()
{
    // Three backups with distinct ages, and a link dressed as a backup that must survive.
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < 3; ++i) {
        const QString path = write(QStringLiteral("core-001-pxi.settings.bak-2026120%1-120000").arg(i + 1), m_original);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(now.addSecs(-3600 * (3 - i)), QFileDevice::FileModificationTime));
    }
    const QString precious = write(QStringLiteral("precious.txt"), "mine");
    // Where no link can be made (Windows without the right to make them) the rest still holds.
    const bool linked
        = pfw::test::makeSymbolicLink(precious, m_dir->filePath(QStringLiteral("core-001-pxi.settings.bak-link")));

    Result result = run({QStringLiteral("backups"), m_file});
    QCOMPARE(result.code, 0);
    const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).endsWith(QLatin1String(".bak-20261203-120000")));

    result = run({QStringLiteral("backups"), m_file, QStringLiteral("--keep"), QStringLiteral("1")});
    QCOMPARE(result.code, 0);
    QVERIFY2(result.out.contains(QLatin1String("2 backups")), qPrintable(result.out));
    QStringList left{QStringLiteral("core-001-pxi.settings.bak-20261203-120000")};
    if (linked)
        left << QStringLiteral("core-001-pxi.settings.bak-link");
    QCOMPARE(backups(), left);
    QCOMPARE(readAll(precious), QByteArray("mine"));
    QCOMPARE(readAll(m_file), m_original);
    // A settings file that is gone still has its backups listed.
    QVERIFY(QFile::remove(m_file));
    QCOMPARE(run({QStringLiteral("backups"), m_file}).out.count(u'\n'), 1);
}

// With no data folder yet, Qt's trash would be "files" and "info" in the working folder.
void TestSettingsCli::trashNeverLandsInTheWorkingFolder()
{
#ifdef Q_OS_WIN
    QSKIP("the Recycle Bin is the system's, not a folder among the user's data");
#endif
    const QString name = QStringLiteral("core-001-pxi.settings.bak-20261201-120000");
    QVERIFY(!write(name, m_original).isEmpty());
    const QString elsewhere = m_dir->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    const QString data = m_dir->filePath(QStringLiteral("home/.local/share"));
    QVERIFY(!QFileInfo::exists(data));

    const Result result
        = run({QStringLiteral("backups"), m_file, QStringLiteral("--keep"), QStringLiteral("0")}, elsewhere);
    QCOMPARE(result.code, 0);
    QVERIFY2(result.out.startsWith(QLatin1String("Moved 1 backup to the Recycle Bin")), qPrintable(result.out));
    QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(backups().isEmpty());
    QCOMPARE(readAll(data + QLatin1String("/Trash/files/") + name), m_original);
}

void TestSettingsCli::jsonErrors()
{
    const Result result = run({QStringLiteral("--json"), QStringLiteral("get"), m_file, QStringLiteral("Global/Nope")});
    QCOMPARE(result.code, 1);
    const QJsonObject object = QJsonDocument::fromJson(result.out.toUtf8()).object();
    QCOMPARE(object.value(QStringLiteral("exitCode")).toInt(), 1);
    QCOMPARE(object.value(QStringLiteral("errors")).toArray().at(0).toString(),
             QStringLiteral("Global/Nope: no such setting."));
    // After "--" a word that looks like an option is an argument.
    QCOMPARE(run({QStringLiteral("label"), QStringLiteral("--"), QStringLiteral("--json")}).out,
             QStringLiteral("--json\n"));
}

void TestSettingsCli::outputThatCannotBeWrittenFails_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("dump") << QStringList{QStringLiteral("dump")};
    QTest::newRow("get") << QStringList{QStringLiteral("get"), QStringLiteral("FILE"), kMaxProcessors};
    QTest::newRow("roundtrip") << QStringList{QStringLiteral("roundtrip")};
    QTest::newRow("check --json") << QStringList{QStringLiteral("check"), QStringLiteral("FILE"),
                                                 QStringLiteral("--json")};
    QTest::newRow("set") << QStringList{QStringLiteral("set"), QStringLiteral("FILE"),
                                        kMaxProcessors + QLatin1String("=8")};
    QTest::newRow("backups --keep") << QStringList{QStringLiteral("backups"), QStringLiteral("FILE"),
                                                   QStringLiteral("--keep"), QStringLiteral("0")};
}

// A full disk must not end in success: a script would go on with an empty or cut result.
void TestSettingsCli::outputThatCannotBeWrittenFails()
{
    QFETCH(QStringList, arguments);
    if (arguments.size() == 1)
        arguments << m_file;
    else
        arguments[1] = m_file;
    if (arguments.first() == u"backups")
        QVERIFY(!write(QStringLiteral("core-001-pxi.settings.bak-20260101-000000"), m_original).isEmpty());
    // Under Wine the host's own device, through the drive its files are on.
    m_outputFile = QStringLiteral(PFW_HOST_DRIVE "/dev/full");
    if (!QFileInfo::exists(m_outputFile))
        QSKIP("needs a device that is always full (/dev/full)");
#ifdef Q_OS_WIN
    const bool trash = pfw::test::trashTakesFilesFrom(m_dir->path());
#else
    const bool trash = true;
#endif
    const Result result = run(arguments);
    QCOMPARE(result.code, 1);
    if (arguments.first() == u"backups") {
        QVERIFY(backups().isEmpty());
        QCOMPARE(result.err,
                 (trash ? QStringLiteral("Moved 1 backup to the Recycle Bin (%1). ")
                        : QStringLiteral("Deleted 1 backup (%1). "))
                         .arg(pfw::DisplayText::size(m_original.size()))
                     + QStringLiteral("Its report could not be written: No space left on device\n"));
        return;
    }
    if (arguments.first() == u"set") {
        // The change is made: saying only that the output failed would have it tried again.
        QCOMPARE(backups().size(), 1);
        QCOMPARE(result.err,
                 QStringLiteral("The change was saved (backup: %1). Its report could not be written: No space "
                                "left on device\n")
                     .arg(backups().constFirst()));
        return;
    }
    QVERIFY2(result.err.startsWith(QLatin1String("Could not write the output: ")), qPrintable(result.err));
}

// Backups made by real saves: the value changed, removed, written back by "PixInsight" and
// changed again, one backup that is no settings file, and a key that occurs twice.
void TestSettingsCli::historyAcrossRealBackups()
{
    const QString strength = QStringLiteral("ModuleData/Mirelux/Strength");
    QCOMPARE(run({QStringLiteral("set"), m_file, kMaxProcessors + QLatin1String("=8")}).code, 0);
    QCOMPARE(
        run({QStringLiteral("delete"), m_file, QStringLiteral("--yes"), QStringLiteral("ModuleData/Mirelux")}).code, 0);
    QCOMPARE(run({QStringLiteral("set"), m_file, kMaxProcessors + QLatin1String("=16")}).code, 0);
    QVERIFY(!write(QStringLiteral("core-001-pxi.settings"), m_original).isEmpty());
    QCOMPARE(run({QStringLiteral("set"), m_file, kMaxProcessors + QLatin1String("=32")}).code, 0);
    // Every backup so far is newer than this one, which is no settings file.
    QFile junk(write(QStringLiteral("core-001-pxi.settings.bak-20200101-000000"), "not xml"));
    QVERIFY(junk.open(QIODevice::ReadWrite));
    QVERIFY(junk.setFileTime(QDateTime::currentDateTime().addYears(-1), QFileDevice::FileModificationTime));
    junk.close();

    const auto values = [](const QString &out) {
        QStringList found;
        for (const QString &line : out.split(u'\n', Qt::SkipEmptyParts))
            found << line.section(u'\t', 1);
        return found;
    };
    Result result = run({QStringLiteral("history"), m_file, strength});
    QCOMPARE(result.code, 0);
    QCOMPARE(values(result.out),
             QStringList({QStringLiteral("0.65"), QStringLiteral("(absent)"), QStringLiteral("0.65"),
                          QStringLiteral("0.65"), QStringLiteral("(invalid)"), QStringLiteral("0.65")}));
    QVERIFY(result.out.endsWith(QLatin1String("file\t0.65\n")));
    result = run({QStringLiteral("history"), m_file, kMaxProcessors});
    // Each backup holds the file as it was before its save.
    QCOMPARE(values(result.out),
             QStringList({QStringLiteral("64"), QStringLiteral("8"), QStringLiteral("8"), QStringLiteral("64"),
                          QStringLiteral("(invalid)"), QStringLiteral("32")}));
    // A key that occurs twice: the first occurrence, as everywhere else.
    result = run({QStringLiteral("history"), m_file, QStringLiteral("ModuleData/Mirelux/LastPreset")});
    QCOMPARE(values(result.out).constLast(), QStringLiteral("Galaxy \"soft\" & <faint>"));
    const QJsonObject json
        = QJsonDocument::fromJson(
              run({QStringLiteral("history"), QStringLiteral("--json"), m_file, strength}).out.toUtf8())
              .object();
    QCOMPARE(json.value(QStringLiteral("backups")).toArray().at(1).toObject().value(QStringLiteral("state")).toString(),
             QStringLiteral("absent"));
    QCOMPARE(json.value(QStringLiteral("current")).toObject().value(QStringLiteral("value")).toString(),
             QStringLiteral("0.65"));

    result = run({QStringLiteral("history"), m_file, QStringLiteral("Nowhere/At/All")});
    QCOMPARE(result.code, 1);
    QCOMPARE(result.err, QStringLiteral("Nowhere/At/All is neither in the file nor in any of its backups.\n"));
    result = run({QStringLiteral("history"), m_file, QStringLiteral("ModuleData/Mirelux")});
    QCOMPARE(result.code, 1);
    QCOMPARE(result.err, QStringLiteral("ModuleData/Mirelux is a group; a history is kept for each value.\n"));

    // A damaged file is when its backups matter most.
    QVERIFY(!write(QStringLiteral("core-001-pxi.settings"), "<xsdt version=\"1.0\"><i k=").isEmpty());
    result = run({QStringLiteral("history"), m_file, kMaxProcessors});
    QCOMPARE(result.code, 0);
    QVERIFY(result.out.endsWith(QLatin1String("file\t(invalid)\n")));
    QCOMPARE(run({QStringLiteral("history"), m_file, QStringLiteral("Nowhere/At/All")}).code, 3);
}

// Backups of one second carry numbers; equal modification times (a copied folder) must not
// turn their order around.
void TestSettingsCli::historyOrderWithinOneSecond()
{
    const QDateTime moment(QDate(2026, 12, 8), QTime(9, 4, 13));
    QStringList names;
    for (int n = 1; n <= 4; ++n) {
        QByteArray content = m_original;
        content.replace("k=\"MaxProcessors\" t=\"i\" v=\"64\"",
                        "k=\"MaxProcessors\" t=\"i\" v=\"" + QByteArray::number(n) + '"');
        const QString name
            = m_file + QLatin1String(".bak-20261208-090413") + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        QVERIFY(file.setFileTime(moment, QFileDevice::FileModificationTime));
    }
    const Result result = run({QStringLiteral("history"), m_file, kMaxProcessors});
    QCOMPARE(result.code, 0);
    QStringList values;
    for (const QString &line : result.out.split(u'\n', Qt::SkipEmptyParts))
        values << line.section(u'\t', 1);
    QCOMPARE(values,
             QStringList({QStringLiteral("4"), QStringLiteral("3"), QStringLiteral("2"), QStringLiteral("1"),
                          QStringLiteral("64")}));
}

QString TestSettingsCli::plantSearch()
{
    m_original = pfw::test::SearchFixture::file(true);
    m_file = write(QStringLiteral("core-001-pxi.settings"), m_original);
    return write(QStringLiteral("core-001-pxi.settings.bak-20260101-000000"), pfw::test::SearchFixture::file(false));
}

// The commands the search suggests name the file as the system's shell reads it back: pasted,
// the word reaches the program as the file's name, whatever that holds.
void TestSettingsCli::suggestedCommandsReachTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "C:/Users/astro/core-001-pxi.settings";
    QTest::newRow("spaces") << "C:\\Users\\Jurgen Muller\\AppData\\Roaming\\Pleiades\\core-001-pxi.settings";
    QTest::newRow("apostrophe") << "/home/o'brien/core-001-pxi.settings";
    QTest::newRow("shell signs") << "/tmp/a&b (copy);|<x>^!.settings";
#ifndef Q_OS_WIN
    // A Windows name holds neither, and its programs get their arguments in the ANSI code page.
    QTest::newRow("non-ASCII") << "/home/Jürgen Müller/core-001-pxi.settings";
    QTest::newRow("control character") << "/tmp/bad\tname\x1b[31m.settings";
    QTest::newRow("control character beyond ASCII") << QStringLiteral("/tmp/next\u0085line.settings");
    QTest::newRow("dollar and backquote") << "/tmp/$HOME `id`.settings";
#endif
}

void TestSettingsCli::suggestedCommandsReachTheFile()
{
    QFETCH(QString, name);
    const QString record = m_dir->filePath(QStringLiteral("record.txt"));
    const QString word = pfw::TerminalText::shellWord(name);
    QProcess shell;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PFW_HELPER_RECORD"), QDir::toNativeSeparators(record));
    shell.setProcessEnvironment(environment);
#ifdef Q_OS_WIN
    shell.setProgram(QStringLiteral("cmd.exe"));
    shell.setNativeArguments(
        QStringLiteral("/d /s /c \"\"%1\" %2\"").arg(QDir::toNativeSeparators(QStringLiteral(PFW_FAKE_HELPER)), word));
#else
    // The shell users type in; $'...' is bash's (and zsh's).
    shell.setProgram(QStringLiteral("/bin/bash"));
    shell.setArguments({QStringLiteral("-c"), QStringLiteral("'%1' %2").arg(QStringLiteral(PFW_FAKE_HELPER), word)});
#endif
    shell.start();
    QVERIFY(shell.waitForFinished(60000));
    QCOMPARE(shell.exitCode(), 0);
    QFile recorded(record);
    QVERIFY2(recorded.open(QIODevice::ReadOnly), qPrintable(word));
    QCOMPARE(QString::fromLocal8Bit(recorded.readAll()), name + u'\n');
}

void TestSettingsCli::bisectFindsTheProblem_data()
{
    QTest::addColumn<QString>("ending");
    QTest::newRow("put back") << "";
    QTest::newRow("use the good value") << "--use-good";
    QTest::newRow("keep as it is") << "--keep-current";
}

// A whole search from a terminal: PixInsight is started on each round's file, counts its launch
// and rewrites the file as it exits; the problem shows exactly when the planted value is bad.
void TestSettingsCli::bisectFindsTheProblem()
{
    using pfw::test::SearchFixture;
    QFETCH(QString, ending);
    const QString good = plantSearch();
    const int culprit = 17;
    Result result = run({QStringLiteral("bisect"), QStringLiteral("start"), m_file, good});
    QVERIFY2(result.code == 0, qPrintable(result.err));
    QVERIFY(result.out.contains(QLatin1String("about 6 launches")));
    QVERIFY(result.out.contains(
        QLatin1String("Start PixInsight now and check whether the problem occurs; close it, then answer.")));
    // The file as the system's shell names it (back slashes on Windows), ready to paste.
    const QString named = pfw::TerminalText::shellWord(QDir::toNativeSeparators(m_file));
    QVERIFY2(result.out.contains(QStringLiteral("prefwright-cli bisect bad %1 ").arg(named)), qPrintable(result.out));
    int rounds = 0;
    for (; rounds < 10 && !result.out.contains(QLatin1String("Found after")); ++rounds) {
        pfw::test::FakeHost host;
        QVERIFY(host.start(m_dir->path()));
        const bool occurs = SearchFixture::problemOccurs(readAll(m_file), culprit);
        if (rounds == 0) {
            const Result early = run({QStringLiteral("bisect"), QStringLiteral("bad"), m_file});
            QCOMPARE(early.code, 1);
            QVERIFY2(early.err.contains(QLatin1String("PixInsight is running")), qPrintable(early.err));
        }
        QVERIFY(write(QStringLiteral("core-001-pxi.settings"), SearchFixture::pixInsightExit(readAll(m_file)))
                == m_file);
        host.stop();
        result = run({QStringLiteral("bisect"), occurs ? QStringLiteral("bad") : QStringLiteral("good"), m_file});
        QVERIFY2(result.code == 0, qPrintable(result.err));
    }
    QVERIFY2(rounds <= 7, qPrintable(result.out));
    QVERIFY2(result.out.contains(QStringLiteral("(%1)\n    bad value:  %2")
                                     .arg(SearchFixture::differencePath(culprit), QStringLiteral("true"))),
             qPrintable(result.out));
    QCOMPARE(run({QStringLiteral("bisect"), QStringLiteral("good"), m_file}).code, 1); // over already
    const QByteArray last = readAll(m_file);
    QStringList arguments{QStringLiteral("bisect"), QStringLiteral("reset"), m_file};
    if (!ending.isEmpty())
        arguments << ending;
    result = run(arguments);
    QVERIFY2(result.code == 0, qPrintable(result.err));
    const QByteArray now = readAll(m_file);
    if (ending.isEmpty()) {
        QCOMPARE(now, m_original);
    } else if (ending == u"--keep-current") {
        QCOMPARE(now, last);
    } else {
        QVERIFY(!SearchFixture::problemOccurs(now, culprit));
        // Everything else as it was: putting the value back in the original gives the same file.
        pfw::XsdtFile expected;
        QVERIFY(expected.parse(m_original));
        expected.root.findPath(SearchFixture::differencePath(culprit))->value = QStringLiteral("false");
        QCOMPARE(now, expected.serialize());
    }
    QVERIFY(!QFile::exists(pfw::ProblemSearch::statePathFor(m_file)));
    QCOMPARE(run({QStringLiteral("bisect"), QStringLiteral("status"), m_file}).out,
             QStringLiteral("No search for a problem setting is in progress for %1.\n")
                 .arg(QDir::toNativeSeparators(m_file)));
}

// Two terminals answering at once: each answer applies to the round it found, none is lost
// and none is applied twice to one round.
void TestSettingsCli::bisectStepsTakeTurns()
{
    const QString good = plantSearch();
    QCOMPARE(run({QStringLiteral("bisect"), QStringLiteral("start"), m_file, good}).code, 0);
    const QStringList bad{QStringLiteral("bisect"), QStringLiteral("bad"), m_file};
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < 3; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(QStringLiteral(PFW_CLI), bad);
    }
    for (const auto &process : processes) {
        QVERIFY(finish(*process, bad));
        QCOMPARE(process->exitCode(), 0);
    }
    pfw::ProblemSearch search(m_file);
    QString error;
    QVERIFY2(search.read(&error), qPrintable(error));
    QCOMPARE(search.search().rounds(), 3);
    QCOMPARE(search.search().remaining().size(), 5);
    QByteArray candidate;
    QVERIFY(
        pfw::SearchPlan::buildCandidate(m_original, search.suspects(), search.search().testing(), &candidate, &error));
    QCOMPARE(readAll(m_file), candidate);
}

// Killed at any moment of a step, the search can always go on: the state reads, the file as it
// was is in the backup it names, and going on still finds the planted value.
void TestSettingsCli::bisectSurvivesBeingKilled()
{
    using pfw::test::SearchFixture;
    const QString good = plantSearch();
    QRandomGenerator random(7);
    QString error;
    for (const int culprit : {33, 4}) {
        QCOMPARE(run({QStringLiteral("bisect"), QStringLiteral("start"), m_file, good}).code, 0);
        for (int attempt = 0; attempt < 60; ++attempt) {
            pfw::ProblemSearch search(m_file);
            QVERIFY2(search.read(&error), qPrintable(error));
            QCOMPARE(readAll(search.backupPath()), m_original);
            if (search.search().isFinished())
                break;
            const bool occurs = SearchFixture::problemOccurs(readAll(m_file), culprit);
            QProcess process;
            process.start(QStringLiteral(PFW_CLI),
                          {QStringLiteral("bisect"), occurs ? QStringLiteral("bad") : QStringLiteral("good"), m_file});
            // A step that never started is as good as one killed before it began.
            if (!process.waitForStarted())
                continue;
            // A step takes a few milliseconds; every fourth runs to its end, so the search moves on.
            if (attempt % 4 != 3)
                QThread::usleep(1000 + random.bounded(6000));
            else
                process.waitForFinished(30000);
            process.kill();
            process.waitForFinished(30000);
        }
        pfw::ProblemSearch search(m_file);
        QVERIFY2(search.read(&error), qPrintable(error));
        QVERIFY(search.search().isFinished());
        QCOMPARE(search.remainingSuspects().size(), 1);
        QCOMPARE(search.remainingSuspects().at(0).path, SearchFixture::differencePath(culprit));
        QCOMPARE(run({QStringLiteral("bisect"), QStringLiteral("reset"), m_file}).code, 0);
        QCOMPARE(readAll(m_file), m_original);
    }
}

// A save or a pruning of backups that comes while a search starts either waits for it (and is
// refused), or comes first (and the search starts from what it left): a saved value is never
// lost and the search never loses its backup.
void TestSettingsCli::bisectStartRacesOtherWriters()
{
    const auto file = [](int offset) {
        QByteArray xml = "<xsdt version=\"1.0\"><i k=\"Global\"><i k=\"Preferences\"><i k=\"Opt\">";
        for (int i = 0; i < 20000; ++i)
            xml += "<v k=\"V" + QByteArray::number(i) + "\" t=\"i\" v=\"" + QByteArray::number(i + offset) + "\"/>";
        return xml + "</i></i></i></xsdt>";
    };
    const QByteArray bad = file(1000);
    const QString good = write(QStringLiteral("good.settings"), file(0));
    QRandomGenerator random(11);
    QElapsedTimer clock;
    clock.start();
    write(QStringLiteral("core-001-pxi.settings"), bad);
    QCOMPARE(run({QStringLiteral("bisect"), QStringLiteral("start"), m_file, good}).code, 0);
    const qint64 startMs = qMax<qint64>(clock.elapsed(), 10);
    QCOMPARE(run({QStringLiteral("bisect"), QStringLiteral("reset"), m_file}).code, 0);
    for (int attempt = 0; attempt < 12; ++attempt) {
        write(QStringLiteral("core-001-pxi.settings"), bad);
        const bool prune = attempt % 2 == 1;
        QProcess start, other;
        const QStringList startArguments{QStringLiteral("bisect"), QStringLiteral("start"), m_file, good};
        const QStringList otherArguments = prune
            ? QStringList{QStringLiteral("backups"), m_file, QStringLiteral("--keep"), QStringLiteral("0")}
            : QStringList{QStringLiteral("set"), m_file, QStringLiteral("Global/Preferences/Opt/V19999=777")};
        const auto launchStart = [&] { start.start(QStringLiteral(PFW_CLI), startArguments); };
        const auto launchOther = [&] { other.start(QStringLiteral(PFW_CLI), otherArguments); };
        // Either may come first, by up to the time a start takes.
        const bool startFirst = attempt % 4 < 2;
        startFirst ? launchStart() : launchOther();
        QThread::usleep(random.bounded(quint32(startMs * 1000)));
        startFirst ? launchOther() : launchStart();
        QVERIFY(finish(start, startArguments) && finish(other, otherArguments));
        const bool saved = !prune && other.exitCode() == 0;
        pfw::ProblemSearch search(m_file);
        QString error;
        if (search.hasState()) {
            QVERIFY2(search.read(&error), qPrintable(error));
            QByteArray original;
            QVERIFY2(search.readBadBytes(&original, &error), qPrintable(error));
            if (saved)
                QVERIFY(original.contains("k=\"V19999\" t=\"i\" v=\"777\""));
            const Result reset = run({QStringLiteral("bisect"), QStringLiteral("reset"), m_file});
            QVERIFY2(reset.code == 0, qPrintable(reset.err));
            QCOMPARE(readAll(m_file), original);
        } else if (saved) {
            QVERIFY(readAll(m_file).contains("k=\"V19999\" t=\"i\" v=\"777\""));
        }
    }
}

// Names, keys and values come from files a stranger may have written: a control character in
// them would move the cursor, recolour or hide what follows on the terminal.
void TestSettingsCli::noControlCharacterReachesTheTerminal()
{
#ifdef Q_OS_WIN
    // A Windows file name cannot hold a control character; keys and values still can.
    const QString name = QStringLiteral("core-pxi.settings");
    const QString backupTail = QStringLiteral(".bak-20260101-000000");
#else
    const QString name = QStringLiteral("core\x1b[2J-pxi.settings");
    const QString backupTail = QStringLiteral(".bak-20260101-000000\x1b[5m");
#endif
    const QByteArray key = "A\x1b]0;x\x07";
    const QString file = write(name,
                               "<xsdt version=\"1.0\"><i k=\"G\"><v k=\"" + key
                                   + "\" t=\"s\" v=\"\x1b[31mred\"/>"
                                     "<v k=\"N\" t=\"i\" v=\"1\"/></i></xsdt>");
    const QString good = write(QStringLiteral("good.settings"),
                               "<xsdt version=\"1.0\"><i k=\"G\"><v k=\"" + key
                                   + "\" t=\"s\" v=\"plain\"/><v k=\"N\" t=\"i\" v=\"1\"/></i></xsdt>");
    QVERIFY(QFile::copy(file, file + backupTail));
    const QString path = QStringLiteral("G/") + QString::fromUtf8(key);
    const QList<QStringList> commands{
        {QStringLiteral("check"), file},
        {QStringLiteral("dump"), file},
        {QStringLiteral("diff"), file, good},
        {QStringLiteral("history"), file, path},
        {QStringLiteral("verdict"), file, path},
        {QStringLiteral("backups"), file},
        {QStringLiteral("get"), file, QStringLiteral("G/Nope\x1b[8m")},
        {QStringLiteral("set"), file, path + QLatin1String("=x")},
        {QStringLiteral("set"), file, QStringLiteral("G/N=2")},
        // One difference left: the search is over at once and names it.
        {QStringLiteral("bisect"), QStringLiteral("start"), file, good},
        {QStringLiteral("bisect"), QStringLiteral("reset"), file},
        {QStringLiteral("backups"), file, QStringLiteral("--keep"), QStringLiteral("0")},
    };
    for (const QStringList &arguments : commands) {
        const Result result = run(arguments);
        QVERIFY2(result.code >= 0, qPrintable(arguments.first()));
        for (const QString &output : {result.out, result.err}) {
            for (const QChar c : output) {
                const bool control
                    = (c.unicode() < 0x20 && c != u'\n' && c != u'\t') || (c.unicode() >= 0x7f && c.unicode() < 0xa0);
                QVERIFY2(!control,
                         qPrintable(arguments.first() + u' '
                                    + QString::fromLatin1(output.toUtf8().toPercentEncoding(" \n\t"))));
            }
        }
    }
}

// The system hands over bytes; "\xff" would turn into U+FFFD and name another file.
void TestSettingsCli::namesNotInTheFileNameEncodingAreRefused()
{
#ifndef Q_OS_UNIX
    QSKIP("Windows hands over text, not bytes");
#endif
    const QString lookAlike = write(QString::fromUtf8("core-\xEF\xBF\xBD.settings"), m_original);
    QVERIFY(!lookAlike.isEmpty());
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"),
                   QStringLiteral("exec \"$0\" set \"$(printf 'core-\\377.settings')\" "
                                  "Global/Preferences/Process/MaxProcessors=8"),
                   QStringLiteral(PFW_CLI)});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             QStringLiteral("The argument core-\\xff.settings is not valid UTF-8, the encoding of file names here, so "
                            "Prefwright cannot tell which file or text it means. Nothing was done.\n"));
    QCOMPARE(readAll(lookAlike), m_original);
    QVERIFY(backups().isEmpty());
    process.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QStringLiteral("exec \"$0\" check \"$(printf 'core-\\377.settings')\" --json"),
                   QStringLiteral(PFW_CLI)});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 2);
    const QJsonObject json = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    QCOMPARE(json.value(QStringLiteral("exitCode")).toInt(), 2);
}

void TestSettingsCli::aSaveSaysWhenTheFileHasAnotherName()
{
#ifndef Q_OS_UNIX
    QSKIP("hard links are made with POSIX link() here");
#else
    const QString other = m_dir->filePath(QStringLiteral("other.settings"));
    QCOMPARE(::link(QFile::encodeName(m_file).constData(), QFile::encodeName(other).constData()), 0);
    const Result result = run({QStringLiteral("set"), m_file, kMaxProcessors + QLatin1String("=8")});
    QCOMPARE(result.code, 0);
    QCOMPARE(result.err,
             QStringLiteral("warning: This file has another name; saving gives this name a new file and "
                            "leaves the other name as it was.\n"));
    // As said: the other name still has the file as it was.
    QCOMPARE(readAll(other), m_original);
#endif
}

// A key "x/y" written before the item x holding y: the path P/x/y is the nested value for get,
// set and history alike.
void TestSettingsCli::historyFollowsThePathAsGetDoes()
{
    const auto file = [](const char *slash, const char *nested) {
        return QByteArray("<xsdt version=\"1.0\"><i k=\"P\"><v k=\"x/y\" t=\"s\" v=\"") + slash
            + "\"/><i k=\"x\"><v k=\"y\" t=\"s\" v=\"" + nested + "\"/></i></i></xsdt>";
    };
    const QString path = write(QStringLiteral("core-002-pxi.settings"), file("slash now", "nested now"));
    write(QStringLiteral("core-002-pxi.settings.bak-20260101-000000"), file("slash then", "nested then"));
    QCOMPARE(run({QStringLiteral("get"), path, QStringLiteral("P/x/y")}).out, QStringLiteral("nested now\n"));
    const Result result = run({QStringLiteral("history"), path, QStringLiteral("P/x/y")});
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, QStringLiteral("2026-01-01 00:00:00\tnested then\nfile\tnested now\n"));
}

void TestSettingsCli::restorePutsABackupBack()
{
    QCOMPARE(run({QStringLiteral("set"), m_file, kMaxProcessors + QLatin1String("=8")}).code, 0);
    const QString backup = m_dir->filePath(backups().constFirst());
    const QByteArray edited = readAll(m_file);
    // Only the file's own backups, and not while PixInsight runs.
    Result result = run({QStringLiteral("restore"), m_file, write(QStringLiteral("other.settings"), m_original)});
    QCOMPARE(result.code, 1);
    QVERIFY2(result.err.contains(QLatin1String("is not a backup of")), qPrintable(result.err));
    {
        pfw::test::FakeHost host;
        QVERIFY(host.start(m_dir->path()));
        result = run({QStringLiteral("restore"), m_file, backup});
        host.stop();
        QCOMPARE(result.code, 1);
        QVERIFY2(result.err.contains(QLatin1String("PixInsight is running")), qPrintable(result.err));
    }
    QCOMPARE(readAll(m_file), edited);
    // A damaged file is when a backup is needed most; it is kept before it is replaced.
    QVERIFY(!write(QStringLiteral("core-001-pxi.settings"), "garbage").isEmpty());
    result = run({QStringLiteral("restore"), m_file, backup});
    QVERIFY2(result.code == 0, qPrintable(result.err));
    QCOMPARE(readAll(m_file), m_original);
    QStringList kept = backups().filter(QStringLiteral("-before-restore"));
    QCOMPARE(kept.size(), 1);
    QCOMPARE(readAll(m_dir->filePath(kept.constFirst())), QByteArray("garbage"));
    QCOMPARE(result.out,
             QStringLiteral("Restored %1. The file as it was is kept in %2.\n")
                 .arg(QFileInfo(backup).fileName(), kept.constFirst()));
    QVERIFY(result.err.isEmpty());
    // A backup is put back as it was written; one a strict reader would refuse is said to be so.
    QByteArray odd = m_original;
    odd.replace("v=\"DejaVu Sans\"", "v=\"DejaVu\x1B Sans\"");
    const QString oddBackup = write(QStringLiteral("core-001-pxi.settings.bak-20260102-000000"), odd);
    result = run({QStringLiteral("restore"), m_file, oddBackup});
    QCOMPARE(result.code, 0);
    QCOMPARE(readAll(m_file), odd);
    QVERIFY2(result.err.startsWith(QLatin1String("warning: the restored file is not well-formed XML")),
             qPrintable(result.err));
}

void TestSettingsCli::limitsOfTheSystemAreReportedAsSuch_data()
{
    QTest::addColumn<QString>("limit");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    // ulimit -f ends a program that writes past it, without a word, unless it asks otherwise.
    QTest::newRow("file size limit") << "ulimit" << 1 << "File too large. Nothing was written.";
    // Not even the lock file can hold a byte: that, not the folder, is the reason.
    QTest::newRow("no file size at all") << "ulimit 0" << 1 << "beside the file: File too large. Nothing was changed.";
    // With room for its backup's name, a long name saves; with none, the system says so.
    QTest::newRow("name of 230 bytes") << "230" << 0 << "";
    QTest::newRow("name of 240 bytes") << "240" << 1 << "File name too long";
}

void TestSettingsCli::limitsOfTheSystemAreReportedAsSuch()
{
    QFETCH(QString, limit);
    QFETCH(int, code);
    QFETCH(QString, message);
#ifndef Q_OS_UNIX
    QSKIP("ulimit and the length of names are POSIX matters here");
#endif
    QString file = m_file;
    QString script = QStringLiteral("exec \"$0\" set \"$1\" Global/Preferences/Process/MaxProcessors=8");
    if (limit.startsWith(u"ulimit")) {
        script.prepend(limit == u"ulimit" ? QStringLiteral("ulimit -f 40; ") : QStringLiteral("ulimit -f 0; "));
    } else {
        file = write(QString(limit.toInt() - 9, u's') + QLatin1String(".settings"), m_original);
        QVERIFY(!file.isEmpty());
    }
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_dir->filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("home/.local/share")));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QStringLiteral(PFW_CLI), file});
    QVERIFY(process.waitForFinished(30000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == code, qPrintable(err));
    QVERIFY2(err.contains(message), qPrintable(err));
    QCOMPARE(readAll(file) == m_original, code != 0);
    // Nothing is left behind but the file and, when saved, its backup.
    const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : left)
        QVERIFY2(!name.startsWith(u'.'), qPrintable(name));
}

// A search whose state is cut short still leads back to the file as it was.
void TestSettingsCli::aDamagedSearchStateStillLeadsBack()
{
    const QString good = plantSearch();
    QCOMPARE(run({QStringLiteral("bisect"), QStringLiteral("start"), m_file, good}).code, 0);
    QCOMPARE(run({QStringLiteral("bisect"), QStringLiteral("bad"), m_file}).code, 0);
    const QString state = m_file + QLatin1String(".problem-search.json");
    QVERIFY(!write(QFileInfo(state).fileName(), readAll(state).left(100)).isEmpty());
    Result result = run({QStringLiteral("bisect"), QStringLiteral("status"), m_file});
    QCOMPARE(result.code, 1);
    QVERIFY2(result.err.contains(QLatin1String("prefwright-cli bisect reset FILE --from-backup")),
             qPrintable(result.err));
    // Saves still wait, and pruning keeps the backup the file is in.
    QCOMPARE(run({QStringLiteral("set"), m_file, QStringLiteral("Global/Preferences/Tuning/Value00=5")}).code, 1);
    result = run({QStringLiteral("backups"), m_file, QStringLiteral("--keep"), QStringLiteral("0")});
    QCOMPARE(result.code, 0);
    QVERIFY2(result.out.contains(QLatin1String("an unfinished search for a problem setting needs it")),
             qPrintable(result.out));
    QCOMPARE(backups().filter(QStringLiteral("-before-search")).size(), 1);
    QCOMPARE(run({QStringLiteral("bisect"), QStringLiteral("reset"), m_file}).code, 1);
    result = run({QStringLiteral("bisect"), QStringLiteral("reset"), m_file, QStringLiteral("--from-backup")});
    QVERIFY2(result.code == 0, qPrintable(result.err));
    QCOMPARE(readAll(m_file), m_original);
    QVERIFY(!QFileInfo::exists(state));
}

// What one file exports, another takes in whole: afterwards the two differ nowhere under the
// exported entries, duplicate keys and new groups included, and a second import changes nothing.
void TestSettingsCli::exportThenImportRoundTrips()
{
    const QString process = QStringLiteral("Global/Preferences/Process");
    QCOMPARE(run({QStringLiteral("export"), m_file, process}).code, 0);
    const QString page = m_dir->filePath(QStringLiteral("preferences-processes.xsdt"));
    QVERIFY(QFileInfo::exists(page));
    const QString copy = write(QStringLiteral("copy.settings"), m_original);
    Result result = run({QStringLiteral("import"), copy, page, QStringLiteral("--dry-run")});
    QCOMPARE(result.code, 0);
    QCOMPARE(result.out, QStringLiteral("Nothing would change.\n"));

    const QString other = write(QStringLiteral("core-002-pxi.settings"), m_original);
    QCOMPARE(run({QStringLiteral("set"), other, process + QLatin1String("/MaxConsoleLines=777")}).code, 0);
    QCOMPARE(
        run({QStringLiteral("reset"), other, process + QLatin1String("/ConsoleDelay"), QStringLiteral("--yes")}).code,
        0);
    QCOMPARE(run({QStringLiteral("delete"), other, QStringLiteral("ModuleData/Mirelux"), QStringLiteral("--yes")}).code,
             0);
    const QString snippet = m_dir->filePath(QStringLiteral("chosen.xsdt"));
    QCOMPARE(run({QStringLiteral("export"), m_file, process, QStringLiteral("ModuleData/Mirelux"), QStringLiteral("-o"),
                  snippet})
                 .code,
             0);
    result = run({QStringLiteral("import"), other, snippet, QStringLiteral("--dry-run")});
    QCOMPARE(result.code, 1);
    QVERIFY2(result.out.contains(QLatin1String("change\tGlobal/Preferences/Process/MaxConsoleLines\t777\t20000\n")),
             qPrintable(result.out));
    QVERIFY2(result.out.contains(QLatin1String("new\tGlobal/Preferences/Process/ConsoleDelay\t200\n")),
             qPrintable(result.out));
    const QStringList before = QDir(m_dir->path()).entryList({QStringLiteral("core-002-pxi.settings.bak-*")});
    result = run({QStringLiteral("import"), other, snippet});
    QVERIFY2(result.code == 0, qPrintable(result.err));
    QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("core-002-pxi.settings.bak-*")}).size(), before.size() + 1);
    result = run({QStringLiteral("diff"), m_file, other, QStringLiteral("--all")});
    QCOMPARE(result.code, 0);
    for (const QString &line : result.out.split(u'\n', Qt::SkipEmptyParts))
        QVERIFY2(!line.startsWith(process + u'/') && !line.startsWith(QLatin1String("ModuleData/Mirelux/")),
                 qPrintable(line));
    QCOMPARE(run({QStringLiteral("get"), other, QStringLiteral("ModuleData/Mirelux/LastPreset")}).out,
             QStringLiteral("Galaxy \"soft\" & <faint>\n"));
    result = run({QStringLiteral("import"), other, snippet});
    QCOMPARE(result.code, 0);
    QVERIFY2(result.out.startsWith(QLatin1String("Nothing to save")), qPrintable(result.out));
}

void TestSettingsCli::portableExportLeavesOutThisComputer()
{
    const QString snippet = m_dir->filePath(QStringLiteral("portable.xsdt"));
    const Result result = run({QStringLiteral("export"), m_file, QStringLiteral("/"), QStringLiteral("--portable"),
                               QStringLiteral("-o"), snippet});
    QVERIFY2(result.code == 0, qPrintable(result.err));
    QVERIFY2(result.out.contains(QLatin1String("Left out as this computer's own: ")), qPrintable(result.out));
    for (const char *bound :
         {"MainWindow/Geometry/X", "MainWindow/RecentFiles/File01", "Global/Statistics/Process/Mirelux/LaunchCount",
          "Global/Preferences/Process/MaxProcessors", "Global/Preferences/Process/MaxFileReadThreads",
          "Global/Preferences/Security/EnableLocalSigningIdentity",
          "ModuleData/ImageCalibration/Interfaces/ImageCalibrationInterface/Geometry"}) {
        QCOMPARE(run({QStringLiteral("get"), m_file, QString::fromLatin1(bound)}).code, 0);
        QVERIFY2(run({QStringLiteral("get"), snippet, QString::fromLatin1(bound)}).code != 0, bound);
    }
    QCOMPARE(run({QStringLiteral("get"), snippet, QStringLiteral("Global/Preferences/Process/MaxConsoleLines")}).out,
             QStringLiteral("20000\n"));
    // The snippet is a settings file itself, and all else of the file is in it.
    QCOMPARE(run({QStringLiteral("import"), m_file, snippet, QStringLiteral("--dry-run")}).code, 0);
    // Nothing but this computer's own chosen: an empty snippet would be no export at all.
    const Result bound = run({QStringLiteral("export"), m_file, QStringLiteral("MainWindow/Geometry"),
                              QStringLiteral("--portable"), QStringLiteral("-")});
    QVERIFY(bound.code != 0);
    QVERIFY2(bound.err.contains(QLatin1String("belongs to this computer alone")), qPrintable(bound.err));
}

void TestSettingsCli::exportWritesNothingButASnippetFile_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<bool>("written");
    QTest::newRow("a link to a snippet") << "link" << true;
    QTest::newRow("a link to nothing") << "dangling" << false;
    QTest::newRow("a named pipe") << "fifo" << false;
    QTest::newRow("another instance's settings") << "instance" << false;
    QTest::newRow("another instance's settings in capitals") << "capitals" << false;
    QTest::newRow("a hard link to the settings file") << "hard link" << false;
    QTest::newRow("a backup of the settings file") << "backup" << false;
}

// An export replaces a snippet, through a link too, and nothing else: a device or a pipe would be
// gone, and another instance's settings would be lost whole to a few values.
void TestSettingsCli::exportWritesNothingButASnippetFile()
{
    QFETCH(QString, planted);
    QFETCH(bool, written);
    const QString out = m_dir->filePath(planted == u"instance"       ? QStringLiteral("core-002-pxi.settings")
                                            : planted == u"capitals" ? QStringLiteral("CORE-002-PXI.SETTINGS")
                                            : planted == u"backup"
                                            ? QFileInfo(m_file).fileName() + QStringLiteral(".bak-20261211-133538")
                                            : QStringLiteral("out.xsdt"));
    const QString old = write(QStringLiteral("old.xsdt"), "old");
    if (planted == u"link")
        PFW_SYMBOLIC_LINK_OR_SKIP(old, out);
    if (planted == u"dangling")
        PFW_SYMBOLIC_LINK_OR_SKIP(m_dir->filePath(QStringLiteral("gone.xsdt")), out);
    if (planted == u"fifo" && !pfw::test::makeFifo(out))
        QSKIP("this system has no named pipes");
    if (planted == u"instance" || planted == u"capitals" || planted == u"backup")
        write(QFileInfo(out).fileName(), m_original);
    if (planted == u"hard link" && !pfw::test::makeHardLink(m_file, out))
        QSKIP("this system makes no hard links here");
    const Result result = run({QStringLiteral("export"), m_file, QStringLiteral("Global/Preferences/Process"),
                               QStringLiteral("-o"), out, QStringLiteral("--yes")});
    QVERIFY2((result.code == 0) == written, qPrintable(result.err));
    QCOMPARE(QFileInfo(out).isSymLink(), planted == u"link" || planted == u"dangling");
    if (planted == u"link")
        QVERIFY(readAll(old).contains("MaxConsoleLines"));
    else
        QCOMPARE(readAll(old), QByteArray("old"));
    if (planted == u"instance" || planted == u"capitals" || planted == u"hard link" || planted == u"backup")
        QCOMPARE(readAll(out), m_original);
    if (planted == u"fifo")
        QVERIFY(!QFileInfo(out).isFile() && QFileInfo::exists(out));
}

void TestSettingsCli::importRewritesPaths_data()
{
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<int>("code");
    QTest::newRow("to a folder here") << true << false << 0;
    QTest::newRow("to no folder") << false << false << 1;
    QTest::newRow("to no folder, confirmed") << false << true << 0;
}

void TestSettingsCli::importRewritesPaths()
{
    QFETCH(bool, folderExists);
    QFETCH(bool, yes);
    QFETCH(int, code);
    const QString bias = QStringLiteral("ModuleData/ImageCalibration/MasterBiasPath");
    const QString snippet = m_dir->filePath(QStringLiteral("calibration.xsdt"));
    QCOMPARE(run({QStringLiteral("export"), m_file, QStringLiteral("ModuleData/ImageCalibration"), QStringLiteral("-o"),
                  snippet})
                 .code,
             0);
    QByteArray other = m_original;
    other.replace("D:/Astro/masters/bias-gain100.xisf", "D:/Astro/old.xisf");
    const QString target = write(QStringLiteral("core-002-pxi.settings"), other);
    const QString folder = m_dir->filePath(QStringLiteral("astro"));
    if (folderExists)
        QVERIFY(QDir().mkpath(folder));
    QStringList arguments{QStringLiteral("import"), target, snippet, QStringLiteral("--map"),
                          QStringLiteral("D:\\astro=") + folder};
    if (yes)
        arguments << QStringLiteral("--yes");
    const Result result = run(arguments);
    QVERIFY2(result.code == code, qPrintable(result.err));
    if (code != 0) {
        QVERIFY2(result.err.contains(QLatin1String("does not exist on this computer")), qPrintable(result.err));
        QCOMPARE(readAll(target), other);
        return;
    }
    // Either separator and either case of a drive's folder match; the rest takes the new separators.
    QCOMPARE(run({QStringLiteral("get"), target, bias}).out, folder + QLatin1String("/masters/bias-gain100.xisf\n"));
}

// A reset takes a page's preferences out of the file so that PixInsight writes its defaults; like
// every change it waits for PixInsight to close, and is saved with a backup.
void TestSettingsCli::resetRemovesPreferences()
{
    const QString page = QStringLiteral("Global/Preferences/Process");
    Result result = run({QStringLiteral("reset"), m_file, page});
    QCOMPARE(result.code, 1);
    QVERIFY2(result.out.contains(QLatin1String("reset\tGlobal/Preferences/Process/MaxProcessors\t64\n")),
             qPrintable(result.out));
    QCOMPARE(readAll(m_file), m_original);
    QCOMPARE(run({QStringLiteral("reset"), m_file, QStringLiteral("Modules")}).code, 1);
    {
        pfw::test::FakeHost host;
        QVERIFY(host.start(m_dir->path()));
        result = run({QStringLiteral("reset"), m_file, page, QStringLiteral("--yes")});
        QCOMPARE(result.code, 1);
        QVERIFY2(result.err.contains(QLatin1String("PixInsight is running.")), qPrintable(result.err));
        host.stop();
    }
    QCOMPARE(readAll(m_file), m_original);
    QVERIFY(backups().isEmpty());
    result = run({QStringLiteral("reset"), m_file, page, QStringLiteral("--yes")});
    QVERIFY2(result.code == 0, qPrintable(result.err));
    QCOMPARE(backups().size(), 1);
    QCOMPARE(readAll(m_dir->filePath(backups().first())), m_original);
    pfw::XsdtFile file;
    QVERIFY(file.parse(readAll(m_file)));
    const pfw::XsdtNode *process = file.root.findPath(page);
    QVERIFY(process);
    QCOMPARE(process->valueCount(), 0);
    QVERIFY(file.root.findPath(QStringLiteral("Global/Preferences/Application/AutoSaveSettingsPeriod")));

    // The signing identity is this computer's, not a taste: it goes only when named itself.
    const QString identity = QStringLiteral("Global/Preferences/Security/EnableLocalSigningIdentity");
    QCOMPARE(run({QStringLiteral("reset"), m_file, QStringLiteral("Global/Preferences"), QStringLiteral("--yes")}).code,
             0);
    QCOMPARE(run({QStringLiteral("get"), m_file, identity}).out, QStringLiteral("true\n"));
    QCOMPARE(run({QStringLiteral("reset"), m_file, identity, QStringLiteral("--yes")}).code, 0);
    QVERIFY(run({QStringLiteral("get"), m_file, identity}).code != 0);
}

// A pipe hands over what its writer has written so far; an import reads on to the end, however
// long the writer pauses and however much more than one pipe's buffer it writes.
void TestSettingsCli::importReadsAllOfAPipe()
{
    QByteArray snippet
        = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\"><i k=\"ModuleData\"><i k=\"Big\">";
    for (int i = 0; i < 6000; ++i)
        snippet += "<v k=\"V" + QByteArray::number(i) + "\" t=\"i\" v=\"" + QByteArray::number(i) + "\"/>";
    snippet += "</i></i></xsdt>\n";
    QVERIFY(snippet.size() > 128 * 1024);
    const QStringList arguments{QStringLiteral("import"), m_file, QStringLiteral("-"), QStringLiteral("--dry-run")};
    QProcess process;
    for (int attempt = 0; attempt < 3; ++attempt) {
        process.start(QStringLiteral(PFW_CLI), arguments);
        if (!process.waitForStarted())
            continue;
        process.write(snippet.left(100));
        process.waitForBytesWritten();
        QThread::msleep(500);
        process.write(snippet.mid(100));
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(60000));
#ifdef Q_OS_WIN
        // Wine now and then fails to start a process: it never read anything.
        if (process.exitStatus() == QProcess::CrashExit || process.exitCode() == int(0xC0000142))
            continue;
#endif
        break;
    }
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(process.exitCode() == 1, qPrintable(err));
    QVERIFY(
        QString::fromUtf8(process.readAllStandardOutput()).contains(QLatin1String("new\tModuleData/Big/V5999\t5999")));
    QCOMPARE(readAll(m_file), m_original);
}

QTEST_GUILESS_MAIN(TestSettingsCli)
#include "tst_settingscli.moc"
