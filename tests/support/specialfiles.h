#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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

// Wine makes no link of its own, but shows a link of the host's file system as a reparse point,
// as Windows shows its own: one is made there through the host.
inline bool makeHostLink(const QString &target, const QString &name)
{
    using ToUnix = char *(CDECL *)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return false;
    const auto unixName = [toUnix](const QString &path) {
        char *converted = toUnix(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()));
        const QString result = converted ? QString::fromLocal8Bit(converted) : QString();
        HeapFree(GetProcessHeap(), 0, converted);
        return result;
    };
    const QString unixTarget = unixName(QDir::isAbsolutePath(target) ? target : QDir(QFileInfo(name).absolutePath()).filePath(target));
    const QString unixLink = unixName(name);
    if (unixTarget.isEmpty() || unixLink.isEmpty())
        return false;
    // A host program started from Wine runs as itself; its exit code does not come back.
    using ToDos = WCHAR *(CDECL *)(LPCSTR);
    const auto toDos = reinterpret_cast<ToDos>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    WCHAR *lnProgram = toDos ? toDos("/bin/ln") : nullptr;
    if (!lnProgram)
        return false;
    const QString program = QString::fromWCharArray(lnProgram);
    HeapFree(GetProcessHeap(), 0, lnProgram);
    QProcess ln;
    ln.start(program, {QStringLiteral("-s"), unixTarget, unixLink});
    ln.waitForFinished(30000);
    return existsAsEntry(name);
}

} // namespace detail
#endif

// A symbolic link (to a file or a folder). QFile::link makes a shortcut (.lnk) on Windows, which
// no file system call follows, so a real link is made there.
inline bool makeSymbolicLink(const QString &target, const QString &name)
{
#ifdef Q_OS_WIN
    const QFileInfo pointed(QDir::isAbsolutePath(target) ? target : QDir(QFileInfo(name).absolutePath()).filePath(target));
    const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE | (pointed.isDir() ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
    if (CreateSymbolicLinkW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(name).utf16()),
                            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()), flags)
        && detail::existsAsEntry(name))
        return true;
    return detail::makeHostLink(target, name);
#else
    return QFile::link(target, name);
#endif
}

} // namespace pfw::test

// Windows lets only some users make symbolic links (developer mode or the right to make them).
#define PFW_SYMBOLIC_LINK_OR_SKIP(target, name)                                                   \
    do {                                                                                          \
        if (!pfw::test::makeSymbolicLink((target), (name)))                                       \
            QSKIP("this user may not make symbolic links here");                                 \
    } while (false)
