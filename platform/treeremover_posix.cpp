#include "platform/treeremover.h"

#include <QFile>
#include <QString>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif

#include <cerrno>
#include <vector>

namespace pfw {

namespace {

class Descriptor final
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {
    }
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

// Where an entry lives. A bind mount of a folder on the same disk keeps the device number, so
// on Linux the mount id tells it apart too.
struct Place
{
    dev_t device = 0;
    quint64 mount = 0;
    bool hasMount = false;
    mode_t mode = 0;

    bool sameMount(const Place &other) const
    {
        // The mount id alone where it is known: on overlay file systems files report the
        // device of the layer they come from.
        if (hasMount && other.hasMount)
            return mount == other.mount;
        return device == other.device;
    }
};

// The entry "name" of the open folder "parent", not following a link; an empty name stands for
// the open folder itself.
bool placeAt(int parent, const char *name, Place *place)
{
    const bool self = *name == '\0';
#if defined(__linux__) && defined(STATX_MNT_ID)
    struct statx details;
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (self ? AT_EMPTY_PATH : 0);
    if (::statx(parent, name, flags, STATX_TYPE | STATX_MODE | STATX_MNT_ID, &details) == 0) {
        place->device = makedev(details.stx_dev_major, details.stx_dev_minor);
        place->mode = details.stx_mode;
        place->hasMount = (details.stx_mask & STATX_MNT_ID) != 0;
        place->mount = details.stx_mnt_id;
        return true;
    }
    // Kernels or sandboxes without statx fall back to the device alone.
    if (errno != ENOSYS && errno != EPERM)
        return false;
#endif
    struct stat status;
    if ((self ? ::fstat(parent, &status) : ::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW)) != 0)
        return false;
    place->device = status.st_dev;
    place->mode = status.st_mode;
    place->hasMount = false;
    return true;
}

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

bool removeEntryAt(int parent, const char *name, const Place &home);

// Empties and removes the folder "name" inside the open folder "parent". A file system mounted
// there is left as it is: emptying it would delete data that is not the leftover's.
bool removeFolderAt(int parent, const char *name, const Place &home)
{
    const int fd = openDirectoryAt(parent, name);
    if (fd < 0)
        return false;
    // Checked on the open folder, so a mount made after the entry was looked at counts too.
    Place place;
    if (!placeAt(fd, "", &place) || !place.sameMount(home)) {
        ::close(fd);
        return false;
    }
    // A read-only folder cannot be emptied; make it writable first (its owner can).
    if ((place.mode & (S_IWUSR | S_IXUSR)) != (S_IWUSR | S_IXUSR))
        ::fchmod(fd, place.mode | S_IWUSR | S_IXUSR);
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
        all = removeEntryAt(::dirfd(dir), entryName.constData(), home) && all;
    ::closedir(dir);
    return ::unlinkat(parent, name, AT_REMOVEDIR) == 0 && all;
}

bool removeEntryAt(int parent, const char *name, const Place &home)
{
    Place place;
    if (!placeAt(parent, name, &place))
        return errno == ENOENT;
    if (!place.sameMount(home))
        return false;
    if (S_ISDIR(place.mode))
        return removeFolderAt(parent, name, home);
    // Files and links alike: unlinking a link never touches its target.
    return ::unlinkat(parent, name, 0) == 0;
}

} // namespace

bool removeEntryIn(const QString &canonicalFolder, const QString &name, bool expectFolder)
{
    if (canonicalFolder.isEmpty() || !isPlainEntryName(name))
        return false;
    Descriptor folder(openResolvedDirectory(canonicalFolder));
    if (folder.get() < 0)
        return false;
    const QByteArray entry = QFile::encodeName(name);
    Place home;
    Place place;
    if (!placeAt(folder.get(), "", &home) || !placeAt(folder.get(), entry.constData(), &place))
        return false;
    if (!S_ISLNK(place.mode) && S_ISDIR(place.mode) != expectFolder)
        return false;
    // The item has to be on its folder's mount, and so has everything removed below it.
    return removeEntryAt(folder.get(), entry.constData(), home);
}

bool isMountPoint(const QString &canonicalFolder, const QString &name)
{
    if (canonicalFolder.isEmpty() || !isPlainEntryName(name))
        return true;
    Descriptor folder(openResolvedDirectory(canonicalFolder));
    Place home;
    Place place;
    return folder.get() < 0 || !placeAt(folder.get(), "", &home)
        || !placeAt(folder.get(), QFile::encodeName(name).constData(), &place) || !place.sameMount(home);
}

} // namespace pfw
