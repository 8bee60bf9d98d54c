#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pfw::test {

// What tests plant in a file's place. Not every system has each of them: a test that needs one
// skips, saying why, where it cannot be made.

// A named pipe; false where the system has none to make in a folder (Windows).
inline bool makeFifo(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return false;
#else
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
#endif
}

// A second name for a file (a hard link).
inline bool makeHardLink(const QString &existing, const QString &name)
{
#ifdef Q_OS_WIN
    return CreateHardLinkW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(name).utf16()),
                           reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(existing).utf16()), nullptr)
        != FALSE;
#else
    return ::link(QFile::encodeName(existing).constData(), QFile::encodeName(name).constData()) == 0;
#endif
}

#ifdef Q_OS_WIN
namespace detail {

inline bool existsAsEntry(const QString &path)
{
    return GetFileAttributesW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()))
        != INVALID_FILE_ATTRIBUTES;
}

} // namespace detail
#endif

// A symbolic link (to a file or a folder). QFile::link makes a shortcut (.lnk) on Windows, which
// no file system call follows, so a real link is made there.
inline bool makeSymbolicLink(const QString &target, const QString &name)
{
#ifdef Q_OS_WIN
    const QFileInfo pointed(QDir::isAbsolutePath(target) ? target
                                                         : QDir(QFileInfo(name).absolutePath()).filePath(target));
    const DWORD flags
        = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE | (pointed.isDir() ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
    if (CreateSymbolicLinkW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(name).utf16()),
                            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()), flags)
        && detail::existsAsEntry(name))
        return true;
    // Wine 8 reports success and makes nothing; the host's links it shows are no Windows links
    // (a deletion goes through them to the target).
    return false;
#else
    return QFile::link(target, name);
#endif
}

#ifdef Q_OS_WIN
namespace detail {

inline const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

// A junction is a reparse point of the "mount point" kind on an empty folder.
inline bool setJunction(const QString &target, const QString &name)
{
    const QString substitute = QLatin1String("\\??\\") + QDir::toNativeSeparators(QFileInfo(target).absoluteFilePath());
    const QString printed = QDir::toNativeSeparators(QFileInfo(target).absoluteFilePath());
    struct
    {
        DWORD tag;
        WORD dataLength;
        WORD reserved;
        WORD substituteOffset, substituteLength, printOffset, printLength;
        wchar_t text[2048];
    } buffer = {};
    if (substitute.size() + printed.size() + 2 > 2048)
        return false;
    buffer.tag = IO_REPARSE_TAG_MOUNT_POINT;
    buffer.substituteLength = WORD(substitute.size() * 2);
    buffer.printOffset = WORD(buffer.substituteLength + 2);
    buffer.printLength = WORD(printed.size() * 2);
    substitute.toWCharArray(buffer.text);
    printed.toWCharArray(buffer.text + substitute.size() + 1);
    buffer.dataLength = WORD(8 + buffer.printOffset + buffer.printLength + 2);
    const HANDLE folder = CreateFileW(wide(QDir::toNativeSeparators(name)), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    const BOOL set = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &buffer, DWORD(buffer.dataLength + 8), nullptr, 0,
                                     &returned, nullptr);
    CloseHandle(folder);
    return set != FALSE;
}

// Under Wine only: the host's own link to a folder, made by the host's ln. Wine lists it as a
// folder that is a reparse point, as Windows lists a junction.
inline bool makeHostFolderLink(const QString &target, const QString &name)
{
    using UnixName = char *(__cdecl *)(const wchar_t *);
    using DosName = wchar_t *(__cdecl *)(const char *);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto unixName
        = reinterpret_cast<UnixName>(reinterpret_cast<void *>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    const auto dosName
        = reinterpret_cast<DosName>(reinterpret_cast<void *>(GetProcAddress(kernel, "wine_get_dos_file_name")));
    if (!unixName || !dosName)
        return false;
    auto hostPath = [&](const QString &path) {
        char *converted = unixName(wide(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
        const QString result = converted ? QString::fromUtf8(converted) : QString();
        HeapFree(GetProcessHeap(), 0, converted);
        return result;
    };
    wchar_t *lnConverted = dosName("/bin/ln");
    const QString ln = lnConverted ? QString::fromWCharArray(lnConverted) : QString();
    HeapFree(GetProcessHeap(), 0, lnConverted);
    const QString hostTarget = hostPath(target);
    const QString hostName = hostPath(name);
    if (ln.isEmpty() || hostTarget.isEmpty() || hostName.isEmpty())
        return false;
    QString command = QStringLiteral("\"%1\" -s \"%2\" \"%3\"").arg(ln, hostTarget, hostName);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(wide(ln), reinterpret_cast<wchar_t *>(command.data()), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The handle Wine gives for a host program may signal before it is done.
    for (int wait = 0; wait < 100 && !existsAsEntry(name); ++wait)
        Sleep(50);
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileW(wide(QDir::toNativeSeparators(name)), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace detail
#endif

// Whether this Windows is Wine, whose host links to folders cannot be deleted from Windows
// programs: a test that needs that expects the link to stay.
inline bool runsUnderWine()
{
#ifdef Q_OS_WIN
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// A junction to a folder: the folder link on Windows that any user can make, and what a
// PixInsight module installer or a user moving a folder to another drive leaves behind. Elsewhere
// a symbolic link is the same thing.
inline bool makeFolderJunction(const QString &target, const QString &name)
{
#ifdef Q_OS_WIN
    if (!CreateDirectoryW(detail::wide(QDir::toNativeSeparators(name)), nullptr))
        return false;
    if (detail::setJunction(target, name))
        return true;
    RemoveDirectoryW(detail::wide(QDir::toNativeSeparators(name)));
    return detail::makeHostFolderLink(target, name);
#else
    return QFile::link(target, name);
#endif
}

// Whether the system's trash (the Recycle Bin) takes a file from this folder; Wine has none.
inline bool trashTakesFilesFrom(const QString &folder)
{
    const QString probe = folder + QLatin1String("/trash-probe.txt");
    QFile file(probe);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.close();
    const bool moved = QFile::moveToTrash(probe);
    QFile::remove(probe);
    return moved;
}

} // namespace pfw::test

// Windows lets only some users make symbolic links (developer mode or the right to make them),
// and Wine makes none.
#define PFW_SYMBOLIC_LINK_OR_SKIP(target, name)                                                                        \
    do {                                                                                                               \
        if (!pfw::test::makeSymbolicLink((target), (name)))                                                            \
            QSKIP("this system makes no symbolic links for this user");                                                \
    } while (false)
