#include "core/settingsdocument.h"

#include "core/backups.h"
#include "core/failure.h"
#include "core/fileidentity.h"
#include "core/safewrite.h"
#include "schema/deletionpolicy.h"

#include <QDir>
#include <QFileInfo>

namespace pfw {

SettingsDocument::SettingsDocument() = default;

QString SettingsDocument::otherNamesText()
{
    return tr("This file has another name; saving gives this name a new file and leaves the other name as it was.");
}

bool SettingsDocument::parseSettingsFile(const QString &path, const QByteArray &bytes, XsdtFile *file, QString *error)
{
    QString parseError;
    if (file->parse(bytes, &parseError))
        return true;
    if (error)
        *error = tr("%1 is not a valid PixInsight settings file: %2").arg(QDir::toNativeSeparators(path), parseError);
    return false;
}

bool SettingsDocument::readSettingsFile(const QString &path, XsdtFile *file, QString *error, QByteArray *bytes)
{
    QByteArray read;
    if (!SafeWrite::readFile(path, &read, error) || !parseSettingsFile(path, read, file, error))
        return false;
    if (bytes)
        *bytes = std::move(read);
    return true;
}

bool SettingsDocument::load(const QString &path, QString *error)
{
    QByteArray bytes;
    const FileIdentity before = FileIdentity::of(path);
    if (!SafeWrite::readFile(path, &bytes, error))
        return false;
    // Only an identity that held all through the read vouches for these bytes.
    const FileIdentity after = FileIdentity::of(path);
    return adopt(path, bytes, before == after ? after : FileIdentity(), error);
}

bool SettingsDocument::adopt(const QString &path, const QByteArray &bytes, const FileIdentity &identity, QString *error)
{
    if (!parseSettingsFile(path, bytes, &m_file, error)) {
        m_loaded = false;
        return false;
    }
    m_path = path;
    m_fingerprint = SafeWrite::sha256(bytes);
    m_identity = identity;
    m_loaded = true;
    return true;
}

bool SettingsDocument::changedOnDisk() const
{
    if (!m_loaded)
        return false;
    QByteArray bytes;
    if (!SafeWrite::readFile(m_path, &bytes, nullptr))
        return true;
    return SafeWrite::sha256(bytes) != m_fingerprint;
}

bool SettingsDocument::save(QString *error, QString *backupPath)
{
    if (!m_loaded)
        return fail(error, tr("No file is loaded."));
    if (pendingChangeCount() == 0)
        return true;
    for (const XsdtNode *node : m_file.root.pendingDeletions()) {
        // A reset removes a plain value PixInsight writes again; never a locked one.
        if (node->resetToDefault && node->isEditableValue() && !(m_policy && m_policy->isEditLocked(node)))
            continue;
        // No policy means nothing is known to be safe to delete.
        const DeletionVerdict verdict = m_policy ? m_policy->verdict(node) : DeletionVerdict{};
        if (verdict.level == DeletionLevel::Never)
            return fail(error,
                        tr("'%1' is protected and cannot be deleted. %2 Nothing was written.")
                            .arg(node->path(), verdict.reason));
    }

    SafeWrite::Request request;
    // A settings file kept elsewhere behind a link (a dotfiles folder, a synced drive) is written
    // where it is: replacing the link itself would leave the real file behind unchanged.
    request.path = writtenFilePath(m_path);
    request.bytes = m_file.serialize();
    XsdtFile check;
    QString parseError;
    if (!check.parse(request.bytes, &parseError))
        return fail(
            error,
            tr("Internal error: the edited document does not parse back (%1). Nothing was written.").arg(parseError));
    QString difference;
    if (!sameTree(m_file.root, check.root, &difference))
        return fail(error,
                    tr("Internal error: the edited document differs after re-parsing at %1. Nothing was written.")
                        .arg(difference));
    // Parsed just now; the file replaced is the one loaded, as its fingerprint proves.
    request.format = [](const QByteArray &, QString *) { return true; };
    request.mayBeMissing = false;
    request.replacedMustBeValid = false;
    request.expectedFingerprint = m_fingerprint;
    request.backupTag = QString();
    const SafeWrite::Outcome written = m_writer.write(request);
    if (!written.written)
        return fail(error, written.message);

    m_fingerprint = SafeWrite::sha256(request.bytes);
    // Not taken here: a write just after the read-back would borrow it. The first check hashes.
    m_identity = FileIdentity();
    m_file.root.commitChanges();
    // The file on disk is now the writer's output: compact, and valid UTF-8 throughout.
    m_file.compactLayout = true;
    m_file.validUtf8 = true;
    m_file.invalidUtf8Line = m_file.invalidUtf8Column = 0;
    if (backupPath)
        *backupPath = written.backupPath;
    return true;
}

bool SettingsDocument::restoreBackup(const QString &backupPath, QString *error)
{
    if (!m_loaded) {
        if (error)
            *error = tr("No file is loaded.");
        return false;
    }
    return restoreFile(m_path, backupPath, error);
}

bool SettingsDocument::restoreFile(const QString &settingsPath, const QString &backupPath, QString *error,
                                   QString *safetyBackup)
{
    SafeWrite::Request request;
    // As a save does: through a link, the file it leads to is put back, and the link stays.
    request.path = writtenFilePath(settingsPath);
    if (!SafeWrite::readFile(backupPath, &request.bytes, error))
        return false;
    QString parseError;
    if (!request.format(request.bytes, &parseError))
        return fail(error, tr("The backup is not a valid settings file: %1").arg(parseError));
    // Parsed just now: the write need not parse it again.
    request.format = [](const QByteArray &, QString *) { return true; };
    // A file that is damaged, or gone, is when a backup is needed most: it is put back all the
    // same, and whatever is there is kept in a backup first.
    request.replacedMustBeValid = false;
    // The backup goes back as it was written, faults and all.
    request.keepWellFormed = false;
    request.backupTag = QStringLiteral("before-restore");
    request.runningText = tr("PixInsight is running. Close it before restoring a backup.");
    request.unreadableEnding = tr("Nothing was changed.");
    const SafeWrite::Outcome written = m_writer.write(request);
    if (!written.written)
        return fail(error, written.message);
    if (safetyBackup)
        *safetyBackup = written.backupPath;
    return load(settingsPath, error);
}

} // namespace pfw
