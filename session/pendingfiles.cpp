#include "session/pendingfiles.h"

#include "model/settingsmodel.h"

#include <QFileInfo>
#include <QPointer>

namespace pfw {

PendingFiles::PendingFiles(SettingsModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
}

void PendingFiles::setFolders(const QString &installFolder, const QString &userFolder)
{
    m_installFolder = installFolder;
    m_userFolder = userFolder;
}

QStringList PendingFiles::requests() const
{
    QStringList requests(m_queued.cbegin(), m_queued.cend());
    requests.sort(Qt::CaseSensitive);
    return requests;
}

QList<Leftover> PendingFiles::leftovers() const
{
    QList<Leftover> items;
    for (const QString &request : requests()) {
        int kind = 0;
        QString module;
        if (!parseLeftoverRequest(request, &kind, &module))
            continue;
        const QString path = leftoverPath(kind, m_installFolder, m_userFolder, module);
        if (path.isEmpty() || !QFileInfo::exists(path))
            continue;
        Leftover item;
        item.kind = kind;
        item.module = module;
        item.path = path;
        item.isFolder = kind >= BinFolderLeftover;
        item.isProtected = kind != UserFolderLeftover;
        measureLeftover(item);
        items << item;
    }
    return items;
}

QStringList PendingFiles::queue(const QStringList &requests)
{
    QStringList added;
    for (const QString &request : requests) {
        if (!m_queued.contains(request) && !added.contains(request))
            added << request;
    }
    if (added.isEmpty())
        return added;
    setQueued(added, true);
    m_model->recordExternal(SettingsModel::ExternalChange::Queued, int(added.size()),
                            [queue = QPointer(this), added](bool redo) {
                                if (queue)
                                    queue->setQueued(added, redo);
                            });
    return added;
}

QStringList PendingFiles::unqueue(const QStringList &requests)
{
    QStringList removed;
    for (const QString &request : requests) {
        if (m_queued.contains(request) && !removed.contains(request))
            removed << request;
    }
    if (removed.isEmpty())
        return removed;
    setQueued(removed, false);
    m_model->recordExternal(SettingsModel::ExternalChange::Unqueued, int(removed.size()),
                            [queue = QPointer(this), removed](bool redo) {
                                if (queue)
                                    queue->setQueued(removed, !redo);
                            });
    return removed;
}

void PendingFiles::setQueued(const QStringList &requests, bool queued)
{
    bool changedAny = false;
    for (const QString &request : requests) {
        if (queued && !m_queued.contains(request)) {
            m_queued.insert(request);
            changedAny = true;
        } else if (!queued && m_queued.remove(request)) {
            changedAny = true;
        }
    }
    if (changedAny)
        emit changed();
}

void PendingFiles::clear()
{
    if (m_queued.isEmpty())
        return;
    m_queued.clear();
    emit changed();
}

void PendingFiles::dropVanished()
{
    QStringList gone;
    for (const QString &request : std::as_const(m_queued)) {
        int kind = 0;
        QString module;
        const QString path = parseLeftoverRequest(request, &kind, &module)
            ? leftoverPath(kind, m_installFolder, m_userFolder, module)
            : QString();
        if (path.isEmpty() || (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()))
            gone << request;
    }
    setQueued(gone, false);
}

} // namespace pfw
