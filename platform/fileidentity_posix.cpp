#include "core/fileidentity.h"

#include <QFile>

#include <sys/stat.h>

namespace pfw {

FileIdentity FileIdentity::of(const QString &path)
{
    FileIdentity identity;
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return identity;
    identity.exists = true;
    identity.size = qint64(info.st_size);
#ifdef Q_OS_DARWIN
    identity.modifiedNs = qint64(info.st_mtimespec.tv_sec) * 1000000000 + info.st_mtimespec.tv_nsec;
    identity.changedNs = qint64(info.st_ctimespec.tv_sec) * 1000000000 + info.st_ctimespec.tv_nsec;
#else
    identity.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    identity.changedNs = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
#endif
    identity.inode = quint64(info.st_ino);
    identity.device = quint64(info.st_dev);
    identity.links = qint64(info.st_nlink);
    return identity;
}

} // namespace pfw
