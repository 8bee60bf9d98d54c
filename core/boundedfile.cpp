#include "core/boundedfile.h"

#include "platform/fileentry.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QDir>

#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pfw {

namespace {

BoundedFile::Result failure(BoundedFile::Status status, const QString &reason)
{
    BoundedFile::Result result;
    result.status = status;
    result.reason = reason;
    return result;
}

BoundedFile::Result tooLarge(qint64 maxBytes)
{
    const QString limit = maxBytes >= (qint64(1) << 20) ? BoundedFile::tr("%1 MiB").arg(maxBytes >> 20)
                                                        : BoundedFile::tr("%1 KiB").arg(maxBytes >> 10);
    return failure(BoundedFile::TooLarge, BoundedFile::tr("It is larger than %1.").arg(limit));
}

} // namespace

#ifndef Q_OS_WIN

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

#else

BoundedFile::Result BoundedFile::read(const QString &path, qint64 maxBytes, LinkPolicy links)
{
    const QFileInfo info(path);
    if (links == RefuseLinks && (info.isSymLink() || info.isJunction() || isLinkEntry(path)))
        return failure(Link, tr("It is a symbolic link."));
    if (!info.exists())
        return failure(Missing, tr("It does not exist."));
    if (info.isDir())
        return failure(Folder, tr("It is a folder."));
    if (!info.isFile())
        return failure(NotRegular, tr("It is not a regular file."));
    if (info.size() > maxBytes)
        return tooLarge(maxBytes);
    // Shared for deletion too: a reader must never keep a save's rename from replacing the file.
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t *>(systemPath(path).utf16()),
                                    GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failure(Failed, qt_error_string(int(GetLastError())));
    Result result;
    QByteArray bytes(int(qMin<qint64>(maxBytes + 1, info.size() + 1)), Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > maxBytes)
                break;
            bytes.resize(int(qMin<qint64>(maxBytes + 1, qint64(bytes.size()) * 2 + 4096)));
        }
        DWORD got = 0;
        if (!ReadFile(file, bytes.data() + total, DWORD(bytes.size() - total), &got, nullptr)) {
            const QString reason = qt_error_string(int(GetLastError()));
            CloseHandle(file);
            return failure(Failed, reason);
        }
        if (got == 0)
            break;
        total += got;
    }
    CloseHandle(file);
    if (total > maxBytes)
        return tooLarge(maxBytes);
    bytes.truncate(int(total));
    result.bytes = bytes;
    result.status = Ok;
    return result;
}

#endif

} // namespace pfw
