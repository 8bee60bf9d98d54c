#pragma once

#include "cli/clioutput.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <QStringList>

class QIODevice;

namespace pfw {

class DeletionPolicy;
class ScriptedEdit;
class SettingsDocument;
class SettingsSchema;

// prefwright-cli: checks and changes a settings file from scripts, under the same rules as
// the editor. Output goes to the two devices; run() returns the process exit code.
class SettingsCli final
{
    Q_DECLARE_TR_FUNCTIONS(SettingsCli)

public:
    enum ExitCode : int { Success = 0, Refused = 1, UsageError = 2, BadFile = 3 };

    SettingsCli(QIODevice *out, QIODevice *err);

    // arguments without the program name.
    int run(const QStringList &arguments);
    // An argument the system's text for file names cannot hold (shown: its bytes, escaped).
    int refuseArgument(const QString &shown, const QStringList &arguments);

    static QString usage();
    // Backslash, line feed, carriage return and tab as two-character escapes, so one field
    // stays on one line and between two tabs.
    static QString escapeField(const QString &text);

private:
    struct Options
    {
        QString command;
        QStringList positional;
        QStringList given;
        bool json = false;
        bool yes = false;
        bool all = false;
        bool useGood = false;
        bool keepCurrent = false;
        bool fromBackup = false;
        int keep = -1;
        QString fingerprint;
    };

    int parse(const QStringList &arguments, Options *options);
    int dispatch(const Options &options);

    int check(const Options &options);
    int dump(const Options &options);
    int roundtrip(const Options &options);
    int get(const Options &options);
    int set(const Options &options);
    int remove(const Options &options);
    int normalize(const Options &options);
    int label(const Options &options);
    int verdict(const Options &options);
    int diff(const Options &options);
    int health(const Options &options);
    int modules(const Options &options);
    int backups(const Options &options);
    int history(const Options &options);
    int bisect(const Options &options);
    int restore(const Options &options);

    bool load(SettingsDocument *document, const QString &path) { return m_io.load(document, path); }
    bool loadRules(SettingsSchema *schema, DeletionPolicy *policy) { return m_io.loadRules(schema, policy); }
    // Refuses the whole command when one change was refused; otherwise saves them all.
    int finishEdits(SettingsDocument *document, ScriptedEdit *edit, const QStringList &refusals,
                    const Options &options);

    void output(const QByteArray &bytes) { m_io.output(bytes); }
    void print(const QString &line) { m_io.print(line); }
    void printJson(const QJsonValue &value) { m_io.printJson(value); }
    int fail(int code, const QStringList &messages) { return m_io.fail(code, messages); }
    int fail(int code, const QString &message) { return m_io.fail(code, message); }

    CliOutput m_io;
};

} // namespace pfw
