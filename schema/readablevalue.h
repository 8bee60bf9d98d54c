#pragma once

#include "core/displaytext.h"

#include <QCoreApplication>
#include <QString>

#include <optional>

namespace pfw {

class SettingsSchema;
struct VariableSpec;
struct XsdtNode;

// A value as its editor shows it, for the lists that only show it (the review, Compare, the
// history, the problem search): a colour as #RRGGBB, a choice by its option's name. Anything
// else, and a value its meaning does not fit, reads as DisplayText shows it.
class ReadableValue final
{
    Q_DECLARE_TR_FUNCTIONS(ReadableValue)

public:
    static QString text(const VariableSpec &spec, QChar type, const QString &value,
                        qsizetype length = DisplayText::kCellLength);
    // Without a schema, as DisplayText shows it.
    static QString text(const SettingsSchema *schema, const XsdtNode &node, const QString &value,
                        qsizetype length = DisplayText::kCellLength);
    // The ARGB colour a value of a colour setting stands for.
    static std::optional<quint32> colour(const VariableSpec &spec, QChar type, const QString &value);
    static std::optional<quint32> colour(const SettingsSchema *schema, const XsdtNode &node, const QString &value);
};

} // namespace pfw
