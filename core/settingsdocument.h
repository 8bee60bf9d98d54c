#pragma once

#include "core/fileidentity.h"
#include "core/safewrite.h"
#include "core/xsdtfile.h"
#include "platform/hostprocesses.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QString>

#include <functional>

namespace pfw {

class DeletionPolicy;

// The one open settings file. A save is refused when the file changed on disk since it was
// loaded or would lose a protected entry, proves the new bytes read back as the edited tree, and
// goes through the guarded write, which backs up, writes atomically and reads back.
class SettingsDocument final
{
    Q_DECLARE_TR_FUNCTIONS(SettingsDocument)

public:
    using FileOperations = SafeWrite::FileOperations;
    static FileOperations defaultFileOperations() { return SafeWrite::defaultFileOperations(); }

    SettingsDocument();

    void setPolicy(const DeletionPolicy *policy) { m_policy = policy; }
    void setRunningCheck(std::function<HostRunningCheck()> check) { m_writer.setRunningCheck(std::move(check)); }
    void setClock(std::function<QDateTime()> clock) { m_writer.setClock(std::move(clock)); }
    void setFileOperations(const FileOperations &operations) { m_writer.setFileOperations(operations); }

    // The one way a settings file is read: false with "Cannot read <path>: ..." or "<path> is not
    // a valid PixInsight settings file: ...". bytes, when given, receives what was read.
    [[nodiscard]] static bool readSettingsFile(const QString &path, XsdtFile *file, QString *error,
                                               QByteArray *bytes = nullptr);
    // The second half of it, for bytes read already.
    [[nodiscard]] static bool parseSettingsFile(const QString &path, const QByteArray &bytes, XsdtFile *file,
                                                QString *error);

    [[nodiscard]] bool load(const QString &path, QString *error);
    // Loads bytes read from path already; identity is the file's while it held exactly them
    // (not "exists" when that is not known).
    [[nodiscard]] bool adopt(const QString &path, const QByteArray &bytes, const FileIdentity &identity,
                             QString *error);
    bool changedOnDisk() const;
    [[nodiscard]] bool save(QString *error, QString *backupPath);
    [[nodiscard]] bool restoreBackup(const QString &backupPath, QString *error);
    // Puts a backup in place of the settings file at settingsPath, which need not be loaded nor
    // even be a valid settings file (it is backed up first), then loads the result.
    // safetyBackup receives the backup of what was there (none when nothing was).
    [[nodiscard]] bool restoreFile(const QString &settingsPath, const QString &backupPath, QString *error,
                                   QString *safetyBackup = nullptr);

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

    // Said before a save of a file that has other names (hard links).
    static QString otherNamesText();

private:
    QString m_path;
    XsdtFile m_file;
    QByteArray m_fingerprint;
    FileIdentity m_identity;
    const DeletionPolicy *m_policy = nullptr;
    bool m_loaded = false;
    SafeWrite m_writer;
};

} // namespace pfw
