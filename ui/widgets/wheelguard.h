#pragma once

#include <QObject>

namespace pfw {

// Discards wheel events aimed at an editor without keyboard focus, so scrolling a page never
// changes a drop-down or spin box that happens to pass under the mouse.
class WheelGuard final : public QObject
{
    Q_OBJECT

public:
    explicit WheelGuard(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace pfw
