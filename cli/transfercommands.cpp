#include "cli/transfercommands.h"

#include "cli/clioptions.h"
#include "cli/clioutput.h"
#include "cli/scriptededit.h"
#include "cli/settingscli.h"
#include "core/atomicfile.h"
#include "core/fileidentity.h"
#include "core/safewrite.h"
#include "core/settingsdocument.h"
#include "core/terminaltext.h"
#include "core/xsdtfile.h"
#include "core/xsdtnode.h"
#include "modules/defaultsreset.h"
#include "modules/importplan.h"
#include "modules/settingsexport.h"
#include "platform/interrupthold.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

#include <cstdio>

namespace pfw {

namespace {

QString field(const QString &text)
{
    return SettingsCli::escapeField(text);
}

// The entry at a path as the user writes it; "/" is the whole file.
const XsdtNode *findEntry(const XsdtNode &root, const QString &path)
{
    if (path == u"/" || path.isEmpty())
        return &root;
    return root.findPath(path);
}

QString statusId(ImportPlan::Entry::Status status)
{
    switch (status) {
    case ImportPlan::Entry::New:
        return QStringLiteral("new");
    case ImportPlan::Entry::Different:
        return QStringLiteral("change");
    case ImportPlan::Entry::Same:
        return QStringLiteral("same");
    case ImportPlan::Entry::Refused:
        break;
    }
    return QStringLiteral("refused");
}

} // namespace

TransferCommands::TransferCommands(CliOutput &io)
    : m_io(io)
{
}

int TransferCommands::exportEntries(const CliOptions &options)
{
    const QString &file = options.positional.at(0);
    QStringList paths;
    QString out;
    bool toOutput = false;
    const QStringList rest = options.positional.mid(1);
    for (qsizetype i = 0; i < rest.size(); ++i) {
        if (rest.at(i) == u"-o") {
            if (i + 1 >= rest.size() || !out.isEmpty() || toOutput)
                return m_io.fail(SettingsCli::UsageError, tr("-o needs one file name, given once."));
            out = rest.at(++i);
            // "-o -" is the standard output, as "-" alone is.
            if (out == u"-") {
                out.clear();
                toOutput = true;
                continue;
            }
            if (out.isEmpty())
                return m_io.fail(SettingsCli::UsageError, tr("A file name given to export is empty."));
        } else if (rest.at(i) == u"-") {
            if (!out.isEmpty() || toOutput)
                return m_io.fail(SettingsCli::UsageError, tr("Give either -o OUT or -, once."));
            toOutput = true;
        } else if (rest.at(i).isEmpty()) {
            return m_io.fail(SettingsCli::UsageError, tr("A PATH given to export is empty; / is the whole file."));
        } else {
            paths << rest.at(i);
        }
    }
    if (paths.isEmpty())
        return m_io.fail(SettingsCli::UsageError, tr("Name at least one PATH to export (/ for the whole file)."));
    if (toOutput && m_io.json())
        return m_io.fail(SettingsCli::UsageError, tr("--json cannot go with -: the snippet itself is the output."));
    SettingsDocument document;
    SettingsSchema schema;
    DeletionPolicy policy;
    if (!m_io.load(&document, file))
        return SettingsCli::BadFile;
    if (!m_io.loadRules(&schema, &policy))
        return SettingsCli::Refused;
    QList<const XsdtNode *> nodes;
    QStringList missing;
    for (const QString &path : std::as_const(paths)) {
        if (const XsdtNode *node = findEntry(document.file().root, path))
            nodes << node;
        else
            missing << tr("No entry at %1.").arg(path);
    }
    if (!missing.isEmpty())
        return m_io.fail(SettingsCli::Refused, missing + QStringList{tr("Nothing was written.")});
    SettingsExport::Result result;
    QString error;
    if (!SettingsExport::build(document.file(), nodes, options.portable ? &policy : nullptr, &result, &error))
        return m_io.fail(SettingsCli::Refused, error);
    const QString leftOut = result.leftOut.isEmpty()
        ? QString()
        : tr("Left out as this computer's own: %1.").arg(result.leftOut.join(QLatin1String(", ")));
    if (toOutput) {
        m_io.output(result.bytes);
        if (!leftOut.isEmpty())
            m_io.error((leftOut + u'\n').toUtf8());
        return SettingsCli::Success;
    }
    if (out.isEmpty())
        out = QDir::current().absoluteFilePath(SettingsExport::defaultFileName(&schema, document.file(), nodes));
    else
        out = QFileInfo(out).absoluteFilePath();
    if (QFileInfo::exists(out) && !QFileInfo(out).isDir() && !options.yes)
        return m_io.fail(
            SettingsCli::Refused,
            tr("%1 already exists; add --yes to replace it. Nothing was written.").arg(QDir::toNativeSeparators(out)));
    if (!SettingsExport::writeSnippet(out, document.path(), result.bytes, &error))
        return m_io.fail(SettingsCli::Refused, error);
    if (m_io.json()) {
        m_io.printJson(QJsonObject{{QStringLiteral("written"), out},
                                   {QStringLiteral("values"), qint64(result.valueCount)},
                                   {QStringLiteral("leftOut"), QJsonArray::fromStringList(result.leftOut)}});
        return SettingsCli::Success;
    }
    m_io.print(tr("Exported %n values to %1.", nullptr, int(result.valueCount))
                   .arg(TerminalText::printable(QDir::toNativeSeparators(out))));
    if (!leftOut.isEmpty())
        m_io.print(leftOut);
    return SettingsCli::Success;
}

int TransferCommands::importSnippet(const CliOptions &options)
{
    const QString &snippetName = options.positional.at(1);
    QList<ImportPlan::PathMap> maps;
    for (const QString &text : options.maps) {
        ImportPlan::PathMap map;
        if (!ImportPlan::parsePathMap(text, &map))
            return m_io.fail(SettingsCli::UsageError, tr("--map needs OLD=NEW, both folders; got '%1'.").arg(text));
        // PixInsight reads a path from the folder it starts in, not from where this runs.
        if (!ImportPlan::isFolderPathHere(map.to))
            return m_io.fail(SettingsCli::UsageError,
                             tr("--map needs NEW as a whole folder path of this computer; got '%1'.").arg(map.to));
        for (const ImportPlan::PathMap &earlier : std::as_const(maps)) {
            if (ImportPlan::sameFolder(earlier.from, map.from))
                return m_io.fail(SettingsCli::UsageError,
                                 tr("--map is given twice for %1; say where it goes once.").arg(map.from));
        }
        maps << map;
    }
    QByteArray bytes;
    QString error;
    if (snippetName == u"-") {
        QFile in;
        if (!in.open(0, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            return m_io.fail(SettingsCli::BadFile, tr("The standard input cannot be read."));
        // A pipe hands over what its writer has written so far: read on to its end.
        for (;;) {
            const QByteArray chunk = in.read(qint64(1) << 20);
            if (chunk.isEmpty()) {
                if (in.error() != QFileDevice::NoError)
                    return m_io.fail(SettingsCli::BadFile,
                                     tr("The standard input cannot be read: %1").arg(in.errorString()));
                break;
            }
            bytes += chunk;
            if (bytes.size() > SafeWrite::kMaxFileSize)
                return m_io.fail(SettingsCli::BadFile, tr("The standard input holds more than a settings file can."));
        }
    } else if (!SafeWrite::readFile(snippetName, &bytes, &error)) {
        return m_io.fail(SettingsCli::BadFile, error);
    }
    XsdtFile snippet;
    if (!SettingsDocument::parseSettingsFile(snippetName == u"-" ? tr("The standard input") : snippetName, bytes,
                                             &snippet, &error))
        return m_io.fail(SettingsCli::BadFile, error);
    // Its text would come in with U+FFFD in place of what it really holds.
    if (!snippet.validUtf8)
        return m_io.fail(SettingsCli::BadFile,
                         tr("%1 holds bytes that are not valid UTF-8 (first at line %2, column %3), so its texts "
                            "cannot be taken as they are. Nothing was written.")
                             .arg(snippetName == u"-" ? tr("The standard input") : snippetName)
                             .arg(snippet.invalidUtf8Line)
                             .arg(snippet.invalidUtf8Column));
    SettingsDocument document;
    SettingsSchema schema;
    DeletionPolicy policy;
    if (!m_io.load(&document, options.positional.at(0)))
        return SettingsCli::BadFile;
    if (!m_io.loadRules(&schema, &policy))
        return SettingsCli::Refused;
    document.setPolicy(&policy);
    QStringList absent;
    for (const ImportPlan::PathMap &map : std::as_const(maps)) {
        if (!QFileInfo(map.to).isDir())
            absent << tr("The folder %1 does not exist on this computer.").arg(map.to);
    }
    if (!absent.isEmpty() && !options.yes)
        return m_io.fail(SettingsCli::Refused,
                         absent + QStringList{tr("Add --yes to rewrite to it anyway. Nothing was written.")});

    ImportPlan plan(&schema, &policy);
    plan.setPathMaps(maps);
    plan.setReplace(options.replace);
    plan.compute(snippet.root, document.file().root);

    QJsonArray entries, removals;
    QByteArray text;
    qsizetype same = 0;
    for (const ImportPlan::Entry &entry : plan.entries()) {
        if (entry.status == ImportPlan::Entry::Same) {
            ++same;
            continue;
        }
        if (m_io.json()) {
            QJsonObject object{{QStringLiteral("path"), entry.path},
                               {QStringLiteral("label"), entry.label},
                               {QStringLiteral("status"), statusId(entry.status)},
                               {QStringLiteral("here"), entry.target ? QJsonValue(entry.here) : QJsonValue()},
                               {QStringLiteral("incoming"), entry.incoming}};
            if (!entry.reason.isEmpty())
                object.insert(QStringLiteral("reason"), entry.reason);
            if (!entry.rewrittenFrom.isEmpty())
                object.insert(QStringLiteral("rewrittenFrom"), entry.rewrittenFrom);
            entries << object;
            continue;
        }
        QString line = statusId(entry.status) + u'\t' + field(entry.path);
        if (entry.status == ImportPlan::Entry::Refused)
            line += u'\t' + field(entry.reason);
        else if (entry.status == ImportPlan::Entry::Different)
            line += u'\t' + field(entry.here) + u'\t' + field(entry.incoming);
        else if (!entry.item)
            line += u'\t' + field(entry.incoming);
        text += (line + u'\n').toUtf8();
    }
    for (const ImportPlan::Removal &removal : plan.removals()) {
        const bool goes = removal.allowed && (options.yes || !removal.needsConfirmation);
        const QString reason = !removal.allowed ? removal.reason
            : goes                              ? QString()
                                                : tr("needs --yes: %1").arg(removal.reason);
        if (m_io.json()) {
            removals << QJsonObject{{QStringLiteral("path"), removal.path},
                                    {QStringLiteral("delete"), goes},
                                    {QStringLiteral("reason"), reason}};
            continue;
        }
        text += ((goes ? QStringLiteral("delete\t") : QStringLiteral("kept\t")) + field(removal.path)
                 + (reason.isEmpty() ? QString() : u'\t' + field(reason)) + u'\n')
                    .toUtf8();
    }
    const QStringList missingPaths = plan.missingPaths([](const QString &path) { return QFileInfo::exists(path); });
    const QList<int> chosen = plan.applicableEntries();
    const QList<int> chosenRemovals = plan.applicableRemovals(options.yes);
    const qsizetype changes = chosen.size() + chosenRemovals.size();
    QJsonObject report{{QStringLiteral("entries"), entries},
                       {QStringLiteral("removals"), removals},
                       {QStringLiteral("same"), qint64(same)},
                       {QStringLiteral("missingPaths"), QJsonArray::fromStringList(missingPaths)}};
    if (!m_io.json()) {
        m_io.output(text);
        if (!missingPaths.isEmpty()) {
            QString warning = tr("warning: %n paths do not exist on this computer:", nullptr, int(missingPaths.size()));
            for (const QString &path : missingPaths)
                warning += QStringLiteral("\n  ") + path;
            const ImportPlan::PathMap suggestion
                = maps.isEmpty() ? ImportPlan::suggestMap(missingPaths, {QDir::homePath()}) : ImportPlan::PathMap();
            if (!suggestion.from.isEmpty())
                warning += u'\n'
                    + tr("A rewrite such as --map \"%1=%2\" may bring them home.")
                          .arg(suggestion.from, QDir::toNativeSeparators(suggestion.to));
            m_io.error((warning + u'\n').toUtf8());
        }
    }
    if (options.dryRun) {
        if (m_io.json()) {
            report.insert(QStringLiteral("changes"), qint64(changes));
            report.insert(QStringLiteral("saved"), false);
            m_io.printJson(report);
        } else if (changes == 0) {
            m_io.print(tr("Nothing would change."));
        }
        // As diff does: 1 when there is a difference to apply.
        return changes > 0 ? SettingsCli::Refused : SettingsCli::Success;
    }
    if (plan.apply(document.file().root, chosen, chosenRemovals) != changes)
        return m_io.fail(SettingsCli::Refused,
                         tr("Not every entry could be placed in the file, so nothing was written."));
    ScriptedEdit edit(&document, &schema, &policy);
    return save(&document, &edit, options, report,
                tr("%n changes were imported", nullptr, int(document.pendingChangeCount())));
}

int TransferCommands::reset(const CliOptions &options)
{
    SettingsDocument document;
    SettingsSchema schema;
    DeletionPolicy policy;
    if (!m_io.load(&document, options.positional.at(0)))
        return SettingsCli::BadFile;
    if (!m_io.loadRules(&schema, &policy))
        return SettingsCli::Refused;
    document.setPolicy(&policy);
    DefaultsReset resetter(&schema, &policy, &document.file());
    QList<XsdtNode *> values;
    QSet<const XsdtNode *> seen;
    QStringList refusals;
    qsizetype kept = 0;
    for (const QString &path : options.positional.mid(1)) {
        // An unset variable in a script must not reset every page.
        if (path.isEmpty() || path == u"/")
            return m_io.fail(SettingsCli::UsageError,
                             tr("Name the preferences to reset: a value, a section or a page (an empty PATH or / "
                                "would be every page)."));
        const XsdtNode *node = findEntry(document.file().root, path);
        if (!node) {
            refusals << tr("No entry at %1.").arg(path);
            continue;
        }
        qsizetype left = 0;
        const QList<XsdtNode *> found = resetter.values(*node, &left);
        if (found.isEmpty() && !resetter.isOnAPage(*node) && node->parent) {
            refusals << tr("%1 is not on a Preferences page, so PixInsight has no default to write for it; delete "
                           "removes other entries.")
                            .arg(path);
            continue;
        }
        kept += left;
        for (XsdtNode *value : found) {
            if (!seen.contains(value)) {
                seen.insert(value);
                values << value;
            }
        }
    }
    if (!refusals.isEmpty())
        return m_io.fail(SettingsCli::Refused, refusals + QStringList{tr("Nothing was written.")});
    QJsonArray paths;
    QByteArray text;
    for (const XsdtNode *value : std::as_const(values)) {
        paths << value->path();
        text += (QStringLiteral("reset\t") + field(value->path()) + u'\t' + field(value->value) + u'\n').toUtf8();
    }
    QJsonObject report{{QStringLiteral("reset"), paths}, {QStringLiteral("kept"), qint64(kept)}};
    if (!m_io.json())
        m_io.output(text);
    if (kept > 0 && !m_io.json())
        m_io.error(tr("%n locked, protected or read-only values stay as they are.\n", nullptr, int(kept)).toUtf8());
    if (values.isEmpty()) {
        if (m_io.json()) {
            report.insert(QStringLiteral("saved"), false);
            m_io.printJson(report);
        } else {
            m_io.print(tr("Nothing to reset."));
        }
        return SettingsCli::Success;
    }
    if (!options.yes)
        return m_io.fail(SettingsCli::Refused,
                         tr("Add --yes to reset these %n values to PixInsight's defaults. Nothing was written.",
                            nullptr, int(values.size())));
    DefaultsReset::queue(values);
    ScriptedEdit edit(&document, &schema, &policy);
    return save(&document, &edit, options, report,
                tr("%n values were reset; PixInsight writes its defaults the next time it starts", nullptr,
                   int(values.size())));
}

int TransferCommands::save(SettingsDocument *document, ScriptedEdit *edit, const CliOptions &options,
                           QJsonObject report, const QString &done)
{
    const qsizetype changes = document->pendingChangeCount();
    report.insert(QStringLiteral("changes"), qint64(changes));
    if (changes == 0) {
        report.insert(QStringLiteral("saved"), false);
        if (m_io.json())
            m_io.printJson(report);
        else
            m_io.print(tr("Nothing to save: the file already holds all of it."));
        return SettingsCli::Success;
    }
    // A long import may be interrupted before it writes: then nothing is written at all.
    if (InterruptHold::received() != 0)
        return m_io.fail(SettingsCli::Refused, tr("Interrupted before the save. Nothing was written."));
    if (FileIdentity::of(document->path()).links > 1)
        m_io.error((tr("warning: %1").arg(SettingsDocument::otherNamesText()) + u'\n').toUtf8());
    QString error, backup;
    if (!edit->save(options.fingerprint, &error, &backup))
        return m_io.fail(SettingsCli::Refused, error);
    m_io.noteDone(tr("%1 (backup: %2).").arg(done, QFileInfo(backup).fileName()));
    report.insert(QStringLiteral("saved"), true);
    report.insert(QStringLiteral("backup"), backup);
    if (m_io.json())
        m_io.printJson(report);
    else
        m_io.print(tr("Saved. Backup: %1").arg(TerminalText::printable(QFileInfo(backup).fileName())));
    return SettingsCli::Success;
}

} // namespace pfw
