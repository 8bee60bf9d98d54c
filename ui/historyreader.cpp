#include "ui/historyreader.h"

#include <QCoreApplication>
#include <QMutex>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>

namespace pfw {

// What the workers of one start() share. The receiver is cleared under the lock when the round
// is cancelled, so no worker posts to a reader that has moved on or is gone.
struct HistoryReader::Round
{
    QMutex lock;
    HistoryReader *receiver = nullptr;
    QStringList backups;
    QString settingPath;
    int occurrence = 0;
    std::atomic<int> next{0};
};

namespace {

// Not the global pool: painting uses that one and would wait behind a whole history.
QThreadPool &readers()
{
    static QThreadPool pool;
    static const bool drained = [] {
        // A worker still reading at exit must be done before the backup cache is destroyed.
        qAddPostRoutine([] { readers().waitForDone(); });
        return true;
    }();
    Q_UNUSED(drained)
    return pool;
}

} // namespace

HistoryReader::HistoryReader(QObject *parent)
    : QObject(parent)
{
}

HistoryReader::~HistoryReader()
{
    cancel();
}

void HistoryReader::start(const QStringList &backups, const QString &settingPath, int occurrence)
{
    cancel();
    m_results.assign(size_t(backups.size()), std::nullopt);
    m_done = 0;
    auto round = std::make_shared<Round>();
    round->receiver = this;
    round->backups = backups;
    round->settingPath = settingPath;
    round->occurrence = occurrence;
    m_round = round;
    if (backups.isEmpty()) {
        // Finished all the same, and as late as a real round would.
        QMetaObject::invokeMethod(
            this, [this, round] { arrived(round.get(), -1, HistoryEntry()); }, Qt::QueuedConnection);
        return;
    }
    // Nobody waits on these futures: waiting for one from the GUI thread may run the work there.
    const int workers = qBound(1, QThread::idealThreadCount(), int(backups.size()));
    for (int i = 0; i < workers; ++i)
        (void)QtConcurrent::run(&readers(), &HistoryReader::work, round);
}

void HistoryReader::cancel()
{
    if (!m_round)
        return;
    {
        const QMutexLocker locker(&m_round->lock);
        m_round->receiver = nullptr;
    }
    m_round.reset();
}

void HistoryReader::work(const std::shared_ptr<Round> &round)
{
    for (;;) {
        {
            const QMutexLocker locker(&round->lock);
            if (!round->receiver)
                return;
        }
        const int index = round->next++;
        if (index >= round->backups.size())
            return;
        const HistoryEntry entry
            = SettingHistory::readBackup(round->backups.at(index), round->settingPath, round->occurrence);
        const QMutexLocker locker(&round->lock);
        if (!round->receiver)
            return;
        HistoryReader *receiver = round->receiver;
        QMetaObject::invokeMethod(
            receiver, [receiver, round, index, entry] { receiver->arrived(round.get(), index, entry); },
            Qt::QueuedConnection);
    }
}

void HistoryReader::arrived(const Round *round, int index, const HistoryEntry &entry)
{
    if (round != m_round.get())
        return;
    if (index >= 0 && size_t(index) < m_results.size())
        m_results[size_t(index)] = entry;
    // A receiver may cancel or start again from its slot: then this round is over.
    while (m_round.get() == round && size_t(m_done) < m_results.size() && m_results[size_t(m_done)]) {
        const HistoryEntry next = *m_results[size_t(m_done)];
        m_results[size_t(m_done++)].reset();
        emit entryRead(next);
    }
    if (m_round.get() == round && size_t(m_done) == m_results.size()) {
        m_round.reset();
        emit finished();
    }
}

} // namespace pfw
