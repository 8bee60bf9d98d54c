#pragma once

#include <QCoreApplication>
#include <QStringList>

namespace pfw::win {
struct ShellRun;
}

namespace pfw {

// Exit codes shared by both helper modes and the in-process engines.
enum HelperExitCode : int {
    HelperDone = 0,
    HelperHostRunning = 2,
    HelperNotFound = 3,
    HelperRefused = 4,
    HelperFailed = 5,
    HelperBadCommandLine = 6,
};

// The outcome of one elevated launch.
struct ElevatedRun
{
    enum Outcome : quint32 { Launched, Cancelled, Failed };
    Outcome outcome = Failed;
    int exitCode = -1;
    QString reason;
    // The authenticator ran but could not start the helper: the reason is a whole sentence.
    bool notStarted = false;

    // What a caller shows for a failed launch.
    QString failureText() const;
};

// Starts this program's own executable with administrator rights in a helper mode and waits
// for it: ShellExecuteExW "runas" on Windows, the system's pkexec elsewhere. The editor itself
// never runs elevated.
class ElevatedLauncher final
{
    Q_DECLARE_TR_FUNCTIONS(ElevatedLauncher)

public:
    static constexpr int kDefaultTimeoutMs = 120000;

    ElevatedLauncher();

    // Seams for tests: the pkexec-like program, the executable to elevate and the wait.
    void setAuthenticationProgram(const QString &program) { m_authenticator = program; }
    QString authenticationProgram() const { return m_authenticator; }
    void setExecutable(const QString &executable) { m_executable = executable; }
    void setTimeoutMs(int timeoutMs) { m_timeoutMs = timeoutMs; }

    bool canElevate() const;
    ElevatedRun runElevatedHelper(const QStringList &arguments) const;
    // Helpers that outlived the wait and are still running.
    static int helpersStillRunning() { return s_stillRunning; }

    // Windows command-line quoting: every argument in double quotes, backslashes doubled
    // where they precede a quote or the closing quote.
    static QString quoteWindowsArguments(const QStringList &arguments);
    static ElevatedRun fromShellRun(const win::ShellRun &run);

private:
    ElevatedRun runWithAuthenticator(const QStringList &arguments) const;

    static inline int s_stillRunning = 0;

    QString m_authenticator;
    QString m_executable;
    int m_timeoutMs = kDefaultTimeoutMs;
};

} // namespace pfw
