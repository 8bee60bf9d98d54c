#pragma once

#include <QCoreApplication>
#include <QStringList>

namespace pfw {

// The backups a save or restore leaves beside a settings file ("<name>.bak-..."), listed and
// removed safely: nothing but a real backup of that file is ever removed.
class Backups final
{
    Q_DECLARE_TR_FUNCTIONS(Backups)

public:
    struct Removal
    {
        int removed = 0;
        bool movedToTrash = false;
        qint64 bytes = 0;
        QStringList notRemoved;
    };

    // Newest first by modification time.
    static QStringList list(const QString &settingsPath);
    // The backups from position keep on, and their total size.
    static QStringList beyond(const QString &settingsPath, int keep, qint64 *totalBytes);
    static Removal remove(const QString &settingsPath, const QStringList &paths, bool useTrash);
    static bool isBackupOf(const QString &settingsPath, const QString &path);
    static QString formatByteSize(qint64 bytes);
};

} // namespace pfw
