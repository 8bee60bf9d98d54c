#include "core/writerlock.h"

#include "core/backups.h"
#include "platform/fileentry.h"
#include "platform/identitylock.h"
#include "platform/lockfiles.h"

#include <QDir>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>

namespace pfw {

namespace {

// Far more than the few lines of a real lock file.
constexpr qint64 kMaxLockFileSize = 4096;
// A lock file this old that nobody holds is left over, whatever it says.
constexpr qint64 kLeftOverAgeMs = 2000;

} // namespace

WriterLock::WriterLock(const QString &targetPath)
    : m_target(targetPath)
    , m_lock(lockPathFor(targetPath))
{
    // Only a dead holder makes a lock stale: a slow save must never be broken into by age.
    m_lock.setStaleLockTime(0);
}

WriterLock::~WriterLock()
{
    release();
}

void WriterLock::release()
{
    m_identityLock.reset();
    m_lock.unlock();
}

bool WriterLock::lockIdentity()
{
    bool heldByAnother = false;
    m_identityLock = IdentityLock::take(m_target, &heldByAnother);
    return !heldByAnother;
}

QString WriterLock::lockPathFor(const QString &targetPath)
{
    // Beside the real file: two paths to one file, through a link, must share one lock.
    const QFileInfo given(targetPath);
    const QString canonical = given.canonicalFilePath();
    const QFileInfo target(canonical.isEmpty() ? given.absoluteFilePath() : canonical);
    return target.absolutePath() + QLatin1String("/.") + spelledName(target.absoluteFilePath())
        + QLatin1String(".prefwright-lock");
}

bool WriterLock::acquire(QString *error, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    bool otherName = false;
    for (;;) {
        // QLockFile would open whatever is there: a named pipe blocks it for ever, a link to a
        // device feeds it without end, and a file it cannot read stays "held" for ever.
        QString reason;
        const lockfiles::LeftOver obstacle
            = lockfiles::clearLeftOver(m_lock.fileName(), kMaxLockFileSize, kLeftOverAgeMs, &reason);
        if (obstacle == lockfiles::LeftOver::Foreign) {
            if (error)
                *error = tr("%1 is in the way of Prefwright's lock file (it is not a lock file Prefwright made). "
                            "Remove it and try again. Nothing was changed.")
                             .arg(QDir::toNativeSeparators(m_lock.fileName()));
            return false;
        }
        if (obstacle == lockfiles::LeftOver::Unusable) {
            if (error)
                *error = tr("Cannot create the lock file %1 beside the file: %2. Nothing was changed.")
                             .arg(QDir::toNativeSeparators(m_lock.fileName()), withoutFullStop(reason));
            return false;
        }
        if (obstacle == lockfiles::LeftOver::Stuck) {
            if (error)
                *error = tr("The lock file %1 was left by a Prefwright that is no longer running, but it cannot be "
                            "removed (%2). Remove it yourself and try again. Nothing was changed.")
                             .arg(QDir::toNativeSeparators(m_lock.fileName()), withoutFullStop(reason));
            return false;
        }
        if (m_lock.tryLock(0)) {
            if (lockIdentity())
                return true;
            // Held through another name of the same file.
            m_lock.unlock();
            otherName = true;
        } else if (m_lock.error() != QLockFile::LockFailedError) {
            break;
        }
        if (deadline.hasExpired())
            break;
        QThread::msleep(50);
    }
    if (error) {
        qint64 pid = 0;
        QString host;
        QString application;
        if (otherName && m_lock.error() == QLockFile::NoError)
            *error = tr("Another Prefwright is saving this file through another of its names (a hard link). Try "
                        "again in a moment.");
        else if (m_lock.error() != QLockFile::LockFailedError)
            *error = tr("Cannot create the lock file %1 beside the file: %2. Nothing was changed.")
                         .arg(QDir::toNativeSeparators(m_lock.fileName()), creationFailure());
        else if (m_lock.getLockInfo(&pid, &host, &application))
            *error = tr("Another Prefwright is saving this file (process %1). Try again in a moment.").arg(pid);
        else
            *error
                = tr("Another Prefwright is saving this file (process %1). Try again in a moment.").arg(tr("unknown"));
    }
    return false;
}

QString WriterLock::creationFailure() const
{
    // QLockFile keeps only "permission": the system's own reason (a full disk, a read-only
    // mount, a name too long) says what to do about it.
    QFile probe(m_lock.fileName());
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return probe.errorString();
    // Made, but not written to: a full disk or the file size limit.
    errno = 0;
    const bool written = probe.write("0\n") == 2;
    const QString reason = written ? QString() : systemReason(probe);
    probe.close();
    // By name: a QFile whose last write failed declines to remove itself.
    QFile::remove(m_lock.fileName());
    return written ? tr("the folder cannot be written to") : reason;
}

} // namespace pfw
