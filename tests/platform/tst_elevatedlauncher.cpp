#include "platform/elevatedlauncher.h"
#include "platform/winapi.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace pfw;

// Windows elevates through its own consent prompt ("runas"), never through an authentication program.
#ifdef Q_OS_WIN
#define SKIP_WITHOUT_AUTHENTICATOR()                                                                                   \
    QSKIP("Windows asks for administrator rights itself; there is no authentication program")
#define SKIP_WITHOUT_RUNAS()
#else
#define SKIP_WITHOUT_AUTHENTICATOR()
#define SKIP_WITHOUT_RUNAS() QSKIP("ShellExecuteEx \"runas\" is Windows'")
#endif

Q_DECLARE_METATYPE(pfw::ElevatedRun::Outcome)

class TestElevatedLauncher : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void quoting_data();
    void quoting();
    void windowsOutcomes_data();
    void windowsOutcomes();
    void authenticatorOutcomes_data();
    void authenticatorOutcomes();
    void argumentsArriveIntact();
    void slowHelperIsReportedAndLeftRunning();
    void noAuthenticator();
    void authenticatorIsNeverFoundThroughPath();
    void authenticatorThatCannotStart();
    void runAsBringsBackTheHelpersAnswer_data();
    void runAsBringsBackTheHelpersAnswer();
    void runAsLeavesASlowHelperRunning();

private:
    QString script(const QString &name, const QByteArray &body);
    ElevatedLauncher launcherWith(const QString &authenticator) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestElevatedLauncher::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestElevatedLauncher::script(const QString &name, const QByteArray &body)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body + "\n") < 0)
        return QString();
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

ElevatedLauncher TestElevatedLauncher::launcherWith(const QString &authenticator) const
{
    ElevatedLauncher launcher;
    launcher.setAuthenticationProgram(authenticator);
    launcher.setExecutable(m_dir->filePath(QStringLiteral("prefwright")));
    return launcher;
}

void TestElevatedLauncher::quoting_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("commandLine");
    QTest::newRow("plain") << QStringList{QStringLiteral("--leftovers-helper"), QStringLiteral("delete")}
                           << "\"--leftovers-helper\" \"delete\"";
    QTest::newRow("blank") << QStringList{QStringLiteral("My Module-pxm.dll")} << "\"My Module-pxm.dll\"";
    QTest::newRow("trailing backslash") << QStringList{QStringLiteral("C:\\dir\\")} << "\"C:\\dir\\\\\"";
    QTest::newRow("two trailing backslashes") << QStringList{QStringLiteral("a\\\\")} << "\"a\\\\\\\\\"";
    QTest::newRow("inner backslashes stay") << QStringList{QStringLiteral("a\\\\b")} << "\"a\\\\b\"";
    QTest::newRow("quote") << QStringList{QStringLiteral("say \"hi\"")} << "\"say \\\"hi\\\"\"";
    QTest::newRow("backslash before quote") << QStringList{QStringLiteral("a\\\"b")} << "\"a\\\\\\\"b\"";
    QTest::newRow("empty") << QStringList{QString()} << "\"\"";
    QTest::newRow("none") << QStringList{} << "";
}

void TestElevatedLauncher::quoting()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, commandLine);
    QCOMPARE(ElevatedLauncher::quoteWindowsArguments(arguments), commandLine);
}

void TestElevatedLauncher::windowsOutcomes_data()
{
    QTest::addColumn<bool>("started");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("handle");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<int>("code");
    QTest::addColumn<ElevatedRun::Outcome>("outcome");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("declined") << false << 1223 << false << false << 0 << ElevatedRun::Cancelled << -1
                              << "Windows error 1223";
    QTest::newRow("other error") << false << 5 << false << false << 0 << ElevatedRun::Failed << -1 << "Windows error 5";
    QTest::newRow("no handle") << true << 0 << false << false << 0 << ElevatedRun::Failed << -1 << "no process handle";
    QTest::newRow("too slow") << true << 0 << true << false << 0 << ElevatedRun::Failed << -1
                              << "the helper did not finish in two minutes";
    QTest::newRow("done") << true << 0 << true << true << 4 << ElevatedRun::Launched << 4 << "";
}

void TestElevatedLauncher::windowsOutcomes()
{
    QFETCH(bool, started);
    QFETCH(int, error);
    QFETCH(bool, handle);
    QFETCH(bool, finished);
    QFETCH(int, code);
    QFETCH(ElevatedRun::Outcome, outcome);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    win::ShellRun shell;
    shell.started = started;
    shell.error = static_cast<unsigned long>(error);
    shell.hasHandle = handle;
    shell.finished = finished;
    shell.exitCode = static_cast<unsigned long>(code);
    const ElevatedRun run = ElevatedLauncher::fromShellRun(shell);
    QCOMPARE(run.outcome, outcome);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.reason, reason);
}

void TestElevatedLauncher::authenticatorOutcomes_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<ElevatedRun::Outcome>("outcome");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("done") << QByteArray("exit 0") << ElevatedRun::Launched << 0 << "";
    QTest::newRow("helper refused") << QByteArray("exit 4") << ElevatedRun::Launched << 4 << "";
    QTest::newRow("helper bad command line") << QByteArray("exit 6") << ElevatedRun::Launched << 6 << "";
    QTest::newRow("dismissed") << QByteArray("exit 126") << ElevatedRun::Cancelled << -1
                               << "the authentication prompt was dismissed";
    // pkexec gives 127 for a refusal and for its own errors alike: nobody declined anything.
    QTest::newRow("not authorised or broken") << QByteArray("exit 127") << ElevatedRun::Failed << -1
                                              << "The administrator helper could not be started (code 127).";
    QTest::newRow("no helper code") << QByteArray("exit 1") << ElevatedRun::Failed << -1
                                    << "The administrator helper could not be started (code 1).";
    QTest::newRow("crashed") << QByteArray("kill -SEGV $$") << ElevatedRun::Failed << -1
                             << "the helper stopped unexpectedly";
}

void TestElevatedLauncher::authenticatorOutcomes()
{
    SKIP_WITHOUT_AUTHENTICATOR();
    QFETCH(QByteArray, body);
    QFETCH(ElevatedRun::Outcome, outcome);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    const ElevatedLauncher launcher = launcherWith(script(QStringLiteral("pkexec"), body));
    QVERIFY(launcher.canElevate());
    const ElevatedRun run
        = launcher.runElevatedHelper({QStringLiteral("--leftovers-helper"), QStringLiteral("delete")});
    QCOMPARE(run.outcome, outcome);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.reason, reason);
}

void TestElevatedLauncher::argumentsArriveIntact()
{
    SKIP_WITHOUT_AUTHENTICATOR();
    const QString record = m_dir->filePath(QStringLiteral("arguments.txt"));
    const QString authenticator = script(
        QStringLiteral("pkexec"), "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + record.toUtf8() + "'; done");
    const QStringList arguments{QStringLiteral("--leftovers-helper"), QStringLiteral("delete"),
                                QStringLiteral("module:My Module"), QStringLiteral("C:\\trailing\\"),
                                QStringLiteral("say \"hi\"")};
    const ElevatedRun run = launcherWith(authenticator).runElevatedHelper(arguments);
    QCOMPARE(run.outcome, ElevatedRun::Launched);
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList received = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(received, QStringList{m_dir->filePath(QStringLiteral("prefwright"))} + arguments);
}

void TestElevatedLauncher::slowHelperIsReportedAndLeftRunning()
{
    SKIP_WITHOUT_AUTHENTICATOR();
    const QString marker = m_dir->filePath(QStringLiteral("finished"));
    ElevatedLauncher launcher
        = launcherWith(script(QStringLiteral("pkexec"), "sleep 1; touch '" + marker.toUtf8() + "'"));
    launcher.setTimeoutMs(100);
    const ElevatedRun run
        = launcher.runElevatedHelper({QStringLiteral("--installed-updates-helper"), QStringLiteral("restore")});
    QCOMPARE(run.outcome, ElevatedRun::Failed);
    QCOMPARE(run.reason, QStringLiteral("the helper did not finish in two minutes"));
    QVERIFY(!QFile::exists(marker));
    QCOMPARE(ElevatedLauncher::helpersStillRunning(), 1);
    // The helper was not stopped: it finishes its work.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(ElevatedLauncher::helpersStillRunning(), 0, 10000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestElevatedLauncher::noAuthenticator()
{
    SKIP_WITHOUT_AUTHENTICATOR();
    const ElevatedLauncher missing = launcherWith(m_dir->filePath(QStringLiteral("nowhere")));
    QVERIFY(!missing.canElevate());
    QCOMPARE(missing.runElevatedHelper({QStringLiteral("x")}).outcome, ElevatedRun::Failed);
    QVERIFY(!missing.runElevatedHelper({QStringLiteral("x")}).reason.isEmpty());

    const ElevatedLauncher none = launcherWith(QString());
    QVERIFY(!none.canElevate());

    const QString plain = script(QStringLiteral("plain"), "exit 0");
    QVERIFY(QFile::setPermissions(plain, QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(!launcherWith(plain).canElevate());
}

// A pkexec early in PATH is the user's to plant; the one that asks for a password is the system's.
void TestElevatedLauncher::authenticatorIsNeverFoundThroughPath()
{
    SKIP_WITHOUT_AUTHENTICATOR();
    const QString planted = script(QStringLiteral("pkexec"), "exit 0");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir->path()) + ':' + path);
    const ElevatedLauncher launcher;
    qputenv("PATH", path);
    QString expected;
    for (const char *candidate : {"/usr/bin/pkexec", "/bin/pkexec"}) {
        if (QFileInfo(QLatin1String(candidate)).isExecutable()) {
            expected = QLatin1String(candidate);
            break;
        }
    }
    QCOMPARE(launcher.authenticationProgram(), expected);
    QCOMPARE(launcher.canElevate(), !expected.isEmpty());
}

void TestElevatedLauncher::authenticatorThatCannotStart()
{
    SKIP_WITHOUT_AUTHENTICATOR();
    const QString broken = m_dir->filePath(QStringLiteral("broken"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/nonexistent/interpreter\n");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const ElevatedRun run = launcherWith(broken).runElevatedHelper({QStringLiteral("x")});
    QCOMPARE(run.outcome, ElevatedRun::Failed);
    QVERIFY2(run.reason.startsWith(QStringLiteral("broken could not be started: ")), qPrintable(run.reason));
}

void TestElevatedLauncher::runAsBringsBackTheHelpersAnswer_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("done") << 0;
    QTest::newRow("helper refused") << 4;
    QTest::newRow("helper bad command line") << 6;
}

// The helper is started through the shell's "runas" (Wine starts it without a prompt): its
// arguments arrive as they were, and its exit code comes back.
void TestElevatedLauncher::runAsBringsBackTheHelpersAnswer()
{
    SKIP_WITHOUT_RUNAS();
    QFETCH(int, code);
    const QString record = m_dir->filePath(QStringLiteral("arguments.txt"));
    qputenv("PFW_HELPER_RECORD", QFile::encodeName(QDir::toNativeSeparators(record)));
    qputenv("PFW_HELPER_EXIT", QByteArray::number(code));
    ElevatedLauncher launcher;
    launcher.setExecutable(QStringLiteral(PFW_FAKE_HELPER));
    const QStringList arguments{QStringLiteral("--leftovers-helper"), QStringLiteral("delete"),
                                QStringLiteral("module:My Module"),   QStringLiteral("C:\\trailing\\"),
                                QStringLiteral("say \"hi\""),         QString()};
    QVERIFY(launcher.canElevate());
    const ElevatedRun run = launcher.runElevatedHelper(arguments);
    qunsetenv("PFW_HELPER_RECORD");
    qunsetenv("PFW_HELPER_EXIT");
    QCOMPARE(run.outcome, ElevatedRun::Launched);
    QCOMPARE(run.exitCode, code);
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).split(u'\n'), arguments + QStringList{QString()});
}

void TestElevatedLauncher::runAsLeavesASlowHelperRunning()
{
    SKIP_WITHOUT_RUNAS();
    ElevatedLauncher launcher;
    launcher.setExecutable(QStringLiteral(PFW_SLEEPER));
    launcher.setTimeoutMs(100);
    QElapsedTimer timer;
    timer.start();
    const ElevatedRun run = launcher.runElevatedHelper({QStringLiteral("3")});
    QCOMPARE(run.outcome, ElevatedRun::Failed);
    QCOMPARE(run.reason, QStringLiteral("the helper did not finish in two minutes"));
    QVERIFY(timer.elapsed() < 2500);
}

QTEST_GUILESS_MAIN(TestElevatedLauncher)
#include "tst_elevatedlauncher.moc"
