#include "platform/lockfiles.h"

#include "platform/fileentry.h"

#include <QDir>

#include <windows.h>

namespace pfw::lockfiles {

namespace {

std::wstring nativePath(const QString &path)
{
    return systemPath(path).toStdWString();
}

quint64 fileTimeValue(const FILETIME &time)
{
    return (quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

LeftOver removeIfLeftOver(const QString &path, qint64 maxSize, qint64 youngMs, QString *reason)
{
    const std::wstring native = nativePath(path);
    WIN32_FILE_ATTRIBUTE_DATA info = {};
    if (!GetFileAttributesExW(native.c_str(), GetFileExInfoStandard, &info)) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return LeftOver::None;
        *reason = qt_error_string(int(code));
        return LeftOver::Unusable;
    }
    const quint64 size = (quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        || size > quint64(maxSize))
        return LeftOver::Foreign;
    // QLockFile keeps its file open without letting others delete it: a live holder makes this
    // open fail with a sharing violation, a dead one cannot.
    const HANDLE file = CreateFileW(native.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION || code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return LeftOver::None;
        *reason = qt_error_string(int(code));
        return code == ERROR_ACCESS_DENIED ? LeftOver::Stuck : LeftOver::Unusable;
    }
    LeftOver result = LeftOver::None;
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    BY_HANDLE_FILE_INFORMATION opened = {};
    // File times count 100 ns.
    const qint64 ageMs = GetFileInformationByHandle(file, &opened)
        ? qint64(fileTimeValue(now) - fileTimeValue(opened.ftLastWriteTime)) / 10000
        : 0;
    if (qAbs(ageMs) > youngMs) {
        FILE_DISPOSITION_INFO disposition = {};
        disposition.DeleteFile = TRUE;
        if (!SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition)) {
            // Read-only, or a folder whose rights do not allow it: it would pass for a live holder for ever.
            *reason = qt_error_string(int(GetLastError()));
            result = LeftOver::Stuck;
        }
    }
    CloseHandle(file);
    return result;
}

} // namespace

LeftOver clearLeftOver(const QString &lockPath, qint64 maxSize, qint64 youngMs, QString *reason)
{
    const LeftOver result = removeIfLeftOver(lockPath, maxSize, youngMs, reason);
    QString path = lockPath;
    QString ignored;
    for (int level = 0; level < 16; ++level) {
        path += QLatin1String(".rmlock");
        if (GetFileAttributesW(nativePath(path).c_str()) == INVALID_FILE_ATTRIBUTES)
            break;
        (void)removeIfLeftOver(path, maxSize, youngMs, &ignored);
    }
    return result;
}

} // namespace pfw::lockfiles
