#pragma once

namespace pfw {

// Marks code that runs a nested event loop (a dialog, a menu, a file chooser that may be the
// system's own): while one is on the stack, the automatic reload waits, because that code
// still holds pointers into the tree.
class BusyScope final
{
public:
    BusyScope() { ++s_depth; }
    ~BusyScope() { --s_depth; }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

    static bool active() { return s_depth > 0; }

private:
    static inline int s_depth = 0;
};

} // namespace pfw
