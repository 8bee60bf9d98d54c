#include "core/safewrite.h"

#include "core/backups.h"
#include "core/boundedfile.h"
#include "core/failure.h"
#include "core/fileidentity.h"
#include "core/problemsearch.h"
#include "core/writerlock.h"
#include "core/xmlwellformedness.h"
#include "core/xsdtfile.h"
#include "platform/fileentry.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pfw {

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

SafeWrite::SafeWrite()
    : m_isHostRunning(checkHostRunning)
    , m_clock([] { return QDateTime::currentDateTime(); })
    , m_operations(defaultFileOperations())
{
}

SafeWrite::FileOperations SafeWrite::defaultFileOperations()
{
    FileOperations operations;
    operations.writeBackup = [](const QByteArray &bytes, const QString &to, QString *error) {
        return writeBackupFile(bytes, to, to.left(to.lastIndexOf(QLatin1String(".bak-"))), error);
    };
    return operations;
}

SafeWrite::Format SafeWrite::settingsFormat()
{
    return [](const QByteArray &bytes, QString *reason) {
        XsdtFile file;
        return file.parse(bytes, reason);
    };
}

QString SafeWrite::changedOnDiskText()
{
    return tr("The file changed on disk since it was loaded (PixInsight may have written it). Reload it and redo your "
              "edits.");
}

// Each round of a problem search rewrites the file from its own copy: a change saved in between
// would be thrown away by the next round without a word.
QString SafeWrite::searchText()
{
    return tr("A search for a problem setting is in progress on this file. Each of its rounds rewrites the file, so a "
              "change written now would be lost. Finish or cancel the search first (File > Find a problem setting, or "
              "prefwright-cli bisect).");
}

QString SafeWrite::readOnlyText()
{
    return tr("The settings file is read-only. Make it writable first if you want to change it.");
}

QByteArray SafeWrite::sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

bool SafeWrite::readFile(const QString &path, QByteArray *bytes, QString *error, qint64 maxBytes,
                         BoundedFile::LinkPolicy links)
{
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = tr("Cannot read %1: %2").arg(native(path), reason);
        return false;
    };
    // A folder reads as nothing, a device never ends, and a named pipe waits for a writer that
    // may never come: only a regular file of a sane size is read.
    BoundedFile::Result read = BoundedFile::read(path, maxBytes, links);
    if (read.status == BoundedFile::TooLarge)
        return fail(tr("It is larger than %1 MiB, too large for a settings file.").arg(maxBytes >> 20));
    if (!read.ok())
        return fail(read.reason);
    *bytes = std::move(read.bytes);
    return true;
}

QString SafeWrite::makeBackupPath(const QString &settingsPath, const QString &tag, const QDateTime &now)
{
    QString base = settingsPath + QLatin1String(".bak-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!tag.isEmpty())
        base += u'-' + tag;
    QString candidate = base;
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = base + u'-' + QString::number(n);
    return candidate;
}

QString SafeWrite::runningRefusal(const QString &running) const
{
    const HostRunningCheck check = m_isHostRunning ? m_isHostRunning() : HostRunningCheck();
    if (!check)
        return QString();
    // A check that could not be made says "running" too; the user is told which it was.
    if (!check.error.isEmpty())
        return tr("Prefwright cannot tell whether PixInsight is running (%1). PixInsight would overwrite the file if it "
                  "were, so nothing is written until the check can be made.")
            .arg(check.error);
    return running.isEmpty()
        ? tr("PixInsight is running. It keeps its settings in memory and would overwrite the file. "
             "Close PixInsight first.")
        : running;
}

SafeWrite::Outcome SafeWrite::write(const Request &request) const
{
    Outcome outcome;
    const auto fail = [&outcome](const QString &message) {
        outcome.message = message;
        return outcome;
    };
    QString reason;
    if (!request.format(request.bytes, &reason))
        return fail(
            tr("Internal error: the edited document does not parse back (%1). Nothing was written.").arg(reason));
    if (const QString running = runningRefusal(request.runningText); !running.isEmpty())
        return fail(running);
    std::optional<WriterLock> lock;
    if (!request.lockHeld) {
        lock.emplace(request.path);
        if (!lock->acquire(&reason))
            return fail(reason);
    }
    // Under the lock: a search starting now has its state written before it lets go.
    if (!request.bySearch && ProblemSearch::inProgress(request.path))
        return fail(searchText());
    // Read once under the lock: these bytes are compared, backed up and expected before the rename.
    const FileIdentity identity = FileIdentity::of(request.path);
    QByteArray current;
    bool missing = false;
    if (!replaceable(request, &current, &missing, &reason))
        return fail(reason);
    if (!request.expectedFingerprint.isEmpty() && (missing || sha256(current) != request.expectedFingerprint))
        return fail(changedOnDiskText());
    if (request.keepWellFormed) {
        // Our own reader takes what a strict one refuses, and PixInsight's may be strict. A fault
        // the old file had may stay (its values are kept as read), but none is ever added.
        const QByteArray *madeFrom = request.madeFrom ? request.madeFrom : missing ? nullptr : &current;
        const QByteArrayView before = madeFrom ? QByteArrayView(*madeFrom) : QByteArrayView();
        if (!XmlWellFormedness::keepsWellFormed(request.bytes, madeFrom ? &before : nullptr, &reason))
            return fail(reason);
    }
    QString backup;
    // Nothing to back up when the file is gone.
    if ((request.backupTag || !request.backupPath.isEmpty()) && !missing) {
        backup = !request.backupPath.isEmpty() ? request.backupPath
                                               : makeBackupPath(request.path, *request.backupTag, m_clock());
        if (!makeBackup(current, backup, &reason))
            return fail(reason);
    }
    bool renamed = false;
    if (!replaceFile(request.path, request.bytes, missing ? nullptr : &current, identity, &reason, &renamed)) {
        // Still as it was: the folder is left as it was too, and the user is told so.
        if (stillHolds(request.path, missing, current)) {
            if (!backup.isEmpty())
                QFile::remove(backup);
            reason = withFullStop(reason) + u' ' + tr("Nothing was written.");
        } else if (renamed) {
            // Written, but not as checked: never a plain refusal, and the way back is named.
            reason = withFullStop(reason) + u' '
                + tr("It was written, but what is there now could not be confirmed as what was written.");
            if (!backup.isEmpty())
                reason += u' ' + tr("The file as it was before is kept in %1.").arg(native(backup));
            outcome.backupPath = backup;
        }
        return fail(reason);
    }
    outcome.written = true;
    outcome.backupPath = backup;
    outcome.replaced = std::move(current);
    return outcome;
}

bool SafeWrite::canReplace(const QString &path, QString *error) const
{
    if (const QString running = runningRefusal(); !running.isEmpty()) {
        if (error)
            *error = running;
        return false;
    }
    Request request;
    request.path = path;
    request.unreadableEnding = tr("Prefwright does not write over it.");
    QByteArray current;
    bool missing = false;
    return replaceable(request, &current, &missing, error);
}

bool SafeWrite::replaceable(const Request &request, QByteArray *current, bool *missing, QString *error) const
{
    // A settings file deleted to reset PixInsight may be written anew; anything else that is
    // not a settings file (a link to another file or a device, a pipe, a folder) is left alone.
    const QFileInfo info(request.path);
    *missing = request.mayBeMissing && !info.exists() && !info.isSymLink();
    if (*missing)
        return true;
    QString reason;
    if (!readFile(request.path, current, &reason, request.maxBytes, request.links)) {
        const QString ending
            = request.unreadableEnding.isEmpty() ? tr("Nothing was written.") : request.unreadableEnding;
        return fail(error, withFullStop(reason) + u' ' + ending);
    }
    if (request.replacedMustBeValid && !request.format(*current, &reason))
        return fail(error,
                    tr("%1 is not a valid PixInsight settings file now (%2), so Prefwright does not write over it. "
                       "Move it away and try again.")
                        .arg(native(request.path), reason));
    if (isReadOnlyFile(request.path))
        return fail(error, readOnlyText());
    return true;
}

bool SafeWrite::replaceFile(const QString &path, const QByteArray &bytes, const QByteArray *expected,
                            const FileIdentity &identity, QString *error, bool *renamed) const
{
    AtomicFile::Options options;
    options.underLock = true;
    options.steps = m_operations.steps;
    if (expected) {
        // A program that takes no lock (PixInsight) may have written the file meanwhile.
        options.lastLook = [&] {
            if (FileIdentity::of(path) == identity)
                return true;
            QByteArray now;
            return readFile(path, &now, nullptr) && now == *expected;
        };
    }
    const AtomicFile::Result written = AtomicFile::write(path, bytes, options);
    switch (written.status) {
    case AtomicFile::Written:
        break;
    case AtomicFile::OpenFailed:
        return fail(error, tr("Cannot open %1 for writing: %2").arg(native(path), written.reason));
    case AtomicFile::Cancelled:
        return fail(error, changedOnDiskText());
    case AtomicFile::HeldOpen:
        return fail(
            error,
            tr("Another program keeps %1 open (PixInsight, an antivirus or a backup tool, say), so it cannot be "
               "replaced: %2. Close it and try again.")
                .arg(native(path), withoutFullStop(written.reason)));
    case AtomicFile::WriteFailed:
    case AtomicFile::RenameFailed:
        return fail(error, tr("Error writing %1: %2").arg(native(path), written.reason));
    }
    *renamed = true;
    QByteArray back;
    if (!readFile(path, &back, error))
        return false;
    if (back != bytes)
        return fail(error, tr("Read-back verification of %1 failed.").arg(native(path)));
    return true;
}

bool SafeWrite::backUp(const QByteArray &bytes, const QString &backup, QString *reason) const
{
    QString why;
    const bool backedUp = m_operations.writeBackup(bytes, backup, &why);
    if (backedUp && QFileInfo(backup).size() == bytes.size())
        return true;
    // It said it wrote this file, so it is ours: a cut backup is never left.
    if (backedUp) {
        QFile::remove(backup);
        why = tr("the copy on disk does not have the file's size");
    }
    if (reason)
        *reason = withoutFullStop(why);
    return false;
}

bool SafeWrite::makeBackup(const QByteArray &bytes, const QString &backup, QString *error) const
{
    QString reason;
    if (backUp(bytes, backup, &reason))
        return true;
    if (error)
        *error = reason.isEmpty()
            ? tr("Could not create the backup %1. Nothing was written.").arg(native(backup))
            : tr("Could not create the backup %1: %2. Nothing was written.").arg(native(backup), reason);
    return false;
}

bool SafeWrite::stillHolds(const QString &path, bool missing, const QByteArray &bytes)
{
    if (missing) {
        const QFileInfo info(path);
        return !info.exists() && !info.isSymLink();
    }
    QByteArray now;
    return readFile(path, &now, nullptr) && now == bytes;
}

} // namespace pfw
