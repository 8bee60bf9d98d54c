#include "modules/treeremover.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>
#endif

namespace pfw {

namespace {

bool isLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isSymbolicLink() || info.isShortcut() || info.isJunction();
}

#ifdef Q_OS_UNIX

class Descriptor final
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

int openDirectoryAt(int parent, const char *name)
{
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Opens a folder by walking its link-free path from the root one name at a time, so a link
// put in place after the path was resolved makes the walk fail instead of being followed.
int openResolvedDirectory(const QString &canonicalPath)
{
    int current = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const QString &part : canonicalPath.split(u'/', Qt::SkipEmptyParts)) {
        if (current < 0)
            return -1;
        const int next = openDirectoryAt(current, QFile::encodeName(part).constData());
        ::close(current);
        current = next;
    }
    return current;
}

bool removeEntryAt(int parent, const char *name);

// Empties and removes the folder "name" inside the open folder "parent".
bool removeFolderAt(int parent, const char *name)
{
    const int fd = openDirectoryAt(parent, name);
    if (fd < 0)
        return false;
    struct stat status;
    // A read-only folder cannot be emptied; make it writable first (its owner can).
    if (::fstat(fd, &status) == 0 && (status.st_mode & (S_IWUSR | S_IXUSR)) != (S_IWUSR | S_IXUSR))
        ::fchmod(fd, status.st_mode | S_IWUSR | S_IXUSR);
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    std::vector<QByteArray> names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray entryName(entry->d_name);
        if (entryName != "." && entryName != "..")
            names.push_back(entryName);
    }
    bool all = true;
    for (const QByteArray &entryName : names)
        all = removeEntryAt(::dirfd(dir), entryName.constData()) && all;
    ::closedir(dir);
    return ::unlinkat(parent, name, AT_REMOVEDIR) == 0 && all;
}

bool removeEntryAt(int parent, const char *name)
{
    struct stat status;
    if (::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (S_ISDIR(status.st_mode))
        return removeFolderAt(parent, name);
    // Files and links alike: unlinking a link never touches its target.
    return ::unlinkat(parent, name, 0) == 0;
}

#endif

bool removeEntryPortable(const QFileInfo &entry);

bool removeFolderPortable(const QString &path)
{
    bool all = true;
    const QFileInfoList entries = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &entry : entries)
        all = removeEntryPortable(entry) && all;
    return QDir().rmdir(path) && all;
}

bool removeEntryPortable(const QFileInfo &entry)
{
    const QString path = entry.absoluteFilePath();
    if (isLink(entry)) {
        // A link to a folder goes as a folder entry where the platform wants that.
        return QDir().rmdir(path) || QFile::remove(path);
    }
    if (entry.isDir())
        return removeFolderPortable(path);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    return QFile::remove(path);
}

} // namespace

bool removeTree(const QString &path)
{
    const QFileInfo info(path);
    return removeEntryIn(QFileInfo(info.absolutePath()).canonicalFilePath(), info.fileName(), true);
}

bool removeEntryIn(const QString &canonicalFolder, const QString &name, bool expectFolder)
{
    if (canonicalFolder.isEmpty() || name.isEmpty() || name.contains(u'/') || name == u"." || name == u"..")
        return false;
#ifdef Q_OS_UNIX
    Descriptor folder(openResolvedDirectory(canonicalFolder));
    if (folder.get() < 0)
        return false;
    const QByteArray entry = QFile::encodeName(name);
    struct stat status;
    if (::fstatat(folder.get(), entry.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (!S_ISLNK(status.st_mode) && S_ISDIR(status.st_mode) != expectFolder)
        return false;
    return removeEntryAt(folder.get(), entry.constData());
#else
    const QFileInfo info(canonicalFolder + u'/' + name);
    if (!isLink(info) && info.isDir() != expectFolder)
        return false;
    return removeEntryPortable(info);
#endif
}

bool removeTreePortable(const QString &path)
{
    return removeEntryPortable(QFileInfo(path));
}

} // namespace pfw
