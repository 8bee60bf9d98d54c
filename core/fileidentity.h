#pragma once

#include <QString>

namespace pfw {

// What tells a file on disk from a rewritten one without reading it: a rename over it gives
// a new inode, a write a new size or modification time.
struct FileIdentity
{
    bool exists = false;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    // Status change time: set by the system on every write and cannot be put back, unlike the
    // modification time (touch -r, cp -p). Not kept on Windows.
    qint64 changedNs = 0;
    quint64 inode = 0;
    quint64 device = 0;

    static FileIdentity of(const QString &path);

    friend bool operator==(const FileIdentity &a, const FileIdentity &b)
    {
        return a.exists == b.exists && a.size == b.size && a.modifiedNs == b.modifiedNs && a.changedNs == b.changedNs
            && a.inode == b.inode && a.device == b.device;
    }
    friend bool operator!=(const FileIdentity &a, const FileIdentity &b) { return !(a == b); }
};

} // namespace pfw
