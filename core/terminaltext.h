#pragma once

#include "platform/hostenvironment.h"

#include <QString>

namespace pfw {

// Text from a file (a name, a key, a value) on its way to a terminal.
class TerminalText final
{
public:
    // A control character would move the cursor, recolour or hide what follows, so each is
    // spelled \xNN. Line breaks stay only when asked.
    static QString printable(const QString &text, bool keepLineBreaks = false);
    // As it can be pasted back into the system's shell. POSIX shells: plain, in '...', or in
    // bash's $'...' with control characters spelled out. Windows: plain, or in "...", which the
    // Command Prompt and PowerShell both read as one word (a name cannot hold '"' there).
    static QString shellWord(const QString &text, PlatformFlavour flavour = HostEnvironment::builtFlavour());
};

} // namespace pfw
