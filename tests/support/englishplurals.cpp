// Every test runs with the program's English plural forms, as the program itself does.
#include "core/translations.h"

#include <QCoreApplication>

namespace {

void installEnglishPlurals()
{
    pfw::Translations::install();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installEnglishPlurals)
