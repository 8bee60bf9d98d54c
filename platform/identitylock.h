#pragma once

#include <QString>

#include <memory>

namespace pfw {

// A lock on a file itself, which every name of it shares (hard links, bind mounts, two spellings
// of one path): a lock file beside one name is not seen through the others. It never keeps a
// rename from replacing the file.
class IdentityLock
{
public:
    virtual ~IdentityLock() = default;

    // The lock on the file at path; null when there is nothing to lock (no file, not a regular
    // file, a file system without such locks), and then *heldByAnother says whether that is
    // because another holds it.
    static std::unique_ptr<IdentityLock> take(const QString &path, bool *heldByAnother);

protected:
    IdentityLock() = default;
};

} // namespace pfw
