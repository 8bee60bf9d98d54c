#include "platform/treeremover.h"

#include "platform/fileentry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace pfw {

namespace {

bool isLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isSymbolicLink() || info.isShortcut() || info.isJunction()
        || isLinkEntry(info.absoluteFilePath());
}

// The folder a path's file system is mounted at: a folder with another root than its parent is
// a mount point, also for a bind mount of the same disk.
QString mountRoot(const QString &path)
{
    return QStorageInfo(path).rootPath();
}

bool removeEntryPortable(const QFileInfo &entry, const QString &home);

bool removeFolderPortable(const QString &path, const QString &home)
{
    bool all = true;
    const QFileInfoList entries = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &entry : entries)
        all = removeEntryPortable(entry, home) && all;
    return QDir().rmdir(path) && all;
}

// Windows marks a folder with a volume mounted on it as a junction, so links and mounted folders
// alike go as the entry itself, at every level; any other folder on another mount stays.
bool removeEntryPortable(const QFileInfo &entry, const QString &home)
{
    const QString path = entry.absoluteFilePath();
    if (isLink(entry)) {
        // A link to a folder goes as a folder entry where the platform wants that.
        return QDir().rmdir(path) || QFile::remove(path);
    }
    // Only folders are asked about: nothing can be mounted below a file, and asking for each
    // file would slow big trees down.
    if (entry.isDir())
        return !home.isEmpty() && mountRoot(path) == home && removeFolderPortable(path, home);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    return QFile::remove(path);
}

} // namespace

bool isPlainEntryName(const QString &name)
{
#ifdef Q_OS_WIN
    // A backslash or a drive's colon reaches another folder there.
    if (name.contains(u'\\') || name.contains(u':'))
        return false;
#endif
    return !name.isEmpty() && !name.contains(u'/') && name != u"." && name != u"..";
}

bool removeTree(const QString &path)
{
    const QFileInfo info(path);
    return removeEntryIn(QFileInfo(info.absolutePath()).canonicalFilePath(), info.fileName(), true);
}

bool removeEntryInPortable(const QString &canonicalFolder, const QString &name, bool expectFolder)
{
    if (canonicalFolder.isEmpty() || !isPlainEntryName(name))
        return false;
    const QFileInfo info(canonicalFolder + u'/' + name);
    if (!isLink(info) && info.isDir() != expectFolder)
        return false;
    return removeEntryPortable(info, mountRoot(canonicalFolder));
}

bool isMountPointPortable(const QString &canonicalFolder, const QString &name)
{
    if (canonicalFolder.isEmpty() || !isPlainEntryName(name))
        return true;
    return mountRoot(canonicalFolder + u'/' + name) != mountRoot(canonicalFolder);
}

bool removeTreePortable(const QString &path)
{
    const QFileInfo info(path);
    return removeEntryPortable(info, mountRoot(info.absolutePath()));
}

} // namespace pfw
