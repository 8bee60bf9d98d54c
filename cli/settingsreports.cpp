#include "cli/settingsreports.h"

#include "cli/clioutput.h"
#include "cli/settingscli.h"
#include "core/backups.h"
#include "core/safewrite.h"
#include "core/settinghistory.h"
#include "core/settingsdocument.h"
#include "core/treediff.h"
#include "core/xmlwellformedness.h"
#include "modules/healthchecks.h"
#include "modules/moduleregistry.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>

namespace pfw {

namespace {

QJsonValue valueJson(const DiffEntry &entry, const XsdtNode *node)
{
    if (!node)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("type"), QString(node->type)},
                       {QStringLiteral("value"), diffSideText(entry, node)}};
}
QString diffStatusId(DiffEntry::Status status)
{
    switch (status) {
    case DiffEntry::OnlyHere:
        return QStringLiteral("onlyHere");
    case DiffEntry::OnlyThere:
        return QStringLiteral("onlyThere");
    case DiffEntry::Different:
        break;
    }
    return QStringLiteral("different");
}
QJsonArray pathsJson(const QList<XsdtNode *> &nodes)
{
    QJsonArray paths;
    for (const XsdtNode *node : nodes)
        paths << node->path();
    return paths;
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

SettingsReports::SettingsReports(CliOutput &io)
    : m_io(io)
{
}

int SettingsReports::check(const QString &path)
{
    SettingsDocument document;
    if (!m_io.load(&document, path))
        return SettingsCli::BadFile;
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
    if (SafeWrite::readFile(path, &bytes, nullptr) && SafeWrite::sha256(bytes) == document.fingerprint())
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
        m_io.printJson(
            QJsonObject{{QStringLiteral("file"), path},
                        {QStringLiteral("items"), qint64(items)},
                        {QStringLiteral("values"), qint64(values)},
                        {QStringLiteral("compactLayout"), document.compactLayout()},
                        {QStringLiteral("validUtf8"), file.validUtf8},
                        {QStringLiteral("wellFormed"), strict.wellFormed},
                        {QStringLiteral("fingerprint"), QString::fromLatin1(document.fingerprint().toHex())}});
    } else {
        m_io.print(tr("ok: %1 items, %2 values, %3")
                       .arg(QString::number(items), QString::number(values),
                            document.compactLayout() ? tr("compact layout") : tr("non-default layout")));
    }
    return SettingsCli::Success;
}

int SettingsReports::dump(const QString &file)
{
    SettingsDocument document;
    if (!m_io.load(&document, file))
        return SettingsCli::BadFile;
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
        m_io.printJson(array);
        return SettingsCli::Success;
    }
    QByteArray text;
    for (const XsdtNode *node : nodes) {
        if (node->kind == XsdtNode::Item)
            text += (SettingsCli::escapeField(node->path()) + u'/').toUtf8();
        else
            text += (SettingsCli::escapeField(node->path()) + u'\t' + SettingsCli::escapeField(QString(node->type))
                     + u'\t' + SettingsCli::escapeField(node->value))
                        .toUtf8();
        text += '\n';
    }
    m_io.output(text);
    return SettingsCli::Success;
}

int SettingsReports::roundtrip(const QString &file)
{
    SettingsDocument document;
    if (!m_io.load(&document, file))
        return SettingsCli::BadFile;
    const QByteArray bytes = document.file().serialize();
    if (m_io.json()) {
        const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        m_io.printJson(QJsonObject{{QStringLiteral("size"), qint64(bytes.size())},
                                   {QStringLiteral("sha256"), QString::fromLatin1(hash)},
                                   {QStringLiteral("identical"), document.compactLayout()}});
    } else {
        m_io.output(bytes);
    }
    return SettingsCli::Success;
}

int SettingsReports::diff(const QString &file, const QString &otherFile, bool all)
{
    SettingsDocument here, there;
    DeletionPolicy policy;
    if (!m_io.load(&here, file) || !m_io.load(&there, otherFile))
        return SettingsCli::BadFile;
    if (!m_io.loadRules(nullptr, &policy))
        return SettingsCli::Refused;
    int hidden = 0;
    QJsonArray array;
    QByteArray text;
    for (const DiffEntry &entry : diffTrees(here.file().root, there.file().root)) {
        if (!all && policy.isCompareNoise(entry.here ? entry.here : entry.there)) {
            ++hidden;
            continue;
        }
        if (m_io.json()) {
            array << QJsonObject{{QStringLiteral("path"), entry.path},
                                 {QStringLiteral("status"), diffStatusId(entry.status)},
                                 {QStringLiteral("statusText"), diffStatusText(entry)},
                                 {QStringLiteral("here"), valueJson(entry, entry.here)},
                                 {QStringLiteral("there"), valueJson(entry, entry.there)}};
            continue;
        }
        const auto shown
            = [&entry](const XsdtNode *node) { return SettingsCli::escapeField(diffSideText(entry, node)); };
        text += (SettingsCli::escapeField(entry.path) + u'\t' + diffStatusText(entry) + u'\t' + shown(entry.here)
                 + u'\t' + shown(entry.there) + u'\n')
                    .toUtf8();
    }
    if (m_io.json()) {
        m_io.printJson(QJsonObject{{QStringLiteral("differences"), array}, {QStringLiteral("hidden"), hidden}});
        return SettingsCli::Success;
    }
    m_io.output(text);
    if (hidden > 0)
        m_io.error(tr("%1 more hidden as statistics, window state or generated lists; add --all to show them.\n")
                       .arg(hidden)
                       .toUtf8());
    return SettingsCli::Success;
}

int SettingsReports::health(const QString &file)
{
    SettingsDocument document;
    SettingsSchema schema;
    DeletionPolicy policy;
    if (!m_io.load(&document, file))
        return SettingsCli::BadFile;
    if (!m_io.loadRules(&schema, &policy))
        return SettingsCli::Refused;
    HealthEnv env = HealthEnv::system();
    env.policy = &policy;
    const QList<Finding> findings = runHealthChecks(document.file(), schema, env);
    bool problems = false;
    QJsonArray array;
    for (const Finding &finding : findings) {
        problems = problems || finding.severity == Finding::Problem;
        if (m_io.json())
            array << QJsonObject{{QStringLiteral("severity"), HealthChecks::severityName(finding.severity)},
                                 {QStringLiteral("id"), finding.id},
                                 {QStringLiteral("title"), finding.title},
                                 {QStringLiteral("detail"), finding.detail},
                                 {QStringLiteral("paths"), pathsJson(finding.nodes)}};
        else
            m_io.print(HealthChecks::severityName(finding.severity) + u'\t' + finding.id + u'\t'
                       + SettingsCli::escapeField(finding.title));
    }
    if (m_io.json())
        m_io.printJson(QJsonObject{{QStringLiteral("findings"), array}});
    return problems ? SettingsCli::Refused : SettingsCli::Success;
}

int SettingsReports::modules(const QString &path)
{
    SettingsDocument document;
    if (!m_io.load(&document, path))
        return SettingsCli::BadFile;
    DeletionPolicy policy;
    if (!m_io.loadRules(nullptr, &policy))
        return SettingsCli::Refused;
    const XsdtFile &file = document.file();
    QJsonArray registered, unused;
    for (const QString &name : registeredModuleNames(file)) {
        const ModuleInfo info = moduleInfo(file, name);
        const qsizetype count = moduleValueCount(info);
        if (m_io.json())
            registered << QJsonObject{
                {QStringLiteral("name"), name},
                {QStringLiteral("values"), qint64(count)},
                {QStringLiteral("entry"), info.registryEntry ? info.registryEntry->value : QString()}};
        else
            m_io.print(QStringLiteral("registered\t%1\t%2").arg(SettingsCli::escapeField(name)).arg(count));
    }
    for (const ModuleInfo &info : unusedModules(file, &policy)) {
        const qsizetype count = moduleValueCount(info);
        if (m_io.json())
            unused << QJsonObject{{QStringLiteral("name"), info.name},
                                  {QStringLiteral("values"), qint64(count)},
                                  {QStringLiteral("paths"), pathsJson(info.dataNodes)}};
        else
            m_io.print(QStringLiteral("unused\t%1\t%2").arg(SettingsCli::escapeField(info.name)).arg(count));
    }
    if (m_io.json())
        m_io.printJson(QJsonObject{{QStringLiteral("registered"), registered}, {QStringLiteral("unused"), unused}});
    return SettingsCli::Success;
}

int SettingsReports::history(const QString &file, const QString &path)
{
    if (const QString problem = backupListingProblem(file); !problem.isEmpty())
        return m_io.fail(SettingsCli::BadFile, problem);
    // A file that cannot be read is when its backups matter most: they are read all the same.
    SettingsDocument document;
    QString loadError;
    const bool loaded = document.load(file, &loadError);
    if (loaded) {
        if (const XsdtNode *found = document.file().root.findPath(path); found && found->kind == XsdtNode::Item)
            return m_io.fail(SettingsCli::Refused, tr("%1 is a group; a history is kept for each value.").arg(path));
    }
    const auto text = [](const HistoryEntry &entry) {
        return entry.state == HistoryEntry::Invalid ? tr("(invalid)") : SettingHistory::describe(entry);
    };
    const auto state = [](const HistoryEntry &entry) {
        return entry.state == HistoryEntry::Present ? QStringLiteral("present")
            : entry.state == HistoryEntry::Absent   ? QStringLiteral("absent")
                                                    : QStringLiteral("invalid");
    };
    HistoryEntry current;
    current.source = HistoryEntry::Saved;
    // The setting get and set would reach by that path, not a key that merely reads like it.
    const QString key = SettingHistory::settingKeyOfPath(path);
    const XsdtNode *node = loaded ? SettingHistory::findOccurrence(document.file().root, key, 0) : nullptr;
    current.state = !loaded ? HistoryEntry::Invalid : node ? HistoryEntry::Present : HistoryEntry::Absent;
    current.value = node ? node->value : QString();
    bool found = node != nullptr;
    QJsonArray array;
    QByteArray lines;
    for (const QString &backup : SettingHistory::backupsNewestFirst(file)) {
        const HistoryEntry entry = SettingHistory::readBackup(backup, key, 0);
        found = found || entry.state == HistoryEntry::Present;
        const QString date = entry.date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        array << QJsonObject{
            {QStringLiteral("backup"), backup},
            {QStringLiteral("date"), date},
            {QStringLiteral("state"), state(entry)},
            {QStringLiteral("value"), entry.state == HistoryEntry::Present ? QJsonValue(entry.value) : QJsonValue()}};
        lines += (date + u'\t' + SettingsCli::escapeField(text(entry)) + u'\n').toUtf8();
    }
    if (!found && !loaded)
        return m_io.fail(SettingsCli::BadFile, loadError);
    if (!found)
        return m_io.fail(SettingsCli::Refused, tr("%1 is neither in the file nor in any of its backups.").arg(path));
    if (m_io.json()) {
        m_io.printJson(
            QJsonObject{{QStringLiteral("path"), path},
                        {QStringLiteral("backups"), array},
                        {QStringLiteral("current"),
                         QJsonObject{{QStringLiteral("state"), state(current)},
                                     {QStringLiteral("value"), node ? QJsonValue(current.value) : QJsonValue()}}}});
        return SettingsCli::Success;
    }
    m_io.output(lines + (tr("file") + u'\t' + SettingsCli::escapeField(text(current)) + u'\n').toUtf8());
    return SettingsCli::Success;
}

} // namespace pfw
