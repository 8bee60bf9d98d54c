#pragma once

#include "core/settingsdocument.h"
#include "modules/importplan.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace pfw {

class DeletionPolicy;
class SettingsSchema;
class XsdtFile;
struct XsdtNode;

// Chosen values of the open file copied into other settings files (PixInsight's other
// instances). Each target is read and compared first, so the values can be seen before anything
// is written; each is then saved on its own, with its own backup, through the checked save, which
// refuses when that file changed since it was read.
class InstanceCopy final
{
    Q_DECLARE_TR_FUNCTIONS(InstanceCopy)

public:
    struct Target
    {
        QString path;
        // Why it cannot take the values; empty when it can.
        QString error;
        // A hard link: the save gives this name a new file and leaves the other as it was.
        bool hasOtherNames = false;
        ImportPlan plan;
        SettingsDocument document;

        Target(const SettingsSchema *schema, const DeletionPolicy *policy)
            : plan(schema, policy)
        {
        }
        qsizetype changeCount() const { return error.isEmpty() ? plan.applicableEntries().size() : 0; }
    };

    InstanceCopy(const SettingsSchema *schema, const DeletionPolicy *policy);

    void setRunningCheck(std::function<HostRunningCheck()> check) { m_isHostRunning = std::move(check); }

    // The values to copy: entries of file, as an export takes them (pending edits as they stand).
    [[nodiscard]] bool setSource(const XsdtFile &file, const QList<const XsdtNode *> &nodes, QString *error);
    qsizetype valueCount() const { return m_valueCount; }

    // Reads and compares each target; source, the open file, is never one of them.
    void prepare(const QStringList &paths, const QString &source);
    const std::vector<std::unique_ptr<Target>> &targets() const { return m_targets; }

    // Writes what differs into targets()[index]: false with the reason when nothing was written.
    // A target with nothing to change is left untouched and succeeds with an empty backup.
    [[nodiscard]] bool copyInto(int index, QString *error, QString *backupPath);

private:
    const SettingsSchema *m_schema;
    const DeletionPolicy *m_policy;
    std::function<HostRunningCheck()> m_isHostRunning;
    XsdtFile m_snippet;
    qsizetype m_valueCount = 0;
    std::vector<std::unique_ptr<Target>> m_targets;
};

} // namespace pfw
