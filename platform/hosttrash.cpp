#include "platform/hosttrash.h"

#include <QFile>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <unistd.h>
#endif

namespace pfw {

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// Missing folders are made for the owner only, as desktops expect of the data folder and the
// trash; folders that exist are left as they are.
bool makeOwnerOnlyPath(const QString &path)
{
    QString made;
    for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
        made += u'/' + part;
        if (!QFileInfo(made).isDir() && !QDir().mkdir(made, kOwnerOnly) && !QFileInfo(made).isDir())
            return false;
    }
    return !made.isEmpty();
}

// $XDG_DATA_HOME/Trash with its "files" and "info", made when missing. Empty when it cannot be:
// Qt would then trash into "files" and "info" of the working folder.
QString homeTrash()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        return QString();
    // Without a home folder the data folder would be made at the top of the file system.
    if (QDir::cleanPath(QDir::homePath()) == QLatin1String("/") && data.startsWith(QLatin1String("/.local/")))
        return QString();
    const QString trash = QDir::cleanPath(data) + QLatin1String("/Trash");
    for (const QString &folder : {trash + QLatin1String("/files"), trash + QLatin1String("/info")}) {
        if (!makeOwnerOnlyPath(folder))
            return QString();
    }
    return trash;
}

// A trash folder on another mount is only used when it is ours: a real folder, not a link,
// owned by this user.
bool isOwnFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink() && info.ownerId() == ::getuid();
}

// Where Qt may rightly have put the file: the home trash, or the trash of the file's own mount
// ($topdir/.Trash-$uid, or $topdir/.Trash/$uid) when that is a folder of this user's.
bool isProperTrashFolder(const QString &filesFolder, const QString &homeTrash, const QString &volumeRoot)
{
    if (filesFolder == homeTrash + QLatin1String("/files"))
        return true;
    if (volumeRoot.isEmpty())
        return false;
    const QString root = volumeRoot == QLatin1String("/") ? QString() : volumeRoot;
    const QString uid = QString::number(::getuid());
    const QString perUser = root + QLatin1String("/.Trash-") + uid;
    if (filesFolder == perUser + QLatin1String("/files"))
        return isOwnFolder(perUser);
    const QString shared = root + QLatin1String("/.Trash");
    if (filesFolder == shared + u'/' + uid + QLatin1String("/files"))
        return !QFileInfo(shared).isSymLink() && isOwnFolder(shared + u'/' + uid);
    return false;
}

} // namespace

bool moveToUserTrash(const QString &path)
{
    const QString trash = homeTrash();
    if (trash.isEmpty())
        return false;
    const QString volumeRoot = QStorageInfo(QFileInfo(path).absolutePath()).rootPath();
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash))
        return false;
    const QFileInfo moved(inTrash);
    if (isProperTrashFolder(QDir::cleanPath(moved.absolutePath()), trash, QDir::cleanPath(volumeRoot)))
        return true;
    // Qt moved it somewhere that is no trash: put it back and drop the record it wrote beside.
    const QString record = moved.absolutePath() + QLatin1String("/../info/") + moved.fileName()
        + QLatin1String(".trashinfo");
    if (QFileInfo(record).isFile() && !QFileInfo(record).isSymLink())
        QFile::remove(record);
    if (!QFile::rename(inTrash, path))
        qWarning("A file moved to %s by the trash could not be put back.", qPrintable(inTrash));
    return false;
}

#else

bool moveToUserTrash(const QString &path)
{
    return QFile::moveToTrash(path);
}

#endif

} // namespace pfw
