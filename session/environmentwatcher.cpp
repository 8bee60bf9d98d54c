#include "session/environmentwatcher.h"

namespace pfw {

EnvironmentWatcher::EnvironmentWatcher(Probes probes, QObject *parent)
    : QObject(parent)
    , m_probes(std::move(probes))
{
    connect(&m_timer, &QTimer::timeout, this, &EnvironmentWatcher::poll);
}

void EnvironmentWatcher::start(int intervalMs)
{
    m_timer.start(intervalMs);
}

void EnvironmentWatcher::fileReplaced()
{
    m_changedOnDisk = false;
    m_reloadDue = false;
}

void EnvironmentWatcher::poll()
{
    if (m_polling)
        return;
    m_polling = true;
    const bool wasRunning = m_running;
    const HostRunningCheck running = m_probes.isHostRunning ? m_probes.isHostRunning() : HostRunningCheck();
    m_running = running.running;
    m_runningCheckError = running.error;
    const Disk disk = m_probes.disk ? m_probes.disk() : Disk::Same;
    if (disk != Disk::Checking)
        m_changedOnDisk = disk == Disk::Changed;
    const auto unsaved = [this] { return m_probes.unsavedCount ? m_probes.unsavedCount() : 0; };
    if (wasRunning && !m_running)
        m_exitUnresolved = true;
    else if (m_running)
        m_exitUnresolved = false;
    // PixInsight rewrites its settings when it exits; with nothing pending, take the new file.
    if (m_exitUnresolved && disk != Disk::Checking) {
        m_exitUnresolved = false;
        if (m_changedOnDisk && unsaved() == 0)
            m_reloadDue = true;
    }
    emit polled();
    if (m_reloadDue && !(m_probes.isBusy && m_probes.isBusy())) {
        m_reloadDue = false;
        // What was true when it fell due must still be: a change made meanwhile is never dropped.
        if (!m_running && m_changedOnDisk && unsaved() == 0)
            emit reloadRequested();
    }
    m_polling = false;
}

} // namespace pfw
