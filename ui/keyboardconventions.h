#pragma once

#include <QObject>

class QLineEdit;

namespace pfw {

// Keys every window follows, installed once on the application: Esc clears a search or filter
// box (a line edit with a clear button) before it closes anything, and Shift+F10 opens the
// context menu of the focused row or item, as the menu key does.
class KeyboardConventions final : public QObject
{
    Q_OBJECT

public:
    explicit KeyboardConventions(QObject *parent = nullptr);

    // Installs one instance on the application; later calls do nothing.
    static void install();
    // A filter box without a clear button that Esc should clear all the same.
    static void markSearchBox(QLineEdit *edit);
    static bool isSearchBox(const QLineEdit *edit);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace pfw
