#pragma once

#include "core/fileidentity.h"
#include "core/xsdtfile.h"
#include "platform/hostprocesses.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class QSaveFile;

namespace pfw {

class DeletionPolicy;

// The one open settings file. The only place that writes it: a save is refused while
// PixInsight runs or when the file changed on disk, proves the new bytes read back as the
// edited tree, makes a timestamped backup, writes atomically and reads the result back, all
// while holding the file's writer lock so that two Prefwrights never interleave.
class SettingsDocument final
{
    Q_DECLARE_TR_FUNCTIONS(SettingsDocument)

public:
    // The file operations a save is made of. Tests replace them to fail or stop at any step.
    struct FileOperations
    {
        // Creates the backup file "to" holding exactly "bytes"; never replaces an existing file.
        // False with the reason in error.
        std::function<bool(const QByteArray &bytes, const QString &to, QString *error)> writeBackup;
        std::function<bool(QSaveFile &file, const QByteArray &bytes)> writeAll;
        std::function<bool(QSaveFile &file)> commit;
    };

    // Far beyond any real settings file, and small enough that its tree fits in memory.
    static constexpr qint64 kMaxFileSize = qint64(512) << 20;

    SettingsDocument();

    void setPolicy(const DeletionPolicy *policy) { m_policy = policy; }
    void setRunningCheck(std::function<HostRunningCheck()> check) { m_isHostRunning = std::move(check); }
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    void setFileOperations(const FileOperations &operations) { m_operations = operations; }
    static FileOperations defaultFileOperations();

    [[nodiscard]] static bool readFile(const QString &path, QByteArray *bytes, QString *error);

    [[nodiscard]] bool load(const QString &path, QString *error);
    bool changedOnDisk() const;
    [[nodiscard]] bool save(QString *error, QString *backupPath);
    [[nodiscard]] bool restoreBackup(const QString &backupPath, QString *error);
    // Puts a backup in place of the settings file at settingsPath, which need not be loaded nor
    // even be a valid settings file (it is backed up first), then loads the result.
    // safetyBackup receives the backup of what was there (none when nothing was).
    [[nodiscard]] bool restoreFile(const QString &settingsPath, const QString &backupPath, QString *error,
                                   QString *safetyBackup = nullptr);
    // How replaceWith treats the file it replaces.
    struct Replacement
    {
        // Backed up first when set (empty: an ordinary backup without tag).
        std::optional<QString> backupTag;
        // Refused unless the file still has this SHA-256; empty: whatever it holds.
        QByteArray expectedFingerprint;
        // The caller holds the file's writer lock already, for steps that must not be split.
        bool lockHeld = false;
        // The file the bytes were made from, whose XML faults they may keep (null: the file replaced).
        const QByteArray *madeFrom = nullptr;
    };
    // Puts bytes made elsewhere (a step of a problem search) in place of the file at path, by
    // the steps of a save: refused while PixInsight runs, under the writer lock, proved to parse,
    // backed up when asked, written atomically and read back. Needs no loaded document: the file
    // on disk may be broken.
    // A file that is not there is written anew; one that is must be a settings file (not a
    // link to something else, a pipe or a device), and is backed up first when asked.
    [[nodiscard]] bool replaceWith(const QString &path, const QByteArray &bytes, const Replacement &how,
                                   QString *error, QString *backupPath = nullptr) const;
    // Whether replaceWith would go ahead now (PixInsight closed, the file a settings file or gone).
    [[nodiscard]] bool canReplace(const QString &path, QString *error) const;
    static QString makeBackupPath(const QString &settingsPath, const QString &tag,
                                  const QDateTime &now = QDateTime::currentDateTime());

    const QString &path() const { return m_path; }
    bool isLoaded() const { return m_loaded; }
    XsdtFile &file() { return m_file; }
    const XsdtFile &file() const { return m_file; }
    const QByteArray &fingerprint() const { return m_fingerprint; }
    // The file's identity when it held exactly the fingerprinted bytes; not "exists" when
    // that is not known (after a save, or a file that changed while it was read).
    const FileIdentity &diskIdentity() const { return m_identity; }
    bool compactLayout() const { return m_file.compactLayout; }
    qsizetype pendingChangeCount() const { return m_file.root.pendingChangeCount(); }

    static QByteArray sha256(const QByteArray &bytes);
    // The refusal of a save of a file that changed since it was loaded.
    static QString changedOnDiskText();
    // Said before a save of a file that has other names (hard links).
    static QString otherNamesText();

private:
    // The write of a save or restore: refused just before the rename when the file is no longer
    // the one that was read as "expected" when it had "identity" (null: no such check).
    bool replaceFile(const QString &path, const QByteArray &bytes, const QByteArray *expected,
                     const FileIdentity &identity, QString *error) const;
    // Refuses bytes a strict XML reader would reject unless madeFrom (null: nothing) had that fault.
    static bool keepsWellFormed(const QByteArray &bytes, const QByteArray *madeFrom, QString *error);
    // After a failed write: drops the backup when the file still holds exactly its bytes, so a
    // failure leaves the folder as it was.
    bool replaceable(const QString &path, QByteArray *current, bool *missing, QString *error) const;
    // The backup of bytes as "backup", whole or not at all.
    bool makeBackup(const QByteArray &bytes, const QString &backup, QString *error) const;
    void dropUselessBackup(const QString &path, const QString &backup, const QByteArray &backedUp,
                           QString *error) const;

    QString m_path;
    XsdtFile m_file;
    QByteArray m_fingerprint;
    FileIdentity m_identity;
    const DeletionPolicy *m_policy = nullptr;
    bool m_loaded = false;
    std::function<HostRunningCheck()> m_isHostRunning;
    std::function<QDateTime()> m_clock;
    FileOperations m_operations;
};

} // namespace pfw
