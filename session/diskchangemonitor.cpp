#include "session/diskchangemonitor.h"

#include "core/settingsdocument.h"

#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace pfw {

namespace {

// One file is hashed at a time, away from the pools that painting and histories use.
struct HashPool final : QThreadPool
{
    HashPool() { setMaxThreadCount(1); }
};

QThreadPool &hashers()
{
    static HashPool pool;
    return pool;
}

} // namespace

DiskChangeMonitor::DiskChangeMonitor(QObject *parent)
    : QObject(parent)
{
}

DiskChangeMonitor::~DiskChangeMonitor()
{
    stop();
}

DiskChangeMonitor::State DiskChangeMonitor::check(const SettingsDocument &document)
{
    if (!document.isLoaded())
        return State::Same;
    if (document.path() != m_path || document.fingerprint() != m_fingerprint) {
        stop();
        m_path = document.path();
        m_fingerprint = document.fingerprint();
        m_same = document.diskIdentity();
        m_changed = FileIdentity();
    }
    const FileIdentity now = FileIdentity::of(m_path);
    if (!now.exists)
        return State::Changed;
    if (now == m_same)
        return State::Same;
    if (m_changed.exists && now == m_changed)
        return State::Changed;
    if (!m_job || now != m_jobFor)
        start(now);
    return State::Checking;
}

void DiskChangeMonitor::start(const FileIdentity &identity)
{
    stop();
    m_jobFor = identity;
    m_job = new QFutureWatcher<Hashed>(this);
    connect(m_job, &QFutureWatcher<Hashed>::finished, this, &DiskChangeMonitor::finished);
    m_job->setFuture(QtConcurrent::run(&hashers(), [path = m_path, identity] {
        Hashed hashed;
        QByteArray bytes;
        hashed.readable = SafeWrite::readFile(path, &bytes, nullptr);
        if (hashed.readable)
            hashed.fingerprint = SafeWrite::sha256(bytes);
        // Bytes read while the file changed belong to no identity.
        hashed.stable = FileIdentity::of(path) == identity;
        return hashed;
    }));
}

void DiskChangeMonitor::finished()
{
    // Finished: taking the result cannot wait for (or run) the work here.
    const Hashed hashed = m_job->future().result();
    const FileIdentity identity = m_jobFor;
    stop();
    if (!hashed.stable)
        return; // still being written: the next poll looks again
    if (hashed.readable && hashed.fingerprint == m_fingerprint)
        m_same = identity;
    else
        m_changed = identity;
    emit settled();
}

void DiskChangeMonitor::stop()
{
    if (!m_job)
        return;
    // A hash still running finishes on its own; its result goes nowhere.
    m_job->disconnect(this);
    m_job->deleteLater();
    m_job = nullptr;
}

} // namespace pfw
