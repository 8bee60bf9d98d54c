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
    const QFileInfo pointed(QDir::isAbsolutePath(target) ? target : QDir(QFileInfo(name).absolutePath()).filePath(target));
    const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE | (pointed.isDir() ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
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
#define PFW_SYMBOLIC_LINK_OR_SKIP(target, name)                                                   \
    do {                                                                                          \
        if (!pfw::test::makeSymbolicLink((target), (name)))                                       \
            QSKIP("this system makes no symbolic links for this user");                                 \
    } while (false)
