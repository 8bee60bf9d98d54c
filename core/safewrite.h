#pragma once

#include "core/atomicfile.h"
#include "core/boundedfile.h"
#include "core/fileidentity.h"
#include "platform/hostprocesses.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace pfw {

// The one guarded way a file Prefwright edits for the user is rewritten: refused while
// PixInsight runs, under the file's writer lock, from one read of the file that is compared,
// backed up and looked for again just before the rename, written atomically and read back. A
// failure leaves the folder as it was: the backup made for it goes again while the file still
// holds what it saved.
class SafeWrite final
{
    Q_DECLARE_TR_FUNCTIONS(SafeWrite)

public:
    // The file operations a write is made of. Tests replace them to fail or stop at any step.
    struct FileOperations
    {
        // Creates the backup file "to" holding exactly "bytes"; never replaces an existing file.
        // False with the reason in error.
        std::function<bool(const QByteArray &bytes, const QString &to, QString *error)> writeBackup;
        AtomicFile::Steps steps = AtomicFile::defaultSteps();
    };
    static FileOperations defaultFileOperations();

    // The format a file must be in: false with the reason (no full stop needed) when it is not.
    using Format = std::function<bool(const QByteArray &bytes, QString *reason)>;
    // A PixInsight settings file, as Prefwright reads one.
    static Format settingsFormat();

    struct Request
    {
        QString path;
        QByteArray bytes;
        // Both the new bytes and the file replaced must be in it.
        Format format = settingsFormat();
        // False: whatever the file holds is replaced, a damaged one too (a restore).
        bool replacedMustBeValid = true;
        // False: a file that is not there is refused as unreadable instead of written anew.
        bool mayBeMissing = true;
        // Refused unless the file still has this SHA-256; empty: whatever it holds.
        QByteArray expectedFingerprint;
        // A backup of what is there is made first when set (empty: without a tag).
        std::optional<QString> backupTag;
        // The backup's name when the caller names its backups itself.
        QString backupPath;
        // The caller holds the file's writer lock already, for steps that must not be split.
        bool lockHeld = false;
        // A problem search's own steps write while it is in progress; nothing else may.
        bool bySearch = false;
        // Refuses bytes a strict XML reader would reject, unless the file they were made from
        // (madeFrom; null: the file replaced) had that fault too.
        bool keepWellFormed = true;
        const QByteArray *madeFrom = nullptr;
        // The refusal while PixInsight runs; empty: the one a save gives.
        QString runningText;
        // Added after a reason the file could not be read for.
        QString unreadableEnding;
        // How large a file may be read, and whether through a link.
        qint64 maxBytes = kMaxFileSize;
        BoundedFile::LinkPolicy links = BoundedFile::FollowLinks;
    };

    struct Outcome
    {
        bool written = false;
        // Why not, a whole sentence.
        QString message;
        // The backup made, when one was.
        QString backupPath;
        // What the file held before (empty when it was not there).
        QByteArray replaced;
    };

    // Far beyond any real settings file, and small enough that its tree fits in memory.
    static constexpr qint64 kMaxFileSize = qint64(512) << 20;

    SafeWrite();

    void setRunningCheck(std::function<HostRunningCheck()> check) { m_isHostRunning = std::move(check); }
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    void setFileOperations(const FileOperations &operations) { m_operations = operations; }
    const std::function<HostRunningCheck()> &runningCheck() const { return m_isHostRunning; }
    const std::function<QDateTime()> &clock() const { return m_clock; }

    [[nodiscard]] Outcome write(const Request &request) const;
    // Whether a write of the file at path would go ahead now (PixInsight closed, the file a
    // settings file or gone).
    [[nodiscard]] bool canReplace(const QString &path, QString *error) const;
    // A backup holding exactly bytes, whole or not at all, by the file operations every write
    // uses; false with the reason, without a full stop.
    [[nodiscard]] bool backUp(const QByteArray &bytes, const QString &backup, QString *reason) const;
    // The same, false with "Could not create the backup <path>: <reason>. Nothing was written."
    [[nodiscard]] bool makeBackup(const QByteArray &bytes, const QString &backup, QString *error) const;
    // The refusal while PixInsight runs, or an empty text when it does not.
    [[nodiscard]] QString runningRefusal(const QString &running = QString()) const;

    // A whole regular file of a sane size; false with "Cannot read <path>: <reason>".
    [[nodiscard]] static bool readFile(const QString &path, QByteArray *bytes, QString *error,
                                       qint64 maxBytes = kMaxFileSize,
                                       BoundedFile::LinkPolicy links = BoundedFile::FollowLinks);
    static QString makeBackupPath(const QString &settingsPath, const QString &tag,
                                  const QDateTime &now = QDateTime::currentDateTime());
    static QByteArray sha256(const QByteArray &bytes);
    // The refusal of a write over a file that changed since it was read.
    static QString changedOnDiskText();
    // The refusal while a problem search is in progress on the file.
    static QString searchText();
    static QString readOnlyText();

private:
    // The file at path as it is now, when it may be written over: read, and valid when asked.
    bool replaceable(const Request &request, QByteArray *current, bool *missing, QString *error) const;
    // The atomic write of bytes over path, read back; refused just before the rename when the
    // file is no longer the one that held "expected" with "identity" (null: no such check).
    // renamed: the new file took the old one's place, even when checking it afterwards failed.
    bool replaceFile(const QString &path, const QByteArray &bytes, const QByteArray *expected,
                     const FileIdentity &identity, QString *error, bool *renamed) const;
    // Whether the file at path still holds bytes (is still not there, when it was missing).
    static bool stillHolds(const QString &path, bool missing, const QByteArray &bytes);

    std::function<HostRunningCheck()> m_isHostRunning;
    std::function<QDateTime()> m_clock;
    FileOperations m_operations;
};

} // namespace pfw
