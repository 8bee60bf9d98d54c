#include "platform/fileentry.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <linux/fs.h>
#endif

namespace pfw {

Qt::CaseSensitivity fileNameCase()
{
    return Qt::CaseSensitive;
}

bool isLinkEntry(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

QString spelledName(const QString &path)
{
    return QFileInfo(path).fileName();
}

bool isReadOnlyFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    if (::stat(native.constData(), &info) != 0)
        return false;
    if (!(info.st_mode & S_IWUSR))
        return true;
#if defined(FS_IOC_GETFLAGS)
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    int flags = 0;
    const bool known = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    ::close(fd);
    return known && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL));
#else
    return false;
#endif
}

QString longFolderPath(const QString &folder)
{
    return folder;
}

QString systemPath(const QString &path)
{
    return path;
}

} // namespace pfw
