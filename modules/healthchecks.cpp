#include "modules/healthchecks.h"

#include "core/xmlwellformedness.h"
#include "core/xsdtfile.h"
#include "modules/moduleregistry.h"
#include "platform/hostenvironment.h"
#include "platform/hostlocations.h"
#include "schema/settingsschema.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>

namespace pfw {

namespace {

bool startsWithAny(const QString &text, std::initializer_list<const char *> prefixes)
{
    for (const char *prefix : prefixes) {
        if (text.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

void checkValue(XsdtNode *node, const QString &path, const SettingsSchema &schema, const HealthEnv &env,
                QList<Finding> &findings)
{
    const VariableSpec spec = schema.spec(*node);
    const QString &value = node->value;
    if ((spec.kind == WidgetKind::File || spec.kind == WidgetKind::Directory)
        && startsWithAny(path, {"Global/Preferences/", "Global/ColorManagement/"}) && !value.trimmed().isEmpty()
        && !value.startsWith(u'@') && HealthChecks::isAbsolutePath(value, env.windows) && !spec.readOnly
        && env.pathExists && !env.pathExists(value)) {
        const QString title = spec.kind == WidgetKind::Directory ? HealthChecks::tr("%1: the folder does not exist")
                                                                 : HealthChecks::tr("%1: the file does not exist");
        findings.append(
            {QStringLiteral("path-missing"),
             Finding::Warning,
             title.arg(spec.label),
             HealthChecks::tr("%1 is not on this computer. If it is a drive that is not connected right now, ignore "
                              "this; otherwise point the setting at somewhere that exists.")
                 .arg(QDir::toNativeSeparators(value)),
             {node},
             false});
    }
    if ((spec.kind == WidgetKind::File || spec.kind == WidgetKind::Directory)
        && startsWithAny(path, {"Global/Preferences/", "Global/ColorManagement/"}) && !spec.readOnly
        && HealthChecks::isForeignPath(value, env.windows)) {
        findings.append(
            {QStringLiteral("foreign-path"),
             Finding::Warning,
             HealthChecks::tr("This path is from another computer: %1").arg(spec.label),
             (env.windows ? HealthChecks::tr("%1 is a path of a Linux or macOS computer, which PixInsight cannot use "
                                             "here.")
                          : HealthChecks::tr("%1 is a Windows path, which PixInsight cannot use here."))
                     .arg(value)
                 + u' '
                 + (spec.kind == WidgetKind::Directory ? HealthChecks::tr("Choose a folder on this computer.")
                                                       : HealthChecks::tr("Choose a file on this computer.")),
             {node},
             false});
    }
    if (spec.hasRange
        && (spec.kind == WidgetKind::Int || spec.kind == WidgetKind::UInt || spec.kind == WidgetKind::Real)) {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (ok && (number < spec.min || number > spec.max))
            findings.append({QStringLiteral("out-of-range"),
                             Finding::Problem,
                             HealthChecks::tr("%1 is outside its documented range").arg(spec.label),
                             HealthChecks::tr("The value is %1; PixInsight documents %2 to %3.")
                                 .arg(value, pfw::number(spec.min), pfw::number(spec.max)),
                             {node},
                             false});
    }
    if (spec.kind == WidgetKind::Choice) {
        const qint64 chosen = value.toLongLong();
        QStringList known;
        bool found = false;
        for (const VariableChoice &choice : spec.choices) {
            found = found || choice.value == chosen;
            known << QStringLiteral("%1 = %2").arg(QString::number(choice.value), choice.text);
        }
        if (!found)
            findings.append({QStringLiteral("unknown-option"),
                             Finding::Warning,
                             HealthChecks::tr("%1 has an option value that is not recognised").arg(spec.label),
                             HealthChecks::tr("The value is %1; the known options are: %2.")
                                 .arg(value, known.join(QLatin1String(", "))),
                             {node},
                             false});
    }
}

QString programFolderCandidate(const XsdtNode &node, const QString &path)
{
    static const QRegularExpression folder(
        QStringLiteral("^(.*[/\\\\]PixInsight)[/\\\\](?:bin|rsc|color|library|etc|doc|include|lib|src)[/\\\\]"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression resources(QStringLiteral("^(.+)[/\\\\]rsc[/\\\\]"));
    QRegularExpressionMatch match = folder.match(node.value);
    if (!match.hasMatch() && path.startsWith(QLatin1String("Global/Preferences/Application/")))
        match = resources.match(node.value);
    return match.hasMatch() ? QString(match.captured(1)).replace(u'\\', u'/') : QString();
}

void checkModuleFiles(const XsdtFile &file, const QList<XsdtNode *> &values, const HealthEnv &env,
                      QList<Finding> &findings)
{
    const XsdtNode *modules = file.root.childByKey(u"Modules");
    if (!modules || modules->kind != XsdtNode::Item)
        return;
    QStringList fromFile;
    for (const XsdtNode *node : values) {
        const QString path = node->path();
        if (node->type != u's' || node->value.size() > 400 || !HealthChecks::isAbsolutePath(node->value, env.windows)
            || node->value.startsWith(u'@')
            || !startsWithAny(path, {"Global/Preferences/", "Global/ColorManagement/", "Global/FavoriteProcesses/"}))
            continue;
        const QString candidate = programFolderCandidate(*node, path);
        if (!candidate.isEmpty() && !fromFile.contains(candidate))
            fromFile << candidate;
    }
    fromFile.sort(Qt::CaseSensitive);
    QStringList candidates = fromFile;
    for (const QString &candidate : env.installCandidates)
        candidates << QString(candidate).replace(u'\\', u'/');

    QString bin;
    QStringList tried;
    for (const QString &candidate : std::as_const(candidates)) {
        if (!bin.isEmpty() || candidate.isEmpty())
            continue;
        if (!tried.contains(candidate))
            tried << candidate;
        if (!env.pathExists || env.pathExists(candidate + QLatin1String("/bin")))
            bin = candidate + QLatin1String("/bin");
    }
    if (bin.isEmpty()) {
        QStringList shown;
        for (const QString &folder : std::as_const(tried))
            shown << QDir::toNativeSeparators(folder);
        findings.append(
            {QStringLiteral("modules-unchecked"),
             Finding::Note,
             HealthChecks::tr("Module files were not checked"),
             HealthChecks::tr("The PixInsight program folder could not be found, so the registered modules could not "
                              "be matched to files. Looked in: %1.")
                 .arg(shown.isEmpty() ? HealthChecks::tr("(nowhere: no location is recorded in the file and none is "
                                                         "known for this system)")
                                      : shown.join(QLatin1String(", "))),
             {},
             false});
        return;
    }
    QList<XsdtNode *> missing;
    QStringList names;
    const QLatin1String placeholder("@pxi_bin_dir/");
    for (const auto &entry : modules->children) {
        if (entry->kind != XsdtNode::Value || entry->deleted)
            continue;
        QString moduleFile = entry->value;
        if (moduleFile.startsWith(placeholder))
            moduleFile = bin + u'/' + moduleFile.mid(placeholder.size());
        if (!HealthChecks::isAbsolutePath(moduleFile, env.windows) || !env.pathExists || env.pathExists(moduleFile))
            continue;
        missing << entry.get();
        const QString name = registryModuleName(entry->value);
        names << (name.isEmpty() ? entry->value : name);
    }
    if (!missing.isEmpty())
        findings.append(
            {QStringLiteral("module-file-missing"), Finding::Warning,
             HealthChecks::tr("%n registered modules have no file on this computer", nullptr, int(missing.size())),
             HealthChecks::tr("Listed in the module registry but not in %1: %2. PixInsight repairs its registry at "
                              "startup, so this only matters if the modules should be there.")
                 .arg(QDir::toNativeSeparators(bin), names.join(QLatin1String(", "))),
             missing, false});
}

void checkDuplicates(const XsdtNode &item, QList<Finding> &findings)
{
    QHash<QString, QList<XsdtNode *>> byKey;
    for (const auto &child : item.children) {
        if (!child->deleted)
            byKey[child->key].append(child.get());
    }
    for (const auto &child : item.children) {
        if (child->deleted)
            continue;
        const QList<XsdtNode *> &same = byKey.value(child->key);
        if (same.size() > 1 && same.constFirst() == child.get())
            findings.append(
                {QStringLiteral("duplicate-key"), Finding::Warning,
                 HealthChecks::tr("\"%1\" appears %2 times in %3")
                     .arg(child->key, QString::number(same.size()),
                          item.parent ? item.path() : HealthChecks::tr("the top level")),
                 HealthChecks::tr("A key should occur once. PixInsight reads only one of them, so the other holds "
                                  "data it never uses, or a stale copy that may be the one it picks."),
                 same, false});
    }
    for (const auto &child : item.children) {
        if (child->kind == XsdtNode::Item && !child->deleted)
            checkDuplicates(*child, findings);
    }
}

// Keys and values XML cannot carry, kept as read: a strict reader refuses the whole file.
void checkCharacters(const XsdtNode &item, QList<XsdtNode *> &found, std::optional<char32_t> *first)
{
    for (const auto &child : item.children) {
        if (child->deleted)
            continue;
        std::optional<char32_t> bad = XmlWellFormedness::firstForbidden(child->key);
        if (!bad && child->kind == XsdtNode::Value && !child->block)
            bad = XmlWellFormedness::firstForbidden(child->value);
        if (bad) {
            found << child.get();
            if (!*first)
                *first = bad;
        }
        if (child->kind == XsdtNode::Item)
            checkCharacters(*child, found, first);
    }
}

} // namespace

QString HealthChecks::severityName(Finding::Severity severity)
{
    switch (severity) {
    case Finding::Note:
        return tr("Note");
    case Finding::Warning:
        return tr("Warning");
    case Finding::Problem:
        return tr("Problem");
    default:
        return QString();
    }
}

bool HealthChecks::isAbsolutePath(const QString &text, bool windows)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    if (windows)
        return drive.match(text).hasMatch() || text.startsWith(QLatin1String("\\\\"))
            || text.startsWith(QLatin1String("//"));
    return text.startsWith(u'/') || text.startsWith(u'~');
}

bool HealthChecks::isForeignPath(const QString &text, bool windows)
{
    // Files carried from one computer to another keep the old one's folders; a path of the
    // other kind of system can never be right here.
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    static const QRegularExpression share(QStringLiteral("^\\\\\\\\[^\\\\/]+[\\\\/]"));
    if (windows)
        return startsWithAny(text, {"/home/", "/Users/", "/Volumes/", "~/"});
    return drive.match(text).hasMatch() || share.match(text).hasMatch();
}

HealthEnv HealthEnv::system()
{
    HealthEnv env;
    env.pathExists = [](const QString &path) { return QFileInfo::exists(path); };
    env.logicalProcessors = QThread::idealThreadCount();
    env.windows = HostEnvironment::builtFlavour() == PlatformFlavour::Windows;
    env.installCandidates = installFolderCandidates(HostEnvironment::system());
    return env;
}

QList<Finding> runHealthChecks(const XsdtFile &file, const SettingsSchema &schema, const HealthEnv &env)
{
    QList<Finding> findings;
    QList<XsdtNode *> values;
    for (XsdtNode *node : file.root.valueNodes()) {
        if (node->isInsideDeleted() || !node->isEditableValue())
            continue;
        const QString path = node->path();
        if (!path.startsWith(QLatin1String("Global/")))
            continue;
        values << node;
        checkValue(node, path, schema, env, findings);
    }

    if (env.logicalProcessors > 0) {
        XsdtNode *processors = file.root.findPath(u"Global/Preferences/Process/MaxProcessors");
        if (processors && processors->kind == XsdtNode::Value && !processors->deleted
            && env.logicalProcessors < processors->value.toInt())
            findings.append(
                {QStringLiteral("too-many-processors"),
                 Finding::Warning,
                 HealthChecks::tr("Maximum processors is higher than this computer has"),
                 HealthChecks::tr("The setting is %1 and this computer has %2 logical processors. This is harmless on "
                                  "the computer the file came from, but here PixInsight will simply use them all.")
                     .arg(processors->value, QString::number(env.logicalProcessors)),
                 {processors},
                 false});
    }
    if (env.logicalProcessors > 0) {
        for (const char16_t *key :
             {u"Global/Preferences/Process/MaxFileReadThreads", u"Global/Preferences/Process/MaxFileWriteThreads"}) {
            XsdtNode *threads = file.root.findPath(key);
            bool ok = false;
            const qint64 count
                = threads && threads->kind == XsdtNode::Value && !threads->deleted ? threads->value.toLongLong(&ok) : 0;
            // A few threads a processor help with slow disks; far more only fight over them.
            if (!ok || count <= qMax(4 * env.logicalProcessors, 16))
                continue;
            findings.append(
                {QStringLiteral("too-many-threads"),
                 Finding::Warning,
                 HealthChecks::tr("%1 is far higher than this computer's processors").arg(schema.spec(*threads).label),
                 HealthChecks::tr("The setting is %1 and this computer has %2 logical processors. So many threads "
                                  "compete for the disk and memory and slow PixInsight down; a value up to the number "
                                  "of processors is usual.")
                     .arg(threads->value, QString::number(env.logicalProcessors)),
                 {threads},
                 false});
        }
    }
    checkModuleFiles(file, values, env, findings);
    checkDuplicates(file.root, findings);

    QList<XsdtNode *> unwritable;
    std::optional<char32_t> first;
    checkCharacters(file.root, unwritable, &first);
    if (!unwritable.isEmpty())
        findings.append(
            {QStringLiteral("unwritable-characters"), Finding::Problem,
             HealthChecks::tr("%n settings hold characters a settings file cannot hold", nullptr,
                              int(unwritable.size())),
             HealthChecks::tr("XML does not allow control characters such as %1 in a document, and a strict reader "
                              "refuses the whole file, so PixInsight may not be able to read it. Prefwright keeps "
                              "them as they are; change or delete these settings.")
                 .arg(XmlWellFormedness::codePointName(first.value_or(0))),
             unwritable, false});

    const QList<ModuleInfo> unused = unusedModules(file, env.policy);
    if (!unused.isEmpty()) {
        QStringList names;
        qsizetype total = 0;
        for (const ModuleInfo &info : unused) {
            names << info.name;
            total += moduleValueCount(info);
        }
        findings.append(
            {QStringLiteral("unused-modules"),
             Finding::Note,
             HealthChecks::tr("%n modules have saved data but are not in the module list", nullptr, int(unused.size())),
             HealthChecks::tr("%1 (%n values in all). Uninstalled, renamed or replaced modules leave their data "
                              "behind.",
                              nullptr, int(total))
                 .arg(names.join(QLatin1String(", "))),
             {},
             true});
    }

    QList<XsdtNode *> allowing;
    QStringList labels;
    for (const char *key : {"AllowInsecureRepositories", "AllowUnsignedModuleInstallation", "AllowUnsignedRepositories",
                            "AllowUnsignedScriptExecution"}) {
        XsdtNode *node = file.root.findPath(QStringLiteral("Global/Preferences/Security/") + QLatin1String(key));
        if (node && node->kind == XsdtNode::Value && !node->deleted && node->value == u"true") {
            allowing << node;
            labels << SettingsSchema::humanizeKey(QLatin1String(key)).toLower();
        }
    }
    if (!allowing.isEmpty())
        findings.append(
            {QStringLiteral("unsigned-allowed"), Finding::Note,
             HealthChecks::tr("PixInsight is set to allow unsigned or insecure content"),
             HealthChecks::tr("Turned on: %1. That is a choice, not an error; it just lowers PixInsight's protection.")
                 .arg(labels.join(QLatin1String("; "))),
             allowing, false});

    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding &a, const Finding &b) { return a.severity > b.severity; });
    return findings;
}

} // namespace pfw
