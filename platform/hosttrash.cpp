#include "platform/hosttrash.h"

#include <QFile>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <QDateTime>
#include <QUrl>

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pfw {

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)

namespace {

constexpr QFileDevice::Permissions kOwnerOnly
    = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

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

// The trash of the file's own mount, only when it is there already: $topdir/.Trash/$uid inside
// an administrator's sticky .Trash, or $topdir/.Trash-$uid. A new folder at the top of a file
// system is never made (as root on "/" that would be /.Trash-0).
QString existingVolumeTrash(const QString &volumeRoot)
{
    const QString root = volumeRoot == QLatin1String("/") ? QString() : volumeRoot;
    const QString uid = QString::number(::getuid());
    const QString shared = root + QLatin1String("/.Trash");
    struct stat info = {};
    if (::lstat(QFile::encodeName(shared).constData(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)
        && isOwnFolder(shared + u'/' + uid))
        return shared + u'/' + uid;
    const QString perUser = root + QLatin1String("/.Trash-") + uid;
    return isOwnFolder(perUser) ? perUser : QString();
}

quint64 deviceOf(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? quint64(info.st_dev) : quint64(-1);
}

// Another name for the same file in the trash: the first names tried are taken.
constexpr int kMaxNames = 1000;

} // namespace

bool moveToUserTrash(const QString &path)
{
    // Moved by hand into the desktop's trash ("files" and "info"): Qt's own move retries a name
    // without end when its record cannot be made (a name too long for the file system, a full
    // disk), and makes a trash folder at the top of another file system.
    const QFileInfo source(path);
    if (!source.exists() && !source.isSymLink())
        return false;
    const QString absolute = source.absoluteFilePath();
    const QString home = homeTrash();
    QString trash;
    QString recorded = absolute;
    if (!home.isEmpty() && deviceOf(home) == deviceOf(absolute)) {
        trash = home;
    } else {
        const QString volumeRoot = QDir::cleanPath(QStorageInfo(source.absolutePath()).rootPath());
        trash = volumeRoot.isEmpty() ? QString() : existingVolumeTrash(volumeRoot);
        if (trash.isEmpty() || deviceOf(trash) != deviceOf(absolute))
            return false;
        // Within a volume's trash the place is recorded relative to its top.
        recorded = volumeRoot == QLatin1String("/") ? absolute.mid(1) : absolute.mid(volumeRoot.size() + 1);
    }
    for (const QString &folder : {trash + QLatin1String("/files"), trash + QLatin1String("/info")}) {
        if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder, kOwnerOnly))
            return false;
        if (QFileInfo(folder).isSymLink() || !QFileInfo(folder).isDir())
            return false;
    }
    const QByteArray info = "[Trash Info]\nPath=" + QUrl::toPercentEncoding(recorded, "/") + "\nDeletionDate="
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toUtf8() + '\n';
    const QString name = source.fileName();
    for (int n = 0; n < kMaxNames; ++n) {
        const QString trashed = n == 0 ? name : name + u'-' + QString::number(n);
        const QByteArray record
            = QFile::encodeName(trash + QLatin1String("/info/") + trashed + QLatin1String(".trashinfo"));
        const QByteArray target = QFile::encodeName(trash + QLatin1String("/files/") + trashed);
        // The record's name is the longest: no later name would fit either.
        if (QFile::encodeName(trashed).size() + 10 > NAME_MAX)
            return false;
        // The record is made first and exclusively, so two trashings never share a name.
        const int fd = ::open(record.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        struct stat taken = {};
        const bool free = ::lstat(target.constData(), &taken) != 0 && errno == ENOENT;
        const bool written
            = free && ::write(fd, info.constData(), size_t(info.size())) == ssize_t(info.size()) && ::fsync(fd) == 0;
        ::close(fd);
        if (written && ::rename(QFile::encodeName(absolute).constData(), target.constData()) == 0)
            return true;
        ::unlink(record.constData());
        if (!free)
            continue;
        return false;
    }
    return false;
}

#else

bool moveToUserTrash(const QString &path)
{
    return QFile::moveToTrash(path);
}

#endif

} // namespace pfw
