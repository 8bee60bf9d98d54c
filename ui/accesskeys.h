#pragma once

#include <QChar>

class QAbstractButton;
class QWidget;

namespace pfw {

// Access keys that leave a control's label as it is: Alt and the letter click the button, or
// move the focus to the field a label names. The letter is one of the label's own.
void setAccessKey(QAbstractButton *button, QChar letter);
void setAccessKey(QWidget *field, QChar letter);

} // namespace pfw
