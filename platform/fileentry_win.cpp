#include "platform/fileentry.h"

#include <QDir>
#include <QFileInfo>

#include <string>

#include <windows.h>

namespace pfw {

Qt::CaseSensitivity fileNameCase()
{
    return Qt::CaseInsensitive;
}

QString systemPath(const QString &path)
{
    const QString native = QDir::toNativeSeparators(QDir::cleanPath(path));
    // Short paths stay as they are: relative ones, and any a user may read in a message.
    if (native.size() < MAX_PATH - 12 || native.startsWith(QLatin1String("\\\\?\\")))
        return QDir::toNativeSeparators(path);
    if (native.startsWith(QLatin1String("\\\\")))
        return QLatin1String("\\\\?\\UNC\\") + native.mid(2);
    if (native.size() >= 3 && native.at(1) == u':' && native.at(2) == u'\\')
        return QLatin1String("\\\\?\\") + native;
    return QDir::toNativeSeparators(path);
}

QString longFolderPath(const QString &folder)
{
    if (!folder.contains(u'~'))
        return folder;
    const QString native = systemPath(folder);
    const auto *name = reinterpret_cast<const wchar_t *>(native.utf16());
    const DWORD needed = GetLongPathNameW(name, nullptr, 0);
    if (needed == 0)
        return folder;
    std::wstring buffer(needed, L'\0');
    const DWORD length = GetLongPathNameW(name, buffer.data(), needed);
    if (length == 0 || length >= needed)
        return folder;
    QString expanded = QString::fromWCharArray(buffer.data(), int(length));
    if (expanded.startsWith(QLatin1String("\\\\?\\UNC\\")))
        expanded = QLatin1String("\\\\") + expanded.mid(8);
    else if (expanded.startsWith(QLatin1String("\\\\?\\")))
        expanded = expanded.mid(4);
    return QDir::fromNativeSeparators(expanded);
}

bool isReadOnlyFile(const QString &path)
{
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t *>(systemPath(path).utf16()));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
        && (attributes & FILE_ATTRIBUTE_READONLY);
}

bool isLinkEntry(const QString &path)
{
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t *>(systemPath(path).utf16()));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

QString spelledName(const QString &path)
{
    const QString given = QFileInfo(path).fileName();
    // A wildcard would make the search find another name.
    if (given.contains(u'*') || given.contains(u'?'))
        return given;
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileW(reinterpret_cast<const wchar_t *>(systemPath(path).utf16()), &found);
    if (search == INVALID_HANDLE_VALUE)
        return given;
    FindClose(search);
    // The long name: "CORE~HVR.SET" (an 8.3 alias) and "core-001-pxi.settings." (a trailing dot
    // Windows drops) name this file too.
    return QString::fromWCharArray(found.cFileName);
}

} // namespace pfw
