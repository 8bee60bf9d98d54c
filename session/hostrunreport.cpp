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
    const QStringList old = registeredModuleNames(was);
    const QStringList current = registeredModuleNames(now);
    const QSet<QString> oldSet(old.cbegin(), old.cend()), currentSet(current.cbegin(), current.cend());
    for (const QString &name : current) {
        if (!oldSet.contains(name) && !m_modulesAdded.contains(name))
            m_modulesAdded << name;
    }
    for (const QString &name : old) {
        if (!currentSet.contains(name) && !m_modulesRemoved.contains(name))
            m_modulesRemoved << name;
    }
    m_before = before;
    m_afterFingerprint = SafeWrite::sha256(after);
    return true;
}

QString HostRunReport::text() const
{
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
