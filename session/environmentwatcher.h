#pragma once

#include "platform/hostprocesses.h"
#include "session/diskchangemonitor.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace pfw {

// The environment poll: whether PixInsight runs and whether the open file changed on disk,
// every few seconds. When PixInsight exits having rewritten the file and nothing is pending,
// a reload is due (an exit is kept in mind while the file is still being checked); it is asked for only while nothing holds pointers into the tree (no dialog,
// menu or in-place editor open, no window code running below the poll), else on a later poll.
class EnvironmentWatcher final : public QObject
{
    Q_OBJECT

public:
    // Whether the file on disk is still the one loaded; Checking while that is being found out.
    using Disk = DiskChangeMonitor::State;

    struct Probes
    {
        std::function<HostRunningCheck()> isHostRunning;
        std::function<Disk()> disk;
        std::function<int()> unsavedCount;
        std::function<bool()> isBusy;
    };

    explicit EnvironmentWatcher(Probes probes, QObject *parent = nullptr);

    void start(int intervalMs = 3000);
    bool isHostRunning() const { return m_running; }
    // Why the running check could not be made at the latest poll, or nothing.
    QString runningCheckError() const { return m_runningCheckError; }
    bool isChangedOnDisk() const { return m_changedOnDisk; }
    bool isReloadDue() const { return m_reloadDue; }

    // Another file was opened, or this one read again: what was seen on disk no longer holds.
    void fileReplaced();

public slots:
    void poll();

signals:
    // The running and changed-on-disk states are current; banners may follow at once.
    void polled();
    void reloadRequested();

private:
    Probes m_probes;
    QTimer m_timer;
    bool m_running = false;
    QString m_runningCheckError;
    bool m_changedOnDisk = false;
    bool m_reloadDue = false;
    // PixInsight has exited and whether it left a new file is not known yet.
    bool m_exitUnresolved = false;
    bool m_polling = false;
};

} // namespace pfw
