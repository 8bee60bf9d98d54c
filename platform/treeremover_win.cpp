#include "platform/treeremover.h"

namespace pfw {

// Windows has no calls relative to an open folder that refuse links; the walk through Qt's file
// API checks each entry for a reparse point (a junction, a link, a mounted volume) instead.
bool removeEntryIn(const QString &canonicalFolder, const QString &name, bool expectFolder)
{
    return removeEntryInPortable(canonicalFolder, name, expectFolder);
}

bool isMountPoint(const QString &canonicalFolder, const QString &name)
{
    return isMountPointPortable(canonicalFolder, name);
}

} // namespace pfw
