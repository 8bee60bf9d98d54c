#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

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

// A row of a history as shown: one entry, or consecutive backups with one value folded together.
struct HistoryRow
{
    HistoryEntry entry;
    int count = 1;
    // Of a folded row: its oldest backup (entry holds the newest).
    QDateTime oldest;
};

// The history of a setting across the backups beside its file. A setting is its key (its keys
// from the root joined with "/", a "/" or "\\" inside a key escaped with "\\", so that a key
// holding "/" is not taken for the deeper setting it reads like) and, where it occurs more than
// once, which occurrence (0 for the first), as Compare pairs them.
class SettingHistory final
{
    Q_DECLARE_TR_FUNCTIONS(SettingHistory)

public:
    // The backups of a settings file by the time in their names, newest first.
    static QStringList backupsNewestFirst(const QString &settingsPath);
    // The time in a backup's name (".bak-yyyyMMdd-HHmmss"), else its modification time.
    static QDateTime backupDate(const QString &backupPath);
    // The key of a value node, and of a setting path as get and set take it (whose parts are keys).
    static QString settingKey(const XsdtNode &node);
    static QString settingKeyOfPath(const QString &path);
    // The setting in one backup. Parsed backups are kept for the session by path, size and
    // modification time, so a second history costs no parsing. Safe to call from any thread.
    static HistoryEntry readBackup(const QString &backupPath, const QString &key, int occurrence);
    // The occurrence-th value with that path in the file as saved (values marked for deletion
    // count: they are still in it), or null.
    static const XsdtNode *findOccurrence(const XsdtNode &root, const QString &key, int occurrence);
    // Which occurrence of its path a value is, and how many values have that path, counted
    // the same way.
    static int occurrenceOf(const XsdtNode &root, const XsdtNode *node);
    static int occurrences(const XsdtNode &root, const QString &key);
    // Adds the next older entry to the rows: a backup with the same value as the backup just
    // before it joins that row. Returns whether a row was added.
    static bool append(QList<HistoryRow> &rows, const HistoryEntry &entry);
    // When a row's value was there: "Pending change", "Saved file", a backup's date, or
    // "%1 backups, %2 to %3".
    static QString when(const HistoryRow &row);
    // How one entry reads: its value, "(absent)" or "(not a valid settings file)".
    static QString describe(const HistoryEntry &entry);
};

} // namespace pfw
