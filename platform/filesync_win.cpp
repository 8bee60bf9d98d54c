#include "platform/filesync.h"

#include "platform/fileentry.h"

#include <io.h>
#include <windows.h>

namespace pfw {

// The rights come from the folder, as the old file's did; the attributes a user or a tool set
// on the old file (hidden, system, not indexed) go to the new one. Read-only never gets here: it
// refuses the save.
void copyOwnership(int handle, const QString &original)
{
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t *>(systemPath(original).utf16()));
    const DWORD carried = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & carried))
        return;
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(handle));
    FILE_BASIC_INFO basic = {};
    if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)))
        return;
    // Zero times leave the file's own as they are.
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = basic.LastWriteTime.QuadPart = 0;
    basic.ChangeTime.QuadPart = 0;
    basic.FileAttributes = (basic.FileAttributes & ~FILE_ATTRIBUTE_NORMAL) | (attributes & carried);
    SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic));
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
