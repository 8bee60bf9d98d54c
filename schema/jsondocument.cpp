#include "schema/jsondocument.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

namespace pfw {

namespace {
struct JsonDocument
{
    Q_DECLARE_TR_FUNCTIONS(JsonDocument)
};
} // namespace

bool readJsonObject(const QByteArray &bytes, const QString &documentName, QJsonObject *object, QString *error)
{
    *object = QJsonObject();
    if (bytes.trimmed().isEmpty())
        return true;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        // A valid document whose top level is an array has no parser error to quote.
        const QString reason = parseError.error != QJsonParseError::NoError
            ? parseError.errorString()
            : JsonDocument::tr("the top level is not an object");
        if (error)
            *error = QStringLiteral("%1: %2").arg(documentName, reason);
        return false;
    }
    *object = document.object();
    return true;
}

QByteArray resourceBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace pfw
