#pragma once

#include <QCoreApplication>
#include <QLockFile>
#include <QString>

#include <memory>

namespace pfw {

class IdentityLock;

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
    ~WriterLock();
    WriterLock(const WriterLock &) = delete;
    WriterLock &operator=(const WriterLock &) = delete;

    // False with a sentence naming the holder when it cannot be had in time.
    [[nodiscard]] bool acquire(QString *error, int waitMs = kDefaultWaitMs);
    bool isLocked() const { return m_lock.isLocked(); }
    void release();

    static QString lockPathFor(const QString &targetPath);

private:
    // The lock on the file itself, which every name of it shares (hard links, bind mounts): a
    // lock file beside one name is not seen through the others. False when another holds it.
    bool lockIdentity();
    // Why the lock file could not be made, in the system's words.
    QString creationFailure() const;

    QString m_target;
    QLockFile m_lock;
    // Null when there is none to be had.
    std::unique_ptr<IdentityLock> m_identityLock;
};

} // namespace pfw
