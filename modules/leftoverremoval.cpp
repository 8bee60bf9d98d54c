#include "modules/leftoverremoval.h"

#include "platform/hostlocations.h"
#include "platform/hostservices.h"

#include <QDir>

namespace pfw {

void LeftoverRemoval::run(const QList<Leftover> &items, const QString &installFolder, const QString &userFolder,
                          const HostServices &services)
{
    QStringList userRequests;
    QStringList protectedRequests;
    for (const Leftover &item : items)
        (item.isProtected ? protectedRequests : userRequests) << leftoverRequest(item);

    if (!userRequests.isEmpty()) {
        const LeftoverResult result
            = deleteLeftovers(QString(), userFolder, userRequests, true, services.isHostRunning);
        deleted += int(result.removed.size());
        if (result.status != HelperDone)
            problemLines << result.message;
    }
    if (protectedRequests.isEmpty())
        return;
    const LeftoverResult result
        = deleteLeftovers(installFolder, QString(), protectedRequests, true, services.isHostRunning);
    deleted += int(result.removed.size());
    if (result.status == HelperDone)
        return;
    if (result.status != HelperFailed || result.failedRequests.isEmpty()) {
        problemLines << result.message;
        return;
    }
    QString heading;
    const QString blocked = helperInstallFolderProblem(installFolder, services.environment);
    if (!services.launcher.canElevate()) {
        heading = tr("Deleting these needs administrator rights, which this program cannot request on this system "
                     "yet. Delete them yourself:");
    } else if (!blocked.isEmpty()) {
        // The helper would look elsewhere for PixInsight: say so rather than elevate.
        heading = blocked + u' ' + tr("These were not deleted:");
    } else {
        const ElevatedRun run = services.launcher.runElevatedHelper(
            QStringList{QStringLiteral("--leftovers-helper"), QStringLiteral("delete")} + result.failedRequests);
        if (run.outcome == ElevatedRun::Cancelled)
            heading = tr("Administrator permission was not given, so these were not deleted:");
        else if (run.outcome == ElevatedRun::Failed)
            heading = run.failureText() + u' ' + tr("These were not deleted:");
        else if (run.exitCode == HelperHostRunning)
            heading = tr("PixInsight is running. Close it first. These were not deleted:");
        else if (run.exitCode != HelperDone)
            heading = tr("Some items could not be deleted (in use, or refused). These may remain:");
        else
            deleted += int(result.failedRequests.size());
    }
    if (heading.isEmpty())
        return;
    problemLines << heading;
    for (const QString &request : result.failedRequests) {
        int kind = 0;
        QString module;
        if (parseLeftoverRequest(request, &kind, &module))
            problemLines << QStringLiteral("   ")
                    + QDir::toNativeSeparators(leftoverPath(kind, installFolder, QString(), module));
    }
}

QString LeftoverRemoval::text() const
{
    QString text = tr("Deleted %n files or folders from disk.", nullptr, deleted);
    if (!problemLines.isEmpty())
        text += u'\n' + problemLines.join(u'\n');
    return text;
}

} // namespace pfw
