#include "ui/indicatorstyle.h"

#include "ui/thememanager.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

namespace pfw {

IndicatorStyle::IndicatorStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
}

void IndicatorStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                   const QWidget *widget) const
{
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (element != PE_IndicatorCheckBox)
        return;
    // The placeholder grey keeps 4:1 or more against the field in both palettes.
    const QPalette::ColorGroup group = option->state & State_Enabled ? QPalette::Normal : QPalette::Disabled;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(option->palette.color(group, QPalette::PlaceholderText));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
}

int IndicatorStyle::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    const int base = QProxyStyle::pixelMetric(metric, option, widget);
    switch (metric) {
    case PM_IndicatorWidth:
    case PM_IndicatorHeight:
    case PM_ExclusiveIndicatorWidth:
    case PM_ExclusiveIndicatorHeight:
        return qRound(base * qMax(1.0, ThemeManager::instance().scale()));
    default:
        return base;
    }
}

} // namespace pfw
