#pragma once

#include <QCoreApplication>
#include <QStringList>

namespace pfw {

// The backups a save or restore leaves beside a settings file ("<name>.bak-..."), listed and
// removed safely: nothing but a real backup of that file is ever removed.

struct BackupRemoval
{
    int removed = 0;
    bool movedToTrash = false;
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

QStringList listBackups(const QString &settingsPath);
// The backups from position keep on, and their total size.
QStringList backupsBeyond(const QString &settingsPath, int keep, qint64 *totalBytes);
BackupRemoval removeBackups(const QString &settingsPath, const QStringList &paths, bool useTrash);
bool isBackupOf(const QString &settingsPath, const QString &path);
// Writes a new file (never over an existing one) holding exactly bytes, with the permission bits
// and owner of ownerOf, synced to disk; a file cut short is removed again.
bool writeBackupFile(const QByteArray &bytes, const QString &to, const QString &ownerOf);
// Gives an open file the permission bits of another and, when root writes a user's file, its
// owner: PixInsight running as that user must still be able to rewrite it.
void copyOwnership(int handle, const QString &original);
bool syncToDisk(int handle);
QString formatByteSize(qint64 bytes);
// "Moved 3 backup(s) to the Recycle Bin (1.2 MiB)." and the like.
QString describeRemoval(const BackupRemoval &removal);

} // namespace pfw
