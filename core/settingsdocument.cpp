#include "core/settingsdocument.h"

#include "platform/hostprocesses.h"
#include "schema/deletionpolicy.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace pfw {

SettingsDocument::SettingsDocument()
    : m_isHostRunning(isHostRunning)
    , m_clock([] { return QDateTime::currentDateTime(); })
    , m_operations(defaultFileOperations())
{
}

SettingsDocument::FileOperations SettingsDocument::defaultFileOperations()
{
    FileOperations operations;
    operations.copy = [](const QString &from, const QString &to) { return QFile::copy(from, to); };
    operations.writeAll = [](QSaveFile &file, const QByteArray &bytes) { return file.write(bytes) == bytes.size(); };
    operations.commit = [](QSaveFile &file) { return file.commit(); };
    return operations;
}

QByteArray SettingsDocument::sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

bool SettingsDocument::readFile(const QString &path, QByteArray *bytes, QString *error)
{
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = tr("Cannot read %1: %2").arg(path, reason);
        return false;
    };
    // Decided before opening: a folder reads as nothing, a device never ends, and opening a
    // named pipe waits for a writer that may never come.
    const QFileInfo info(path);
    if (info.isDir())
        return fail(tr("It is a folder."));
    if (info.exists() && !info.isFile())
        return fail(tr("It is not a regular file."));
    if (info.size() > kMaxFileSize)
        return fail(tr("It is larger than %1 MiB, too large for a settings file.").arg(kMaxFileSize >> 20));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    return true;
}

bool SettingsDocument::writeFile(const QString &path, const QByteArray &bytes, QString *error) const
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return fail(tr("Cannot open %1 for writing: %2").arg(path, file.errorString()));
        // Nothing reaches the target unless every byte was written: commit renames atomically,
        // and leaving the scope without it discards the temporary file.
        if (!m_operations.writeAll(file, bytes) || !m_operations.commit(file))
            return fail(tr("Error writing %1: %2").arg(path, file.errorString()));
    }
    QByteArray written;
    if (!readFile(path, &written, error))
        return false;
    if (written != bytes)
        return fail(tr("Read-back verification of %1 failed.").arg(path));
    return true;
}

bool SettingsDocument::load(const QString &path, QString *error)
{
    QByteArray bytes;
    if (!readFile(path, &bytes, error))
        return false;
    QString parseError;
    if (!m_file.parse(bytes, &parseError)) {
        m_loaded = false;
        if (error)
            *error = tr("%1 is not a valid PixInsight settings file: %2").arg(path, parseError);
        return false;
    }
    m_path = path;
    m_fingerprint = sha256(bytes);
    m_loaded = true;
    return true;
}

bool SettingsDocument::changedOnDisk() const
{
    if (!m_loaded)
        return false;
    QByteArray bytes;
    if (!readFile(m_path, &bytes, nullptr))
        return true;
    return sha256(bytes) != m_fingerprint;
}

bool SettingsDocument::save(QString *error, QString *backupPath)
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (!m_loaded)
        return fail(tr("No file is loaded."));
    if (pendingChangeCount() == 0)
        return true;
    if (m_isHostRunning && m_isHostRunning())
        return fail(tr("PixInsight is running. It keeps its settings in memory and would overwrite the file. "
                       "Close PixInsight first."));
    if (changedOnDisk())
        return fail(tr("The file changed on disk since it was loaded (PixInsight may have written it). Reload it "
                       "and redo your edits."));
    for (const XsdtNode *node : m_file.root.pendingDeletions()) {
        // No policy means nothing is known to be safe to delete.
        const DeletionVerdict verdict = m_policy ? m_policy->verdict(node) : DeletionVerdict{};
        if (verdict.level == DeletionLevel::Never)
            return fail(tr("'%1' is protected and cannot be deleted. %2 Nothing was written.")
                            .arg(node->path(), verdict.reason));
    }

    const QByteArray bytes = m_file.serialize();
    XsdtFile check;
    QString parseError;
    if (!check.parse(bytes, &parseError))
        return fail(tr("Internal error: the edited document does not parse back (%1). Nothing was written.")
                        .arg(parseError));
    QString difference;
    if (!sameTree(m_file.root, check.root, &difference))
        return fail(tr("Internal error: the edited document differs after re-parsing at %1. Nothing was written.")
                        .arg(difference));

    const QString backup = makeBackupPath(m_path, QString(), m_clock());
    if (!m_operations.copy(m_path, backup) || QFileInfo(backup).size() != QFileInfo(m_path).size())
        return fail(tr("Could not create the backup %1. Nothing was written.").arg(backup));

    if (!writeFile(m_path, bytes, error))
        return false;
    m_fingerprint = sha256(bytes);
    m_file.root.commitChanges();
    if (backupPath)
        *backupPath = backup;
    return true;
}

bool SettingsDocument::restoreBackup(const QString &backupPath, QString *error)
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (!m_loaded)
        return fail(tr("No file is loaded."));
    if (m_isHostRunning && m_isHostRunning())
        return fail(tr("PixInsight is running. Close it before restoring a backup."));
    QByteArray bytes;
    if (!readFile(backupPath, &bytes, error))
        return false;
    XsdtFile check;
    QString parseError;
    if (!check.parse(bytes, &parseError))
        return fail(tr("The backup is not a valid settings file: %1").arg(parseError));
    const QString safety = makeBackupPath(m_path, QStringLiteral("before-restore"), m_clock());
    if (!m_operations.copy(m_path, safety))
        return fail(tr("Could not back up the current file first. Nothing was changed."));
    if (!writeFile(m_path, bytes, error))
        return false;
    return load(m_path, error);
}

QString SettingsDocument::makeBackupPath(const QString &settingsPath, const QString &tag, const QDateTime &now)
{
    QString base = settingsPath + QLatin1String(".bak-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!tag.isEmpty())
        base += u'-' + tag;
    QString candidate = base;
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = base + u'-' + QString::number(n);
    return candidate;
}

} // namespace pfw
