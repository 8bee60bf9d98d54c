#include "cli/clioutput.h"

#include "cli/settingscli.h"
#include "core/settingsdocument.h"
#include "core/terminaltext.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QFileDevice>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace pfw {

CliOutput::CliOutput(QIODevice *out, QIODevice *err)
    : m_out(out)
    , m_err(err)
{
}

void CliOutput::output(const QByteArray &bytes)
{
    // Output lost on a full disk or a closed pipe must not end in success.
    if (m_outputError.isEmpty() && m_out->write(bytes) != bytes.size())
        m_outputError = m_out->errorString();
}

void CliOutput::print(const QString &line)
{
    output(line.toUtf8());
    output("\n");
}

void CliOutput::printJson(const QJsonValue &value)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    output(document.toJson(QJsonDocument::Compact));
    output("\n");
}

void CliOutput::error(const QByteArray &bytes)
{
    m_err->write(TerminalText::printable(asTyped(QString::fromUtf8(bytes)), true).toUtf8());
}

void CliOutput::setTypedNames(QList<std::pair<QString, QString>> names)
{
    // The longest first: one whole path may begin with another.
    std::sort(names.begin(), names.end(), [](const auto &a, const auto &b) { return a.first.size() > b.first.size(); });
    m_typedNames = std::move(names);
}

QString CliOutput::asTyped(QString text) const
{
    for (const auto &[whole, typed] : m_typedNames)
        text.replace(whole, typed);
    return text;
}

int CliOutput::fail(int code, const QStringList &messages)
{
    // Messages name files, keys and values: one line each, whatever those hold.
    for (const QString &message : messages) {
        m_err->write(TerminalText::printable(asTyped(message)).toUtf8());
        m_err->write("\n");
    }
    if (m_json)
        printJson(QJsonObject{{QStringLiteral("exitCode"), code},
                              {QStringLiteral("errors"), QJsonArray::fromStringList(messages)}});
    return code;
}

bool CliOutput::load(SettingsDocument *document, const QString &path)
{
    QString error;
    if (document->load(path, &error))
        return true;
    fail(SettingsCli::BadFile, error);
    return false;
}

bool CliOutput::loadRules(SettingsSchema *schema, DeletionPolicy *policy)
{
    QString error;
    if ((schema && !schema->loadBuiltIn(&error)) || (policy && !policy->loadBuiltIn(&error))) {
        fail(SettingsCli::Refused, tr("The built-in settings descriptions could not be read (%1).").arg(error));
        return false;
    }
    return true;
}

int CliOutput::finish(int code)
{
    // Standard output may be buffered by the C library: its failure shows only when flushed.
    if (auto *file = qobject_cast<QFileDevice *>(m_out); file && !file->flush() && m_outputError.isEmpty())
        m_outputError = file->errorString();
    if (m_outputError.isEmpty())
        return code;
    // A change that was made must not read as one that failed.
    if (!m_done.isEmpty())
        error(tr("%1 Its report could not be written: %2").arg(TerminalText::printable(m_done), m_outputError).toUtf8()
              + '\n');
    else
        error(tr("Could not write the output: %1").arg(m_outputError).toUtf8() + '\n');
    return SettingsCli::Refused;
}

} // namespace pfw
