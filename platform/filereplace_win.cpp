#include "platform/filereplace.h"

#include "platform/fileentry.h"

#include <windows.h>

namespace pfw::filereplace {

bool renameOver(const QString &from, const QString &to, QString *reason)
{
    const auto wide = [](const QString &path) { return reinterpret_cast<const wchar_t *>(path.utf16()); };
    const QString source = systemPath(from);
    const QString target = systemPath(to);
    // Write-through: the rename is on the disk when this returns, as the data already is.
    if (MoveFileExW(wide(source), wide(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (reason)
        *reason = qt_error_string(int(GetLastError()));
    return false;
}

} // namespace pfw::filereplace
