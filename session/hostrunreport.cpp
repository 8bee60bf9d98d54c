#include "session/hostrunreport.h"

#include "core/safewrite.h"
#include "core/treediff.h"
#include "core/xsdtfile.h"
#include "modules/moduleregistry.h"
#include "schema/deletionpolicy.h"

#include <QSet>

namespace pfw {

bool HostRunReport::build(const QByteArray &before, const QByteArray &after, const DeletionPolicy *policy)
{
    *this = HostRunReport();
    XsdtFile was, now;
    if (!was.parse(before) || !now.parse(after))
        return false;
    for (const DiffEntry &entry : diffTrees(now.root, was.root)) {
        if (!(policy && policy->isCompareNoise(entry.here ? entry.here : entry.there)))
            ++m_changes;
    }
    // The names of one list the other lacks, each once, in the order PixInsight lists them.
    const auto lacking = [](const QStringList &names, const QStringList &other) {
        QSet<QString> seen(other.cbegin(), other.cend());
        QStringList result;
        for (const QString &name : names) {
            if (!seen.contains(name)) {
                seen.insert(name);
                result << name;
            }
        }
        return result;
    };
    const QStringList old = registeredModuleNames(was), current = registeredModuleNames(now);
    m_modulesAdded = lacking(current, old);
    m_modulesRemoved = lacking(old, current);
    m_before = before;
    m_afterFingerprint = SafeWrite::sha256(after);
    return true;
}

QString HostRunReport::text() const
{
    // The module list is noise to the count; "0 settings" would hide that it changed.
    if (m_changes == 0 && !(m_modulesAdded.isEmpty() && m_modulesRemoved.isEmpty()))
        return tr("PixInsight changed only its module list while it ran.");
    return tr("PixInsight changed %n settings while it ran.", nullptr, m_changes);
}

QString HostRunReport::modulesText() const
{
    if (m_modulesAdded.isEmpty() && m_modulesRemoved.isEmpty())
        return QString();
    QStringList parts;
    if (!m_modulesAdded.isEmpty())
        parts << tr("added %1").arg(m_modulesAdded.join(QLatin1String(", ")));
    if (!m_modulesRemoved.isEmpty())
        parts << tr("removed %1").arg(m_modulesRemoved.join(QLatin1String(", ")));
    // What breaks installations: said apart from the count.
    return tr("Its module list changed: %1.").arg(parts.join(QLatin1String("; ")));
}

} // namespace pfw
