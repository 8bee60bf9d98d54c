#pragma once

#include <QList>
#include <QRect>

class QSize;
class QWidget;

namespace pfw {

// Where a window goes so its title strip can be grabbed: unchanged when a strip 120 x 20 of it
// is visible on some screen; otherwise fitted into the primary screen and centred there.
// Returns the frame geometry to use; moved tells whether it changed.
QRect placeOnScreen(const QRect &frame, const QList<QRect> &available, const QRect &primaryAvailable, bool *moved);
// Restores a minimised window and moves it where placeOnScreen() says, on the screens there are.
void bringOnScreen(QWidget *window);
// Resizes a window laid out for the default text size to grow with the text size chosen, and
// at least to minimum; never beyond the screen it is on.
void resizeForText(QWidget *window, const QSize &designed, const QSize &minimum = QSize());

} // namespace pfw
