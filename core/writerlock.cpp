#include "core/writerlock.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pfw {

namespace {

// Far more than the few lines of a real lock file.
constexpr qint64 kMaxLockFileSize = 4096;
// A lock file this old that nobody holds is left over, whatever it says.
constexpr qint64 kLeftOverAgeMs = 2000;

} // namespace

WriterLock::WriterLock(const QString &targetPath)
    : m_lock(lockPathFor(targetPath))
{
    // Only a dead holder makes a lock stale: a slow save must never be broken into by age.
    m_lock.setStaleLockTime(0);
}

QString WriterLock::lockPathFor(const QString &targetPath)
{
    // Beside the real file: two paths to one file, through a link, must share one lock.
    const QFileInfo given(targetPath);
    const QString canonical = given.canonicalFilePath();
    const QFileInfo target(canonical.isEmpty() ? given.absoluteFilePath() : canonical);
    return target.absolutePath() + QLatin1String("/.") + target.fileName() + QLatin1String(".prefwright-lock");
}

WriterLock::Obstacle WriterLock::clearLeftOver()
{
#ifndef Q_OS_WIN
    // QLockFile would open whatever is there: a named pipe blocks it for ever, a link to a
    // device feeds it without end, and a file it cannot read stays "held" for ever.
    const QByteArray path = QFile::encodeName(m_lock.fileName());
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0)
        return errno == ENOENT ? NoObstacle : Foreign;
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxLockFileSize)
        return Foreign;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? NoObstacle : Foreign;
    // A live holder keeps the file locked; a dead one (killed, in another process namespace,
    // or another user's) does not.
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    struct stat opened = {};
    const bool same = ::fstat(fd, &opened) == 0 && opened.st_ino == info.st_ino && opened.st_dev == info.st_dev;
#ifdef Q_OS_DARWIN
    const qint64 modifiedMs = qint64(opened.st_mtimespec.tv_sec) * 1000 + opened.st_mtimespec.tv_nsec / 1000000;
#else
    const qint64 modifiedMs = qint64(opened.st_mtim.tv_sec) * 1000 + opened.st_mtim.tv_nsec / 1000000;
#endif
    const qint64 ageMs = QDateTime::currentMSecsSinceEpoch() - modifiedMs;
    // A new holder writes its lock in an instant; only an older unheld file is left over.
    if (free && same && qAbs(ageMs) > kLeftOverAgeMs)
        ::unlink(path.constData());
    ::close(fd);
#endif
    return NoObstacle;
}

bool WriterLock::acquire(QString *error, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (clearLeftOver() == Foreign) {
            if (error)
                *error = tr("%1 is in the way of Prefwright's lock file (it is not a lock file Prefwright made). "
                            "Remove it and try again. Nothing was changed.")
                             .arg(m_lock.fileName());
            return false;
        }
        if (m_lock.tryLock(0))
            return true;
        if (m_lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
            break;
        QThread::msleep(50);
    }
    if (error) {
        qint64 pid = 0;
        QString host;
        QString application;
        if (m_lock.error() != QLockFile::LockFailedError)
            *error = tr("Cannot create the lock file %1 beside the file: the folder cannot be written to. "
                        "Nothing was changed.")
                         .arg(m_lock.fileName());
        else if (m_lock.getLockInfo(&pid, &host, &application))
            *error = tr("Another Prefwright is saving this file (process %1). Try again in a moment.").arg(pid);
        else
            *error = tr("Another Prefwright is saving this file (process %1). Try again in a moment.").arg(tr("unknown"));
    }
    return false;
}

} // namespace pfw
