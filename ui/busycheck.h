#pragma once

class QWidget;

namespace pfw {

// Whether widgets still hold pointers into the tree or typing meant for it, so that the tree
// must not be replaced now: a dialog, menu or in-place editor is open, window code runs below
// (a BusyScope), or a field holds typing not committed yet.
class BusyCheck final
{
public:
    static bool isBusy();
    // Commits what is typed into the focused field inside window: a field commits when it
    // loses focus, so counts and reviews include it.
    static void commitTyping(QWidget *window);
};

} // namespace pfw
