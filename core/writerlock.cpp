#include "core/writerlock.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#ifdef Q_OS_WIN
#include "platform/winapi.h"

#include <QDir>
#endif

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
#ifndef Q_OS_WIN
    if (m_identity >= 0)
        ::close(m_identity);
    m_identity = -1;
#else
    if (m_identityHandle)
        win::unlockFileIdentity(m_identityHandle);
    m_identityHandle = nullptr;
#endif
    m_lock.unlock();
}

bool WriterLock::lockIdentity()
{
#ifndef Q_OS_WIN
    const QByteArray path = QFile::encodeName(m_target);
    // A few rounds at most: each one only when a rename came between the open and the lock.
    for (int attempt = 0; attempt < 8; ++attempt) {
        struct stat named = {};
        // Nothing there yet, or nothing a writer goes on with: the named lock is all there is.
        if (::stat(path.constData(), &named) != 0 || !S_ISREG(named.st_mode))
            return true;
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return true;
        struct stat opened = {};
        if (::fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
            ::close(fd);
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            // A file system without such locks leaves the named lock to do the work.
            const bool held = errno == EWOULDBLOCK;
            ::close(fd);
            return !held;
        }
        struct stat now = {};
        if (::stat(path.constData(), &now) == 0 && now.st_dev == opened.st_dev && now.st_ino == opened.st_ino) {
            m_identity = fd;
            return true;
        }
        // Renamed over since the open: the lock is on a file nobody writes any more.
        ::close(fd);
    }
    return true;
#else
    bool held = false;
    m_identityHandle = win::lockFileIdentity(QDir::toNativeSeparators(m_target).toStdWString(), &held);
    return m_identityHandle || !held;
#endif
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
    // A name too long for the file system, a folder that cannot be searched: the system says why.
    const auto unusable = [this](int code) {
        m_stuckReason = qt_error_string(code);
        return Unusable;
    };
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0)
        return errno == ENOENT ? NoObstacle : unusable(errno);
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxLockFileSize)
        return Foreign;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? NoObstacle : errno == ELOOP ? Foreign : unusable(errno);
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
    Obstacle obstacle = NoObstacle;
    if (free && same && qAbs(ageMs) > kLeftOverAgeMs && ::unlink(path.constData()) != 0 && errno != ENOENT) {
        // Marked immutable, or on a read-only mount: it would pass for a live holder for ever.
        m_stuckReason = qt_error_string(errno);
        obstacle = Stuck;
    }
    ::close(fd);
    return obstacle;
#else
    return NoObstacle;
#endif
}

bool WriterLock::acquire(QString *error, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    bool otherName = false;
    for (;;) {
        const Obstacle obstacle = clearLeftOver();
        if (obstacle == Foreign) {
            if (error)
                *error = tr("%1 is in the way of Prefwright's lock file (it is not a lock file Prefwright made). "
                            "Remove it and try again. Nothing was changed.")
                             .arg(m_lock.fileName());
            return false;
        }
        if (obstacle == Unusable) {
            if (error)
                *error = tr("Cannot create the lock file %1 beside the file: %2. Nothing was changed.")
                             .arg(m_lock.fileName(), m_stuckReason);
            return false;
        }
        if (obstacle == Stuck) {
            if (error)
                *error = tr("The lock file %1 was left by a Prefwright that is no longer running, but it cannot be "
                            "removed (%2). Remove it yourself and try again. Nothing was changed.")
                             .arg(m_lock.fileName(), m_stuckReason);
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
                         .arg(m_lock.fileName(), creationFailure());
        else if (m_lock.getLockInfo(&pid, &host, &application))
            *error = tr("Another Prefwright is saving this file (process %1). Try again in a moment.").arg(pid);
        else
            *error = tr("Another Prefwright is saving this file (process %1). Try again in a moment.").arg(tr("unknown"));
    }
    return false;
}

QString WriterLock::creationFailure() const
{
    // QLockFile keeps only "permission": the system's own reason (a full disk, a read-only
    // mount, a name too long) says what to do about it.
    QFile probe(m_lock.fileName());
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return probe.errorString();
    probe.remove();
    return tr("the folder cannot be written to");
}

} // namespace pfw
