#include "ui/keyboardconventions.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>

namespace pfw {

KeyboardConventions::KeyboardConventions(QObject *parent)
    : QObject(parent)
{
}

namespace {
constexpr char kSearchBoxProperty[] = "pfwSearchBox";
} // namespace

void KeyboardConventions::markSearchBox(QLineEdit *edit)
{
    edit->setProperty(kSearchBoxProperty, true);
}

bool KeyboardConventions::isSearchBox(const QLineEdit *edit)
{
    return edit->isClearButtonEnabled() || edit->property(kSearchBoxProperty).toBool();
}

void KeyboardConventions::install()
{
    static QPointer<KeyboardConventions> installed;
    if (installed || !qApp)
        return;
    installed = new KeyboardConventions(qApp);
    qApp->installEventFilter(installed);
}

bool KeyboardConventions::eventFilter(QObject *watched, QEvent *event)
{
    // ShortcutOverride comes first: taking Esc there keeps a dialog from closing on it.
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget != QApplication::focusWidget())
        return false;

    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
        auto *edit = qobject_cast<QLineEdit *>(widget);
        if (!edit || !isSearchBox(edit) || edit->text().isEmpty() || edit->isReadOnly())
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        edit->clear();
        return true;
    }

    // A field takes Ctrl+Z for its own typing; with none to undo (a value just committed) the
    // key must reach the window's Undo, or it does nothing at all.
    if (event->type() == QEvent::ShortcutOverride
        && (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo))) {
        auto *edit = qobject_cast<QLineEdit *>(widget);
        if (!edit && qobject_cast<QAbstractSpinBox *>(widget))
            edit = widget->findChild<QLineEdit *>();
        if (edit && !edit->isReadOnly()) {
            const bool own = key->matches(QKeySequence::Undo) ? edit->isUndoAvailable() : edit->isRedoAvailable();
            if (!own)
                return true; // left unaccepted: the shortcut runs
        }
        return false;
    }

    if (event->type() == QEvent::KeyPress && key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
        // The same place the menu key uses: the current item of a view, the cursor of a field.
        const QPoint pos = widget->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, pos, widget->mapToGlobal(pos), key->modifiers());
        QApplication::sendEvent(widget, &menu);
        return true;
    }
    return false;
}

} // namespace pfw
