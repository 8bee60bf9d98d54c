#include "ui/busycheck.h"

#include "session/busyscope.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QLineEdit>

namespace pfw {

bool BusyCheck::isBusy()
{
    if (BusyScope::active() || QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return true;
    // Typing not committed yet would be lost with the tree it is for. Search and filter boxes
    // (the ones with a clear button) hold no value and survive a reload.
    if (const auto *edit = qobject_cast<const QLineEdit *>(QApplication::focusWidget());
        edit && edit->isModified() && !edit->isClearButtonEnabled())
        return true;
    if (qobject_cast<const QAbstractSpinBox *>(QApplication::focusWidget()))
        return true;
    // An in-place editor lives in the viewport of its view.
    for (QWidget *widget = QApplication::focusWidget(); widget; widget = widget->parentWidget()) {
        const auto *view = qobject_cast<const QAbstractItemView *>(widget->parentWidget());
        if (view && widget == view->viewport())
            return true;
    }
    return false;
}

void BusyCheck::commitTyping(QWidget *window)
{
    if (QWidget *focus = QApplication::focusWidget(); focus && window->isAncestorOf(focus))
        focus->clearFocus();
}

} // namespace pfw
