#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QString>

namespace pfw {

struct XsdtNode;

// One point in the history of a setting: its value in a backup, in the file as saved, or as
// pending in the editor.
struct HistoryEntry
{
    enum Source { Pending, Saved, Backup };
    enum State { Present, Absent, Invalid };

    Source source = Backup;
    State state = Present;
    QString value;
    QString backupPath;
    QDateTime date;
};

// The history of a setting across the backups beside its file. A setting is a path and, where
// a key occurs more than once, which occurrence (0 for the first), as Compare pairs them.
class SettingHistory final
{
    Q_DECLARE_TR_FUNCTIONS(SettingHistory)

public:
    // The time in a backup's name (".bak-yyyyMMdd-HHmmss"), else its modification time.
    static QDateTime backupDate(const QString &backupPath);
    // The setting in one backup. Parsed backups are kept for the session by path, size and
    // modification time, so a second history costs no parsing. Safe to call from any thread.
    static HistoryEntry readBackup(const QString &backupPath, const QString &settingPath, int occurrence);
    // The occurrence-th live value with that path, or null.
    static const XsdtNode *findOccurrence(const XsdtNode &root, const QString &settingPath, int occurrence);
    // How one entry reads: its value, "(absent)" or "(not a valid settings file)".
    static QString describe(const HistoryEntry &entry);
};

} // namespace pfw
