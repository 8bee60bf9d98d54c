#pragma once

#include <QDir>
#include <QFile>
#include <QString>

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

// A symbolic link. QFile::link makes a shortcut (.lnk) on Windows, which no file system call
// follows: there the tests of links do not apply.
inline bool makeSymbolicLink(const QString &target, const QString &name)
{
#ifdef Q_OS_WIN
    Q_UNUSED(target);
    Q_UNUSED(name);
    return false;
#else
    return QFile::link(target, name);
#endif
}

} // namespace pfw::test
