#include "schema/readablevalue.h"

#include "core/xsdtnode.h"
#include "schema/settingsschema.h"
#include "schema/variablespec.h"

namespace pfw {

std::optional<quint32> ReadableValue::colour(const VariableSpec &spec, QChar type, const QString &value)
{
    if (spec.kind != WidgetKind::Color || type == u'B' || type == u's')
        return std::nullopt;
    bool ok = false;
    const qulonglong number = value.trimmed().toULongLong(&ok);
    if (!ok || number > 0xFFFFFFFFull)
        return std::nullopt;
    return quint32(number);
}

std::optional<quint32> ReadableValue::colour(const SettingsSchema *schema, const XsdtNode &node, const QString &value)
{
    if (!schema || node.kind != XsdtNode::Value)
        return std::nullopt;
    return colour(schema->spec(node), node.type, value);
}

QString ReadableValue::text(const VariableSpec &spec, QChar type, const QString &value, qsizetype length)
{
    if (const std::optional<quint32> argb = colour(spec, type, value)) {
        const QString rgb = QStringLiteral("#%1").arg(*argb & 0xFFFFFFu, 6, 16, QLatin1Char('0')).toUpper();
        const quint32 alpha = *argb >> 24;
        return alpha == 0xFF ? rgb : tr("%1 (alpha %2)").arg(rgb).arg(alpha);
    }
    if (spec.kind == WidgetKind::Choice) {
        bool ok = false;
        const qint64 number = value.trimmed().toLongLong(&ok);
        for (const VariableChoice &choice : spec.choices) {
            if (ok && choice.value == number && !choice.text.isEmpty())
                return DisplayText::oneLine(choice.text, length);
        }
    }
    return DisplayText::value(type, value, length);
}

QString ReadableValue::text(const SettingsSchema *schema, const XsdtNode &node, const QString &value, qsizetype length)
{
    if (!schema || node.kind != XsdtNode::Value || node.block)
        return DisplayText::value(node.type, value, length, node.block != nullptr);
    return text(schema->spec(node), node.type, value, length);
}

} // namespace pfw
