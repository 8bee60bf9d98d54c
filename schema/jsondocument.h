#pragma once

#include <QJsonObject>

namespace pfw {

// Reads one of the built-in JSON documents: empty or blank bytes are an empty object; anything
// that is not a JSON object fails with "<name>: <reason>".
[[nodiscard]] bool readJsonObject(const QByteArray &bytes, const QString &documentName, QJsonObject *object,
                                  QString *error);

// The bytes of a resource, or empty bytes when it cannot be opened.
QByteArray resourceBytes(const QString &path);

} // namespace pfw
