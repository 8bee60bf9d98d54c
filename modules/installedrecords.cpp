#include "modules/installedrecords.h"

#include "core/boundedfile.h"
#include "core/writerlock.h"
#include "platform/elevatedlauncher.h"
#include "platform/fileentry.h"
#include "platform/hostenvironment.h"
#include "platform/hostlocations.h"
#include "platform/hostprocesses.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>

namespace pfw {

namespace {

using Tr = InstalledRecords;

// PixInsight's own file holds a few hundred records; anything far larger is not one.
constexpr qint64 kMaxRecordBytes = qint64(16) << 20;

const Qt::CaseSensitivity kFileNameCase = fileNameCase();

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool hostRunning(const RecordEditOptions &options)
{
    return options.checkRunning && (options.isHostRunning ? options.isHostRunning() : isHostRunning());
}

EditResult failure(int status, const QString &message)
{
    EditResult result;
    result.status = status;
    result.message = message;
    return result;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The helper runs as root: a link at the record file or its folders, or a file that lies elsewhere
// than its path says, would have it rewrite a file outside the installation. The installation
// folder itself may be a link.
bool liesInsideInstallation(const QString &path)
{
    static const QString tail = QStringLiteral("/etc/update/installed.xri");
    const QString file = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (!file.endsWith(tail, Qt::CaseInsensitive))
        return false;
    const QString install = file.left(file.size() - tail.size());
    const QString folder = file.left(file.lastIndexOf(u'/'));
    for (const QString &part : {install + QLatin1String("/etc"), folder, file}) {
        const QFileInfo info(part);
        if (info.isSymLink() || info.isJunction() || isLinkEntry(part))
            return false;
    }
    const QString canonicalInstall = QFileInfo(install).canonicalFilePath();
    const auto resolvesBelowInstall = [&](const QString &part) {
        const QString canonical = QFileInfo(part).canonicalFilePath();
        return !canonicalInstall.isEmpty()
            && canonical.compare(canonicalInstall + part.mid(install.size()), kFileNameCase) == 0;
    };
    // A restore may recreate a missing file; then the folder is all there is to check.
    return resolvesBelowInstall(folder) && (!QFileInfo::exists(file) || resolvesBelowInstall(file));
}

EditResult outsideInstallation(const QString &path)
{
    return failure(HelperRefused,
                   Tr::tr("%1 is reached through a symbolic link or lies outside the PixInsight "
                          "installation. Nothing was changed.")
                       .arg(native(path)));
}

// The checks every edit starts with, then the lock, held from the read to the read-back so that
// another edit (the helper's or this program's) cannot write in between and have one of two
// removals silently undone. HelperDone when the edit may go on.
EditResult lockForEdit(const QString &path, const RecordEditOptions &options, WriterLock &lock)
{
    if (hostRunning(options))
        return failure(HelperHostRunning,
                       Tr::tr("PixInsight is running. Close it first: it rewrites its records from memory."));
    // Checked before the lock file is made beside it, which would otherwise land outside too.
    if (!liesInsideInstallation(path))
        return outsideInstallation(path);
    QString lockError;
    if (!lock.acquire(&lockError))
        return failure(HelperFailed, lockError);
    return failure(HelperDone, QString());
}

BoundedFile::Result readRecordFile(const QString &path)
{
    return BoundedFile::read(path, kMaxRecordBytes, BoundedFile::RefuseLinks);
}

// The one guarded write, under the lock the edit already holds. The records were checked
// before: the file replaced must be the one read then (or, for a restore, anything at all).
EditResult writeRecords(const QString &path, const QByteArray &bytes, const QByteArray *expected,
                        const RecordEditOptions &options, QString *backupMade = nullptr)
{
    SafeWrite writer;
    writer.setRunningCheck([options] { return HostRunningCheck(hostRunning(options)); });
    writer.setFileOperations(options.operations);
    SafeWrite::Request request;
    request.path = path;
    request.bytes = bytes;
    request.format = [](const QByteArray &bytes, QString *reason) {
        QString error;
        parseInstalledRecords(bytes, &error);
        if (reason)
            *reason = error;
        return error.isEmpty();
    };
    request.replacedMustBeValid = false;
    if (expected) {
        request.expectedFingerprint = SafeWrite::sha256(*expected);
        request.mayBeMissing = false;
    }
    request.backupPath = makeInstalledBackupPath(path);
    request.lockHeld = true;
    request.keepWellFormed = false;
    request.runningText = Tr::tr("PixInsight is running. Close it first: it rewrites its records from memory.");
    request.unreadableEnding = Tr::tr("Nothing was changed.");
    request.maxBytes = kMaxRecordBytes;
    request.links = BoundedFile::RefuseLinks;
    const SafeWrite::Outcome written = writer.write(request);
    if (!written.written)
        return failure(HelperFailed, written.message);
    if (backupMade)
        *backupMade = written.backupPath;
    EditResult result;
    result.status = HelperDone;
    return result;
}

} // namespace

bool isInstalledRecordPath(const QString &path)
{
    const QString cleaned = QDir::cleanPath(QString(path).replace(u'\\', u'/')).toLower();
    return cleaned.endsWith(QLatin1String("/etc/update/installed.xri"))
        && cleaned.contains(QLatin1String("/pixinsight/etc/update/"));
}

QString findInstalledRecordFile(const QStringList &candidates)
{
    const QStringList tried = candidates.isEmpty() ? installFolderCandidates(HostEnvironment::system()) : candidates;
    for (const QString &candidate : tried) {
        const QString path = QString(candidate).replace(u'\\', u'/') + QLatin1String("/etc/update/installed.xri");
        if (QFileInfo::exists(path) && isInstalledRecordPath(path))
            return path;
    }
    return QString();
}

QList<PackageRecord> parseInstalledRecords(const QByteArray &bytes, QString *error)
{
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return QList<PackageRecord>();
    };
    QXmlStreamReader reader(bytes);
    QList<PackageRecord> records;
    int depth = 0;
    bool sawStart = false;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (!sawStart && reader.name() != u"xri")
                return fail(Tr::tr("Not a PixInsight update record file (no <xri> element)."));
            sawStart = true;
            if (depth == 1 && reader.name() == u"package") {
                const QXmlStreamAttributes a = reader.attributes();
                const auto attribute = [&a](const char *name) { return a.value(QLatin1String(name)).toString(); };
                PackageRecord record;
                record.fileName = attribute("fileName");
                record.type = attribute("type");
                record.installDate = attribute("installDate");
                record.releaseDate = attribute("releaseDate");
                record.repo = attribute("repo");
                record.title = attribute("title");
                record.sha1 = attribute("sha1");
                records.append(record);
            }
            ++depth;
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    // An empty file makes the reader complain about a premature end; say what it is instead.
    if (!sawStart && bytes.trimmed().isEmpty())
        return fail(Tr::tr("Empty file."));
    if (reader.hasError())
        return fail(reader.errorString());
    if (!sawStart)
        return fail(Tr::tr("Empty file."));
    if (error)
        error->clear();
    return records;
}

QList<PackageRecord> loadInstalledRecords(const QString &path, QString *error)
{
    const BoundedFile::Result file = BoundedFile::read(path, kMaxRecordBytes);
    if (!file.ok()) {
        if (error)
            *error = Tr::tr("Cannot read %1: %2").arg(native(path), file.reason);
        return {};
    }
    return parseInstalledRecords(file.bytes, error);
}

QList<PackageSpan> packageSpans(const QByteArray &bytes)
{
    static const QRegularExpression fileName(QStringLiteral("\\bfileName=\"([^\"]*)\""));
    QList<PackageSpan> spans;
    const qsizetype n = bytes.size();
    qsizetype from = 0;
    for (;;) {
        const qsizetype start = bytes.indexOf("<package", from);
        if (start < 0)
            break;
        const qsizetype afterName = start + 8;
        if (afterName >= n
            || !(isBlank(bytes.at(afterName)) || bytes.at(afterName) == '\r' || bytes.at(afterName) == '\n')) {
            from = afterName;
            continue;
        }
        qsizetype close = afterName;
        char quote = 0;
        for (; close < n; ++close) {
            const char c = bytes.at(close);
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (close >= n)
            break;
        qsizetype end = close + 1;
        if (bytes.at(close - 1) != '/') {
            const qsizetype endTag = bytes.indexOf("</package>", end);
            if (endTag < 0)
                break;
            end = endTag + 10;
        }
        const QString startTag = QString::fromUtf8(bytes.mid(start, close + 1 - start));
        PackageSpan span;
        span.fileName = fileName.match(startTag).captured(1);
        qsizetype first = start;
        while (first > 0 && isBlank(bytes.at(first - 1)))
            --first;
        qsizetype last = end;
        while (last < n && isBlank(bytes.at(last)))
            ++last;
        if (last + 1 < n && bytes.at(last) == '\r' && bytes.at(last + 1) == '\n')
            last += 2;
        else if (last < n && bytes.at(last) == '\n')
            last += 1;
        span.start = first;
        span.end = last;
        spans.append(span);
        from = last;
    }
    return spans;
}

QStringList installedBackups(const QString &path)
{
    const QFileInfo info(path);
    // Matched as text, not as a name filter: the file name may hold wildcard characters.
    const QString prefix = info.fileName() + QLatin1String(".bak-");
    QStringList names;
    for (const QString &name : info.absoluteDir().entryList(QDir::Files, QDir::Name)) {
        if (name.startsWith(prefix, kFileNameCase))
            names << name;
    }
    std::reverse(names.begin(), names.end());
    return names;
}

QString makeInstalledBackupPath(const QString &path)
{
    const QString base
        = path + QLatin1String(".bak-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString candidate = base;
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = base + u'-' + QString::number(n);
    return candidate;
}

EditResult removeInstalledRecords(const QString &path, const QStringList &fileNames, const RecordEditOptions &options)
{
    if (!isInstalledRecordPath(path))
        return failure(HelperRefused, Tr::tr("%1 is not PixInsight's installed.xri.").arg(native(path)));
    if (!QFileInfo::exists(path))
        return failure(HelperNotFound, Tr::tr("%1 does not exist.").arg(native(path)));
    if (fileNames.isEmpty())
        return failure(HelperBadCommandLine, Tr::tr("No records were named."));
    WriterLock lock(path);
    if (const EditResult refused = lockForEdit(path, options, lock); refused.status != HelperDone)
        return refused;
    const BoundedFile::Result file = readRecordFile(path);
    if (!file.ok())
        return failure(HelperFailed, Tr::tr("Cannot read %1: %2").arg(native(path), file.reason));
    const QByteArray &original = file.bytes;
    QString parseError;
    const QList<PackageRecord> records = parseInstalledRecords(original, &parseError);
    if (records.isEmpty() && !parseError.isEmpty())
        return failure(HelperFailed, Tr::tr("The file is not a valid record file: %1").arg(parseError));

    QStringList names = fileNames;
    names.removeDuplicates();
    QHash<QString, int> recordCount;
    for (const QString &name : std::as_const(names)) {
        int count = 0;
        for (const PackageRecord &record : records) {
            if (record.fileName != name)
                continue;
            if (record.type != u"module")
                return failure(HelperRefused,
                               Tr::tr("%1 is not a module package; only modules may be removed.").arg(name));
            ++count;
        }
        if (count == 0)
            return failure(HelperRefused, Tr::tr("%1 is not in the file.").arg(name));
        recordCount.insert(name, count);
    }
    const QList<PackageSpan> spans = packageSpans(original);
    QList<PackageSpan> taken;
    for (const QString &name : std::as_const(names)) {
        int found = 0;
        for (const PackageSpan &span : spans) {
            if (span.fileName == name) {
                taken << span;
                ++found;
            }
        }
        if (found != recordCount.value(name))
            return failure(
                HelperRefused,
                Tr::tr("Could not locate the record of %1 in the file text. Nothing was changed.").arg(name));
    }
    std::sort(taken.begin(), taken.end(), [](const PackageSpan &a, const PackageSpan &b) { return a.start > b.start; });
    QByteArray edited = original;
    for (const PackageSpan &span : std::as_const(taken))
        edited.remove(span.start, span.end - span.start);

    QStringList expected;
    for (const PackageRecord &record : records) {
        if (!names.contains(record.fileName))
            expected << record.fileName;
    }
    QString editError;
    QStringList remaining;
    for (const PackageRecord &record : parseInstalledRecords(edited, &editError))
        remaining << record.fileName;
    if (!editError.isEmpty() || remaining != expected)
        return failure(
            HelperFailed,
            Tr::tr("The edited file does not consist of exactly the remaining records. Nothing was changed."));

    if (!liesInsideInstallation(path))
        return outsideInstallation(path);
    QString backup;
    EditResult result = writeRecords(path, edited, &original, options, &backup);
    if (result.status != HelperDone)
        return result;
    result.count = int(taken.size());
    result.backupPath = backup;
    return result;
}

EditResult restoreNewestInstalledBackup(const QString &path, const RecordEditOptions &options)
{
    if (!isInstalledRecordPath(path))
        return failure(HelperRefused, Tr::tr("%1 is not PixInsight's installed.xri.").arg(native(path)));
    WriterLock lock(path);
    if (const EditResult refused = lockForEdit(path, options, lock); refused.status != HelperDone)
        return refused;
    const QStringList backups = installedBackups(path);
    if (backups.isEmpty())
        return failure(HelperNotFound, Tr::tr("There is no backup to restore."));
    const QString backup = QFileInfo(path).absolutePath() + u'/' + backups.constFirst();
    const BoundedFile::Result file = readRecordFile(backup);
    if (!file.ok())
        return failure(HelperFailed, Tr::tr("Cannot read %1.").arg(native(backup)));
    const QByteArray &bytes = file.bytes;
    QString parseError;
    parseInstalledRecords(bytes, &parseError);
    if (!parseError.isEmpty())
        return failure(
            HelperFailed,
            Tr::tr("The newest backup is not a valid record file (%1); it was not restored.").arg(parseError));
    if (!liesInsideInstallation(path))
        return outsideInstallation(path);
    // What is there now (records PixInsight added since, say) is backed up first.
    EditResult result = writeRecords(path, bytes, nullptr, options);
    if (result.status == HelperDone)
        result.backupPath = backup;
    return result;
}

QString displayInstallDate(const PackageRecord &record)
{
    const QDateTime when = QDateTime::fromString(record.installDate, QStringLiteral("yyyyMMddHHmmss"));
    return when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : record.installDate;
}

EditResult editResultFromElevatedRun(const ElevatedRun &run, const QString &path)
{
    EditResult result;
    result.status = HelperFailed;
    if (run.outcome == ElevatedRun::Cancelled) {
        result.message = Tr::tr("Cancelled: administrator permission was not given, so nothing was changed.");
        return result;
    }
    if (run.outcome == ElevatedRun::Failed) {
        result.message = run.failureText();
        return result;
    }
    result.status = run.exitCode;
    switch (run.exitCode) {
    case HelperDone:
        // The full path, as an in-process removal reports it.
        if (const QString newest = installedBackups(path).value(0); !newest.isEmpty())
            result.backupPath = QFileInfo(path).absolutePath() + u'/' + newest;
        break;
    case HelperHostRunning:
        result.message = Tr::tr("PixInsight is running. Close it first.");
        break;
    case HelperNotFound:
        result.message = Tr::tr("The record file (or a backup to restore) was not found.");
        break;
    case HelperRefused:
        result.message = Tr::tr("The change was refused: a package was missing or is not a module.");
        break;
    default:
        result.message = Tr::tr("The change failed (code %1). The file was left as it was, or its backup is beside it.")
                             .arg(run.exitCode);
        break;
    }
    return result;
}

int runInstalledUpdatesHelper(const QStringList &arguments, const HostEnvironment &environment,
                              const std::function<bool()> &isHostRunning)
{
    if (arguments.size() < 2 || arguments.at(0) != QLatin1String("--installed-updates-helper"))
        return HelperBadCommandLine;
    HostEnvironment helper = environment;
    helper.elevatedHelper = true;
    const QString path = findInstalledRecordFile(installFolderCandidates(helper));
    if (path.isEmpty())
        return HelperNotFound;
    RecordEditOptions options;
    options.isHostRunning = isHostRunning;
    if (arguments.at(1) == u"remove")
        return removeInstalledRecords(path, arguments.mid(2), options).status;
    if (arguments.at(1) == u"restore")
        return restoreNewestInstalledBackup(path, options).status;
    return HelperBadCommandLine;
}

} // namespace pfw
