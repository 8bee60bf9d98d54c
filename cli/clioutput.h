#pragma once

#include <QCoreApplication>
#include <QJsonValue>
#include <QStringList>

#include <utility>

class QIODevice;

namespace pfw {

class DeletionPolicy;
class SettingsDocument;
class SettingsSchema;

// Where prefwright-cli's results and messages go: text or one JSON document on the output,
// messages on the error stream, and a failure to write the output never ending in success.
class CliOutput final
{
    Q_DECLARE_TR_FUNCTIONS(CliOutput)

public:
    CliOutput(QIODevice *out, QIODevice *err);

    void setJson(bool on) { m_json = on; }
    bool json() const { return m_json; }
    void output(const QByteArray &bytes);
    void print(const QString &line);
    // A message on the output: files named as the user typed them.
    void say(const QString &line) { print(asTyped(line)); }
    void printJson(const QJsonValue &value);
    // Messages: control characters in them are spelled out, line breaks kept.
    void error(const QByteArray &bytes);
    // A failure: the messages on the error stream, and with --json also as an object on output.
    int fail(int code, const QStringList &messages);
    int fail(int code, const QString &message) { return fail(code, QStringList{message}); }
    // Loads a settings file, or fails with its reason.
    bool load(SettingsDocument *document, const QString &path);
    bool loadRules(SettingsSchema *schema, DeletionPolicy *policy);
    // What the command did to files, said should its report be lost.
    void noteDone(const QString &done) { m_done = done; }
    // Messages name a file as the user typed it, as other command-line tools do, although the
    // program works on its whole path (whole, typed; in native separators). JSON is left whole.
    void setTypedNames(QList<std::pair<QString, QString>> names);
    QString asTyped(QString text) const;
    // The exit code, unless the output could not be written.
    int finish(int code);

private:
    QIODevice *m_out;
    QIODevice *m_err;
    bool m_json = false;
    QString m_outputError;
    QString m_done;
    QList<std::pair<QString, QString>> m_typedNames;
};

} // namespace pfw
