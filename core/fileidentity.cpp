#include "core/fileidentity.h"

#include "platform/fileentry.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#else
#include "platform/winapi.h"

#include <QDir>
#endif

namespace pfw {

FileIdentity FileIdentity::of(const QString &path)
{
    FileIdentity identity;
#ifndef Q_OS_WIN
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
#else
    win::FileId id;
    if (!win::fileId(systemPath(path).toStdWString(), &id))
        return identity;
    identity.exists = true;
    identity.size = qint64(id.size);
    // 100 ns units since 1601: compared, never turned into a date, so kept as they are.
    identity.modifiedNs = qint64(id.writeTime) * 100;
    identity.changedNs = qint64(id.changeTime) * 100;
    identity.inode = id.index;
    identity.device = id.volume;
    identity.links = qint64(id.links);
#endif
    return identity;
}

} // namespace pfw
