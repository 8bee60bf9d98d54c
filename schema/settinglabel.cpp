#include "schema/settinglabel.h"

#include "core/xsdtnode.h"
#include "schema/settingsschema.h"

namespace pfw {

QString SettingLabel::label(const SettingsSchema *schema, const XsdtNode &node)
{
    if (schema && node.kind == XsdtNode::Value) {
        const QString label = schema->spec(node).label;
        if (!label.isEmpty())
            return label;
    }
    return SettingsSchema::humanizeKey(node.key);
}

QString SettingLabel::group(const XsdtNode &node)
{
    const XsdtNode *parent = node.parent;
    if (!parent || !parent->parent || parent->key.isEmpty())
        return QString();
    return SettingsSchema::humanizeKey(parent->key);
}

QString SettingLabel::text(const SettingsSchema *schema, const XsdtNode &node)
{
    const QString name = label(schema, node);
    const QString in = group(node);
    return in.isEmpty() ? name : name + QStringLiteral(" \u2014 ") + in;
}

} // namespace pfw
