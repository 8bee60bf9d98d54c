#pragma once

namespace pfw {

// The program's texts are written in English with plural sources ("%n changes"); the English
// translation supplies the singular forms, so "1 change" reads right.
class Translations
{
public:
    // Installs the English forms on the running application once; false if they could not be
    // loaded (the plural texts are then shown for every count).
    static bool install();
};

} // namespace pfw
