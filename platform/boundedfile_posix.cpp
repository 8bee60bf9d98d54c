#include "core/boundedfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pfw {

BoundedFile::Result BoundedFile::read(const QString &path, qint64 maxBytes, LinkPolicy links)
{
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused after fstat anyway.
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (links == RefuseLinks)
        flags |= O_NOFOLLOW;
    const int fd = ::open(native.constData(), flags);
    if (fd < 0) {
        const int code = errno;
        if (code == ELOOP && links == RefuseLinks)
            return failure(Link, tr("It is a symbolic link."));
        if (code == ENOENT)
            return failure(Missing, tr("It does not exist."));
        if (code == EISDIR)
            return failure(Folder, tr("It is a folder."));
        return failure(Failed, QString::fromLocal8Bit(std::strerror(code)) + u'.');
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info = {};
    if (::fstat(fd, &info) != 0)
        return failure(Failed, QString::fromLocal8Bit(std::strerror(errno)) + u'.');
    if (S_ISDIR(info.st_mode))
        return failure(Folder, tr("It is a folder."));
    if (!S_ISREG(info.st_mode))
        return failure(NotRegular, tr("It is not a regular file."));
    if (info.st_size > maxBytes)
        return tooLarge(maxBytes);
    // Back to blocking reads; a regular file never blocks, but the flag must not leak into errors.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    Result result;
    // The file may grow while it is read: never take more than the limit.
    result.bytes.resize(qsizetype(info.st_size));
    qint64 filled = 0;
    for (;;) {
        if (filled == result.bytes.size()) {
            if (filled > maxBytes)
                return tooLarge(maxBytes);
            result.bytes.resize(qsizetype(qMin<qint64>(maxBytes + 1, qMax<qint64>(filled * 2, filled + 4096))));
        }
        const ssize_t got = ::read(fd, result.bytes.data() + filled, size_t(result.bytes.size() - filled));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return failure(Failed, QString::fromLocal8Bit(std::strerror(errno)) + u'.');
        }
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > maxBytes)
        return tooLarge(maxBytes);
    result.bytes.truncate(qsizetype(filled));
    result.status = Ok;
    return result;
}

} // namespace pfw
