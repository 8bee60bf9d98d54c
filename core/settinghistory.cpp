#include "core/settinghistory.h"

#include "core/settingsdocument.h"
#include "core/xsdtfile.h"

#include <QCache>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStringList>

namespace pfw {

namespace {

// The live values of a tree by path, in document order; a key that occurs twice gives two.
using ValueMap = QHash<QString, QStringList>;

void collect(const XsdtNode &node, const QString &prefix, ValueMap &values)
{
    for (const auto &child : node.children) {
        if (child->deleted)
            continue;
        const QString path = prefix.isEmpty() ? child->key : prefix + u'/' + child->key;
        if (child->kind == XsdtNode::Value)
            values[path].append(child->value);
        else
            collect(*child, path, values);
    }
}

struct CachedBackup
{
    bool valid = false;
    ValueMap values;
};

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

qsizetype characters(const ValueMap &values)
{
    qsizetype count = 0;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        count += it.key().size();
        for (const QString &value : it.value())
            count += value.size();
    }
    return count;
}

} // namespace

QDateTime SettingHistory::backupDate(const QString &backupPath)
{
    const QString name = QFileInfo(backupPath).fileName();
    const qsizetype at = name.lastIndexOf(QLatin1String(".bak-"));
    if (at >= 0) {
        const QDateTime named = QDateTime::fromString(name.mid(at + 5, 15), QStringLiteral("yyyyMMdd-HHmmss"));
        if (named.isValid())
            return named;
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
            values = known->values.value(settingPath);
        }
    }
    if (!cached) {
        auto parsed = std::make_unique<CachedBackup>();
        QByteArray bytes;
        XsdtFile file;
        parsed->valid = SettingsDocument::readFile(backupPath, &bytes, nullptr) && file.parse(bytes);
        if (parsed->valid)
            collect(file.root, QString(), parsed->values);
        valid = parsed->valid;
        values = parsed->values.value(settingPath);
        const qsizetype cost = qMax<qsizetype>(1, characters(parsed->values));
        const QMutexLocker locker(&cacheLock());
        cache().insert(key, parsed.release(), cost);
    }
    entry.state = !valid ? HistoryEntry::Invalid : occurrence < values.size() ? HistoryEntry::Present : HistoryEntry::Absent;
    entry.value = values.value(occurrence);
    return entry;
}

const XsdtNode *SettingHistory::findOccurrence(const XsdtNode &root, const QString &settingPath, int occurrence)
{
    int seen = 0;
    for (const XsdtNode *node : root.valueNodes()) {
        if (node->isInsideDeleted() || node->path() != settingPath)
            continue;
        if (seen++ == occurrence)
            return node;
    }
    return nullptr;
}

QString SettingHistory::describe(const HistoryEntry &entry)
{
    switch (entry.state) {
    case HistoryEntry::Absent: return tr("(absent)");
    case HistoryEntry::Invalid: return tr("(not a valid settings file)");
    case HistoryEntry::Present: break;
    }
    return entry.value;
}

} // namespace pfw
