#include "core/writerlock.h"

#include "core/backups.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#ifdef Q_OS_WIN
#include "core/fileidentity.h"

#include <QDir>

#include <memory>
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
    m_identityLock.reset();
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
    // An open handle on the file would keep the rename of a save from replacing it, so the lock
    // is a file of its own, named after the file's identity, in the user's temporary folder.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const FileIdentity before = FileIdentity::of(m_target);
        if (!before.exists)
            return true;
        auto lock = std::make_unique<QLockFile>(QDir::tempPath() + QStringLiteral("/prefwright-%1-%2.lock")
                                                                       .arg(before.device, 8, 16, QLatin1Char('0'))
                                                                       .arg(before.inode, 16, 16, QLatin1Char('0')));
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0))
            return lock->error() != QLockFile::LockFailedError;
        // Replaced since: the lock is on a file nobody writes any more.
        const FileIdentity after = FileIdentity::of(m_target);
        if (after.device == before.device && after.inode == before.inode) {
            m_identityLock = std::move(lock);
            return true;
        }
    }
    return true;
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

#ifndef Q_OS_WIN
namespace {

// Removes a lock file that nobody holds and that is old enough to be left over.
WriterLock::Obstacle removeIfLeftOver(const QByteArray &path, QString *reason)
{
    // A name too long for the file system, a folder that cannot be searched: the system says why.
    const auto unusable = [reason](int code) {
        *reason = qt_error_string(code);
        return WriterLock::Unusable;
    };
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0)
        return errno == ENOENT ? WriterLock::NoObstacle : unusable(errno);
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxLockFileSize)
        return WriterLock::Foreign;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? WriterLock::NoObstacle : errno == ELOOP ? WriterLock::Foreign : unusable(errno);
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
    WriterLock::Obstacle obstacle = WriterLock::NoObstacle;
    if (free && same && qAbs(ageMs) > kLeftOverAgeMs && ::unlink(path.constData()) != 0 && errno != ENOENT) {
        // Marked immutable, or on a read-only mount: it would pass for a live holder for ever.
        *reason = qt_error_string(errno);
        obstacle = WriterLock::Stuck;
    }
    ::close(fd);
    return obstacle;
}

} // namespace
#endif

WriterLock::Obstacle WriterLock::clearLeftOver()
{
#ifndef Q_OS_WIN
    // QLockFile would open whatever is there: a named pipe blocks it for ever, a link to a
    // device feeds it without end, and a file it cannot read stays "held" for ever.
    QByteArray path = QFile::encodeName(m_lock.fileName());
    const Obstacle obstacle = removeIfLeftOver(path, &m_stuckReason);
    // QLockFile guards its removal of a stale lock with "<lock>.rmlock", and that one with
    // another: a process killed in between leaves a chain behind.
    QString ignored;
    for (int level = 0; level < 16; ++level) {
        path += ".rmlock";
        struct stat info = {};
        if (::lstat(path.constData(), &info) != 0)
            break;
        (void)removeIfLeftOver(path, &ignored);
    }
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
