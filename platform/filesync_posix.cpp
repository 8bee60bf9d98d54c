#include "platform/filesync.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pfw {

void copyOwnership(int handle, const QString &original)
{
    struct stat info = {};
    if (handle < 0 || ::stat(QFile::encodeName(original).constData(), &info) != 0)
        return;
    (void)::fchmod(handle, info.st_mode & 07777);
    if (::geteuid() == 0 && (info.st_uid != ::geteuid() || info.st_gid != ::getegid()))
        (void)::fchown(handle, info.st_uid, info.st_gid);
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
