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
        if (isResettable(*value))
            out << value;
        else
            ++left;
    }
    if (kept)
        *kept = left;
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
