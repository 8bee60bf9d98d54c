#include "cli/settingscli.h"

#include "cli/backupcommands.h"
#include "cli/problemsearchcommand.h"
#include "cli/scriptededit.h"
#include "cli/settingsreports.h"
#include "cli/transfercommands.h"
#include "core/backups.h"
#include "core/fileidentity.h"
#include "core/settingsdocument.h"
#include "core/terminaltext.h"
#include "core/valuetypes.h"
#include "core/xmlwellformedness.h"
#include "platform/interrupthold.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QDir>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cctype>
#include <optional>

namespace pfw {

namespace {

QString levelName(DeletionLevel level)
{
    switch (level) {
    case DeletionLevel::Safe:
        return QStringLiteral("safe");
    case DeletionLevel::Warn:
        return QStringLiteral("warn");
    case DeletionLevel::Never:
        break;
    }
    return QStringLiteral("never");
}

} // namespace

SettingsCli::SettingsCli(QIODevice *out, QIODevice *err)
    : m_io(out, err)
{
}

const QList<CliCommand> &SettingsCli::commands()
{
    using Files = CliCommand::Files;
    static const QList<CliCommand> table = {
        {QStringLiteral("check"),
         1,
         1,
         {},
         Files::First,
         false,
         {{QStringLiteral("check FILE"), tr("validate the file and count its items and values")}},
         &SettingsCli::check},
        {QStringLiteral("dump"),
         1,
         1,
         {},
         Files::First,
         false,
         {{QStringLiteral("dump FILE"), tr("one line per item and value")}},
         &SettingsCli::dump},
        {QStringLiteral("roundtrip"),
         1,
         1,
         {},
         Files::First,
         false,
         {{QStringLiteral("roundtrip FILE"), tr("the bytes saving the unchanged file would write")}},
         &SettingsCli::roundtrip},
        {QStringLiteral("get"),
         2,
         2,
         {},
         Files::First,
         false,
         {{QStringLiteral("get FILE PATH"), tr("the text of one value")}},
         &SettingsCli::get},
        {QStringLiteral("set"),
         2,
         -1,
         {QStringLiteral("--fingerprint")},
         Files::First,
         true,
         {{QStringLiteral("set FILE PATH=VALUE..."), tr("change values, then save with a backup")}},
         &SettingsCli::set},
        {QStringLiteral("delete"),
         2,
         -1,
         {QStringLiteral("--yes"), QStringLiteral("--fingerprint")},
         Files::First,
         true,
         {{QStringLiteral("delete FILE PATH... [--yes]"), tr("delete entries the deletion rules allow, then save")}},
         &SettingsCli::remove},
        {QStringLiteral("normalize"),
         2,
         2,
         {},
         Files::None,
         false,
         {{QStringLiteral("normalize TYPE TEXT"), tr("check TEXT as a value of TYPE (b i u F f s)")}},
         &SettingsCli::normalize},
        {QStringLiteral("label"),
         1,
         1,
         {},
         Files::None,
         false,
         {{QStringLiteral("label KEY"), tr("the readable label of a key")}},
         &SettingsCli::label},
        {QStringLiteral("verdict"),
         2,
         2,
         {},
         Files::First,
         false,
         {{QStringLiteral("verdict FILE PATH"), tr("whether an entry may be deleted, and why")}},
         &SettingsCli::verdict},
        {QStringLiteral("diff"),
         2,
         2,
         {QStringLiteral("--all")},
         Files::FirstTwo,
         false,
         {{QStringLiteral("diff FILE OTHER [--all]"), tr("values that differ between two files")}},
         &SettingsCli::diff},
        {QStringLiteral("health"),
         1,
         1,
         {},
         Files::First,
         false,
         {{QStringLiteral("health FILE"), tr("what looks wrong in the file")}},
         &SettingsCli::health},
        {QStringLiteral("modules"),
         1,
         1,
         {},
         Files::First,
         false,
         {{QStringLiteral("modules FILE"), tr("registered modules and data of unused ones")}},
         &SettingsCli::modules},
        {QStringLiteral("backups"),
         1,
         1,
         {QStringLiteral("--keep")},
         Files::First,
         true,
         {{QStringLiteral("backups FILE [--keep N]"),
           tr("list the backups; with --keep, remove all but the newest N")}},
         &SettingsCli::backups},
        {QStringLiteral("history"),
         2,
         2,
         {},
         Files::First,
         false,
         {{QStringLiteral("history FILE PATH"), tr("a value in every backup, newest first, then in the file")}},
         &SettingsCli::history},
        {QStringLiteral("restore"),
         2,
         2,
         {},
         Files::FirstTwo,
         true,
         {{QStringLiteral("restore FILE BACKUP"),
           tr("put a backup of the file back in its place (the file as it\n"
              "is now is backed up first)")}},
         &SettingsCli::restore},
        {QStringLiteral("export"),
         2,
         -1,
         {QStringLiteral("--portable"), QStringLiteral("--yes")},
         Files::First,
         true,
         {{QStringLiteral("export FILE PATH... [-o OUT | -] [--portable]"),
           tr("write the entries to a small settings file (OUT, or a name\n"
              "that says what it holds; -: the output); --portable leaves\n"
              "out what belongs to this computer alone")}},
         &SettingsCli::exportEntries},
        {QStringLiteral("import"),
         2,
         2,
         {QStringLiteral("--dry-run"), QStringLiteral("--replace"), QStringLiteral("--map"), QStringLiteral("--yes"),
          QStringLiteral("--fingerprint")},
         Files::First,
         true,
         {{QStringLiteral("import FILE SNIPPET|- [--dry-run] [--replace] [--map OLD=NEW]..."),
           tr("bring an exported snippet in, under the editor's rules, then\n"
              "save with a backup; --dry-run lists what would change (exit\n"
              "1 when something would), --replace also deletes what the\n"
              "snippet's groups hold here but it does not, --map rewrites\n"
              "paths that start with OLD")}},
         &SettingsCli::importSnippet},
        {QStringLiteral("reset"),
         2,
         -1,
         {QStringLiteral("--yes"), QStringLiteral("--fingerprint")},
         Files::First,
         true,
         {{QStringLiteral("reset FILE PATH... [--yes]"),
           tr("remove preferences so that PixInsight writes its defaults\n"
              "the next time it starts (locked and protected values stay)")}},
         &SettingsCli::reset},
        {QStringLiteral("bisect"),
         2,
         3,
         {QStringLiteral("--use-good"), QStringLiteral("--keep-current"), QStringLiteral("--from-backup")},
         Files::AfterStep,
         true,
         {{QStringLiteral("bisect start FILE GOOD"),
           tr("find the setting that makes PixInsight misbehave: test halves\n"
              "of the differences from GOOD, a backup or file that worked")},
          {QStringLiteral("bisect good|bad|skip FILE"), tr("whether the problem occurred with this round's file")},
          {QStringLiteral("bisect status FILE"), tr("where the search stands and what to do next")},
          {QStringLiteral("bisect reset FILE"),
           tr("end the search: put the file back as it was, or with\n"
              "--use-good keep it with the good value of what was found,\n"
              "or with --keep-current keep the file as it is now; when the\n"
              "search state is damaged, --from-backup puts back the file\n"
              "kept when the search started")}},
         &SettingsCli::bisect},
    };
    return table;
}

const CliCommand *SettingsCli::findCommand(const QString &name)
{
    for (const CliCommand &command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

QString SettingsCli::usage()
{
    QString text = tr("Usage: prefwright-cli COMMAND [ARGUMENTS] [--json]\n"
                      "Checks and changes a PixInsight settings file (core-NNN-pxi.settings) safely.\n"
                      "\n");
    for (const CliCommand &command : commands())
        text += command.helpText();
    return text
        + tr("\n"
             "Options:\n"
             "  --json                         machine-readable output\n"
             "  --yes                          delete entries whose deletion loses saved settings;\n"
             "                                 export: replace OUT; reset: do it\n"
             "  --all                          diff: also show statistics, window state and generated lists\n"
             "  --use-good, --keep-current,\n"
             "  --from-backup                  bisect reset: how to end the search\n"
             "  --fingerprint SHA256           set, delete, import, reset: refuse unless the file still\n"
             "                                 has this SHA-256 (the fingerprint of check --json)\n"
             "  --portable                     export: leave out window state, swap folders, thread\n"
             "                                 counts, recent files, statistics, the signing identity\n"
             "  --dry-run                      import: say what would change, write nothing\n"
             "  --replace                      import: also delete what the snippet's groups lack\n"
             "  --map OLD=NEW                  import: rewrite paths that start with OLD (repeatable)\n"
             "  --                             everything after it is an argument, not an option\n"
             "\n"
             "Exit codes: 0 success, 1 refused or problems found, 2 usage error,\n"
             "3 the file cannot be read or is not a valid settings file.\n"
             "Changes are saved only while PixInsight is closed and the file is unchanged on disk.\n");
}

QString SettingsCli::escapeField(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QLatin1String("\\\\");
            break;
        case u'\n':
            escaped += QLatin1String("\\n");
            break;
        case u'\r':
            escaped += QLatin1String("\\r");
            break;
        case u'\t':
            escaped += QLatin1String("\\t");
            break;
        default:
            escaped += c;
        }
    }
    // The other control characters as \xNN: the backslash itself is escaped, so this reads back.
    return TerminalText::printable(escaped);
}

int SettingsCli::run(const QStringList &arguments)
{
    CliOptions options;
    const int parsed = parse(arguments, &options);
    if (parsed >= 0)
        return m_io.finish(parsed);
    const CliCommand *command = findCommand(options.command);
    std::optional<InterruptHold> hold;
    if (command->writes)
        hold.emplace();
    const QStringList typed = options.positional;
    options.positional = command->withWholePaths(options.positional);
    QList<std::pair<QString, QString>> names;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        if (typed.at(i) != options.positional.at(i))
            names.append({QDir::toNativeSeparators(options.positional.at(i)), QDir::toNativeSeparators(typed.at(i))});
    }
    m_io.setTypedNames(names);
    const int code = m_io.finish((this->*command->handler)(options));
    if (const int signal = hold ? InterruptHold::received() : 0) {
        m_io.error(tr("Interrupted: the command was finished first, so nothing is left half done.\n").toUtf8());
        return 128 + signal;
    }
    return code;
}

int SettingsCli::refuseArgument(const QString &shown, const QStringList &arguments)
{
    m_io.setJson(CliOptions::wantsJson(arguments));
    return m_io.finish(fail(UsageError,
                            tr("The argument %1 is not valid UTF-8, the encoding of file names here, so "
                               "Prefwright cannot tell which file or text it means. Nothing was done.")
                                .arg(shown)));
}

// -1 to go on, otherwise the exit code.
int SettingsCli::parse(const QStringList &arguments, CliOptions *options)
{
    m_io.setJson(CliOptions::wantsJson(arguments));
    const auto usageError = [this](const QString &message) {
        return fail(UsageError, {message, tr("Run prefwright-cli --help for the commands.")});
    };
    QString error;
    switch (CliOptions::parse(arguments, options, &error)) {
    case CliOptions::Outcome::Run:
        break;
    case CliOptions::Outcome::Help:
        print(usage());
        return Success;
    case CliOptions::Outcome::Version:
        print(QStringLiteral("prefwright-cli %1").arg(QCoreApplication::applicationVersion()));
        return Success;
    case CliOptions::Outcome::Failed:
        return usageError(error);
    }
    if (options->command.isEmpty()) {
        m_io.error(usage().toUtf8());
        if (m_io.json())
            printJson(QJsonObject{{QStringLiteral("exitCode"), UsageError},
                                  {QStringLiteral("errors"), QJsonArray{tr("No command given.")}}});
        return UsageError;
    }
    if (options->command == QLatin1String("help")) {
        print(usage());
        return Success;
    }
    const CliCommand *command = findCommand(options->command);
    if (!command)
        return usageError(tr("Unknown command '%1'.").arg(options->command));
    for (const QString &given : std::as_const(options->given)) {
        if (!command->options.contains(given))
            return usageError(tr("The option %1 does not apply to %2.").arg(given, options->command));
    }
    if (!command->fits(options->positional.size()))
        return usageError(tr("Wrong number of arguments for %1.").arg(options->command));
    if (command->namesAnEmptyFile(options->positional))
        return usageError(tr("A file name given to %1 is empty.").arg(options->command));
    return -1;
}

int SettingsCli::check(const CliOptions &options)
{
    return SettingsReports(m_io).check(options.positional.at(0));
}

int SettingsCli::dump(const CliOptions &options)
{
    return SettingsReports(m_io).dump(options.positional.at(0));
}

int SettingsCli::roundtrip(const CliOptions &options)
{
    return SettingsReports(m_io).roundtrip(options.positional.at(0));
}

int SettingsCli::restore(const CliOptions &options)
{
    return BackupCommands(m_io).restore(options.positional.at(0), options.positional.at(1));
}

int SettingsCli::backups(const CliOptions &options)
{
    return BackupCommands(m_io).list(options.positional.at(0), options.keep);
}

int SettingsCli::get(const CliOptions &options)
{
    SettingsDocument document;
    if (!load(&document, options.positional.at(0)))
        return BadFile;
    QString error;
    const XsdtNode *node = ScriptedEdit::findValue(document.file().root, options.positional.at(1), &error);
    if (!node)
        return fail(Refused, error);
    if (m_io.json())
        printJson(QJsonObject{{QStringLiteral("path"), node->path()},
                              {QStringLiteral("type"), QString(node->type)},
                              {QStringLiteral("value"), node->value},
                              {QStringLiteral("compressed"), node->block != nullptr}});
    else
        print(node->value);
    return Success;
}

int SettingsCli::set(const CliOptions &options)
{
    QList<QPair<QString, QString>> assignments;
    for (const QString &argument : options.positional.mid(1)) {
        const qsizetype equals = argument.indexOf(u'=');
        if (equals < 0)
            return fail(UsageError, tr("Expected PATH=VALUE, got '%1'.").arg(argument));
        assignments.append({argument.left(equals), argument.mid(equals + 1)});
    }
    SettingsDocument document;
    SettingsSchema schema;
    DeletionPolicy policy;
    if (!load(&document, options.positional.at(0)))
        return BadFile;
    if (!loadRules(&schema, &policy))
        return Refused;
    document.setPolicy(&policy);
    ScriptedEdit edit(&document, &schema, &policy);
    QStringList refusals;
    for (const auto &[path, text] : std::as_const(assignments)) {
        QString error;
        if (!edit.setValue(path, text, &error))
            refusals << error;
    }
    return finishEdits(&document, &edit, refusals, options);
}

int SettingsCli::remove(const CliOptions &options)
{
    SettingsDocument document;
    DeletionPolicy policy;
    if (!load(&document, options.positional.at(0)))
        return BadFile;
    if (!loadRules(nullptr, &policy))
        return Refused;
    document.setPolicy(&policy);
    ScriptedEdit edit(&document, nullptr, &policy);
    QStringList refusals;
    for (const QString &path : options.positional.mid(1)) {
        QString error;
        if (!edit.requestDeletion(path, options.yes, &error))
            refusals << error;
    }
    return finishEdits(&document, &edit, refusals, options);
}

int SettingsCli::finishEdits(SettingsDocument *document, ScriptedEdit *edit, const QStringList &refusals,
                             const CliOptions &options)
{
    // All or nothing: a script must not end up with half of what it asked for.
    if (!refusals.isEmpty())
        return fail(Refused, refusals + QStringList{tr("Nothing was written.")});
    const qsizetype changes = document->pendingChangeCount();
    if (changes == 0) {
        if (m_io.json())
            printJson(QJsonObject{{QStringLiteral("saved"), false}, {QStringLiteral("changes"), 0}});
        else
            print(tr("Nothing to save: every value already has that text."));
        return Success;
    }
    if (FileIdentity::of(document->path()).links > 1)
        m_io.error((tr("warning: %1").arg(SettingsDocument::otherNamesText()) + u'\n').toUtf8());
    QString error, backup;
    if (!edit->save(options.fingerprint, &error, &backup))
        return fail(Refused, error);
    m_io.noteDone(tr("The change was saved (backup: %1).").arg(QFileInfo(backup).fileName()));
    if (m_io.json())
        printJson(QJsonObject{{QStringLiteral("saved"), true},
                              {QStringLiteral("changes"), qint64(changes)},
                              {QStringLiteral("backup"), backup}});
    else
        print(tr("Saved. Backup: %1").arg(TerminalText::printable(QFileInfo(backup).fileName())));
    return Success;
}

int SettingsCli::normalize(const CliOptions &options)
{
    const QString &type = options.positional.at(0);
    const QString &text = options.positional.at(1);
    // The codes of values that cannot be edited are known and refused; any other is a mistake.
    static const QString kKnown = QStringLiteral("biuFfstB");
    if (type.size() != 1 || !kKnown.contains(type.at(0)))
        return fail(UsageError, tr("TYPE is one of the type codes b, i, u, F, f or s; got '%1'.").arg(type));
    QString normalized, error;
    if (!normalizeValue(type.at(0), text, &normalized, &error))
        return fail(Refused, error);
    if (m_io.json())
        printJson(QJsonObject{{QStringLiteral("type"), type},
                              {QStringLiteral("text"), text},
                              {QStringLiteral("normalized"), normalized}});
    else
        print(normalized);
    return Success;
}

int SettingsCli::label(const CliOptions &options)
{
    const QString &key = options.positional.at(0);
    const QString text = SettingsSchema::humanizeKey(key);
    if (m_io.json())
        printJson(QJsonObject{{QStringLiteral("key"), key}, {QStringLiteral("label"), text}});
    else
        print(TerminalText::printable(text));
    return Success;
}

int SettingsCli::verdict(const CliOptions &options)
{
    SettingsDocument document;
    DeletionPolicy policy;
    if (!load(&document, options.positional.at(0)))
        return BadFile;
    if (!loadRules(nullptr, &policy))
        return Refused;
    const QString &path = options.positional.at(1);
    const XsdtNode *node = document.file().root.findPath(path);
    if (!node)
        return fail(Refused, tr("%1: no such setting.").arg(path));
    const DeletionVerdict verdict = policy.verdict(node);
    if (m_io.json())
        printJson(QJsonObject{{QStringLiteral("path"), ScriptedEdit::displayPath(*node)},
                              {QStringLiteral("verdict"), levelName(verdict.level)},
                              {QStringLiteral("reason"), verdict.reason}});
    else
        print(levelName(verdict.level) + u'\t' + TerminalText::printable(verdict.reason));
    return Success;
}

int SettingsCli::diff(const CliOptions &options)
{
    return SettingsReports(m_io).diff(options.positional.at(0), options.positional.at(1), options.all);
}

int SettingsCli::health(const CliOptions &options)
{
    return SettingsReports(m_io).health(options.positional.at(0));
}

int SettingsCli::modules(const CliOptions &options)
{
    return SettingsReports(m_io).modules(options.positional.at(0));
}

int SettingsCli::history(const CliOptions &options)
{
    return SettingsReports(m_io).history(options.positional.at(0), options.positional.at(1));
}

int SettingsCli::exportEntries(const CliOptions &options)
{
    return TransferCommands(m_io).exportEntries(options);
}

int SettingsCli::importSnippet(const CliOptions &options)
{
    return TransferCommands(m_io).importSnippet(options);
}

int SettingsCli::reset(const CliOptions &options)
{
    return TransferCommands(m_io).reset(options);
}

int SettingsCli::bisect(const CliOptions &options)
{
    const int endings = int(options.useGood) + int(options.keepCurrent) + int(options.fromBackup);
    if (endings > 1)
        return fail(UsageError,
                    {tr("--use-good, --keep-current and --from-backup cannot be given together."),
                     tr("Run prefwright-cli --help for the commands.")});
    const ProblemSearchCommand::Ending ending = options.useGood ? ProblemSearchCommand::Ending::UseGoodValue
        : options.keepCurrent                                   ? ProblemSearchCommand::Ending::KeepCurrent
        : options.fromBackup                                    ? ProblemSearchCommand::Ending::FromBackup
                                                                : ProblemSearchCommand::Ending::PutBack;
    return ProblemSearchCommand(m_io).run(options.positional.at(0), options.positional.mid(1), ending);
}

} // namespace pfw
