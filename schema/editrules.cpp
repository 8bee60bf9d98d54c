#include "schema/editrules.h"

#include "core/valuetypes.h"
#include "core/xsdtnode.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QStringList>

namespace pfw {

EditRules::EditRules(const SettingsSchema *schema, const DeletionPolicy *policy)
    : m_schema(schema)
    , m_policy(policy)
{
}

EditRules::Refusal EditRules::refusal(const XsdtNode &node) const
{
    if (node.kind != XsdtNode::Value)
        return Refusal::NotAValue;
    if (!node.isEditableValue())
        return Refusal::Protected;
    if (node.isInsideDeleted())
        return Refusal::InsideDeletion;
    if (m_policy && m_policy->isEditLocked(&node))
        return Refusal::Locked;
    if (m_schema && m_schema->spec(node).readOnly)
        return Refusal::ReadOnly;
    return Refusal::None;
}

bool EditRules::normalize(const XsdtNode &node, const QString &text, QString *normalized, QString *error,
                          const QString &name) const
{
    QString stored, reason;
    if (!normalizeValue(node.type, text, &stored, &reason)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(name.isEmpty() ? node.key : name, reason);
        return false;
    }
    if (const QString problem = schemaProblem(node, stored); !problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    if (normalized)
        *normalized = stored;
    return true;
}

QString EditRules::schemaProblem(const XsdtNode &node, const QString &normalized) const
{
    const bool numeric = node.type == u'i' || node.type == u'u' || node.type == u'F' || node.type == u'f';
    if (!m_schema || !numeric)
        return QString();
    const VariableSpec spec = m_schema->spec(node);
    const double number = normalized.toDouble();
    if (spec.kind == WidgetKind::Choice && !spec.choices.isEmpty()) {
        QStringList allowed;
        for (const VariableChoice &choice : spec.choices) {
            if (double(choice.value) == number)
                return QString();
            allowed << QStringLiteral("%1 (%2)").arg(QString::number(choice.value), choice.text);
        }
        return tr("%1: %2 is not one of the allowed values: %3")
            .arg(spec.label, normalized, allowed.join(QLatin1String(", ")));
    }
    const bool ranged = spec.kind == WidgetKind::Int || spec.kind == WidgetKind::UInt || spec.kind == WidgetKind::Real;
    return ranged ? SettingsSchema::rangeProblem(spec, number) : QString();
}

} // namespace pfw
