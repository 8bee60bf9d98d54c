#pragma once

#include <QString>

namespace pfw {

// Gives an open file the permission bits of another and, when root writes a user's file, its
// owner: PixInsight running as that user must still be able to rewrite it. (Windows: the new
// file takes its folder's rights, as the old one did, and the old one's hidden, system and
// not-indexed attributes.)
void copyOwnership(int handle, const QString &original);
// Puts what was written to an open file (a C library descriptor, as QFile::handle() gives it)
// on the disk before it is renamed over the old one: a power cut must find the old file or the
// whole new one, never an empty name.
bool syncToDisk(int handle);
// Puts a folder's entries (a rename into it) on the disk, where the system lets a folder be synced.
bool syncFolder(const QString &folder);

} // namespace pfw
