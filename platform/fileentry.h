#pragma once

#include <QString>

namespace pfw {

// How the system compares file names: Windows is blind to case.
[[nodiscard]] Qt::CaseSensitivity fileNameCase();

// Whether the entry at path is a link of the file system itself, looked at without following it:
// a symbolic link; on Windows also a junction or any other reparse point, which Qt does not know
// by every tag (a mounted folder, a link made by another system's tools).
bool isLinkEntry(const QString &path);

// The name of the entry at path as its folder spells it, without following a link: on Windows
// "CORE-001-PXI.SETTINGS", the short alias "CORE~HVR.SET" and "core-001-pxi.settings." are all
// "core-001-pxi.settings". The given name where nothing is there, and on systems whose names are
// exact.
QString spelledName(const QString &path);

// An existing folder's path with each part in its long spelling (Windows' short 8.3 aliases such
// as "MY_S~V0M" expanded); as given elsewhere, and where it cannot be found.
QString longFolderPath(const QString &folder);

// Whether a save must leave the file alone: read-only to its owner (the read-only attribute on
// Windows), or marked immutable or append-only (Linux). A rename would replace it anyway (always
// as root or an administrator), so such a file is never written.
bool isReadOnlyFile(const QString &path);

// The path as the system's own calls take it: on Windows with back slashes, and one near or over
// its 260-character limit with the "\\?\" prefix that lifts it (Qt does the same for its calls).
QString systemPath(const QString &path);

} // namespace pfw
