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
    // modification time (touch -r, cp -p). On Windows the file system's change time, where kept.
    qint64 changedNs = 0;
    // The inode and device; on Windows the file index and the volume's serial number.
    quint64 inode = 0;
    quint64 device = 0;
    // How many names the file has (hard links); a save gives only the name it went through a new
    // file. Not part of the identity: the status change time moves with it.
    qint64 links = 1;

    static FileIdentity of(const QString &path);

    friend bool operator==(const FileIdentity &a, const FileIdentity &b)
    {
        return a.exists == b.exists && a.size == b.size && a.modifiedNs == b.modifiedNs && a.changedNs == b.changedNs
            && a.inode == b.inode && a.device == b.device;
    }
    friend bool operator!=(const FileIdentity &a, const FileIdentity &b) { return !(a == b); }
};

} // namespace pfw
