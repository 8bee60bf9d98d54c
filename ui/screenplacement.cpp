#include "ui/screenplacement.h"

#include "ui/thememanager.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace pfw {

QRect placeOnScreen(const QRect &frame, const QList<QRect> &available, const QRect &primaryAvailable, bool *moved)
{
    *moved = false;
    const QRect titleStrip(frame.left(), frame.top(), frame.width(), 40);
    for (const QRect &area : available) {
        const QRect visible = area.intersected(titleStrip);
        if (visible.width() >= 120 && visible.height() >= 20)
            return frame;
    }
    if (primaryAvailable.isEmpty())
        return frame;
    QRect placed(0, 0, qMin(frame.width(), primaryAvailable.width()),
                 qMin(frame.height(), primaryAvailable.height() - 60));
    placed.moveCenter(primaryAvailable.center());
    placed.moveLeft(qMax(placed.left(), primaryAvailable.left()));
    placed.moveTop(qMax(placed.top(), primaryAvailable.top()));
    *moved = true;
    return placed;
}

void bringOnScreen(QWidget *window)
{
    if (window->isMinimized()) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->activateWindow();
    }
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    bool moved = false;
    const QRect placed = placeOnScreen(window->frameGeometry(), areas, primary->availableGeometry(), &moved);
    if (!moved)
        return;
    const QSize frameExtra = window->frameGeometry().size() - window->size();
    window->resize(placed.size() - frameExtra);
    window->move(placed.topLeft());
}

void resizeForText(QWidget *window, const QSize &designed, const QSize &minimum)
{
    const double scale = qMax(1.0, ThemeManager::instance().scale());
    QSize size = (QSizeF(designed) * scale).toSize().expandedTo(minimum);
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen)
        size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 80));
    window->resize(size);
}

} // namespace pfw
