#pragma once

#include "cli/clicommand.h"
#include "cli/clioptions.h"
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
    static const QList<CliCommand> &commands();
    static const CliCommand *findCommand(const QString &name);

    int parse(const QStringList &arguments, CliOptions *options);

    int check(const CliOptions &options);
    int dump(const CliOptions &options);
    int roundtrip(const CliOptions &options);
    int get(const CliOptions &options);
    int set(const CliOptions &options);
    int remove(const CliOptions &options);
    int normalize(const CliOptions &options);
    int label(const CliOptions &options);
    int verdict(const CliOptions &options);
    int diff(const CliOptions &options);
    int health(const CliOptions &options);
    int modules(const CliOptions &options);
    int backups(const CliOptions &options);
    int history(const CliOptions &options);
    int exportEntries(const CliOptions &options);
    int importSnippet(const CliOptions &options);
    int reset(const CliOptions &options);
    int bisect(const CliOptions &options);
    int restore(const CliOptions &options);

    bool load(SettingsDocument *document, const QString &path) { return m_io.load(document, path); }
    bool loadRules(SettingsSchema *schema, DeletionPolicy *policy) { return m_io.loadRules(schema, policy); }
    // Refuses the whole command when one change was refused; otherwise saves them all.
    int finishEdits(SettingsDocument *document, ScriptedEdit *edit, const QStringList &refusals,
                    const CliOptions &options);

    void output(const QByteArray &bytes) { m_io.output(bytes); }
    void print(const QString &line) { m_io.print(line); }
    void printJson(const QJsonValue &value) { m_io.printJson(value); }
    int fail(int code, const QStringList &messages) { return m_io.fail(code, messages); }
    int fail(int code, const QString &message) { return m_io.fail(code, message); }

    CliOutput m_io;
};

} // namespace pfw
