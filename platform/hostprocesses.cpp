#include "platform/hostprocesses.h"

#include <QCoreApplication>
#include <QFile>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#endif

namespace pfw {

namespace {

#ifdef Q_OS_UNIX
// An exited process that its parent has not reaped yet ("Z") runs nothing and holds no file.
// The command name may hold spaces and parentheses, so the state follows the last ')'.
bool isZombieState(const QByteArray &stat)
{
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && stat.mid(close + 1).trimmed().startsWith('Z');
}

// A file of a process folder, opened so that nothing can make it wait: a fake or hostile
// folder may hold a pipe where the kernel's files would be.
QByteArray readProcFile(int folderFd, const char *pid, const char *name, int most)
{
    char relative[300];
    std::snprintf(relative, sizeof relative, "%s/%s", pid, name);
    const int fd = ::openat(folderFd, relative, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return QByteArray();
    QByteArray bytes(most, Qt::Uninitialized);
    const ssize_t length = ::read(fd, bytes.data(), size_t(most));
    ::close(fd);
    bytes.resize(length > 0 ? qsizetype(length) : 0);
    return bytes;
}
#endif

} // namespace

HostProcessList processesNamedInProc(const QString &procRoot, const QString &name, qint64 self)
{
    HostProcessList list;
    bool selfListed = false;
#ifdef Q_OS_UNIX
    QList<qint64> &ids = list.ids;
    // This runs on every poll of the window, over every process of the machine: plain system
    // calls relative to the open folder, no file information, and text only for a likely match.
    DIR *folder = ::opendir(QFile::encodeName(procRoot).constData());
    if (!folder) {
        list.error
            = QStringLiteral("%1 cannot be read: %2").arg(procRoot, QString::fromLocal8Bit(std::strerror(errno)));
        return list;
    }
    const int folderFd = ::dirfd(folder);
    const auto sameName = [&](const QByteArray &executable) {
        return QFile::decodeName(executable).compare(name, Qt::CaseInsensitive) == 0;
    };
    while (const dirent *entry = ::readdir(folder)) {
        const char *pid = entry->d_name;
        // A process id: digits without a leading zero, and a number that fits.
        const size_t digits = std::strlen(pid);
        if (*pid < '1' || *pid > '9' || digits > 18 || std::strspn(pid, "0123456789") != digits)
            continue;
        if (self > 0 && QByteArray(pid).toLongLong() == self)
            selfListed = true;
        char relative[300];
        std::snprintf(relative, sizeof relative, "%s/exe", pid);
        // The executable link names the real file; other users' processes hide it, and then
        // the kernel's short command name is the best there is.
        char target[4096];
        const ssize_t linked = ::readlinkat(folderFd, relative, target, sizeof target);
        QByteArray executable;
        if (linked > 0) {
            executable = QByteArray::fromRawData(target, linked);
            if (executable.endsWith(" (deleted)"))
                executable.chop(10);
            executable = executable.mid(executable.lastIndexOf('/') + 1);
        }
        if (executable.isEmpty())
            executable = readProcFile(folderFd, pid, "comm", 256).trimmed();
        if (!executable.isEmpty() && sameName(executable) && !isZombieState(readProcFile(folderFd, pid, "stat", 4096)))
            ids.append(QByteArray(pid).toLongLong());
    }
    ::closedir(folder);
#else
    // Only Unix systems keep a /proc; Windows lists its processes itself.
    Q_UNUSED(name)
    list.error = QStringLiteral("%1 cannot be read on this system").arg(procRoot);
#endif
    if (self > 0 && !selfListed && list.error.isEmpty()) {
        list.ids.clear();
        list.error = QStringLiteral("%1 does not list this process (is it mounted?)").arg(procRoot);
    }
    return list;
}

QList<qint64> processesNamedInPsOutput(const QByteArray &output, const QString &name)
{
    QList<qint64> ids;
    for (const QByteArray &raw : output.split('\n')) {
        // "  PID STAT COMMAND", the command running to the end of the line.
        const QByteArray line = raw.trimmed();
        const qsizetype afterPid = line.indexOf(' ');
        if (afterPid <= 0)
            continue;
        bool numeric = false;
        const qint64 pid = line.left(afterPid).toLongLong(&numeric);
        if (!numeric || pid <= 0)
            continue;
        const QByteArray rest = line.mid(afterPid).trimmed();
        const qsizetype afterState = rest.indexOf(' ');
        if (afterState <= 0 || rest.startsWith('Z'))
            continue;
        const QString command = QString::fromUtf8(rest.mid(afterState).trimmed());
        const QString file = command.mid(command.lastIndexOf(u'/') + 1);
        if (file.compare(name, Qt::CaseInsensitive) == 0)
            ids.append(pid);
    }
    return ids;
}

QList<qint64> runningHostProcesses()
{
    return listHostProcesses().ids;
}

HostRunningCheck checkHostRunning()
{
    const HostProcessList list = listHostProcesses();
    HostRunningCheck check(!list.ids.isEmpty() || !list.error.isEmpty());
    check.error = list.error;
    return check;
}

bool isHostRunning()
{
    return checkHostRunning().running;
}

} // namespace pfw
