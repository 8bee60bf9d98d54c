#include "platform/lockfiles.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pfw::lockfiles {

namespace {

LeftOver removeIfLeftOver(const QByteArray &path, qint64 maxSize, qint64 youngMs, QString *reason)
{
    // A name too long for the file system, a folder that cannot be searched: the system says why.
    const auto unusable = [reason](int code) {
        *reason = qt_error_string(code);
        return LeftOver::Unusable;
    };
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0)
        return errno == ENOENT ? LeftOver::None : unusable(errno);
    if (!S_ISREG(info.st_mode) || info.st_size > maxSize)
        return LeftOver::Foreign;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? LeftOver::None : errno == ELOOP ? LeftOver::Foreign : unusable(errno);
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
    LeftOver result = LeftOver::None;
    if (free && same && qAbs(ageMs) > youngMs && ::unlink(path.constData()) != 0 && errno != ENOENT) {
        // Marked immutable, or on a read-only mount: it would pass for a live holder for ever.
        *reason = qt_error_string(errno);
        result = LeftOver::Stuck;
    }
    ::close(fd);
    return result;
}

} // namespace

LeftOver clearLeftOver(const QString &lockPath, qint64 maxSize, qint64 youngMs, QString *reason)
{
    QByteArray path = QFile::encodeName(lockPath);
    const LeftOver result = removeIfLeftOver(path, maxSize, youngMs, reason);
    QString ignored;
    for (int level = 0; level < 16; ++level) {
        path += ".rmlock";
        struct stat info = {};
        if (::lstat(path.constData(), &info) != 0)
            break;
        (void)removeIfLeftOver(path, maxSize, youngMs, &ignored);
    }
    return result;
}

} // namespace pfw::lockfiles
