#include "platform/hostprocesses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    const QStringList entries = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QString folder = procRoot + u'/' + entry;
        if (isZombie(folder))
            continue;
        // The executable link names the real file; other users' processes hide it, and then
        // the kernel's short command name is the best there is.
        QString executable = QFileInfo(QFile::symLinkTarget(folder + QLatin1String("/exe"))).fileName();
        if (executable.endsWith(QLatin1String(" (deleted)")))
            executable.chop(10);
        if (executable.isEmpty()) {
            QFile comm(folder + QLatin1String("/comm"));
            if (comm.open(QIODevice::ReadOnly))
                executable = QString::fromUtf8(comm.readAll()).trimmed();
        }
        if (!executable.isEmpty() && executable.compare(name, Qt::CaseInsensitive) == 0)
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
