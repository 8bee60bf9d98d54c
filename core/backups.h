#pragma once

#include <QCoreApplication>
#include <QStringList>

class QFileDevice;

namespace pfw {

// The backups a save or restore leaves beside a settings file ("<name>.bak-..."), listed and
// removed safely: nothing but a real backup of that file is ever removed.

struct BackupRemoval
{
    // trashed + deleted.
    int removed = 0;
    // Some went to the trash.
    bool movedToTrash = false;
    int trashed = 0;
    // Deleted for good: there was no trash, or it could not take them.
    int deleted = 0;
    // Left alone and not counted among those kept: newer ones that are not whole settings files,
    // and any Prefwright did not name.
    QStringList skipped;
    // Kept because an unfinished search for a problem setting needs them.
    QStringList keptForSearch;
    qint64 bytes = 0;
    QStringList notRemoved;
    // Set when nothing was tried: another writer held the settings file.
    QString error;
};

// Newest first by modification time.
// A file's path made whole as the system follows it: its folder resolved (links and ".." as the
// kernel takes them, not as text), its own name kept, so a link to the file stays a link. A
// path whose folder does not exist is only made absolute.
QString wholeFilePath(const QString &path);

// The file a write through path changes: a link's target (a settings file kept in a dotfiles
// folder or on a synced drive), path itself otherwise. Its backups are made and listed beside it,
// whichever name the file is reached by.
QString writtenFilePath(const QString &path);

QStringList listBackups(const QString &settingsPath);
// Why the backups beside the file cannot be listed (its folder cannot be read), or empty: an
// empty list is then no proof that there are none.
QString backupListingProblem(const QString &settingsPath);
// The newest backup made with that tag ("before-search"), by the time in its name; empty if none.
QString newestBackupTagged(const QString &settingsPath, const QString &tag);
// Whether a backup reads back as a settings file (a cut or unreadable one does not).
bool isWholeBackup(const QString &path);
// The name of the file a backup named fileName is of: the name before its last time stamp
// (before ".bak-" for a copy named by hand).
QString backupOwnerName(const QString &fileName);
// Whether a backup's name carries the time Prefwright gives its backups
// ("<name>.bak-yyyyMMdd-HHmmss", perhaps with a tag or number after it).
bool hasBackupStamp(const QString &path);
// The backups older than the newest keep whole ones, and their total size. The backups passed
// over among the newest, being cut or unreadable, go to skipped: they are kept but not counted;
// so do those Prefwright did not name, wherever they stand.
QStringList backupsBeyond(const QString &settingsPath, int keep, qint64 *totalBytes, QStringList *skipped = nullptr);
BackupRemoval removeBackups(const QString &settingsPath, const QStringList &paths, bool useTrash);
// All but the newest keep whole backups removed, chosen under the file's writer lock.
BackupRemoval pruneBackups(const QString &settingsPath, int keep, bool useTrash);
bool isBackupOf(const QString &settingsPath, const QString &path);
// Writes a new file (never over an existing one) holding exactly bytes, with the permission bits
// and owner of ownerOf, synced to disk. It is written beside under another name and renamed
// into place when whole, so the name never holds a cut copy. False with the system's reason.
bool writeBackupFile(const QByteArray &bytes, const QString &to, const QString &ownerOf, QString *error = nullptr);
// Why a write to the file failed, in the system's words where Qt has none.
QString systemReason(const QFileDevice &file);
// A reason (the system's, or a sentence of ours) as it goes inside another sentence: without its
// full stop.
QString withoutFullStop(QString reason);
// A reason as a sentence of its own, before another: with its full stop.
QString withFullStop(QString reason);
// "Moved 3 backups to the Recycle Bin (1.2 MiB)." and the like.
QString describeRemoval(const BackupRemoval &removal);

} // namespace pfw
