#include "modules/instancecopy.h"

#include "core/fileidentity.h"
#include "modules/settingsexport.h"

namespace pfw {

namespace {

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

InstanceCopy::InstanceCopy(const SettingsSchema *schema, const DeletionPolicy *policy)
    : m_schema(schema)
    , m_policy(policy)
{
}

bool InstanceCopy::setSource(const XsdtFile &file, const QList<const XsdtNode *> &nodes, QString *error)
{
    // The values go over as an export would write them, so a copy holds exactly what an export
    // and an import would carry, by the same rules.
    SettingsExport::Result exported;
    if (!SettingsExport::build(file, nodes, nullptr, &exported, error))
        return false;
    QString parseError;
    if (!m_snippet.parse(exported.bytes, &parseError))
        return fail(error, tr("Internal error: the values to copy do not read back (%1).").arg(parseError));
    m_valueCount = exported.valueCount;
    return true;
}

void InstanceCopy::prepare(const QStringList &paths, const QString &source)
{
    m_targets.clear();
    for (const QString &path : paths) {
        if (SettingsExport::isSameFile(path, source))
            continue;
        auto target = std::make_unique<Target>(m_schema, m_policy);
        target->path = path;
        target->hasOtherNames = FileIdentity::of(path).links > 1;
        target->document.setPolicy(m_policy);
        if (m_isHostRunning)
            target->document.setRunningCheck(m_isHostRunning);
        QString error;
        if (!target->document.load(path, &error)) {
            target->error = error;
        } else if (!target->document.file().validUtf8) {
            // Saving would put U+FFFD in place of what those bytes hold.
            target->error = tr("It holds bytes that are not valid UTF-8 (first at line %1, column %2); open it in "
                               "Prefwright to review that first.")
                                .arg(target->document.file().invalidUtf8Line)
                                .arg(target->document.file().invalidUtf8Column);
        } else {
            target->plan.compute(m_snippet.root, target->document.file().root);
        }
        m_targets.push_back(std::move(target));
    }
}

bool InstanceCopy::copyInto(int index, QString *error, QString *backupPath)
{
    if (backupPath)
        backupPath->clear();
    if (index < 0 || index >= int(m_targets.size()))
        return fail(error, tr("No such file."));
    Target &target = *m_targets.at(std::size_t(index));
    if (!target.error.isEmpty())
        return fail(error, target.error);
    // Applied only now, and once: a second call finds them pending already.
    if (target.document.pendingChangeCount() == 0) {
        const QList<int> entries = target.plan.applicableEntries();
        if (entries.isEmpty())
            return true;
        // What cannot be placed is not dropped in silence: the file keeps all it had.
        if (target.plan.apply(target.document.file().root, entries, {}) != entries.size()) {
            target.document.file().root.revertAll();
            target.error = tr("Not every value could be placed in it. Nothing was written.");
            return fail(error, target.error);
        }
    }
    return target.document.save(error, backupPath);
}

} // namespace pfw
