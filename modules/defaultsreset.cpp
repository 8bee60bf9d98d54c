#include "modules/defaultsreset.h"

#include "core/xsdtfile.h"
#include "core/xsdtnode.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

namespace pfw {

DefaultsReset::DefaultsReset(const SettingsSchema *schema, const DeletionPolicy *policy, const XsdtFile *file)
    : m_schema(schema)
    , m_policy(policy)
    , m_file(file)
{
    if (m_schema && m_file) {
        for (const PageSpec &page : m_schema->pages(*m_file))
            m_pagePaths += page.paths;
    }
}

bool DefaultsReset::isOnAPage(const XsdtNode &node) const
{
    const QString path = node.path();
    for (const QString &page : m_pagePaths) {
        if (path == page || path.startsWith(page + u'/'))
            return true;
    }
    return false;
}

bool DefaultsReset::isResettable(const XsdtNode &node) const
{
    return node.kind == XsdtNode::Value && node.isEditableValue() && !node.isInsideDeleted() && isOnAPage(node)
        && !(m_policy && m_policy->isEditLocked(&node)) && !(m_schema && m_schema->spec(node).readOnly);
}

QList<XsdtNode *> DefaultsReset::values(const XsdtNode &node, qsizetype *kept) const
{
    QList<XsdtNode *> out;
    qsizetype left = 0;
    for (XsdtNode *value : node.valueNodes()) {
        if (value->isInsideDeleted())
            continue;
        // Whether this computer signs its own code is an identity, not a taste: it is reset only
        // when named itself, never with the page or the preferences around it.
        const bool identity = value != &node && m_policy && m_policy->machineBoundId(*value) == u"signing";
        if (!identity && isResettable(*value))
            out << value;
        else
            ++left;
    }
    if (kept)
        *kept = left;
    return out;
}

QList<XsdtNode *> DefaultsReset::allPreferences(qsizetype *kept) const
{
    const XsdtNode *preferences = m_file ? m_file->root.findPath(QStringLiteral("Global/Preferences")) : nullptr;
    if (!preferences)
        return {};
    return values(*preferences, kept);
}

QList<XsdtNode *> DefaultsReset::windowLayout() const
{
    QList<XsdtNode *> out;
    if (!m_policy || !m_file)
        return out;
    for (const MachineBoundGroup &group : m_policy->machineBoundGroups()) {
        if (group.id != u"window")
            continue;
        for (const PathPattern &pattern : group.patterns) {
            const QString text
                = pattern.parts().join(u'/') + (pattern.isRecursive() ? QStringLiteral("/**") : QString());
            for (XsdtNode *node : DeletionPolicy::findAll(*m_file, text)) {
                if (!node->isInsideDeleted() && m_policy->verdict(node).level != DeletionLevel::Never
                    && !out.contains(node))
                    out << node;
            }
        }
    }
    return out;
}

QList<XsdtNode *> DefaultsReset::moduleSettings() const
{
    QList<XsdtNode *> out;
    const XsdtNode *data = m_file ? m_file->root.childByKey(u"ModuleData") : nullptr;
    if (!data)
        return out;
    for (const auto &child : data->children) {
        // "0" holds the format's version, no module's settings.
        if (child->kind == XsdtNode::Item && child->key != u"0" && !child->isInsideDeleted())
            out << child.get();
    }
    return out;
}

qsizetype DefaultsReset::queue(const QList<XsdtNode *> &values)
{
    for (XsdtNode *value : values) {
        value->deleted = true;
        value->resetToDefault = true;
    }
    return values.size();
}

} // namespace pfw
