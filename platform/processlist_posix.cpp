#include "platform/hostprocesses.h"

#include <QCoreApplication>

#ifdef Q_OS_MACOS
#include <QProcess>
#endif

namespace pfw {

QString hostExecutableName()
{
    return QStringLiteral("PixInsight");
}

HostProcessList listHostProcesses()
{
#ifdef Q_OS_MACOS
    // macOS has no /proc. ps by its absolute path, so that nothing on the PATH stands in for it;
    // it prints whole executable paths.
    HostProcessList list;
    QProcess ps;
    ps.start(QStringLiteral("/bin/ps"),
             {QStringLiteral("-A"), QStringLiteral("-o"), QStringLiteral("pid=,stat=,comm=")});
    const bool finished = ps.waitForFinished(5000);
    if (!finished)
        ps.kill();
    const QByteArray output = finished ? ps.readAllStandardOutput() : QByteArray();
    if (!finished || ps.exitStatus() != QProcess::NormalExit || ps.exitCode() != 0 || output.trimmed().isEmpty())
        list.error = QStringLiteral("/bin/ps gave no list of processes");
    else
        list.ids = processesNamedInPsOutput(output, hostExecutableName());
    return list;
#else
    return processesNamedInProc(QStringLiteral("/proc"), hostExecutableName(), QCoreApplication::applicationPid());
#endif
}

} // namespace pfw
