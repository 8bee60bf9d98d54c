#include "core/backups.h"

#include "core/problemsearch.h"
#include "core/writerlock.h"

#include "platform/hosttrash.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pfw {

namespace {
struct Backups
{
    Q_DECLARE_TR_FUNCTIONS(Backups)
};
} // namespace

QString wholeFilePath(const QString &path)
{
    if (path.isEmpty())
        return path;
    const QFileInfo file(path);
    const QString folder = QFileInfo(file.path()).canonicalFilePath();
    return folder.isEmpty() ? file.absoluteFilePath() : QDir(folder).filePath(file.fileName());
}

QStringList listBackups(const QString &settingsPath)
{
    const QFileInfo settings(wholeFilePath(settingsPath));
    // Every file is looked at: a name filter would read "[", "*" and "?" in the settings file's
    // name as wildcards.
    QFileInfoList found = settings.absoluteDir().entryInfoList(QDir::Files | QDir::Hidden, QDir::NoSort);
    found.erase(std::remove_if(found.begin(), found.end(),
                               [&settingsPath](const QFileInfo &info) { return !isBackupOf(settingsPath, info.absoluteFilePath()); }),
                found.end());
    std::stable_sort(found.begin(), found.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.lastModified() > b.lastModified();
    });
    QStringList paths;
    for (const QFileInfo &info : std::as_const(found))
        paths << info.absoluteFilePath();
    return paths;
}

QStringList backupsBeyond(const QString &settingsPath, int keep, qint64 *totalBytes)
{
    const QStringList all = listBackups(settingsPath);
    const QStringList older = all.mid(qMax(keep, 0));
    qint64 total = 0;
    for (const QString &path : older)
        total += QFileInfo(path).size();
    if (totalBytes)
        *totalBytes = total;
    return older;
}

bool isBackupOf(const QString &settingsPath, const QString &path)
{
    const QFileInfo settings(wholeFilePath(settingsPath));
    const QFileInfo candidate(wholeFilePath(path));
    return candidate.fileName().startsWith(settings.fileName() + QLatin1String(".bak-"))
        && candidate.absolutePath() == settings.absolutePath() && candidate.isFile() && !candidate.isSymLink();
}

BackupRemoval removeBackups(const QString &settingsPath, const QStringList &paths, bool useTrash)
{
    BackupRemoval result;
    // A save or restore running elsewhere may be writing or reading one of these.
    WriterLock lock(settingsPath);
    if (!lock.acquire(&result.error)) {
        result.notRemoved = paths;
        return result;
    }
    // An unfinished problem search holds the file as it was in one of them.
    const QStringList kept = ProblemSearch::protectedBackups(settingsPath, paths);
    for (const QString &path : paths) {
        // Listed before the lock was had, and removed meanwhile by another Prefwright.
        if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
            continue;
        if (!isBackupOf(settingsPath, path) || kept.contains(path)) {
            result.notRemoved << path;
            continue;
        }
        const qint64 size = QFileInfo(path).size();
        if (useTrash && moveToUserTrash(path)) {
            ++result.removed;
            result.bytes += size;
            result.movedToTrash = true;
            continue;
        }
        if (QFile::remove(path)) {
            ++result.removed;
            result.bytes += size;
        } else {
            result.notRemoved << path;
        }
    }
    if (result.removed == 0)
        result.movedToTrash = false;
    return result;
}

void copyOwnership(int handle, const QString &original)
{
#ifndef Q_OS_WIN
    struct stat info = {};
    if (handle < 0 || ::stat(QFile::encodeName(original).constData(), &info) != 0)
        return;
    (void)::fchmod(handle, info.st_mode & 07777);
    if (::geteuid() == 0 && (info.st_uid != ::geteuid() || info.st_gid != ::getegid()))
        (void)::fchown(handle, info.st_uid, info.st_gid);
#else
    Q_UNUSED(handle);
    Q_UNUSED(original);
#endif
}

bool syncToDisk(int handle)
{
#ifndef Q_OS_WIN
#ifdef Q_OS_LINUX
    return ::fdatasync(handle) == 0;
#else
    return ::fsync(handle) == 0;
#endif
#else
    Q_UNUSED(handle);
    return true;
#endif
}

bool writeBackupFile(const QByteArray &bytes, const QString &to, const QString &ownerOf)
{
    QFile file(to);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    copyOwnership(int(file.handle()), ownerOf);
    // On disk before the file it keeps is replaced; a cut backup (full disk) is never left.
    if (file.write(bytes) == bytes.size() && file.flush() && syncToDisk(int(file.handle())))
        return true;
    file.remove();
    return false;
}

QString formatByteSize(qint64 bytes)
{
    if (bytes < 1024)
        return Backups::tr("%1 B").arg(bytes);
    if (bytes < 1048576)
        return Backups::tr("%1 KiB").arg(double(bytes) / 1024.0, 0, 'f', 0);
    return Backups::tr("%1 MiB").arg(double(bytes) / 1048576.0, 0, 'f', 1);
}

QString describeRemoval(const BackupRemoval &removal)
{
    if (!removal.error.isEmpty())
        return removal.error;
    QString text = removal.movedToTrash
        ? Backups::tr("Moved %1 backup(s) to the Recycle Bin (%2).")
              .arg(QString::number(removal.removed), formatByteSize(removal.bytes))
        : Backups::tr("Deleted %1 backup(s) (%2).").arg(QString::number(removal.removed), formatByteSize(removal.bytes));
    if (!removal.notRemoved.isEmpty())
        text += Backups::tr(" %1 could not be removed.").arg(removal.notRemoved.size());
    return text;
}

} // namespace pfw
