#include "core/boundedfile.h"

#include "platform/fileentry.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace pfw {

BoundedFile::Result BoundedFile::read(const QString &path, qint64 maxBytes, LinkPolicy links)
{
    const QFileInfo info(path);
    if (links == RefuseLinks && (info.isSymLink() || info.isJunction() || isLinkEntry(path)))
        return failure(Link, tr("It is a symbolic link."));
    if (!info.exists())
        return failure(Missing, tr("It does not exist."));
    if (info.isDir())
        return failure(Folder, tr("It is a folder."));
    if (!info.isFile())
        return failure(NotRegular, tr("It is not a regular file."));
    if (info.size() > maxBytes)
        return tooLarge(maxBytes);
    // Shared for deletion too: a reader must never keep a save's rename from replacing the file.
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t *>(systemPath(path).utf16()), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failure(Failed, qt_error_string(int(GetLastError())));
    Result result;
    QByteArray &bytes = result.bytes;
    bytes.resize(qsizetype(qMin<qint64>(maxBytes + 1, info.size() + 1)));
    qint64 total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > maxBytes)
                break;
            bytes.resize(qsizetype(qMin<qint64>(maxBytes + 1, qint64(bytes.size()) * 2 + 4096)));
        }
        DWORD got = 0;
        if (!ReadFile(file, bytes.data() + total, DWORD(bytes.size() - total), &got, nullptr)) {
            const QString reason = qt_error_string(int(GetLastError()));
            CloseHandle(file);
            return failure(Failed, reason);
        }
        if (got == 0)
            break;
        total += got;
    }
    CloseHandle(file);
    if (total > maxBytes)
        return tooLarge(maxBytes);
    bytes.truncate(qsizetype(total));
    result.status = Ok;
    return result;
}

} // namespace pfw
