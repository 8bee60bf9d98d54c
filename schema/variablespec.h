#pragma once

#include <QList>
#include <QString>

namespace pfw {

// Which editor a setting gets.
enum class WidgetKind : quint32 {
    Bool = 0,
    Choice = 1,
    Int = 2,
    UInt = 3,
    Real = 4,
    Text = 5,
    File = 6,
    Directory = 7,
    Color = 8
};

struct VariableChoice
{
    qint64 value = 0;
    QString text;
};

// What the editor needs to show one setting: label, description, editor kind, range, options.
struct VariableSpec
{
    QString label;
    QString description;
    WidgetKind kind = WidgetKind::Text;
    bool readOnly = false;
    bool documented = false;
    bool hasRange = false;
    double min = 0;
    double max = 0;
    QList<VariableChoice> choices;
};

} // namespace pfw
