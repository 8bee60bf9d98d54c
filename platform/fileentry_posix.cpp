#include "platform/fileentry.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace pfw {

bool isLinkEntry(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

QString spelledName(const QString &path)
{
    return QFileInfo(path).fileName();
}

QString systemPath(const QString &path)
{
    return path;
}

} // namespace pfw
