#include "core/settinghistory.h"

#include "core/backups.h"
#include "core/displaytext.h"
#include "core/settingsdocument.h"
#include "core/xsdtfile.h"

#include <QCache>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStringList>

#include <algorithm>

namespace pfw {

namespace {

// The live values of a parsed backup by path. A key that occurs more than once keeps its later
// values apart, so the common case costs one string and one hash entry per value.
struct CachedBackup
{
    bool valid = false;
    QHash<QString, QString> first;
    QHash<QString, QStringList> later;
    qsizetype characters = 0;

    QStringList values(const QString &path) const
    {
        const auto found = first.constFind(path);
        if (found == first.cend())
            return {};
        return QStringList{found.value()} + later.value(path);
    }
};

// A key with "/" in it is kept apart from the deeper keys it reads like: "x/y" beside x holding y.
void appendKey(QString &out, const QString &key)
{
    if (!key.contains(u'/') && !key.contains(u'\\')) {
        out += key;
        return;
    }
    for (const QChar c : key) {
        if (c == u'/' || c == u'\\')
            out += u'\\';
        out += c;
    }
}

QString escapedKey(const QString &key)
{
    QString out;
    appendKey(out, key);
    return out;
}

// path is the node's own setting key on entry and is given back unchanged.
void collect(const XsdtNode &node, QString &path, CachedBackup &out)
{
    for (const auto &child : node.children) {
        if (child->deleted)
            continue;
        const qsizetype mark = path.size();
        if (mark > 0)
            path += u'/';
        appendKey(path, child->key);
        if (child->kind == XsdtNode::Value) {
            out.characters += path.size() + child->value.size();
            if (const auto known = out.first.constFind(path); known == out.first.cend())
                out.first.insert(path, child->value);
            else
                out.later[path].append(child->value);
        } else {
            collect(*child, path, out);
        }
        path.truncate(mark);
    }
}

// Parsed backups cost memory: the cache holds about this many characters of values.
constexpr qsizetype kCacheCharacters = qsizetype(64) << 20;

QMutex &cacheLock()
{
    static QMutex lock;
    return lock;
}

QCache<QString, CachedBackup> &cache()
{
    static QCache<QString, CachedBackup> parsed(kCacheCharacters);
    return parsed;
}

} // namespace

QStringList SettingHistory::backupsNewestFirst(const QString &settingsPath)
{
    struct Dated
    {
        QDateTime date;
        int sequence;
        QString path;
    };
    QList<Dated> dated;
    const QString self = QFileInfo(settingsPath).canonicalFilePath();
    for (const QString &path : listBackups(settingsPath)) {
        if (!self.isEmpty() && QFileInfo(path).canonicalFilePath() == self)
            continue;
        // Backups made in one second are numbered "-2", "-3"... after the first, behind the
        // time ("yyyyMMdd-HHmmss") and any tag.
        const QString name = QFileInfo(path).fileName();
        const QString rest = hasBackupStamp(path) ? name.mid(backupOwnerName(name).size() + 5 + 15) : QString();
        bool numbered = false;
        const int sequence = rest.isEmpty() ? 1 : rest.section(u'-', -1).toInt(&numbered);
        dated.append({backupDate(path), numbered && sequence > 1 && sequence < 100000 ? sequence : 1, path});
    }
    // Within one second and one number, the order by modification time stays.
    std::stable_sort(dated.begin(), dated.end(), [](const Dated &a, const Dated &b) {
        return a.date != b.date ? a.date > b.date : a.sequence > b.sequence;
    });
    QStringList paths;
    for (const Dated &entry : std::as_const(dated))
        paths << entry.path;
    return paths;
}

QDateTime SettingHistory::backupDate(const QString &backupPath)
{
    const QString name = QFileInfo(backupPath).fileName();
    if (hasBackupStamp(backupPath)) {
        const QString stamp = name.mid(backupOwnerName(name).size() + 5, 15);
        // Built from its parts: a time the local clock skipped (made under another zone) is
        // moved on, not lost.
        return QDateTime(QDate::fromString(stamp.left(8), QStringLiteral("yyyyMMdd")),
                         QTime::fromString(stamp.mid(9), QStringLiteral("HHmmss")));
    }
    return QFileInfo(backupPath).lastModified();
}

HistoryEntry SettingHistory::readBackup(const QString &backupPath, const QString &settingPath, int occurrence)
{
    HistoryEntry entry;
    entry.source = HistoryEntry::Backup;
    entry.backupPath = backupPath;
    entry.date = backupDate(backupPath);
    const QFileInfo info(backupPath);
    const QString key = QStringLiteral("%1\n%2\n%3")
                            .arg(info.absoluteFilePath())
                            .arg(info.size())
                            .arg(info.lastModified().toMSecsSinceEpoch());
    bool valid = false;
    QStringList values;
    bool cached = false;
    {
        const QMutexLocker locker(&cacheLock());
        if (const CachedBackup *known = cache().object(key)) {
            cached = true;
            valid = known->valid;
            values = known->values(settingPath);
        }
    }
    if (!cached) {
        auto parsed = std::make_unique<CachedBackup>();
        XsdtFile file;
        parsed->valid = SettingsDocument::readSettingsFile(backupPath, &file, nullptr);
        if (parsed->valid) {
            parsed->first.reserve(file.root.valueCount());
            QString path;
            collect(file.root, path, *parsed);
        }
        valid = parsed->valid;
        values = parsed->values(settingPath);
        const qsizetype cost = qMax<qsizetype>(1, parsed->characters);
        const QMutexLocker locker(&cacheLock());
        cache().insert(key, parsed.release(), cost);
    }
    entry.state = !valid             ? HistoryEntry::Invalid
        : occurrence < values.size() ? HistoryEntry::Present
                                     : HistoryEntry::Absent;
    entry.value = values.value(occurrence);
    return entry;
}

QString SettingHistory::settingKey(const XsdtNode &node)
{
    QList<const XsdtNode *> chain;
    for (const XsdtNode *at = &node; at && at->parent; at = at->parent)
        chain.prepend(at);
    QString key;
    for (const XsdtNode *at : std::as_const(chain)) {
        if (!key.isEmpty())
            key += u'/';
        appendKey(key, at->key);
    }
    return key;
}

QString SettingHistory::settingKeyOfPath(const QString &path)
{
    // A path's parts never hold "/": they are the keys a lookup by path goes through.
    return QString(path).replace(u'\\', QLatin1String("\\\\"));
}

namespace {

bool hasKey(const XsdtNode *node, const QString &key)
{
    return key.endsWith(escapedKey(node->key)) && SettingHistory::settingKey(*node) == key;
}

} // namespace

const XsdtNode *SettingHistory::findOccurrence(const XsdtNode &root, const QString &key, int occurrence)
{
    int seen = 0;
    for (const XsdtNode *node : root.valueNodes()) {
        if (hasKey(node, key) && seen++ == occurrence)
            return node;
    }
    return nullptr;
}

int SettingHistory::occurrenceOf(const XsdtNode &root, const XsdtNode *node)
{
    if (!node)
        return 0;
    const QString key = settingKey(*node);
    int seen = 0;
    for (const XsdtNode *other : root.valueNodes()) {
        if (other == node)
            return seen;
        if (other->key == node->key && hasKey(other, key))
            ++seen;
    }
    return 0;
}

int SettingHistory::occurrences(const XsdtNode &root, const QString &key)
{
    int count = 0;
    for (const XsdtNode *node : root.valueNodes())
        count += hasKey(node, key) ? 1 : 0;
    return count;
}

bool SettingHistory::append(QList<HistoryRow> &rows, const HistoryEntry &entry)
{
    if (!rows.isEmpty()) {
        HistoryRow &last = rows.last();
        if (entry.source == HistoryEntry::Backup && last.entry.source == HistoryEntry::Backup
            && entry.state == last.entry.state && entry.value == last.entry.value) {
            ++last.count;
            last.oldest = entry.date;
            return false;
        }
    }
    HistoryRow row;
    row.entry = entry;
    row.oldest = entry.date;
    rows.append(row);
    return true;
}

QString SettingHistory::when(const HistoryRow &row)
{
    switch (row.entry.source) {
    case HistoryEntry::Pending:
        return tr("Pending change");
    case HistoryEntry::Saved:
        return tr("Saved file");
    case HistoryEntry::Backup:
        break;
    }
    if (row.count < 2)
        return DisplayText::dateTime(row.entry.date);
    return tr("%1 backups, %2 to %3")
        .arg(row.count)
        .arg(DisplayText::dateTime(row.oldest), DisplayText::dateTime(row.entry.date));
}

QString SettingHistory::describe(const HistoryEntry &entry)
{
    switch (entry.state) {
    case HistoryEntry::Absent:
        return tr("(absent)");
    case HistoryEntry::Invalid:
        return tr("(not a valid settings file)");
    case HistoryEntry::Present:
        break;
    }
    return entry.value;
}

} // namespace pfw
