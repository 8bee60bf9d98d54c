#include "platform/filesync.h"

#include <QFile>

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif

namespace pfw {

namespace {

#ifdef Q_OS_LINUX
// A file's access list, its security label and what tools noted on it live in its extended
// attributes; a new file has none. One the system refuses (a label only root may set) is left out.
void copyExtendedAttributes(int handle, const QByteArray &original)
{
    ssize_t size = ::listxattr(original.constData(), nullptr, 0);
    if (size <= 0)
        return;
    QByteArray names(size, '\0');
    size = ::listxattr(original.constData(), names.data(), size_t(names.size()));
    for (qsizetype at = 0; size > 0 && at < size; at += qsizetype(std::strlen(names.constData() + at)) + 1) {
        const char *name = names.constData() + at;
        const ssize_t length = ::getxattr(original.constData(), name, nullptr, 0);
        if (length < 0)
            continue;
        QByteArray value(length, '\0');
        const ssize_t read = ::getxattr(original.constData(), name, value.data(), size_t(value.size()));
        if (read >= 0)
            (void)::fsetxattr(handle, name, value.constData(), size_t(read), 0);
    }
}
#endif

} // namespace

void copyOwnership(int handle, const QString &original)
{
    const QByteArray path = QFile::encodeName(original);
    struct stat info = {};
    if (handle < 0 || ::stat(path.constData(), &info) != 0)
        return;
    (void)::fchmod(handle, info.st_mode & 07777);
    if (::geteuid() == 0 && (info.st_uid != ::geteuid() || info.st_gid != ::getegid()))
        (void)::fchown(handle, info.st_uid, info.st_gid);
#ifdef Q_OS_LINUX
    // After the mode: setting the mode rewrites an access list's mask.
    copyExtendedAttributes(handle, path);
#else
    Q_UNUSED(path);
#endif
}

bool syncToDisk(int handle)
{
#ifdef Q_OS_LINUX
    return ::fdatasync(handle) == 0;
#else
    return ::fsync(handle) == 0;
#endif
}

bool syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace pfw
