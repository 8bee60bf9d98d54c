#include "core/atomicfile.h"

#include "core/backups.h"
#include "platform/fileentry.h"
#include "platform/filereplace.h"
#include "platform/filesync.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QThread>

#include <cerrno>

namespace pfw {

AtomicFile::Steps AtomicFile::defaultSteps()
{
    Steps steps;
    steps.writeAll = [](QFileDevice &partial, const QByteArray &bytes) { return partial.write(bytes) == bytes.size(); };
    steps.commit = [](const std::function<bool()> &rename) { return rename(); };
    return steps;
}

QString AtomicFile::partialPrefix(const QString &folder, const QString &owner)
{
    // Hashed: the owner's name may hold characters a name pattern would take for wildcards.
    const QByteArray hash = QCryptographicHash::hash(owner.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folder + QLatin1String("/.prefwright-partial-") + QString::fromLatin1(hash) + u'-';
}

void AtomicFile::removeLeftOverPartials(const QString &folder, const QString &owner)
{
    const QString prefix = QFileInfo(partialPrefix(folder, owner)).fileName();
    const QFileInfoList found = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo &entry : found) {
        if (entry.fileName().startsWith(prefix) && entry.isFile() && !isLinkEntry(entry.absoluteFilePath()))
            QFile::remove(entry.absoluteFilePath());
    }
}

AtomicFile::Result AtomicFile::write(const QString &path, const QByteArray &bytes)
{
    return write(path, bytes, Options());
}

AtomicFile::Result AtomicFile::write(const QString &path, const QByteArray &bytes, const Options &options)
{
    const auto result = [](Status status, const QString &reason = QString()) { return Result{status, reason}; };
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    if (options.underLock)
        removeLeftOverPartials(folder, target.fileName());
    // A file of our own, not a QTemporaryFile: that one keeps its handle open when closed, and
    // Windows refuses to rename an open file.
    QFile partial;
    errno = 0;
    for (int attempt = 0; attempt < 64; ++attempt) {
        partial.setFileName(partialPrefix(folder, target.fileName())
                            + QString::number(QRandomGenerator::global()->generate(), 36));
        if (partial.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        if (!partial.exists())
            return result(OpenFailed, systemReason(partial));
    }
    if (!partial.isOpen())
        return result(OpenFailed, systemReason(partial));
    const QString partialPath = partial.fileName();
    // Whatever way this ends short of the rename, the partial file goes.
    bool renamed = false;
    const auto cleanUp = qScopeGuard([&] {
        if (!renamed) {
            partial.close();
            QFile::remove(partialPath);
        }
    });
    copyOwnership(int(partial.handle()), options.ownerOf.isEmpty() ? path : options.ownerOf);
    if (!options.steps.writeAll(partial, bytes) || !partial.flush() || !syncToDisk(int(partial.handle())))
        return result(WriteFailed, systemReason(partial));
    partial.close();
    QString reason;
    bool refused = false;
    const auto rename = [&] {
        // A program that takes no lock (PixInsight) may have written the file while these bytes
        // were synced: the last look comes after the slow part.
        refused = options.lastLook && !options.lastLook();
        renamed = !refused && filereplace::renameOver(partialPath, path, &reason);
        return renamed;
    };
    for (int attempt = 1;; ++attempt) {
        reason.clear();
        if (options.steps.commit(rename))
            break;
        if (renamed)
            return result(RenameFailed, tr("Unknown error"));
        if (refused)
            return result(Cancelled);
        if (reason.isEmpty())
            reason = tr("Unknown error");
        // Another program has the file open (only Windows refuses that): it is tried again.
        if (filereplace::kAttempts <= 1)
            return result(RenameFailed, reason);
        if (attempt >= filereplace::kAttempts)
            return result(HeldOpen, reason);
        QThread::msleep(filereplace::kPauseMs);
    }
    (void)syncFolder(folder);
    return result(Written);
}

} // namespace pfw
