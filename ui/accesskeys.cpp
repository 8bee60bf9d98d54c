#include "ui/accesskeys.h"

#include <QAbstractButton>
#include <QShortcut>

namespace pfw {

namespace {

QKeySequence altKey(QChar letter)
{
    return QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(letter.toUpper().unicode())));
}

} // namespace

void setAccessKey(QAbstractButton *button, QChar letter)
{
    // A shortcut of its own: the button's would be reset by every later setText.
    auto *shortcut = new QShortcut(altKey(letter), button, [button] {
        if (button->isEnabled())
            button->animateClick();
    });
    shortcut->setContext(Qt::WindowShortcut);
}

void setAccessKey(QWidget *field, QChar letter)
{
    // Window-wide like a label's buddy, and only while the field can be seen.
    auto *shortcut = new QShortcut(altKey(letter), field, [field] { field->setFocus(Qt::ShortcutFocusReason); });
    shortcut->setContext(Qt::WindowShortcut);
}

} // namespace pfw
