#pragma once

#include "core/settinghistory.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace pfw {

// Reads a setting out of a list of backups on worker threads and hands the entries to the GUI
// thread in the order of the list, each as soon as it and those before it are read. The GUI
// thread never waits for a worker.
class HistoryReader final : public QObject
{
    Q_OBJECT

public:
    explicit HistoryReader(QObject *parent = nullptr);
    ~HistoryReader() override;

    void start(const QStringList &backups, const QString &settingPath, int occurrence);
    // Stops handing entries on at once; the workers stop after the backups they are reading.
    void cancel();
    bool isRunning() const { return m_round != nullptr; }
    int total() const { return int(m_results.size()); }
    int done() const { return m_done; }

signals:
    void entryRead(const pfw::HistoryEntry &entry);
    void finished();

private:
    struct Round;
    static void work(const std::shared_ptr<Round> &round);
    void arrived(const Round *round, int index, const HistoryEntry &entry);

    std::shared_ptr<Round> m_round;
    std::vector<std::optional<HistoryEntry>> m_results;
    int m_done = 0;
};

} // namespace pfw
