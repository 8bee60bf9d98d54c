#include "platform/identitylock.h"

#include "core/fileidentity.h"

#include <QDir>
#include <QLockFile>

namespace pfw {

namespace {

// An open handle on the file would keep the rename of a save from replacing it, so the lock is a
// file of its own, named after the file's identity (volume and file index), in the user's
// temporary folder.
class IdentityFileLock final : public IdentityLock
{
public:
    explicit IdentityFileLock(std::unique_ptr<QLockFile> lock)
        : m_lock(std::move(lock))
    {
    }

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace

std::unique_ptr<IdentityLock> IdentityLock::take(const QString &path, bool *heldByAnother)
{
    *heldByAnother = false;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const FileIdentity before = FileIdentity::of(path);
        if (!before.exists)
            return nullptr;
        auto lock = std::make_unique<QLockFile>(QDir::tempPath()
                                                + QStringLiteral("/prefwright-%1-%2.lock")
                                                      .arg(before.device, 8, 16, QLatin1Char('0'))
                                                      .arg(before.inode, 16, 16, QLatin1Char('0')));
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0)) {
            *heldByAnother = lock->error() == QLockFile::LockFailedError;
            return nullptr;
        }
        // Replaced since: the lock is on a file nobody writes any more.
        const FileIdentity after = FileIdentity::of(path);
        if (after.device == before.device && after.inode == before.inode)
            return std::make_unique<IdentityFileLock>(std::move(lock));
    }
    return nullptr;
}

} // namespace pfw
