#pragma once

#include <QProxyStyle>

namespace pfw {

// Fusion with tick boxes whose frame stands out from the field behind them: Fusion draws it a
// shade darker than the window, which on a dark palette is as dark as the field itself.
class IndicatorStyle final : public QProxyStyle
{
    Q_OBJECT

public:
    IndicatorStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    // Tick boxes and radio buttons grow with the text size, as the text beside them does.
    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
                    const QWidget *widget = nullptr) const override;
};

} // namespace pfw
