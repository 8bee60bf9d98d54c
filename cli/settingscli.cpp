#include "cli/settingscli.h"

#include "cli/bisectcommand.h"
#include "cli/scriptededit.h"
#include "cli/settingsreports.h"
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

struct CommandSpec
{
    const char *name;
    int minArguments;
    int maxArguments; // -1: no limit
    QStringList options;
};

const QList<CommandSpec> &commandSpecs()
{
    static const QList<CommandSpec> specs = {
        {"check", 1, 1, {}},
        {"dump", 1, 1, {}},
        {"roundtrip", 1, 1, {}},
        {"get", 2, 2, {}},
        {"set", 2, -1, {QStringLiteral("--fingerprint")}},
        {"delete", 2, -1, {QStringLiteral("--yes"), QStringLiteral("--fingerprint")}},
        {"normalize", 2, 2, {}},
        {"label", 1, 1, {}},
        {"verdict", 2, 2, {}},
        {"diff", 2, 2, {QStringLiteral("--all")}},
        {"health", 1, 1, {}},
        {"modules", 1, 1, {}},
        {"backups", 1, 1, {QStringLiteral("--keep")}},
        {"history", 2, 2, {}},
        {"bisect",
         2,
         3,
         {QStringLiteral("--use-good"), QStringLiteral("--keep-current"), QStringLiteral("--from-backup")}},
        {"restore", 2, 2, {}},
    };
    return specs;
}

const CommandSpec *findCommand(const QString &name)
{
    for (const CommandSpec &spec : commandSpecs()) {
        if (name == QLatin1String(spec.name))
            return &spec;
    }
    return nullptr;
}

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

// Every node below the root in document order, depth first.
QList<const XsdtNode *> documentOrder(const XsdtNode &root)
{
    QList<const XsdtNode *> nodes;
    QList<const XsdtNode *> stack;
    for (auto it = root.children.rbegin(); it != root.children.rend(); ++it)
        stack << it->get();
    while (!stack.isEmpty()) {
        const XsdtNode *node = stack.takeLast();
        nodes << node;
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            stack << it->get();
    }
    return nodes;
}

} // namespace

SettingsCli::SettingsCli(QIODevice *out, QIODevice *err)
    : m_io(out, err)
{
}

QString SettingsCli::usage()
{
    return tr("Usage: prefwright-cli COMMAND [ARGUMENTS] [--json]\n"
              "Checks and changes a PixInsight settings file (core-NNN-pxi.settings) safely.\n"
              "\n"
              "  check FILE                     validate the file and count its items and values\n"
              "  dump FILE                      one line per item and value\n"
              "  roundtrip FILE                 the bytes saving the unchanged file would write\n"
              "  get FILE PATH                  the text of one value\n"
              "  set FILE PATH=VALUE...         change values, then save with a backup\n"
              "  delete FILE PATH... [--yes]    delete entries the deletion rules allow, then save\n"
              "  normalize TYPE TEXT            check TEXT as a value of TYPE (b i u F f s)\n"
              "  label KEY                      the readable label of a key\n"
              "  verdict FILE PATH              whether an entry may be deleted, and why\n"
              "  diff FILE OTHER [--all]        values that differ between two files\n"
              "  health FILE                    what looks wrong in the file\n"
              "  modules FILE                   registered modules and data of unused ones\n"
              "  backups FILE [--keep N]        list the backups; with --keep, remove all but the newest N\n"
              "  history FILE PATH              a value in every backup, newest first, then in the file\n"
              "  restore FILE BACKUP            put a backup of the file back in its place (the file as it\n"
              "                                 is now is backed up first)\n"
              "  bisect start FILE GOOD         find the setting that makes PixInsight misbehave: test halves\n"
              "                                 of the differences from GOOD, a backup or file that worked\n"
              "  bisect good|bad|skip FILE      whether the problem occurred with this round's file\n"
              "  bisect status FILE             where the search stands and what to do next\n"
              "  bisect reset FILE              end the search: put the file back as it was, or with\n"
              "                                 --use-good keep it with the good value of what was found,\n"
              "                                 or with --keep-current keep the file as it is now; when the\n"
              "                                 search state is damaged, --from-backup puts back the file\n"
              "                                 kept when the search started\n"
              "\n"
              "Options:\n"
              "  --json                         machine-readable output\n"
              "  --yes                          delete entries whose deletion loses saved settings\n"
              "  --all                          diff: also show statistics, window state and generated lists\n"
              "  --use-good, --keep-current,\n"
              "  --from-backup                  bisect reset: how to end the search\n"
              "  --fingerprint SHA256           set, delete: refuse unless the file still has this SHA-256\n"
              "                                 (the fingerprint of check --json)\n"
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
    Options options;
    const int parsed = parse(arguments, &options);
    if (parsed >= 0)
        return m_io.finish(parsed);
    // A command that writes finishes what it started, whatever the terminal says meanwhile.
    static const QStringList writers{QStringLiteral("set"), QStringLiteral("delete"), QStringLiteral("backups"),
                                     QStringLiteral("bisect"), QStringLiteral("restore")};
    std::optional<InterruptHold> hold;
    if (writers.contains(options.command))
        hold.emplace();
    const int code = m_io.finish(dispatch(options));
    if (const int signal = hold ? InterruptHold::received() : 0) {
        m_io.error(tr("Interrupted: the command was finished first, so nothing is left half done.\n").toUtf8());
        return 128 + signal;
    }
    return code;
}

int SettingsCli::refuseArgument(const QString &shown, const QStringList &arguments)
{
    const qsizetype end = arguments.indexOf(QLatin1String("--"));
    m_io.setJson(arguments.mid(0, end < 0 ? arguments.size() : end).contains(QLatin1String("--json")));
    return m_io.finish(fail(UsageError,
                            tr("The argument %1 is not valid UTF-8, the encoding of file names here, so "
                               "Prefwright cannot tell which file or text it means. Nothing was done.")
                                .arg(shown)));
}

// -1 to go on, otherwise the exit code.
int SettingsCli::parse(const QStringList &arguments, Options *options)
{
    const qsizetype end = arguments.indexOf(QLatin1String("--"));
    m_io.setJson(arguments.mid(0, end < 0 ? arguments.size() : end).contains(QLatin1String("--json")));
    const auto usageError = [this](const QString &message) {
        return fail(UsageError, {message, tr("Run prefwright-cli --help for the commands.")});
    };
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        // Single-dash words are arguments: "-5" is a value to normalise, not an option.
        if (optionsEnded || !argument.startsWith(QLatin1String("--"))) {
            if (!optionsEnded && (argument == QLatin1String("-h"))) {
                print(usage());
                return Success;
            }
            if (options->command.isEmpty())
                options->command = argument;
            else
                options->positional << argument;
            continue;
        }
        QString name = argument;
        QString value;
        bool inlineValue = false;
        const qsizetype equals = argument.indexOf(u'=');
        if (equals > 0) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
            inlineValue = true;
        }
        const bool takesValue = name == QLatin1String("--keep") || name == QLatin1String("--fingerprint");
        if (inlineValue && !takesValue)
            return usageError(tr("The option %1 takes no value.").arg(name));
        if (takesValue && !inlineValue) {
            if (i + 1 >= arguments.size())
                return usageError(tr("The option %1 needs a value.").arg(name));
            value = arguments.at(++i);
        }
        if (takesValue && options->given.contains(name))
            return usageError(tr("The option %1 is given twice.").arg(name));
        if (name == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (name == QLatin1String("--help")) {
            print(usage());
            return Success;
        }
        if (name == QLatin1String("--version")) {
            print(QStringLiteral("prefwright-cli %1").arg(QCoreApplication::applicationVersion()));
            return Success;
        }
        if (name == QLatin1String("--json")) {
            options->json = true;
        } else if (name == QLatin1String("--yes")) {
            options->yes = true;
        } else if (name == QLatin1String("--all")) {
            options->all = true;
        } else if (name == QLatin1String("--use-good")) {
            options->useGood = true;
        } else if (name == QLatin1String("--keep-current")) {
            options->keepCurrent = true;
        } else if (name == QLatin1String("--from-backup")) {
            options->fromBackup = true;
        } else if (name == QLatin1String("--keep")) {
            bool ok = false;
            options->keep = value.toInt(&ok);
            if (!ok || options->keep < 0)
                return usageError(tr("--keep needs a whole number of backups, 0 or more; got '%1'.").arg(value));
        } else if (name == QLatin1String("--fingerprint")) {
            const bool hex = value.size() == 64 && std::all_of(value.cbegin(), value.cend(), [](QChar c) {
                                 return isxdigit(c.unicode()) && c.unicode() < 128;
                             });
            if (!hex)
                return usageError(
                    tr("--fingerprint needs the 64 hexadecimal digits of a SHA-256; got '%1'.").arg(value));
            options->fingerprint = value;
        } else {
            return usageError(tr("Unknown option %1.").arg(name));
        }
        if (name != QLatin1String("--json"))
            options->given << name;
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
    const CommandSpec *spec = findCommand(options->command);
    if (!spec)
        return usageError(tr("Unknown command '%1'.").arg(options->command));
    for (const QString &given : std::as_const(options->given)) {
        if (!spec->options.contains(given))
            return usageError(tr("The option %1 does not apply to %2.").arg(given, options->command));
    }
    const int count = int(options->positional.size());
    if (count < spec->minArguments || (spec->maxArguments >= 0 && count > spec->maxArguments))
        return usageError(tr("Wrong number of arguments for %1.").arg(options->command));
    return -1;
}

int SettingsCli::dispatch(const Options &options)
{
    using Handler = int (SettingsCli::*)(const Options &);
    static const QHash<QString, Handler> handlers = {
        {QStringLiteral("check"), &SettingsCli::check},
        {QStringLiteral("dump"), &SettingsCli::dump},
        {QStringLiteral("roundtrip"), &SettingsCli::roundtrip},
        {QStringLiteral("get"), &SettingsCli::get},
        {QStringLiteral("set"), &SettingsCli::set},
        {QStringLiteral("delete"), &SettingsCli::remove},
        {QStringLiteral("normalize"), &SettingsCli::normalize},
        {QStringLiteral("label"), &SettingsCli::label},
        {QStringLiteral("verdict"), &SettingsCli::verdict},
        {QStringLiteral("diff"), &SettingsCli::diff},
        {QStringLiteral("health"), &SettingsCli::health},
        {QStringLiteral("modules"), &SettingsCli::modules},
        {QStringLiteral("backups"), &SettingsCli::backups},
        {QStringLiteral("history"), &SettingsCli::history},
        {QStringLiteral("bisect"), &SettingsCli::bisect},
        {QStringLiteral("restore"), &SettingsCli::restore},
    };
    // Files are known by their whole path from here on: "link/../name" is the file the system
    // opens, not the one the text suggests, and backups go beside that one.
    Options resolved = options;
    static const QStringList withoutFile{QStringLiteral("normalize"), QStringLiteral("label")};
    if (!withoutFile.contains(options.command)) {
        // bisect's first argument is its step; every other is a file.
        const bool bisect = options.command == u"bisect";
        const int first = bisect ? 1 : 0;
        const qsizetype files = bisect                                    ? resolved.positional.size()
            : options.command == u"diff" || options.command == u"restore" ? 2
                                                                          : 1;
        for (qsizetype i = first; i < files && i < resolved.positional.size(); ++i)
            resolved.positional[i] = wholeFilePath(resolved.positional.at(i));
    }
    return (this->*handlers.value(options.command))(resolved);
}

int SettingsCli::check(const Options &options)
{
    SettingsDocument document;
    if (!load(&document, options.positional.at(0)))
        return BadFile;
    const XsdtFile &file = document.file();
    const QList<const XsdtNode *> nodes = documentOrder(file.root);
    const auto items = std::count_if(nodes.cbegin(), nodes.cend(),
                                     [](const XsdtNode *node) { return node->kind == XsdtNode::Item; });
    const qsizetype values = nodes.size() - items;
    if (!file.validUtf8)
        m_io.error(tr("warning: the file contains bytes that are not valid UTF-8 (first at line %1, column %2); "
                      "saving would replace them with the Unicode replacement character.\n")
                       .arg(file.invalidUtf8Line)
                       .arg(file.invalidUtf8Column)
                       .toUtf8());
    // What the lenient reader took, a strict one may not: the bytes are looked at as one would.
    QByteArray bytes;
    XmlWellFormedness::Report strict;
    if (SafeWrite::readFile(options.positional.at(0), &bytes, nullptr)
        && SafeWrite::sha256(bytes) == document.fingerprint())
        strict = XmlWellFormedness::check(bytes);
    // Bytes that are not UTF-8 are warned of above; a strict reader refuses those too.
    if (!strict.wellFormed && file.validUtf8)
        m_io.error(tr("warning: the file is not well-formed XML (%1 at line %2, column %3); a strict reader, possibly "
                      "PixInsight's, would refuse it.\n")
                       .arg(strict.what)
                       .arg(strict.line)
                       .arg(strict.column)
                       .toUtf8());
    if (m_io.json()) {
        printJson(QJsonObject{{QStringLiteral("file"), options.positional.at(0)},
                              {QStringLiteral("items"), qint64(items)},
                              {QStringLiteral("values"), qint64(values)},
                              {QStringLiteral("compactLayout"), document.compactLayout()},
                              {QStringLiteral("validUtf8"), file.validUtf8},
                              {QStringLiteral("wellFormed"), strict.wellFormed},
                              {QStringLiteral("fingerprint"), QString::fromLatin1(document.fingerprint().toHex())}});
    } else {
        print(tr("ok: %1 items, %2 values, %3")
                  .arg(QString::number(items), QString::number(values),
                       document.compactLayout() ? tr("compact layout") : tr("non-default layout")));
    }
    return Success;
}

int SettingsCli::dump(const Options &options)
{
    SettingsDocument document;
    if (!load(&document, options.positional.at(0)))
        return BadFile;
    const QList<const XsdtNode *> nodes = documentOrder(document.file().root);
    if (m_io.json()) {
        QJsonArray array;
        for (const XsdtNode *node : nodes) {
            QJsonObject object{{QStringLiteral("path"), node->path()}};
            if (node->kind == XsdtNode::Item) {
                object.insert(QStringLiteral("kind"), QStringLiteral("item"));
            } else {
                object.insert(QStringLiteral("kind"), QStringLiteral("value"));
                object.insert(QStringLiteral("type"), QString(node->type));
                object.insert(QStringLiteral("value"), node->value);
                if (node->block)
                    object.insert(QStringLiteral("compressed"), true);
            }
            array << object;
        }
        printJson(array);
        return Success;
    }
    QByteArray text;
    for (const XsdtNode *node : nodes) {
        if (node->kind == XsdtNode::Item)
            text += (escapeField(node->path()) + u'/').toUtf8();
        else
            text += (escapeField(node->path()) + u'\t' + escapeField(QString(node->type)) + u'\t'
                     + escapeField(node->value))
                        .toUtf8();
        text += '\n';
    }
    output(text);
    return Success;
}

int SettingsCli::roundtrip(const Options &options)
{
    SettingsDocument document;
    if (!load(&document, options.positional.at(0)))
        return BadFile;
    const QByteArray bytes = document.file().serialize();
    if (m_io.json()) {
        const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        printJson(QJsonObject{{QStringLiteral("size"), qint64(bytes.size())},
                              {QStringLiteral("sha256"), QString::fromLatin1(hash)},
                              {QStringLiteral("identical"), document.compactLayout()}});
    } else {
        output(bytes);
    }
    return Success;
}

int SettingsCli::get(const Options &options)
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

int SettingsCli::set(const Options &options)
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

int SettingsCli::remove(const Options &options)
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
                             const Options &options)
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

int SettingsCli::normalize(const Options &options)
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

int SettingsCli::label(const Options &options)
{
    const QString &key = options.positional.at(0);
    const QString text = SettingsSchema::humanizeKey(key);
    if (m_io.json())
        printJson(QJsonObject{{QStringLiteral("key"), key}, {QStringLiteral("label"), text}});
    else
        print(TerminalText::printable(text));
    return Success;
}

int SettingsCli::verdict(const Options &options)
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

int SettingsCli::diff(const Options &options)
{
    return SettingsReports(m_io).diff(options.positional.at(0), options.positional.at(1), options.all);
}

int SettingsCli::health(const Options &options)
{
    return SettingsReports(m_io).health(options.positional.at(0));
}

int SettingsCli::modules(const Options &options)
{
    return SettingsReports(m_io).modules(options.positional.at(0));
}

int SettingsCli::history(const Options &options)
{
    return SettingsReports(m_io).history(options.positional.at(0), options.positional.at(1));
}

int SettingsCli::restore(const Options &options)
{
    const QString &file = options.positional.at(0);
    const QString &backup = options.positional.at(1);
    // As the window offers them: only this file's own backups.
    if (!QFileInfo::exists(backup) && !QFileInfo(backup).isSymLink())
        return fail(Refused, tr("%1 does not exist.").arg(QDir::toNativeSeparators(backup)));
    if (!isBackupOf(file, backup))
        return fail(
            Refused,
            tr("%1 is not a backup of %2 (its backups are beside it, named %3.bak-...).")
                .arg(QDir::toNativeSeparators(backup), QDir::toNativeSeparators(file), QFileInfo(file).fileName()));
    SettingsDocument document;
    QString error, kept;
    if (!document.restoreFile(file, backup, &error, &kept))
        return fail(Refused, error);
    // Put back as it was written, faults and all: the user is told, as check would.
    QByteArray restored;
    if (SafeWrite::readFile(file, &restored, nullptr)) {
        if (const XmlWellFormedness::Report strict = XmlWellFormedness::check(restored); !strict.wellFormed)
            m_io.error(tr("warning: the restored file is not well-formed XML (%1 at line %2, column %3); a strict "
                          "reader, possibly PixInsight's, would refuse it.\n")
                           .arg(strict.what)
                           .arg(strict.line)
                           .arg(strict.column)
                           .toUtf8());
    }
    const QString done = kept.isEmpty() ? tr("Restored %1.").arg(QFileInfo(backup).fileName())
                                        : tr("Restored %1. The file as it was is kept in %2.")
                                              .arg(QFileInfo(backup).fileName(), QFileInfo(kept).fileName());
    m_io.noteDone(done);
    if (m_io.json())
        printJson(QJsonObject{{QStringLiteral("restored"), backup}, {QStringLiteral("backup"), kept}});
    else
        print(TerminalText::printable(done));
    return Success;
}

int SettingsCli::bisect(const Options &options)
{
    const int endings = int(options.useGood) + int(options.keepCurrent) + int(options.fromBackup);
    if (endings > 1)
        return fail(UsageError,
                    {tr("--use-good, --keep-current and --from-backup cannot be given together."),
                     tr("Run prefwright-cli --help for the commands.")});
    const BisectCommand::Ending ending = options.useGood ? BisectCommand::Ending::UseGoodValue
        : options.keepCurrent                            ? BisectCommand::Ending::KeepCurrent
        : options.fromBackup                             ? BisectCommand::Ending::FromBackup
                                                         : BisectCommand::Ending::PutBack;
    return BisectCommand(m_io).run(options.positional.at(0), options.positional.mid(1), ending);
}

int SettingsCli::backups(const Options &options)
{
    // The settings file itself is not read: its backups matter most when it is damaged or gone.
    const QString &path = options.positional.at(0);
    const QFileInfo given(path);
    if (given.isDir())
        return fail(BadFile, tr("Cannot read %1: It is a folder.").arg(QDir::toNativeSeparators(path)));
    const QStringList found = listBackups(path);
    if (found.isEmpty() && !given.exists() && !given.isSymLink())
        return fail(BadFile,
                    tr("Cannot read %1: It does not exist, and there are no backups of it.")
                        .arg(QDir::toNativeSeparators(path)));
    if (options.keep < 0) {
        QJsonArray array;
        for (const QString &backup : found) {
            const QFileInfo info(backup);
            const QString modified = info.lastModified().toString(Qt::ISODate);
            if (m_io.json())
                array << QJsonObject{{QStringLiteral("path"), QDir::toNativeSeparators(backup)},
                                     {QStringLiteral("size"), info.size()},
                                     {QStringLiteral("modified"), modified}};
            else
                print(QStringLiteral("%1\t%2\t%3")
                          .arg(modified, QString::number(info.size()), escapeField(QDir::toNativeSeparators(backup))));
        }
        if (m_io.json())
            printJson(QJsonObject{{QStringLiteral("backups"), array}});
        return Success;
    }
    const BackupRemoval removal = pruneBackups(path, options.keep, true);
    if (!removal.error.isEmpty())
        return fail(Refused, removal.error);
    if (removal.removed > 0)
        m_io.noteDone(describeRemoval(removal));
    if (m_io.json())
        printJson(QJsonObject{{QStringLiteral("removed"), removal.removed},
                              {QStringLiteral("movedToTrash"), removal.movedToTrash},
                              {QStringLiteral("trashed"), removal.trashed},
                              {QStringLiteral("deleted"), removal.deleted},
                              {QStringLiteral("bytes"), removal.bytes},
                              {QStringLiteral("notRemoved"), QJsonArray::fromStringList(removal.notRemoved)},
                              {QStringLiteral("skipped"), QJsonArray::fromStringList(removal.skipped)},
                              {QStringLiteral("keptForSearch"), QJsonArray::fromStringList(removal.keptForSearch)}});
    else
        print(TerminalText::printable(describeRemoval(removal)));
    return removal.notRemoved.isEmpty() ? Success : Refused;
}

} // namespace pfw
