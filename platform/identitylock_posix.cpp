#include "platform/identitylock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pfw {

namespace {

// flock() on an open descriptor of the file: released when the descriptor closes.
class DescriptorLock final : public IdentityLock
{
public:
    explicit DescriptorLock(int fd)
        : m_fd(fd)
    {
    }
    ~DescriptorLock() override { ::close(m_fd); }

private:
    int m_fd;
};

} // namespace

std::unique_ptr<IdentityLock> IdentityLock::take(const QString &path, bool *heldByAnother)
{
    *heldByAnother = false;
    const QByteArray name = QFile::encodeName(path);
    // A few rounds at most: each one only when a rename came between the open and the lock.
    for (int attempt = 0; attempt < 8; ++attempt) {
        struct stat named = {};
        // Nothing there yet, or nothing a writer goes on with: the named lock is all there is.
        if (::stat(name.constData(), &named) != 0 || !S_ISREG(named.st_mode))
            return nullptr;
        const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return nullptr;
        struct stat opened = {};
        if (::fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
            ::close(fd);
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            // A file system without such locks leaves the named lock to do the work.
            *heldByAnother = errno == EWOULDBLOCK;
            ::close(fd);
            return nullptr;
        }
        struct stat now = {};
        if (::stat(name.constData(), &now) == 0 && now.st_dev == opened.st_dev && now.st_ino == opened.st_ino)
            return std::make_unique<DescriptorLock>(fd);
        // Renamed over since the open: the lock is on a file nobody writes any more.
        ::close(fd);
    }
    return nullptr;
}

} // namespace pfw
