#include "schema/deletionpolicy.h"

#include "core/xsdtfile.h"
#include "schema/jsondocument.h"

#include <QJsonArray>
#include <QJsonObject>

namespace pfw {

namespace {

QList<PathPattern> readPatterns(const QJsonValue &value)
{
    QList<PathPattern> patterns;
    for (const QJsonValue &element : value.toArray()) {
        PathPattern pattern(element.toString());
        if (!pattern.isNull())
            patterns.append(pattern);
    }
    return patterns;
}

} // namespace

DeletionPolicy::DeletionPolicy()
    : m_defaultReason(tr("This entry is not on the list of entries known to be safe to remove."))
{
}

void DeletionPolicy::clearLists()
{
    m_rules.clear();
    m_compareNoise.clear();
    m_compareNoCopy.clear();
    m_editLocked.clear();
    m_cleanupGroups.clear();
    m_machineBound.clear();
}

bool DeletionPolicy::load(const QByteArray &overlayBytes, QString *error)
{
    clearLists();
    m_defaultReason = tr("This entry is not on the list of entries known to be safe to remove.");
    QJsonObject overlay;
    if (!readJsonObject(overlayBytes, QStringLiteral("overlay.json"), &overlay, error))
        return false;

    const QJsonObject policy = overlay.value(QLatin1String("policy")).toObject();
    if (policy.contains(QLatin1String("defaultReason")))
        m_defaultReason = policy.value(QLatin1String("defaultReason")).toString();
    for (const QJsonValue &element : policy.value(QLatin1String("delete")).toArray()) {
        const QJsonObject rule = element.toObject();
        const QString levelText = rule.value(QLatin1String("level")).toString();
        DeletionLevel level;
        if (levelText == u"safe") {
            level = DeletionLevel::Safe;
        } else if (levelText == u"warn") {
            level = DeletionLevel::Warn;
        } else if (levelText == u"never") {
            level = DeletionLevel::Never;
        } else {
            clearLists();
            if (error)
                *error = tr("overlay.json: unknown delete level '%1'").arg(levelText);
            return false;
        }
        PathPattern pattern(rule.value(QLatin1String("path")).toString());
        if (pattern.isNull())
            continue;
        m_rules.append({pattern, rule.value(QLatin1String("groupsOnly")).toBool(), level,
                        rule.value(QLatin1String("reason")).toString()});
    }
    m_compareNoise = readPatterns(overlay.value(QLatin1String("compareNoise")));
    m_compareNoCopy = readPatterns(overlay.value(QLatin1String("compareNoCopy")));
    m_editLocked = readPatterns(overlay.value(QLatin1String("editLocked")));
    for (const QJsonValue &element : overlay.value(QLatin1String("cleanup")).toArray()) {
        const QJsonObject object = element.toObject();
        CleanupGroup group;
        group.title = object.value(QLatin1String("title")).toString();
        group.description = object.value(QLatin1String("description")).toString();
        for (const QJsonValue &path : object.value(QLatin1String("paths")).toArray())
            group.paths.append(path.toString());
        group.each = object.value(QLatin1String("each")).toBool();
        if (!group.title.isEmpty() && !group.paths.isEmpty())
            m_cleanupGroups.append(group);
    }
    for (const QJsonValue &element : overlay.value(QLatin1String("machineBound")).toArray()) {
        const QJsonObject object = element.toObject();
        MachineBoundGroup group{object.value(QLatin1String("id")).toString(),
                                object.value(QLatin1String("title")).toString(),
                                readPatterns(object.value(QLatin1String("paths")))};
        if (!group.title.isEmpty() && !group.patterns.isEmpty())
            m_machineBound.append(group);
    }
    return true;
}

bool DeletionPolicy::loadBuiltIn(QString *error)
{
    return load(resourceBytes(QStringLiteral(":/schema/overlay.json")), error);
}

DeletionVerdict DeletionPolicy::verdict(const XsdtNode *node) const
{
    DeletionVerdict result{DeletionLevel::Never, m_defaultReason};
    if (!node || !node->parent)
        return result;
    QString storage;
    const QList<QStringView> parts = PathPattern::pathParts(*node, &storage);
    const DeleteRule *best = nullptr;
    for (const DeleteRule &rule : m_rules) {
        if (rule.groupsOnly && node->kind == XsdtNode::Value)
            continue;
        if (!rule.pattern.matches(parts))
            continue;
        const int literals = rule.pattern.literalCount();
        // More literal keys win; at a tie an exact pattern keeps its place against a "/**" one,
        // otherwise the later rule wins.
        if (!best || literals > best->pattern.literalCount()
            || (literals == best->pattern.literalCount()
                && !(rule.pattern.isRecursive() && !best->pattern.isRecursive())))
            best = &rule;
    }
    if (best) {
        result.level = best->level;
        if (!best->reason.isEmpty())
            result.reason = best->reason;
    }
    return result;
}

const MachineBoundGroup *DeletionPolicy::machineBoundOf(const XsdtNode &node) const
{
    if (!node.parent)
        return nullptr;
    QString storage;
    const QList<QStringView> parts = PathPattern::pathParts(node, &storage);
    for (const MachineBoundGroup &group : m_machineBound) {
        for (const PathPattern &pattern : group.patterns) {
            if (pattern.matches(parts))
                return &group;
        }
    }
    return nullptr;
}

QString DeletionPolicy::machineBoundGroup(const XsdtNode &node) const
{
    const MachineBoundGroup *group = machineBoundOf(node);
    return group ? group->title : QString();
}

QString DeletionPolicy::machineBoundId(const XsdtNode &node) const
{
    const MachineBoundGroup *group = machineBoundOf(node);
    return group ? group->id : QString();
}

bool DeletionPolicy::anyMatches(const QList<PathPattern> &patterns, const XsdtNode &node)
{
    if (patterns.isEmpty())
        return false;
    QString storage;
    const QList<QStringView> parts = PathPattern::pathParts(node, &storage);
    for (const PathPattern &pattern : patterns) {
        if (pattern.matches(parts))
            return true;
    }
    return false;
}

bool DeletionPolicy::isEditLocked(const XsdtNode *node) const
{
    return !node || anyMatches(m_editLocked, *node);
}

bool DeletionPolicy::isCompareNoCopy(const XsdtNode *node) const
{
    return !node || anyMatches(m_compareNoCopy, *node);
}

bool DeletionPolicy::isCompareNoise(const XsdtNode *node) const
{
    if (!node || !node->parent)
        return false;
    return verdict(node).level == DeletionLevel::Safe || anyMatches(m_compareNoise, *node);
}

QList<XsdtNode *> DeletionPolicy::warnCandidates(const XsdtFile &file) const
{
    QList<XsdtNode *> result;
    const auto search = [this, &result](const XsdtNode &parent, int depth, const auto &self) -> void {
        for (const auto &child : parent.children) {
            if (verdict(child.get()).level == DeletionLevel::Warn)
                result.append(child.get());
            else if (child->kind == XsdtNode::Item && depth < 3)
                self(*child, depth + 1, self);
        }
    };
    search(file.root, 1, search);
    return result;
}

QList<XsdtNode *> DeletionPolicy::findAll(const XsdtFile &file, const QString &pattern)
{
    const QStringList parts = pattern.split(u'/', Qt::SkipEmptyParts);
    QList<XsdtNode *> result;
    if (parts.isEmpty())
        return result;
    const auto walk = [&parts, &result](const XsdtNode &parent, qsizetype level, const auto &self) -> void {
        const QString &part = parts.at(level);
        for (const auto &child : parent.children) {
            if (part != u"*" && child->key != part)
                continue;
            if (level == parts.size() - 1)
                result.append(child.get());
            else if (child->kind == XsdtNode::Item)
                self(*child, level + 1, self);
        }
    };
    walk(file.root, 0, walk);
    return result;
}

} // namespace pfw
