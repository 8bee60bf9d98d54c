#pragma once

#include <QCoreApplication>
#include <QLockFile>
#include <QString>

namespace pfw {

// The exclusive right to rewrite one file, held by every Prefwright writer (editor, command-line
// tool, helpers) from its checks to its read-back. A lock file beside the target records the
// holder; a lock left by a process that died is taken over.
class WriterLock final
{
    Q_DECLARE_TR_FUNCTIONS(WriterLock)

public:
    // How long a live holder is waited for before giving up.
    static constexpr int kDefaultWaitMs = 5000;

    explicit WriterLock(const QString &targetPath);
    ~WriterLock() = default;
    WriterLock(const WriterLock &) = delete;
    WriterLock &operator=(const WriterLock &) = delete;

    // False with a sentence naming the holder when it cannot be had in time.
    [[nodiscard]] bool acquire(QString *error, int waitMs = kDefaultWaitMs);
    bool isLocked() const { return m_lock.isLocked(); }
    void release() { m_lock.unlock(); }

    static QString lockPathFor(const QString &targetPath);

private:
    enum Obstacle { NoObstacle, Foreign };
    // Removes a lock file that nobody holds any more; Foreign when something else is in its place.
    Obstacle clearLeftOver();

    QLockFile m_lock;
};

} // namespace pfw
