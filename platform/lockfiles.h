#pragma once

#include <QString>

namespace pfw::lockfiles {

// What lies at a lock file's place once a left-over one is removed.
enum class LeftOver {
    None, // nothing, or a lock file someone holds (QLockFile names the holder)
    Foreign, // something no Prefwright made: a folder, a link, a device, a large file
    Stuck, // left by a process that is gone, but it cannot be removed (why in reason)
    Unusable, // it cannot even be looked at (why in reason)
};

// Removes a lock file nobody holds any more, and the chain of QLockFile's "<lock>.rmlock" files a
// process killed while it took over a stale lock leaves behind. A file younger than youngMs is
// never removed: a new holder writes its lock in an instant. Nothing at the place is ever opened
// in a way that could block (a named pipe) or read without end (a device).
LeftOver clearLeftOver(const QString &lockPath, qint64 maxSize, qint64 youngMs, QString *reason);

} // namespace pfw::lockfiles
