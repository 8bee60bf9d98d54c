#pragma once

#include <QStringView>

namespace pfw {

// Whether text contains needle ignoring case, exactly as QString::contains with
// Qt::CaseInsensitive says. Plain ASCII, nearly every key and value of a settings file, is
// compared directly, several times faster; anything else goes to Qt.
[[nodiscard]] bool containsIgnoringCase(QStringView text, QStringView needle);

} // namespace pfw
