#include "platform/hostprocesses.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <unistd.h>
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

// The file name a link points to, or nothing.
QString linkTargetName(const QString &link)
{
#ifdef Q_OS_UNIX
    char target[4096];
    const ssize_t length = ::readlink(QFile::encodeName(link).constData(), target, sizeof target);
    if (length <= 0)
        return QString();
    const QString path = QFile::decodeName(QByteArray(target, length));
    return path.mid(path.lastIndexOf(u'/') + 1);
#else
    return QFileInfo(QFile::symLinkTarget(link)).fileName();
#endif
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
    // This runs on every poll of the window: no sorting, and the costly state only of a match.
    QDirIterator entries(procRoot, QDir::Dirs | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        const QString folder = entries.next();
        bool numeric = false;
        const qint64 pid = entries.fileName().toLongLong(&numeric);
        if (!numeric)
            continue;
        // The executable link names the real file; other users' processes hide it, and then
        // the kernel's short command name is the best there is.
        QString executable = linkTargetName(folder + QLatin1String("/exe"));
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
