#pragma once

#include <QString>

namespace pfw {

// Whether the entry at path is a link of the file system itself, looked at without following it:
// a symbolic link; on Windows also a junction or any other reparse point, which Qt does not know
// by every tag (a mounted folder, a link made by another system's tools).
bool isLinkEntry(const QString &path);

} // namespace pfw
