#include "cli/settingsreports.h"

#include "cli/clioutput.h"
#include "cli/settingscli.h"
#include "core/backups.h"
#include "core/settinghistory.h"
#include "core/settingsdocument.h"
#include "core/treediff.h"
#include "modules/healthchecks.h"
#include "modules/moduleregistry.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

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
} // namespace

SettingsReports::SettingsReports(CliOutput &io)
    : m_io(io)
{
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
