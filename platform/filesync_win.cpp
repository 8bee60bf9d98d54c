#include "platform/filesync.h"

#include <io.h>
#include <windows.h>

namespace pfw {

void copyOwnership(int handle, const QString &original)
{
    Q_UNUSED(handle);
    Q_UNUSED(original);
}

bool syncToDisk(int handle)
{
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(handle));
    return file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
}

// NTFS journals its folders; a folder cannot be opened to be flushed without backup rights.
bool syncFolder(const QString &folder)
{
    Q_UNUSED(folder);
    return true;
}

} // namespace pfw
