#include "core/settingsdocument.h"

#include "core/backups.h"
#include "core/boundedfile.h"
#include "core/fileidentity.h"
#include "core/problemsearch.h"
#include "core/writerlock.h"
#include "core/xmlwellformedness.h"
#include "platform/fileentry.h"
#include "platform/filereplace.h"
#include "platform/filesync.h"
#include "platform/hostprocesses.h"
#include "schema/deletionpolicy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

#include <cerrno>

namespace pfw {

namespace {

// A check that could not be made says "running" too; the user is told which it was.
QString runningRefusal(const QString &running, const HostRunningCheck &check)
{
    if (check.error.isEmpty())
        return running;
    return SettingsDocument::tr("Prefwright cannot tell whether PixInsight is running (%1). PixInsight would overwrite "
                                "the file if it were, so nothing is written until the check can be made.")
        .arg(check.error);
}

// Each round of a problem search rewrites the file from its own copy: a change saved in between
// would be thrown away by the next round without a word.
QString searchText()
{
    return SettingsDocument::tr("A search for a problem setting is in progress on this file. Each of its rounds rewrites "
                                "the file, so a change written now would be lost. Finish or cancel the search first "
                                "(File > Find a problem setting, or prefwright-cli bisect).");
}

QString readOnlyText()
{
    return SettingsDocument::tr("The settings file is read-only. Make it writable first if you want to change it.");
}

QString sentence(QString text)
{
    if (!text.endsWith(u'.'))
        text += u'.';
    return text;
}

} // namespace

SettingsDocument::SettingsDocument()
    : m_isHostRunning(checkHostRunning)
    , m_clock([] { return QDateTime::currentDateTime(); })
    , m_operations(defaultFileOperations())
{
}

SettingsDocument::FileOperations SettingsDocument::defaultFileOperations()
{
    FileOperations operations;
    operations.writeBackup = [](const QByteArray &bytes, const QString &to, QString *error) {
        return writeBackupFile(bytes, to, to.left(to.lastIndexOf(QLatin1String(".bak-"))), error);
    };
    operations.writeAll = [](QSaveFile &file, const QByteArray &bytes) { return file.write(bytes) == bytes.size(); };
    operations.commit = [](QSaveFile &file) { return file.commit(); };
    return operations;
}

QString SettingsDocument::changedOnDiskText()
{
    return tr("The file changed on disk since it was loaded (PixInsight may have written it). Reload it and redo your "
              "edits.");
}

QString SettingsDocument::otherNamesText()
{
    return tr("This file has another name; saving gives this name a new file and leaves the other name as it was.");
}

QByteArray SettingsDocument::sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

bool SettingsDocument::readFile(const QString &path, QByteArray *bytes, QString *error)
{
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = tr("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), reason);
        return false;
    };
    // A folder reads as nothing, a device never ends, and a named pipe waits for a writer that
    // may never come: only a regular file of a sane size is read.
    BoundedFile::Result read = BoundedFile::read(path, kMaxFileSize);
    if (read.status == BoundedFile::TooLarge)
        return fail(tr("It is larger than %1 MiB, too large for a settings file.").arg(kMaxFileSize >> 20));
    if (!read.ok())
        return fail(read.reason);
    *bytes = std::move(read.bytes);
    return true;
}

bool SettingsDocument::replaceFile(const QString &path, const QByteArray &bytes, const QByteArray *expected,
                                   const FileIdentity &identity, QString *error) const
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    for (int attempt = 1;; ++attempt) {
        QSaveFile file(path);
        errno = 0;
        if (!file.open(QIODevice::WriteOnly))
            return fail(tr("Cannot open %1 for writing: %2").arg(QDir::toNativeSeparators(path), systemReason(file)));
        copyOwnership(int(file.handle()), path);
        // Nothing reaches the target unless every byte was written: commit renames atomically,
        // and leaving the scope without it discards the temporary file.
        if (!m_operations.writeAll(file, bytes) || !file.flush() || !syncToDisk(int(file.handle())))
            return fail(tr("Error writing %1: %2").arg(QDir::toNativeSeparators(path), systemReason(file)));
        // PixInsight takes no lock: the last look comes after the slow part (the sync) and right
        // before the rename, so only the rename itself can race with it.
        if (expected && FileIdentity::of(path) != identity) {
            QByteArray now;
            if (!readFile(path, &now, nullptr) || now != *expected) {
                file.cancelWriting();
                return fail(changedOnDiskText());
            }
        }
        if (m_operations.commit(file))
            break;
        // A rename refused while another program has the file open: it is tried again.
        const bool heldOpen = file.error() == QFileDevice::RenameError && filereplace::kAttempts > 1;
        if (!heldOpen)
            return fail(tr("Error writing %1: %2").arg(QDir::toNativeSeparators(path), systemReason(file)));
        if (attempt >= filereplace::kAttempts)
            return fail(tr("Another program keeps %1 open (PixInsight, an antivirus or a backup tool, say), so it "
                           "cannot be replaced: %2. Close it and try again.")
                            .arg(QDir::toNativeSeparators(path), withoutFullStop(file.errorString())));
        QThread::msleep(filereplace::kPauseMs);
    }
    QByteArray written;
    if (!readFile(path, &written, error))
        return false;
    if (written != bytes)
        return fail(tr("Read-back verification of %1 failed.").arg(QDir::toNativeSeparators(path)));
    return true;
}

bool SettingsDocument::keepsWellFormed(const QByteArray &bytes, const QByteArray *madeFrom, QString *error)
{
    // Our own reader takes what a strict one refuses, and PixInsight's may be strict. A fault the
    // old file had may stay (its values are kept as read), but none is ever added.
    const QByteArrayView before = madeFrom ? QByteArrayView(*madeFrom) : QByteArrayView();
    return XmlWellFormedness::keepsWellFormed(bytes, madeFrom ? &before : nullptr, error);
}

bool SettingsDocument::load(const QString &path, QString *error)
{
    QByteArray bytes;
    const FileIdentity before = FileIdentity::of(path);
    if (!readFile(path, &bytes, error))
        return false;
    // Only an identity that held all through the read vouches for these bytes.
    const FileIdentity after = FileIdentity::of(path);
    QString parseError;
    if (!m_file.parse(bytes, &parseError)) {
        m_loaded = false;
        if (error)
            *error = tr("%1 is not a valid PixInsight settings file: %2").arg(QDir::toNativeSeparators(path), parseError);
        return false;
    }
    m_path = path;
    m_fingerprint = sha256(bytes);
    m_identity = before == after ? after : FileIdentity();
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
    if (const HostRunningCheck running = m_isHostRunning ? m_isHostRunning() : HostRunningCheck())
        return fail(runningRefusal(tr("PixInsight is running. It keeps its settings in memory and would overwrite the file. "
                                      "Close PixInsight first."),
                                   running));
    WriterLock lock(m_path);
    if (!lock.acquire(error))
        return false;
    // Under the lock: a search starting now has its state written before it lets go.
    if (ProblemSearch::inProgress(m_path))
        return fail(searchText());
    // Read once under the lock: these bytes are compared, backed up and expected before the rename.
    const FileIdentity identity = FileIdentity::of(m_path);
    QByteArray current;
    QString readError;
    if (!readFile(m_path, &current, &readError))
        return fail(tr("%1 Nothing was written.").arg(sentence(readError)));
    if (sha256(current) != m_fingerprint)
        return fail(changedOnDiskText());
    if (isReadOnlyFile(m_path))
        return fail(readOnlyText());
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
    if (!keepsWellFormed(bytes, &current, error))
        return false;

    const QString backup = makeBackupPath(m_path, QString(), m_clock());
    if (!makeBackup(current, backup, error))
        return false;

    if (!replaceFile(m_path, bytes, &current, identity, error)) {
        dropUselessBackup(m_path, backup, current, error);
        return false;
    }
    m_fingerprint = sha256(bytes);
    // Not taken here: a write just after the read-back would borrow it. The first check hashes.
    m_identity = FileIdentity();
    m_file.root.commitChanges();
    // The file on disk is now the writer's output: compact, and valid UTF-8 throughout.
    m_file.compactLayout = true;
    m_file.validUtf8 = true;
    m_file.invalidUtf8Line = m_file.invalidUtf8Column = 0;
    if (backupPath)
        *backupPath = backup;
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
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (const HostRunningCheck running = m_isHostRunning ? m_isHostRunning() : HostRunningCheck())
        return fail(runningRefusal(tr("PixInsight is running. Close it before restoring a backup."), running));
    WriterLock lock(settingsPath);
    if (!lock.acquire(error))
        return false;
    if (ProblemSearch::inProgress(settingsPath))
        return fail(searchText());
    QByteArray bytes;
    if (!readFile(backupPath, &bytes, error))
        return false;
    XsdtFile check;
    QString parseError;
    if (!check.parse(bytes, &parseError))
        return fail(tr("The backup is not a valid settings file: %1").arg(parseError));
    // A file that is damaged, or gone, is when a backup is needed most: it is put back all the
    // same, and whatever is there is kept in a backup first.
    const QFileInfo target(settingsPath);
    const bool missing = !target.exists() && !target.isSymLink();
    const FileIdentity identity = FileIdentity::of(settingsPath);
    QByteArray current;
    if (!missing) {
        if (isReadOnlyFile(settingsPath))
            return fail(readOnlyText());
        QString reason;
        if (!readFile(settingsPath, &current, &reason))
            return fail(tr("%1 Nothing was changed.").arg(sentence(reason)));
        const QString safety = makeBackupPath(settingsPath, QStringLiteral("before-restore"), m_clock());
        if (!makeBackup(current, safety, error))
            return false;
        if (!replaceFile(settingsPath, bytes, &current, identity, error)) {
            dropUselessBackup(settingsPath, safety, current, error);
            return false;
        }
        if (safetyBackup)
            *safetyBackup = safety;
    } else if (!replaceFile(settingsPath, bytes, nullptr, identity, error)) {
        return false;
    }
    return load(settingsPath, error);
}

bool SettingsDocument::canReplace(const QString &path, QString *error) const
{
    QByteArray current;
    bool missing = false;
    return replaceable(path, &current, &missing, error);
}

bool SettingsDocument::replaceable(const QString &path, QByteArray *current, bool *missing, QString *error) const
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (const HostRunningCheck running = m_isHostRunning ? m_isHostRunning() : HostRunningCheck())
        return fail(runningRefusal(tr("PixInsight is running. It keeps its settings in memory and would overwrite the file. "
                                      "Close PixInsight first."),
                                   running));
    // A settings file deleted to reset PixInsight may be written anew; anything else that is
    // not a settings file (a link to another file or a device, a pipe, a folder) is left alone.
    const QFileInfo info(path);
    *missing = !info.exists() && !info.isSymLink();
    if (*missing)
        return true;
    QString reason;
    if (!readFile(path, current, &reason))
        return fail(tr("%1 Prefwright does not write over it.").arg(sentence(reason)));
    XsdtFile check;
    QString parseError;
    if (!check.parse(*current, &parseError))
        return fail(tr("%1 is not a valid PixInsight settings file now (%2), so Prefwright does not write over it. "
                       "Move it away and try again.")
                        .arg(QDir::toNativeSeparators(path), parseError));
    if (isReadOnlyFile(path))
        return fail(readOnlyText());
    return true;
}

bool SettingsDocument::replaceWith(const QString &path, const QByteArray &bytes, const Replacement &how,
                                   QString *error, QString *backupPath) const
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    XsdtFile check;
    QString parseError;
    if (!check.parse(bytes, &parseError))
        return fail(tr("Internal error: the edited document does not parse back (%1). Nothing was written.")
                        .arg(parseError));
    std::optional<WriterLock> lock;
    if (!how.lockHeld) {
        lock.emplace(path);
        if (!lock->acquire(error))
            return false;
    }
    const FileIdentity identity = FileIdentity::of(path);
    QByteArray current;
    bool missing = false;
    if (!replaceable(path, &current, &missing, error))
        return false;
    if (!how.expectedFingerprint.isEmpty() && (missing || sha256(current) != how.expectedFingerprint))
        return fail(changedOnDiskText());
    if (!keepsWellFormed(bytes, how.madeFrom ? how.madeFrom : missing ? nullptr : &current, error))
        return false;
    QString backup;
    // Nothing to back up when the file is gone.
    if (how.backupTag && !missing) {
        backup = makeBackupPath(path, *how.backupTag, m_clock());
        if (!makeBackup(current, backup, error))
            return false;
    }
    if (!replaceFile(path, bytes, missing ? nullptr : &current, identity, error)) {
        if (!backup.isEmpty())
            dropUselessBackup(path, backup, current, error);
        return false;
    }
    if (backupPath)
        *backupPath = backup;
    return true;
}

bool SettingsDocument::makeBackup(const QByteArray &bytes, const QString &backup, QString *error) const
{
    QString reason;
    const bool backedUp = m_operations.writeBackup(bytes, backup, &reason);
    if (backedUp && QFileInfo(backup).size() == bytes.size())
        return true;
    // It said it wrote this file, so it is ours: a cut backup is never left.
    if (backedUp) {
        QFile::remove(backup);
        reason = tr("the copy on disk does not have the file's size");
    }
    reason = withoutFullStop(reason);
    if (error)
        *error = reason.isEmpty() ? tr("Could not create the backup %1. Nothing was written.").arg(QDir::toNativeSeparators(backup))
                                  : tr("Could not create the backup %1: %2. Nothing was written.").arg(QDir::toNativeSeparators(backup), reason);
    return false;
}

void SettingsDocument::dropUselessBackup(const QString &path, const QString &backup, const QByteArray &backedUp,
                                         QString *error) const
{
    QByteArray now;
    if (!readFile(path, &now, nullptr) || now != backedUp)
        return;
    QFile::remove(backup);
    if (error)
        *error = sentence(*error) + u' ' + tr("Nothing was written.");
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
