#include "modules/importplan.h"

#include "core/xsdtnode.h"
#include "schema/deletionpolicy.h"
#include "schema/settinglabel.h"

#include <QHash>
#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>

namespace pfw {

namespace {

// The occurrence-th child with that key: a file may hold one key twice in a group, and the
// second of the snippet is the second here.
XsdtNode *childWithKey(const XsdtNode *parent, const QString &key, int occurrence = 0)
{
    if (!parent)
        return nullptr;
    for (const auto &child : parent->children) {
        if (child->key == key && occurrence-- == 0)
            return child.get();
    }
    return nullptr;
}

QStringList keysOf(const XsdtNode &node)
{
    QStringList keys;
    for (const XsdtNode *up = &node; up->parent; up = up->parent)
        keys.prepend(up->key);
    return keys;
}

bool isDrivePath(QStringView text)
{
    return text.size() >= 2 && text.at(1) == u':' && text.at(0).isLetter();
}

bool isSeparator(QChar c)
{
    return c == u'/' || c == u'\\';
}

// Whether text starts with the folder prefix, either separator matching either; Windows paths
// without regard to case.
bool startsWithFolder(const QString &text, const QString &prefix)
{
    // The empty folder is the top of a Linux or macOS file system.
    if (prefix.isEmpty())
        return !text.isEmpty() && text.front() == u'/';
    if (text.size() < prefix.size())
        return false;
    const Qt::CaseSensitivity cs = isDrivePath(prefix) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        const QChar a = text.at(i), b = prefix.at(i);
        if (isSeparator(a) && isSeparator(b))
            continue;
        if (QStringView(&a, 1).compare(QStringView(&b, 1), cs) != 0)
            return false;
    }
    return text.size() == prefix.size() || isSeparator(text.at(prefix.size()));
}

// Why a block of the snippet cannot be what PixInsight wrote, or empty: a compression it does not
// write, or more data than its compressed bytes can hold. PixInsight would make room for all it
// says before reading it.
QString implausibleBlock(const XsdtNode::CompressedBlock &block)
{
    static const QStringList known{QStringLiteral("zlib"), QStringLiteral("lz4"), QStringLiteral("lz4hc"),
                                   QStringLiteral("zstd")};
    QString codec = block.compression;
    if (codec.endsWith(QLatin1String("+sh")))
        codec.chop(3);
    if (!known.contains(codec))
        return ImportPlan::tr("a block compressed with \"%1\", which PixInsight does not write").arg(block.compression);
    // Each chunk against its own data: zlib, which packs the most, turns at most about a
    // thousand bytes into one.
    constexpr quint64 kMostPacked = 1100;
    static const QRegularExpression chunks(QStringLiteral("<s\\s+u=\"(\\d+)\"\\s*>([^<]*)</s>"));
    static const QRegularExpression notBase64(QStringLiteral("[^A-Za-z0-9+/]"));
    for (auto it = chunks.globalMatch(QString::fromLatin1(block.data)); it.hasNext();) {
        const QRegularExpressionMatch chunk = it.next();
        bool ok = false;
        const quint64 size = chunk.captured(1).toULongLong(&ok);
        const quint64 packed = quint64(chunk.captured(2).remove(notBase64).size()) * 3 / 4;
        if (!ok || size > packed * kMostPacked)
            return ImportPlan::tr("a block that says it holds more than its data can");
    }
    return QString();
}

QStringList folderParts(const QString &path)
{
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    return path.split(separators);
}

} // namespace

ImportPlan::ImportPlan(const SettingsSchema *schema, const DeletionPolicy *policy)
    : m_schema(schema)
    , m_policy(policy)
    , m_rules(schema, policy)
{
}

void ImportPlan::setPathMaps(const QList<PathMap> &maps)
{
    m_maps.clear();
    for (const PathMap &map : maps)
        m_maps << normalized(map);
    // The longest prefix first, so that a folder inside another is rewritten by its own map.
    std::stable_sort(m_maps.begin(), m_maps.end(),
                     [](const PathMap &a, const PathMap &b) { return a.from.size() > b.from.size(); });
}

void ImportPlan::compute(const XsdtNode &snippet, XsdtNode &target)
{
    m_entries.clear();
    m_removals.clear();
    compareChildren(snippet, &target, target);
}

ImportPlan::Entry ImportPlan::entryFor(const XsdtNode &incoming, XsdtNode *here, int occurrence) const
{
    Entry entry;
    entry.path = incoming.path();
    entry.keys = keysOf(incoming);
    entry.occurrence = occurrence;
    entry.occurrences = m_occurrences;
    entry.label = SettingLabel::text(m_schema, here ? *here : incoming);
    entry.target = here;
    entry.type = incoming.type;
    entry.item = incoming.kind == XsdtNode::Item;
    return entry;
}

void ImportPlan::refuseWhole(const XsdtNode &incoming, int occurrence, const QString &reason)
{
    Entry entry = entryFor(incoming, nullptr, occurrence);
    if (!entry.item)
        entry.incoming = incoming.value;
    entry.status = Entry::Refused;
    entry.reason = reason;
    m_entries.append(entry);
}

void ImportPlan::compareChildren(const XsdtNode &incoming, XsdtNode *here, XsdtNode &nearest)
{
    // The entries here by key, made once per group: a group of many keys stays quick to match.
    QHash<QString, QList<XsdtNode *>> byKey;
    if (here) {
        for (const auto &child : here->children)
            byKey[child->key].append(child.get());
    }
    QHash<QString, int> seen;
    for (const auto &child : incoming.children) {
        const int occurrence = seen[child->key]++;
        m_occurrences.append(occurrence);
        const auto next = qScopeGuard([this] { m_occurrences.removeLast(); });
        if (child->key.isEmpty() || child->key.contains(u'/')) {
            refuseWhole(*child, occurrence, tr("its key is empty or holds \"/\", so no path can name it"));
            continue;
        }
        const auto found = byKey.constFind(child->key);
        XsdtNode *match = found != byKey.cend() && occurrence < found->size() ? found->at(occurrence) : nullptr;
        // A second entry of one name is a second entry here only where the file has one already,
        // or as a value of a group that is new here. A second group of one name cannot be told
        // from the first by its path, so it is never made.
        if (occurrence > 0 && !match && (here || child->kind == XsdtNode::Item)) {
            refuseWhole(*child, occurrence,
                        tr("the file to import holds %1 more than once in one group").arg(child->key));
            continue;
        }
        compare(*child, match, here ? *here : nearest, occurrence);
    }
}

void ImportPlan::compare(const XsdtNode &incoming, XsdtNode *here, XsdtNode &nearest, int occurrence)
{
    if (incoming.kind == XsdtNode::Value) {
        compareValue(incoming, here, nearest, occurrence);
        return;
    }
    if (here && here->kind == XsdtNode::Value) {
        Entry entry = entryFor(incoming, here, occurrence);
        entry.status = Entry::Refused;
        entry.reason = tr("here it is a value, not a group");
        m_entries.append(entry);
        return;
    }
    if (!here && incoming.children.empty()) {
        Entry entry = entryFor(incoming, nullptr, occurrence);
        if (nearest.isInsideDeleted()) {
            entry.status = Entry::Refused;
            entry.reason = tr("inside an entry queued for deletion");
        }
        m_entries.append(entry);
        return;
    }
    compareChildren(incoming, here, nearest);
    if (m_replace && here)
        noteRemovals(incoming, *here);
}

void ImportPlan::compareValue(const XsdtNode &incoming, XsdtNode *here, XsdtNode &nearest, int occurrence)
{
    Entry entry = entryFor(incoming, here, occurrence);
    entry.incoming = incoming.type == u's' ? rewritten(incoming.value) : incoming.value;
    if (entry.incoming != incoming.value)
        entry.rewrittenFrom = incoming.value;
    const auto refuse = [&](const QString &reason) {
        entry.status = Entry::Refused;
        entry.reason = reason;
        m_entries.append(entry);
    };
    const auto refusalText = [](EditRules::Refusal refusal) {
        switch (refusal) {
        case EditRules::Refusal::None:
            break;
        case EditRules::Refusal::NotAValue:
        case EditRules::Refusal::Protected:
            return tr("protected: not a plain value");
        case EditRules::Refusal::InsideDeletion:
            return tr("inside an entry queued for deletion");
        case EditRules::Refusal::Locked:
            return tr("locked: PixInsight keeps it itself");
        case EditRules::Refusal::ReadOnly:
            return tr("read-only: PixInsight sets it itself");
        }
        return QString();
    };
    if (here && here->kind == XsdtNode::Item)
        return refuse(tr("here it is a group, not a value"));
    // Which of PixInsight's instances a file belongs to is the file's own, never carried over.
    if (entry.path == u"Global/Preferences/Application/Instance")
        return refuse(tr("the number of the instance this file belongs to"));
    if (here) {
        entry.here = here->value;
        if (here->isInsideDeleted())
            return refuse(refusalText(EditRules::Refusal::InsideDeletion));
        if (here->type != incoming.type)
            return refuse(tr("of another type here (%1, not %2)").arg(here->type, incoming.type));
        if (!incoming.isEditableValue() || !here->isEditableValue()) {
            const bool sameBlock = bool(incoming.block) == bool(here->block)
                && (!incoming.block
                    || (incoming.block->compression == here->block->compression
                        && incoming.block->data == here->block->data));
            if (sameBlock && incoming.value == here->value) {
                entry.status = Entry::Same;
                m_entries.append(entry);
                return;
            }
            return refuse(refusalText(EditRules::Refusal::Protected));
        }
        QString normalized, error;
        if (!m_rules.normalize(*here, entry.incoming, &normalized, &error, entry.label)) {
            if (entry.incoming == here->value) {
                entry.status = Entry::Same;
                m_entries.append(entry);
                return;
            }
            return refuse(error);
        }
        entry.incoming = normalized;
        if (normalized == here->value) {
            entry.status = Entry::Same;
            m_entries.append(entry);
            return;
        }
        if (const EditRules::Refusal refusal = m_rules.refusal(*here); refusal != EditRules::Refusal::None)
            return refuse(refusalText(refusal));
        entry.status = Entry::Different;
        m_entries.append(entry);
        return;
    }
    if (nearest.isInsideDeleted())
        return refuse(refusalText(EditRules::Refusal::InsideDeletion));
    entry.textForm = incoming.textForm;
    // A block nobody can edit is still the user's own: new here, it is carried as it stands.
    if (!incoming.isEditableValue() && incoming.block) {
        if (m_policy && m_policy->isEditLocked(&incoming))
            return refuse(refusalText(EditRules::Refusal::Locked));
        if (const QString why = implausibleBlock(*incoming.block); !why.isEmpty())
            return refuse(why);
        entry.hasBlock = true;
        entry.compression = incoming.block->compression;
        entry.blockData = incoming.block->data;
        entry.status = Entry::New;
        m_entries.append(entry);
        return;
    }
    // The snippet's entry stands at the same path, so the rules read it as they would the new one.
    if (const EditRules::Refusal refusal = m_rules.refusal(incoming); refusal != EditRules::Refusal::None)
        return refuse(refusalText(refusal));
    QString normalized, error;
    if (!m_rules.normalize(incoming, entry.incoming, &normalized, &error, entry.label))
        return refuse(error);
    entry.incoming = normalized;
    entry.status = Entry::New;
    m_entries.append(entry);
}

bool ImportPlan::holdsMachineBound(const XsdtNode &node) const
{
    if (!m_policy)
        return false;
    if (!m_policy->machineBoundGroup(node).isEmpty())
        return true;
    return std::any_of(node.children.cbegin(), node.children.cend(),
                       [this](const auto &child) { return holdsMachineBound(*child); });
}

void ImportPlan::noteRemovals(const XsdtNode &incoming, XsdtNode &here)
{
    // Only a group holding values of its own was chosen as a whole; the items above it merely
    // lead to it, and what else they hold here is none of the snippet's business.
    const bool holdsValues = std::any_of(incoming.children.cbegin(), incoming.children.cend(),
                                         [](const auto &child) { return child->kind == XsdtNode::Value; });
    if (!holdsValues || here.isInsideDeleted())
        return;
    QSet<QString> kept;
    for (const auto &child : incoming.children)
        kept.insert(child->key);
    for (const auto &child : here.children) {
        if (child->deleted || kept.contains(child->key))
            continue;
        // A snippet for another computer leaves these out on purpose: this computer's own stay,
        // and so does a group that holds any of them.
        if (holdsMachineBound(*child))
            continue;
        Removal removal;
        removal.path = child->path();
        removal.label = SettingLabel::text(m_schema, *child);
        removal.node = child.get();
        const DeletionVerdict verdict = m_policy ? m_policy->verdict(child.get()) : DeletionVerdict();
        removal.allowed = verdict.level != DeletionLevel::Never;
        removal.needsConfirmation = verdict.level == DeletionLevel::Warn;
        removal.reason = verdict.reason;
        m_removals.append(removal);
    }
}

QString ImportPlan::rewritten(const QString &text) const
{
    // Only a path is rewritten, never a text that happens to begin alike.
    if (m_maps.isEmpty() || !looksLikeAbsolutePath(text))
        return text;
    for (const PathMap &map : m_maps) {
        if (!startsWithFolder(text, map.from))
            continue;
        // Both sides are without a final separator, so the rest begins with one (or is empty).
        QString rest = text.mid(map.from.size());
        // The rest takes the separators of the folder it now sits in.
        if (!map.to.contains(u'\\'))
            rest.replace(u'\\', u'/');
        else if (!map.to.contains(u'/'))
            rest.replace(u'/', u'\\');
        const QString result = map.to + rest;
        // The top of the file system, "/", is kept as an empty folder.
        return result.isEmpty() ? QStringLiteral("/") : result;
    }
    return text;
}

ImportPlan::PathMap ImportPlan::normalized(const PathMap &map)
{
    const auto trimmed = [](QString folder) {
        while (!folder.isEmpty() && isSeparator(folder.back()))
            folder.chop(1);
        return folder;
    };
    return {trimmed(map.from), trimmed(map.to)};
}

bool ImportPlan::sameFolder(const QString &a, const QString &b)
{
    const QString x = normalized({a, QString()}).from, y = normalized({b, QString()}).from;
    if (x.isEmpty() || y.isEmpty())
        return x.isEmpty() && y.isEmpty();
    return x.size() == y.size() && startsWithFolder(x, y);
}

qsizetype ImportPlan::changeCount() const
{
    return applicableEntries().size() + applicableRemovals(true).size();
}

QList<int> ImportPlan::applicableEntries() const
{
    QList<int> out;
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).status == Entry::New || m_entries.at(i).status == Entry::Different)
            out << i;
    }
    return out;
}

QList<int> ImportPlan::applicableRemovals(bool confirmed) const
{
    QList<int> out;
    for (int i = 0; i < m_removals.size(); ++i) {
        const Removal &removal = m_removals.at(i);
        if (removal.allowed && (confirmed || !removal.needsConfirmation))
            out << i;
    }
    return out;
}

qsizetype ImportPlan::apply(XsdtNode &target, const QList<int> &entries, const QList<int> &removals) const
{
    qsizetype changes = 0;
    // Entries come in the snippet's order, so most share the group of the one before: it is
    // found, and its keys counted, once for them all.
    QStringList groupKeys;
    QList<int> groupOccurrences;
    XsdtNode *group = nullptr;
    QHash<QString, int> counts;
    const auto findGroup = [&](const QStringList &keys, const QList<int> &occurrences) {
        XsdtNode *parent = &target;
        for (qsizetype level = 0; level < keys.size(); ++level) {
            const QString &key = keys.at(level);
            const int occurrence = level < occurrences.size() ? occurrences.at(level) : 0;
            XsdtNode *next = childWithKey(parent, key, occurrence);
            // Only the first of a name is ever made: a second cannot be told apart by its path.
            if (!next && occurrence > 0)
                return static_cast<XsdtNode *>(nullptr);
            if (!next) {
                auto made = std::make_unique<XsdtNode>();
                made->kind = XsdtNode::Item;
                made->key = key;
                made->added = true;
                next = parent->appendChild(std::move(made));
            }
            if (next->kind != XsdtNode::Item || next->deleted)
                return static_cast<XsdtNode *>(nullptr);
            parent = next;
        }
        return parent;
    };
    for (const int index : entries) {
        if (index < 0 || index >= m_entries.size())
            continue;
        const Entry &entry = m_entries.at(index);
        if (entry.status == Entry::Different && entry.target) {
            entry.target->value = entry.incoming;
            ++changes;
            continue;
        }
        if (entry.status != Entry::New || entry.keys.isEmpty())
            continue;
        const QStringList keys = entry.keys.mid(0, entry.keys.size() - 1);
        const QList<int> occurrences = entry.occurrences.mid(0, entry.occurrences.size() - 1);
        if (!group || keys != groupKeys || occurrences != groupOccurrences) {
            groupKeys = keys;
            groupOccurrences = occurrences;
            group = findGroup(keys, occurrences);
            counts.clear();
            if (group) {
                for (const auto &child : group->children)
                    ++counts[child->key];
            }
        }
        if (!group || counts.value(entry.keys.back()) > entry.occurrence)
            continue;
        auto made = std::make_unique<XsdtNode>();
        made->key = entry.keys.back();
        made->added = true;
        if (entry.item) {
            made->kind = XsdtNode::Item;
            made->selfClosing = true;
        } else {
            made->kind = XsdtNode::Value;
            made->type = entry.type;
            made->textForm = entry.textForm;
            made->value = made->savedValue = entry.incoming;
            if (entry.hasBlock)
                made->block = std::make_unique<XsdtNode::CompressedBlock>(
                    XsdtNode::CompressedBlock{entry.compression, entry.blockData});
        }
        group->appendChild(std::move(made));
        ++counts[entry.keys.back()];
        ++changes;
    }
    for (const int index : removals) {
        if (index < 0 || index >= m_removals.size())
            continue;
        const Removal &removal = m_removals.at(index);
        if (removal.allowed && removal.node && !removal.node->deleted) {
            removal.node->deleted = true;
            ++changes;
        }
    }
    return changes;
}

bool ImportPlan::isFolderPathHere(const QString &path)
{
    return QDir::isAbsolutePath(path) && !path.startsWith(u':');
}

bool ImportPlan::looksLikeAbsolutePath(const QString &text)
{
    if (text.startsWith(u'/') || text.startsWith(QLatin1String("~/")) || text.startsWith(QLatin1String("\\\\")))
        return true;
    return text.size() >= 3 && isDrivePath(text) && isSeparator(text.at(2));
}

QStringList ImportPlan::missingPaths(const std::function<bool(const QString &)> &exists) const
{
    QStringList out;
    for (const Entry &entry : m_entries) {
        if ((entry.status == Entry::New || entry.status == Entry::Different) && entry.type == u's'
            && looksLikeAbsolutePath(entry.incoming) && !exists(entry.incoming) && !out.contains(entry.incoming))
            out << entry.incoming;
    }
    return out;
}

ImportPlan::PathMap ImportPlan::suggestMap(const QStringList &missing, const QStringList &candidates)
{
    if (missing.isEmpty() || candidates.isEmpty())
        return {};
    // The folders all of them are in; a file's own name is never part of it.
    QStringList common = folderParts(missing.first());
    common.removeLast();
    for (const QString &path : missing) {
        QStringList parts = folderParts(path);
        parts.removeLast();
        const Qt::CaseSensitivity cs = isDrivePath(path) ? Qt::CaseInsensitive : Qt::CaseSensitive;
        qsizetype shared = 0;
        while (shared < common.size() && shared < parts.size() && common.at(shared).compare(parts.at(shared), cs) == 0)
            ++shared;
        common = common.mid(0, shared);
    }
    // A drive or the top of the file system alone says nothing of where the files went.
    const qsizetype named
        = std::count_if(common.cbegin(), common.cend(), [](const QString &p) { return !p.isEmpty(); });
    if (named < 2)
        return {};
    const QString from = common.join(missing.first().contains(u'\\') ? u'\\' : u'/');
    QString to = candidates.first();
    for (const QString &candidate : candidates) {
        if (folderParts(candidate).last().compare(common.last(), Qt::CaseInsensitive) == 0) {
            to = candidate;
            break;
        }
    }
    return {from, to};
}

bool ImportPlan::parsePathMap(const QString &text, PathMap *map)
{
    const qsizetype equals = text.indexOf(u'=');
    if (equals <= 0 || equals == text.size() - 1)
        return false;
    map->from = text.left(equals);
    map->to = text.mid(equals + 1);
    return true;
}

} // namespace pfw
