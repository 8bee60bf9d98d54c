#pragma once

#include "modules/leftovers.h"

#include <QCoreApplication>
#include <QStringList>

namespace pfw {

struct HostServices;

// Removes the leftover files queued with a save: user data here, installation items here
// first and, where that fails for lack of rights, through the elevated helper.
class LeftoverRemoval final
{
    Q_DECLARE_TR_FUNCTIONS(LeftoverRemoval)

public:
    int deleted = 0;
    QStringList problemLines;

    void run(const QList<Leftover> &items, const QString &installFolder, const QString &userFolder,
             const HostServices &services);
    // "Deleted %n files or folders from disk." and the problem lines below it.
    QString text() const;
};

} // namespace pfw
