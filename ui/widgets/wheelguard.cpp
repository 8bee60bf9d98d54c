#include "ui/widgets/wheelguard.h"

#include <QEvent>
#include <QWidget>

namespace pfw {

WheelGuard::WheelGuard(QObject *parent)
    : QObject(parent)
{
}

bool WheelGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel) {
        const auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && !widget->hasFocus())
            return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pfw
