#pragma once

#include "modules/leftovers.h"

#include <QObject>
#include <QSet>
#include <QStringList>

namespace pfw {

class SettingsModel;

// Left-over files and folders queued for deletion from disk when the file is next saved. Each
// is kept as its request (kind and module name), never as a path: the path is worked out from
// the two folders again when it is used. Queueing and unqueueing are steps of the model's undo
// history, and the steps act on this queue, which lives as long as the session.
class PendingFiles final : public QObject
{
    Q_OBJECT

public:
    explicit PendingFiles(SettingsModel *model, QObject *parent = nullptr);

    void setFolders(const QString &installFolder, const QString &userFolder);
    const QString &installFolder() const { return m_installFolder; }
    const QString &userFolder() const { return m_userFolder; }

    bool isQueued(const QString &request) const { return m_queued.contains(request); }
    int count() const { return int(m_queued.size()); }
    // Sorted, so that reviews and messages come out the same each time.
    QStringList requests() const;
    // The queued items that are still on disk, measured.
    QList<Leftover> leftovers() const;

    // As a step of the undo history; returns the requests that were not queued yet.
    QStringList queue(const QStringList &requests);
    QStringList unqueue(const QStringList &requests);
    // Without a step: what undo and redo do, and a queue emptied by a save or a new file.
    void setQueued(const QStringList &requests, bool queued);
    void clear();
    // Items gone from disk leave the queue: nothing is left to delete.
    void dropVanished();

signals:
    void changed();

private:
    SettingsModel *m_model;
    QString m_installFolder;
    QString m_userFolder;
    QSet<QString> m_queued;
};

} // namespace pfw
