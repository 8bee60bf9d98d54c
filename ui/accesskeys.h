#pragma once

#include <QChar>

class QAbstractButton;
class QMessageBox;
class QWidget;

namespace pfw {

// Access keys that leave a control's label as it is: Alt and the letter click the button, or
// move the focus to the field a label names. The letter is one of the label's own.
void setAccessKey(QAbstractButton *button, QChar letter);
void setAccessKey(QWidget *field, QChar letter);
// Underlined access keys for a question's buttons ("&Save", "&Discard", "&Cancel"): each takes
// the first letter of its label that no other button has taken.
void giveAccessKeys(QMessageBox *box);

} // namespace pfw
