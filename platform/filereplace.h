#pragma once

#include <QString>
#include <QtGlobal>

namespace pfw::filereplace {

// How many times a save tries to rename its new file over the old one, and how long it waits in
// between. Windows refuses the rename while any other program has the old file open (another
// Prefwright looking at it, PixInsight, an antivirus, a backup tool, Explorer's preview); most of
// them let go within a moment, so it tries for about two seconds. Elsewhere a rename that fails
// once fails for good.
#ifdef Q_OS_WIN
constexpr int kAttempts = 40;
constexpr int kPauseMs = 50;
#else
constexpr int kAttempts = 1;
constexpr int kPauseMs = 0;
#endif

// Renames the closed file "from" over "to" in one step: "to" names the old file or the new one,
// never nothing. False with the system's reason.
bool renameOver(const QString &from, const QString &to, QString *reason);

} // namespace pfw::filereplace
