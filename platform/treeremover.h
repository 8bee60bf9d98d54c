#pragma once

#include <QString>

namespace pfw {

// Deletes a folder with everything in it and returns whether all of it went. Links inside are
// removed themselves, never what they point to; a failure does not stop the walk. It never
// crosses into another file system: a folder mounted inside (a bind mount too) is left as it
// is, and so is the folder itself when it is mounted where it stands.
//
// On POSIX systems the walk holds each folder open and works relative to it, refusing to
// follow any link, so a folder swapped for a link while it runs cannot redirect it.
bool removeTree(const QString &path);

// Removes the entry "name" of a folder given by its link-free (canonical) path, only if it is
// still a folder (expectFolder) or still a file; a link in its place is removed itself. Used
// with the folder resolved when the item was checked, so that a folder on the way that is
// swapped for a link afterwards cannot redirect the deletion.
bool removeEntryIn(const QString &canonicalFolder, const QString &name, bool expectFolder);

// Whether the entry "name" of a folder given by its canonical path lies on another file system
// or mount than the folder (a mount point, a bind mount); true also when that cannot be told.
[[nodiscard]] bool isMountPoint(const QString &canonicalFolder, const QString &name);

// Whether a name is one entry of a folder: not empty, not "." or "..", no separator.
[[nodiscard]] bool isPlainEntryName(const QString &name);

// The same walk through Qt's file API, checking each entry for a link: Windows uses it, and
// the tests try it on every system.
bool removeTreePortable(const QString &path);
bool removeEntryInPortable(const QString &canonicalFolder, const QString &name, bool expectFolder);
[[nodiscard]] bool isMountPointPortable(const QString &canonicalFolder, const QString &name);

} // namespace pfw
