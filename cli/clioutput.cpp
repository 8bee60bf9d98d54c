#include "cli/clioutput.h"

#include "cli/settingscli.h"
#include "core/settingsdocument.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QFileDevice>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace pfw {

CliOutput::CliOutput(QIODevice *out, QIODevice *err)
    : m_out(out)
    , m_err(err)
{
}

namespace {

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0);
}

QString hexEscape(QChar c)
{
    return QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
}

} // namespace

QString CliOutput::printable(const QString &text, bool keepLineBreaks)
{
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    QString shown;
    shown.reserve(text.size() + 8);
    for (const QChar c : text)
        shown += isControl(c) && !(keepLineBreaks && c == u'\n') ? hexEscape(c) : QString(c);
    return shown;
}

QString CliOutput::shellWord(const QString &text)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+=,-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    if (std::none_of(text.cbegin(), text.cend(), isControl)) {
        QString quoted = text;
        quoted.replace(u'\'', QLatin1String("'\\''"));
        return u'\'' + quoted + u'\'';
    }
    // Bash's $'...' spells out control characters.
    QString quoted = QStringLiteral("$'");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'\'')
            quoted += u'\\' + QString(c);
        else
            quoted += isControl(c) ? hexEscape(c) : QString(c);
    }
    return quoted + u'\'';
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
    m_err->write(printable(QString::fromUtf8(bytes), true).toUtf8());
}

int CliOutput::fail(int code, const QStringList &messages)
{
    // Messages name files, keys and values: one line each, whatever those hold.
    for (const QString &message : messages) {
        m_err->write(printable(message).toUtf8());
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
        error(tr("%1 Its report could not be written: %2").arg(printable(m_done), m_outputError).toUtf8() + '\n');
    else
        error(tr("Could not write the output: %1").arg(m_outputError).toUtf8() + '\n');
    return SettingsCli::Refused;
}

} // namespace pfw
