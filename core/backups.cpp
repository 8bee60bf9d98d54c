#include "core/backups.h"

#include "core/atomicfile.h"
#include "core/displaytext.h"
#include "core/fileidentity.h"
#include "core/problemsearch.h"
#include "core/settingsdocument.h"
#include "core/writerlock.h"
#include "platform/fileentry.h"
#include "platform/filesync.h"
#include "platform/hosttrash.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>

#include <cerrno>

#include <algorithm>

namespace pfw {

namespace {
struct Backups
{
    Q_DECLARE_TR_FUNCTIONS(Backups)
};

// The file a backup is of.
QString ownerName(const QString &backup)
{
    return backupOwnerName(QFileInfo(backup).fileName());
}

// "yyyyMMdd-HHmmss" at the start of text, ending it or followed by a tag or a number. A date and
// time of its own, not one of this time zone: a backup made under another zone (or in the hour
// a clock skips) keeps its stamp.
bool startsWithStamp(QStringView text)
{
    if (text.size() < 15 || text.at(8) != u'-' || (text.size() > 15 && text.at(15) != u'-'))
        return false;
    return QDate::fromString(text.left(8).toString(), QStringLiteral("yyyyMMdd")).isValid()
        && QTime::fromString(text.mid(9, 6).toString(), QStringLiteral("HHmmss")).isValid();
}

} // namespace

QString wholeFilePath(const QString &path)
{
    if (path.isEmpty())
        return path;
    const QFileInfo file(path);
    const QString folder = longFolderPath(QFileInfo(file.path()).canonicalFilePath());
    // Two spellings of one name (Windows) are one file, with one lock, one list of backups.
    return folder.isEmpty() ? file.absoluteFilePath() : QDir(folder).filePath(spelledName(file.absoluteFilePath()));
}

QString writtenFilePath(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    if (const QString canonical = info.canonicalFilePath(); !canonical.isEmpty())
        return canonical;
    // A link that leads nowhere yet, or into a folder that cannot be entered: where it would
    // lead, link by link, so that a restore puts the file there and the listing looks there.
    QString at = path;
    for (int hop = 0; hop < 40; ++hop) {
        const QFileInfo link(at);
        if (!link.isSymLink())
            return at;
        at = link.symLinkTarget();
        if (at.isEmpty())
            break;
    }
    return path;
}

namespace {

// Whose backups a file's are: its own name's, and through a link also the file it leads to,
// where a save makes them.
QList<QFileInfo> backupOwners(const QString &settingsPath)
{
    QList<QFileInfo> owners{QFileInfo(wholeFilePath(settingsPath))};
    if (const QString written = writtenFilePath(settingsPath); written != settingsPath) {
        const QFileInfo target(wholeFilePath(written));
        // Not QFileInfo's ==, which follows the link and finds one file.
        if (target.absoluteFilePath() != owners.constFirst().absoluteFilePath())
            owners << target;
    }
    return owners;
}

} // namespace

QStringList listBackups(const QString &settingsPath)
{
    QFileInfoList found;
    QSet<QString> folders;
    for (const QFileInfo &owner : backupOwners(settingsPath)) {
        if (folders.contains(owner.absolutePath()))
            continue;
        folders.insert(owner.absolutePath());
        // Every file is looked at: a name filter would read "[", "*" and "?" in the settings
        // file's name as wildcards.
        found += owner.absoluteDir().entryInfoList(QDir::Files | QDir::Hidden, QDir::NoSort);
    }
    found.erase(std::remove_if(found.begin(), found.end(),
                               [&settingsPath](const QFileInfo &info) {
                                   return !isBackupOf(settingsPath, info.absoluteFilePath());
                               }),
                found.end());
    // Copied folders give every file one time: then the names' stamps tell the order.
    std::stable_sort(found.begin(), found.end(), [](const QFileInfo &a, const QFileInfo &b) {
        const QDateTime first = a.lastModified(), second = b.lastModified();
        return first != second ? first > second : a.fileName() > b.fileName();
    });
    QStringList paths;
    for (const QFileInfo &info : std::as_const(found))
        paths << info.absoluteFilePath();
    return paths;
}

QString backupListingProblem(const QString &settingsPath)
{
    for (const QFileInfo &owner : backupOwners(settingsPath)) {
        const QFileInfo folder(owner.absolutePath());
        if (folder.isDir() && !folder.isReadable())
            return Backups::tr("Cannot list the backups in %1: the folder cannot be read.")
                .arg(QDir::toNativeSeparators(folder.absoluteFilePath()));
    }
    return QString();
}

QString newestBackupTagged(const QString &settingsPath, const QString &tag)
{
    // "<name>.bak-yyyyMMdd-HHmmss-<tag>", with "-<n>" when a second one came within that second.
    const QRegularExpression pattern(QStringLiteral("\\.bak-(\\d{8}-\\d{6})-") + QRegularExpression::escape(tag)
                                     + QStringLiteral("(?:-(\\d{1,9}))?$"));
    QString newest;
    QString newestStamp;
    int newestNumber = 0;
    for (const QString &path : listBackups(settingsPath)) {
        const QRegularExpressionMatch match = pattern.match(QFileInfo(path).fileName());
        if (!match.hasMatch())
            continue;
        const QString stamp = match.captured(1);
        const int number = match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
        if (newest.isEmpty() || stamp > newestStamp || (stamp == newestStamp && number > newestNumber)) {
            newest = path;
            newestStamp = stamp;
            newestNumber = number;
        }
    }
    return newest;
}

bool isWholeBackup(const QString &path)
{
    // Remembered by name, size and times: a dialog asks again on every change of its spin box.
    struct Seen
    {
        FileIdentity identity;
        bool whole = false;
    };
    static QMutex mutex;
    static QHash<QString, Seen> seen;
    const FileIdentity identity = FileIdentity::of(path);
    {
        const QMutexLocker locker(&mutex);
        const auto it = seen.constFind(path);
        if (it != seen.cend() && it->identity == identity && identity.exists)
            return it->whole;
    }
    XsdtFile file;
    const bool whole = SettingsDocument::readSettingsFile(path, &file, nullptr);
    const QMutexLocker locker(&mutex);
    if (seen.size() > 1000)
        seen.clear();
    seen.insert(path, {identity, whole});
    return whole;
}

QString backupOwnerName(const QString &fileName)
{
    const QLatin1String marker(".bak-");
    // The last stamp names the owner: "<name>.bak-mine.bak-<stamp>" is a backup of "<name>.bak-mine".
    for (qsizetype at = fileName.lastIndexOf(marker); at > 0; at = fileName.lastIndexOf(marker, at - 1)) {
        if (startsWithStamp(QStringView(fileName).mid(at + marker.size())))
            return fileName.left(at);
    }
    // A copy named by hand ("<name>.bak-mine") belongs to the name before its first marker.
    const qsizetype first = fileName.indexOf(marker);
    return first > 0 ? fileName.left(first) : fileName;
}

bool hasBackupStamp(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype at = backupOwnerName(name).size();
    return at < name.size() && startsWithStamp(QStringView(name).mid(at + 5));
}

QStringList backupsBeyond(const QString &settingsPath, int keep, qint64 *totalBytes, QStringList *skipped)
{
    // A copy a user named "<name>.bak-mine" is theirs: pruning never counts or removes it.
    QStringList all;
    QStringList passed;
    for (const QString &path : listBackups(settingsPath))
        (hasBackupStamp(path) ? all : passed) << path;
    // Only whole backups count among those kept: a cut or unreadable one keeps nothing.
    qsizetype from = 0;
    for (int kept = 0; kept < keep && from < all.size(); ++from) {
        if (isWholeBackup(all.at(from)))
            ++kept;
        else
            passed << all.at(from);
    }
    const QStringList older = all.mid(from);
    qint64 total = 0;
    for (const QString &path : older)
        total += QFileInfo(path).size();
    if (totalBytes)
        *totalBytes = total;
    if (skipped)
        *skipped = passed;
    return older;
}

bool isBackupOf(const QString &settingsPath, const QString &path)
{
    const QFileInfo candidate(wholeFilePath(path));
    if (!candidate.isFile() || isLinkEntry(candidate.absoluteFilePath()))
        return false;
    bool named = false;
    for (const QFileInfo &settings : backupOwners(settingsPath)) {
        named = named
            || (candidate.fileName().startsWith(settings.fileName() + QLatin1String(".bak-"))
                && backupOwnerName(candidate.fileName()) == settings.fileName()
                && candidate.absolutePath() == settings.absolutePath());
    }
    if (!named)
        return false;
    // The file the settings path leads to is never one of its backups, whatever its name: a link
    // made by hand to an old backup would otherwise have the settings themselves pruned.
    const FileIdentity self = FileIdentity::of(settingsPath);
    const FileIdentity other = FileIdentity::of(candidate.absoluteFilePath());
    return !(self.exists && other.exists && self.inode != 0 && self.inode == other.inode
             && self.device == other.device);
}

namespace {

// Under the file's writer lock.
void removeLocked(const QString &settingsPath, const QStringList &paths, bool useTrash, BackupRemoval &result)
{
    for (const QFileInfo &settings : backupOwners(settingsPath))
        AtomicFile::removeLeftOverPartials(settings.absolutePath(), settings.fileName());
    // An unfinished problem search holds the file as it was in one of them.
    const QStringList kept = ProblemSearch::protectedBackups(settingsPath, paths);
    for (const QString &path : paths) {
        // Listed before the lock was had, and removed meanwhile by another Prefwright.
        if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
            continue;
        if (kept.contains(path)) {
            result.keptForSearch << path;
            continue;
        }
        if (!isBackupOf(settingsPath, path)) {
            result.notRemoved << path;
            continue;
        }
        const qint64 size = QFileInfo(path).size();
        if (useTrash && moveToUserTrash(path)) {
            ++result.trashed;
            result.bytes += size;
            continue;
        }
        if (QFile::remove(path)) {
            ++result.deleted;
            result.bytes += size;
        } else {
            result.notRemoved << path;
        }
    }
    result.removed = result.trashed + result.deleted;
    result.movedToTrash = result.trashed > 0;
}

} // namespace

BackupRemoval removeBackups(const QString &settingsPath, const QStringList &paths, bool useTrash)
{
    BackupRemoval result;
    // A save or restore running elsewhere may be writing or reading one of these.
    WriterLock lock(settingsPath);
    if (!lock.acquire(&result.error)) {
        result.notRemoved = paths;
        return result;
    }
    removeLocked(settingsPath, paths, useTrash, result);
    return result;
}

BackupRemoval pruneBackups(const QString &settingsPath, int keep, bool useTrash)
{
    BackupRemoval result;
    WriterLock lock(settingsPath);
    if (!lock.acquire(&result.error))
        return result;
    result.error = backupListingProblem(settingsPath);
    if (!result.error.isEmpty())
        return result;
    // Chosen under the lock: a save in between would make another backup the newest.
    const QStringList older = backupsBeyond(settingsPath, keep, nullptr, &result.skipped);
    removeLocked(settingsPath, older, useTrash, result);
    return result;
}

bool writeBackupFile(const QByteArray &bytes, const QString &to, const QString &ownerOf, QString *error)
{
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QString folder = QFileInfo(to).absolutePath();
    AtomicFile::removeLeftOverPartials(folder, ownerName(to));
    errno = 0;
    QTemporaryFile file(AtomicFile::partialPrefix(folder, ownerName(to)) + QLatin1String("XXXXXX"));
    if (!file.open())
        return fail(systemReason(file));
    copyOwnership(int(file.handle()), ownerOf);
    // Whole and on disk before it takes a backup's name: a kill, a full disk or a power cut can
    // leave a partial file, never a cut backup.
    if (file.write(bytes) != bytes.size() || !file.flush() || !syncToDisk(int(file.handle())))
        return fail(systemReason(file));
    // Never over an existing file: rename refuses to replace one.
    if (!file.rename(to))
        return fail(QFileInfo::exists(to) ? Backups::tr("A file of that name is already there.") : systemReason(file));
    file.setAutoRemove(false);
    if (QFileInfo(to).size() != bytes.size()) {
        QFile::remove(to);
        return fail(Backups::tr("The copy on disk does not have the file's size."));
    }
    (void)syncFolder(QFileInfo(to).absolutePath());
    return true;
}

QString systemReason(const QFileDevice &file)
{
    // Qt's text for a failed sync or a short write is often "Unknown error"; the system's is better.
    const int code = errno;
    QString reason = file.errorString();
    if (code != 0 && (reason.isEmpty() || reason == QLatin1String("Unknown error")))
        reason = qt_error_string(code);
    return reason.isEmpty() ? Backups::tr("Unknown error") : reason;
}

QString withFullStop(QString reason)
{
    if (!reason.endsWith(u'.'))
        reason += u'.';
    return reason;
}

QString withoutFullStop(QString reason)
{
    while (reason.endsWith(u'.'))
        reason.chop(1);
    return reason;
}

QString describeRemoval(const BackupRemoval &removal)
{
    if (!removal.error.isEmpty())
        return removal.error;
    const QString size = DisplayText::size(removal.bytes);
    QString text;
    if (removal.trashed > 0 && removal.deleted > 0)
        text = Backups::tr("Moved %n backups to the Recycle Bin", nullptr, removal.trashed)
            + Backups::tr(" and deleted %1 that it could not take (%2).").arg(QString::number(removal.deleted), size);
    else if (removal.trashed > 0)
        text = Backups::tr("Moved %n backups to the Recycle Bin", nullptr, removal.trashed)
            + QStringLiteral(" (%1).").arg(size);
    else
        text = Backups::tr("Deleted %n backups", nullptr, removal.deleted) + QStringLiteral(" (%1).").arg(size);
    if (!removal.notRemoved.isEmpty())
        text += Backups::tr(" %1 could not be removed.").arg(removal.notRemoved.size());
    if (!removal.keptForSearch.isEmpty())
        text += u' '
            + Backups::tr("%n backups are kept: an unfinished search for a problem setting needs them.", nullptr,
                          int(removal.keptForSearch.size()));
    QStringList cut;
    QStringList namedByHand;
    for (const QString &path : removal.skipped)
        (hasBackupStamp(path) ? cut : namedByHand) << QFileInfo(path).fileName();
    if (!cut.isEmpty())
        text += u' '
            + Backups::tr("Not counted among those kept, and left as they are, because they are not whole settings "
                          "files: %1.")
                  .arg(cut.join(QLatin1String(", ")));
    if (!namedByHand.isEmpty())
        text += u' '
            + Backups::tr("Left as they are, because Prefwright did not name them (copies made by hand, say): %1.")
                  .arg(namedByHand.join(QLatin1String(", ")));
    return text;
}

} // namespace pfw
