#include "core/writerlock.h"

#include <QFileInfo>

namespace pfw {

WriterLock::WriterLock(const QString &targetPath)
    : m_lock(lockPathFor(targetPath))
{
    // Only a dead holder makes a lock stale: a slow save must never be broken into by age.
    m_lock.setStaleLockTime(0);
}

QString WriterLock::lockPathFor(const QString &targetPath)
{
    const QFileInfo target(targetPath);
    return target.absolutePath() + QLatin1String("/.") + target.fileName() + QLatin1String(".prefwright-lock");
}

bool WriterLock::acquire(QString *error, int waitMs)
{
    if (m_lock.tryLock(waitMs))
        return true;
    if (error) {
        qint64 pid = 0;
        QString host;
        QString application;
        if (m_lock.error() == QLockFile::LockFailedError && m_lock.getLockInfo(&pid, &host, &application))
            *error = tr("Another Prefwright is saving this file (process %1). Try again in a moment.").arg(pid);
        else if (m_lock.error() == QLockFile::LockFailedError)
            *error = tr("Another Prefwright is saving this file (process %1). Try again in a moment.").arg(tr("unknown"));
        else
            *error = tr("Cannot create the lock file %1 beside the file.").arg(m_lock.fileName());
    }
    return false;
}

} // namespace pfw
