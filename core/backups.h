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
QStringList listBackups(const QString &settingsPath);
// The backups from position keep on, and their total size.
QStringList backupsBeyond(const QString &settingsPath, int keep, qint64 *totalBytes);
BackupRemoval removeBackups(const QString &settingsPath, const QStringList &paths, bool useTrash);
bool isBackupOf(const QString &settingsPath, const QString &path);
QString formatByteSize(qint64 bytes);
// "Moved 3 backup(s) to the Recycle Bin (1.2 MiB)." and the like.
QString describeRemoval(const BackupRemoval &removal);

} // namespace pfw
