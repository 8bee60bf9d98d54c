#include "ui/accesskeys.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QSet>
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

void giveAccessKeys(QMessageBox *box)
{
    QSet<QChar> taken;
    const QList<QAbstractButton *> buttons = box->buttons();
    for (QAbstractButton *button : buttons) {
        const QString text = button->text();
        const qsizetype marked = text.indexOf(u'&');
        if (marked >= 0 && marked + 1 < text.size())
            taken.insert(text.at(marked + 1).toLower());
    }
    for (QAbstractButton *button : buttons) {
        QString text = button->text();
        if (text.contains(u'&'))
            continue;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar letter = text.at(i).toLower();
            if (!letter.isLetter() || taken.contains(letter))
                continue;
            taken.insert(letter);
            text.insert(i, u'&');
            button->setText(text);
            break;
        }
    }
}

} // namespace pfw
