#pragma once

#include <QString>

namespace pfw {

// Moves a file to the user's trash (the Recycle Bin on Windows). False when the system has no
// trash for it or refuses; the file is then where it was. On freedesktop systems the home trash
// is made first, and a move that Qt reports outside a proper trash is undone.
[[nodiscard]] bool moveToUserTrash(const QString &path);

} // namespace pfw
