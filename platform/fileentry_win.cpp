#include "platform/fileentry.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace pfw {

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
    const QString spelled = QString::fromWCharArray(found.cFileName);
    return spelled.compare(given, Qt::CaseInsensitive) == 0 ? spelled : given;
}

} // namespace pfw
