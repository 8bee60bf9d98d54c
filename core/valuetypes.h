#pragma once

#include <QString>

namespace pfw {

// Display name of a value type code ("Boolean", "Real (single)", "Unknown (x)", ...).
QString typeName(QChar type);

// Checks text entered for a value of the given type and turns it into the stored form.
// On failure returns false and the user-facing reason in error; normalized is left alone.
[[nodiscard]] bool normalizeValue(QChar type, const QString &text, QString *normalized, QString *error);

} // namespace pfw
