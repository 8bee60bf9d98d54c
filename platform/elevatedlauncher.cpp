#include "platform/elevatedlauncher.h"

#include "platform/winapi.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace pfw {

namespace {

// pkexec answers 126 when the prompt was dismissed, 127 when authorisation was refused or it
// failed itself; anything else is the helper's own code.
constexpr int kPkexecDismissed = 126;
constexpr unsigned long kWindowsCancelled = 1223;

bool isHelperExitCode(int code)
{
    switch (code) {
    case HelperDone:
    case HelperHostRunning:
    case HelperNotFound:
    case HelperRefused:
    case HelperFailed:
    case HelperBadCommandLine:
        return true;
    default:
        return false;
    }
}

#ifndef Q_OS_WIN
// Only the system's own pkexec: one found through PATH could be any program the user planted.
QString systemAuthenticator()
{
    for (const char *candidate : {"/usr/bin/pkexec", "/bin/pkexec"}) {
        const QFileInfo info{QLatin1String(candidate)};
        if (info.isFile() && info.isExecutable())
            return info.filePath();
    }
    return QString();
}
#endif

} // namespace

QString ElevatedRun::failureText() const
{
    return notStarted ? reason : ElevatedLauncher::tr("The elevated helper could not run (%1).").arg(reason);
}

ElevatedLauncher::ElevatedLauncher()
    : m_executable(QCoreApplication::applicationFilePath())
{
#ifndef Q_OS_WIN
    m_authenticator = systemAuthenticator();
#endif
}

bool ElevatedLauncher::canElevate() const
{
#ifdef Q_OS_WIN
    return true;
#else
    return !m_authenticator.isEmpty() && QFileInfo(m_authenticator).isExecutable();
#endif
}

QString ElevatedLauncher::quoteWindowsArguments(const QStringList &arguments)
{
    QStringList quoted;
    for (const QString &argument : arguments) {
        QString out = QStringLiteral("\"");
        int backslashes = 0;
        for (const QChar c : argument) {
            if (c == u'\\') {
                ++backslashes;
                continue;
            }
            if (c == u'"')
                out += QString(backslashes * 2 + 1, u'\\');
            else
                out += QString(backslashes, u'\\');
            out += c;
            backslashes = 0;
        }
        out += QString(backslashes * 2, u'\\');
        out += u'"';
        quoted << out;
    }
    return quoted.join(u' ');
}

ElevatedRun ElevatedLauncher::fromShellRun(const win::ShellRun &run)
{
    ElevatedRun result;
    if (!run.started) {
        result.outcome = run.error == kWindowsCancelled ? ElevatedRun::Cancelled : ElevatedRun::Failed;
        result.reason = tr("Windows error %1").arg(run.error);
    } else if (!run.hasHandle) {
        result.reason = tr("no process handle");
    } else if (!run.finished) {
        result.reason = tr("the helper did not finish in two minutes");
    } else {
        result.outcome = ElevatedRun::Launched;
        result.exitCode = int(run.exitCode);
    }
    return result;
}

ElevatedRun ElevatedLauncher::runElevatedHelper(const QStringList &arguments) const
{
#ifdef Q_OS_WIN
    const QString program = QDir::toNativeSeparators(m_executable);
    return fromShellRun(win::runAsAdministrator(program.toStdWString(), quoteWindowsArguments(arguments).toStdWString(),
                                                static_cast<unsigned long>(m_timeoutMs)));
#else
    return runWithAuthenticator(arguments);
#endif
}

ElevatedRun ElevatedLauncher::runWithAuthenticator(const QStringList &arguments) const
{
    ElevatedRun result;
    if (!canElevate()) {
        result.reason = tr("no way to ask for administrator rights is installed (pkexec was not found)");
        return result;
    }
    auto *process = new QProcess;
    process->setProgram(m_authenticator);
    process->setArguments(QStringList{QFileInfo(m_executable).absoluteFilePath()} + arguments);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start();
    if (!process->waitForStarted()) {
        result.reason
            = tr("%1 could not be started: %2").arg(QFileInfo(m_authenticator).fileName(), process->errorString());
        delete process;
        return result;
    }
    if (!process->waitForFinished(m_timeoutMs)) {
        if (process->state() != QProcess::NotRunning) {
            // Leave the helper alone: stopping it half-way could damage what it writes. The
            // process object goes once the helper ends.
            ++s_stillRunning;
            QObject::connect(process, &QProcess::finished, process, [process] {
                --s_stillRunning;
                process->deleteLater();
            });
            result.reason = tr("the helper did not finish in two minutes");
            return result;
        }
    }
    const int code = process->exitCode();
    const bool crashed = process->exitStatus() == QProcess::CrashExit;
    delete process;
    if (crashed) {
        result.reason = tr("the helper stopped unexpectedly");
    } else if (code == kPkexecDismissed) {
        result.outcome = ElevatedRun::Cancelled;
        result.reason = tr("the authentication prompt was dismissed");
    } else if (!isHelperExitCode(code)) {
        result.notStarted = true;
        result.reason = tr("The administrator helper could not be started (code %1).").arg(code);
    } else {
        result.outcome = ElevatedRun::Launched;
        result.exitCode = code;
    }
    return result;
}

} // namespace pfw
