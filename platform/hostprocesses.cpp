#include "platform/hostprocesses.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#endif

#ifdef Q_OS_WIN
#include "platform/winapi.h"
#endif

namespace pfw {

namespace {

// An exited process that its parent has not reaped yet ("Z") runs nothing and holds no file.
// The command name may hold spaces and parentheses, so the state follows the last ')'.
bool isZombie(const QString &procFolder)
{
    QFile stat(procFolder + QLatin1String("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.read(4096);
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && line.mid(close + 1).trimmed().startsWith('Z');
}

} // namespace

QString hostExecutableName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("PixInsight.exe");
#else
    return QStringLiteral("PixInsight");
#endif
}

QList<qint64> processesNamedInProc(const QString &procRoot, const QString &name)
{
    QList<qint64> ids;
#ifdef Q_OS_UNIX
    // This runs on every poll of the window, over every process of the machine: plain system
    // calls relative to the open folder, no file information, and text only for a likely match.
    DIR *folder = ::opendir(QFile::encodeName(procRoot).constData());
    if (!folder)
        return ids;
    const int folderFd = ::dirfd(folder);
    const QByteArray wanted = QFile::encodeName(name);
    const auto sameName = [&](const char *text, qsizetype length) {
        return length == wanted.size() && QFile::decodeName(QByteArray(text, length)).compare(name, Qt::CaseInsensitive) == 0;
    };
    while (const dirent *entry = ::readdir(folder)) {
        const char *digits = entry->d_name;
        if (*digits < '1' || *digits > '9' || std::strspn(digits, "0123456789") != std::strlen(digits))
            continue;
        char relative[300];
        std::snprintf(relative, sizeof relative, "%s/exe", digits);
        // The executable link names the real file; other users' processes hide it, and then
        // the kernel's short command name is the best there is.
        char target[4096];
        ssize_t length = ::readlinkat(folderFd, relative, target, sizeof target);
        const char *base = target;
        if (length > 0) {
            static constexpr char kDeleted[] = " (deleted)";
            constexpr ssize_t kDeletedLength = sizeof kDeleted - 1;
            if (length > kDeletedLength && std::memcmp(target + length - kDeletedLength, kDeleted, kDeletedLength) == 0)
                length -= kDeletedLength;
            const char *slash = static_cast<const char *>(::memrchr(target, '/', size_t(length)));
            if (slash) {
                length -= slash + 1 - target;
                base = slash + 1;
            }
        } else {
            std::snprintf(relative, sizeof relative, "%s/comm", digits);
            const int comm = ::openat(folderFd, relative, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            length = comm < 0 ? -1 : ::read(comm, target, 256);
            if (comm >= 0)
                ::close(comm);
            while (length > 0 && (target[length - 1] == '\n' || target[length - 1] == ' '))
                --length;
        }
        if (length > 0 && sameName(base, length)
            && !isZombie(procRoot + u'/' + QLatin1String(digits)))
            ids.append(QByteArray(digits).toLongLong());
    }
    ::closedir(folder);
#else
    QDirIterator entries(procRoot, QDir::Dirs | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        const QString folder = entries.next();
        bool numeric = false;
        const qint64 pid = entries.fileName().toLongLong(&numeric);
        if (!numeric)
            continue;
        QString executable = QFileInfo(QFile::symLinkTarget(folder + QLatin1String("/exe"))).fileName();
        if (executable.endsWith(QLatin1String(" (deleted)")))
            executable.chop(10);
        if (executable.isEmpty()) {
            QFile comm(folder + QLatin1String("/comm"));
            if (comm.open(QIODevice::ReadOnly))
                executable = QString::fromUtf8(comm.read(256)).trimmed();
        }
        if (!executable.isEmpty() && executable.compare(name, Qt::CaseInsensitive) == 0 && !isZombie(folder))
            ids.append(pid);
    }
#endif
    return ids;
}

QList<qint64> runningHostProcesses()
{
#ifdef Q_OS_WIN
    QList<qint64> ids;
    for (const unsigned long long id : win::processIdsNamed(hostExecutableName().toStdWString()))
        ids.append(qint64(id));
    return ids;
#else
    return processesNamedInProc(QStringLiteral("/proc"), hostExecutableName());
#endif
}

bool isHostRunning()
{
    return !runningHostProcesses().isEmpty();
}

} // namespace pfw
