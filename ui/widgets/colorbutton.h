#pragma once

#include <QPushButton>

namespace pfw {

// Shows an ARGB colour as a swatch over a checkerboard and its "#AARRGGBB" text; a click
// opens the colour dialog.
class ColorButton final : public QPushButton
{
    Q_OBJECT

public:
    explicit ColorButton(QWidget *parent = nullptr);

    void setColor(quint32 argb);
    quint32 color() const { return m_argb; }
    static QPixmap swatch(quint32 argb);

signals:
    void colorPicked(quint32 argb);

private:
    void pick();

    quint32 m_argb = 0;
};

} // namespace pfw
