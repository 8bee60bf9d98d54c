#include "ui/widgets/colorbutton.h"

#include "session/busyscope.h"

#include <QColorDialog>
#include <QPainter>
#include <QPointer>

namespace pfw {

ColorButton::ColorButton(QWidget *parent)
    : QPushButton(parent)
{
    connect(this, &QPushButton::clicked, this, &ColorButton::pick);
    setColor(0);
}

QPixmap ColorButton::swatch(quint32 argb)
{
    QPixmap pixmap(36, 16);
    pixmap.fill(QColor(200, 200, 200));
    QPainter painter(&pixmap);
    // A checkerboard behind the colour shows its transparency.
    painter.fillRect(0, 0, 18, 8, QColor(250, 250, 250));
    painter.fillRect(18, 8, 18, 8, QColor(250, 250, 250));
    painter.fillRect(0, 0, 36, 16, QColor::fromRgba(argb));
    painter.setPen(QColor(90, 90, 90));
    painter.drawRect(0, 0, 35, 15);
    return pixmap;
}

void ColorButton::setColor(quint32 argb)
{
    m_argb = argb;
    setIcon(QIcon(swatch(argb)));
    setIconSize(QSize(36, 16));
    setText(QStringLiteral("#%1").arg(argb, 8, 16, QLatin1Char('0')).toUpper());
}

void ColorButton::pick()
{
    const BusyScope busy;
    const QPointer<ColorButton> self(this);
    const QColor chosen
        = QColorDialog::getColor(QColor::fromRgba(m_argb), this, tr("Choose color"), QColorDialog::ShowAlphaChannel);
    if (self && chosen.isValid())
        emit colorPicked(chosen.rgba());
}

} // namespace pfw
