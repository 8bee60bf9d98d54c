#pragma once

#include <QString>

namespace pfw {

// Moves a file to the user's trash (the Recycle Bin on Windows). False when the system has no
// trash for it or refuses; the file is then where it was. On freedesktop systems: the home trash
// (made when missing) for a file on its file system, an existing trash of the file's own file
// system otherwise (none is made there), and a bounded number of tries at a free name.
[[nodiscard]] bool moveToUserTrash(const QString &path);

} // namespace pfw
