#include "ui/glyphicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace pfw {

namespace {

QPainterPath polyline(std::initializer_list<QPointF> points, bool closed = false)
{
    QPainterPath path;
    for (const QPointF &point : points) {
        if (path.elementCount() == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    if (closed)
        path.closeSubpath();
    return path;
}

// Draws on a 24 x 24 grid.
void drawGlyph(QPainter &painter, int index, const QColor &colour)
{
    switch (index) {
    case FolderGlyph:
        painter.drawPath(polyline({{3, 6.5}, {9, 6.5}, {11, 9}, {21, 9}, {21, 19}, {3, 19}}, true));
        break;
    case ReloadGlyph:
        painter.drawArc(QRectF(5, 5, 14, 14), 40 * 16, 290 * 16);
        painter.drawPath(polyline({{18.6, 3.6}, {18.6, 8.6}, {13.6, 8.6}}));
        break;
    case SaveGlyph:
        painter.drawRoundedRect(QRectF(4, 4, 16, 16), 3, 3);
        painter.drawRoundedRect(QRectF(8, 4, 8, 5), 1, 1);
        painter.drawRoundedRect(QRectF(7.5, 13, 9, 7), 1, 1);
        break;
    case RevertGlyph: {
        QPainterPath curve(QPointF(5, 10.5));
        curve.cubicTo(QPointF(11, 5.5), QPointF(20.5, 8), QPointF(20, 17.5));
        painter.drawPath(curve);
        painter.drawPath(polyline({{5, 4.8}, {5, 10.8}, {11, 10.8}}));
        break;
    }
    case FindGlyph:
        painter.drawEllipse(QPointF(10.3, 10.3), 5.6, 5.6);
        painter.drawLine(QPointF(14.6, 14.6), QPointF(20, 20));
        break;
    case BackupsGlyph:
        painter.drawRoundedRect(QRectF(3.5, 13.5, 17, 6), 1.6, 1.6);
        painter.drawRoundedRect(QRectF(5.5, 8.5, 13, 5), 1.4, 1.4);
        painter.drawRoundedRect(QRectF(7.5, 3.5, 9, 5), 1.2, 1.2);
        break;
    case RestoreGlyph:
        painter.drawRoundedRect(QRectF(4, 13, 16, 7), 1.6, 1.6);
        painter.drawLine(QPointF(12, 15.5), QPointF(12, 4.5));
        painter.drawPath(polyline({{7.8, 8.4}, {12, 4.2}, {16.2, 8.4}}));
        break;
    case ThemeGlyph: {
        painter.drawEllipse(QPointF(12, 12), 8, 8);
        QPainterPath half(QPointF(12, 4));
        half.arcTo(QRectF(4, 4, 16, 16), 90, 180);
        half.closeSubpath();
        painter.fillPath(half, colour);
        break;
    }
    case AboutGlyph: {
        painter.drawEllipse(QPointF(12, 12), 8.5, 8.5);
        painter.drawLine(QPointF(12, 11), QPointF(12, 16.5));
        painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin));
        painter.drawPoint(QPointF(12, 7.8));
        break;
    }
    default:
        break;
    }
}

} // namespace

QPixmap glyphPixmap(int index, const QColor &colour, int size, qreal devicePixelRatio)
{
    int side = qRound(size * devicePixelRatio);
    if (side < 9)
        side = 8;
    QPixmap pixmap(side, side);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    // The painter works in logical pixels; the grid spans the whole pixmap.
    const qreal grid = side / devicePixelRatio / 24.0;
    painter.scale(grid, grid);
    painter.setPen(QPen(colour, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    drawGlyph(painter, index, colour);
    return pixmap;
}

QIcon glyphIcon(int index, const QColor &colour, const QColor &disabledColour, int size, qreal devicePixelRatio)
{
    const QPixmap normal = glyphPixmap(index, colour, size, devicePixelRatio);
    QIcon icon;
    icon.addPixmap(normal, QIcon::Normal);
    icon.addPixmap(normal, QIcon::Active);
    icon.addPixmap(glyphPixmap(index, disabledColour, size, devicePixelRatio), QIcon::Disabled);
    return icon;
}

} // namespace pfw
