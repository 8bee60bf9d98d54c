#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pfw {

// PixInsight's executable file name on the platform the program was built for.
QString hostExecutableName();

// A listing of processes: their ids, or why no list could be had.
struct HostProcessList
{
    QList<qint64> ids;
    QString error;
};

// The running PixInsight processes.
HostProcessList listHostProcesses();
// Identifiers of the running PixInsight processes; empty when none runs or none could be listed.
QList<qint64> runningHostProcesses();
// Whether PixInsight runs, and why that could not be found out when it could not. A check that
// could not be made answers yes: saving while PixInsight runs loses the edits, so only a real
// list without it may say no. A plain yes or no (a test's, say) converts to it.
struct HostRunningCheck
{
    HostRunningCheck(bool isRunning = false)
        : running(isRunning)
    {
    }
    operator bool() const { return running; }

    bool running = false;
    QString error;
};

HostRunningCheck checkHostRunning();
bool isHostRunning();

// The processes below a /proc-style folder whose executable file name equals name, ignoring
// case. Entries that vanish or cannot be read are skipped; a folder that cannot be read is an
// error, and so is one that does not list the process self (when given): an empty folder where
// /proc is not mounted is no list of processes.
HostProcessList processesNamedInProc(const QString &procRoot, const QString &name, qint64 self = 0);

// The processes in the output of "ps -A -o pid=,stat=,comm=" whose command, or its last path
// part, equals name, ignoring case; zombies ("Z" state) left out. The command may be a whole
// path with spaces, as macOS prints it.
QList<qint64> processesNamedInPsOutput(const QByteArray &output, const QString &name);

} // namespace pfw
