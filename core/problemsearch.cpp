#include "core/problemsearch.h"

#include "core/backups.h"
#include "core/boundedfile.h"
#include "core/fileidentity.h"
#include "core/settingsdocument.h"
#include "core/treediff.h"
#include "core/writerlock.h"
#include "core/xmlwellformedness.h"
#include "core/xsdtfile.h"
#include "platform/hostprocesses.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

#include <cerrno>

namespace pfw {

namespace {

constexpr int kStateFormat = 1;
// A state names every difference with both of its values; no real one comes near this.
constexpr qint64 kMaxStateSize = qint64(64) << 20;
// Far more launches than any search of a real file takes, even answered "can't tell" throughout.
constexpr int kMaxRounds = 100000;

// Which occurrence of its path each value is, as diffTrees pairs them.
QHash<const XsdtNode *, int> occurrences(const XsdtNode &root)
{
    const QList<XsdtNode *> values = liveValues(root);
    QHash<QString, int> seen;
    QHash<const XsdtNode *, int> result;
    for (const XsdtNode *node : std::as_const(values))
        result.insert(node, seen[node->path()]++);
    return result;
}

// The paths of values with a "/" inside one of their keys.
void slashedPaths(const XsdtNode &node, QSet<QString> &out, bool slashed = false)
{
    for (const auto &child : node.children) {
        const bool here = slashed || child->key.contains(u'/');
        if (child->kind == XsdtNode::Value) {
            if (here)
                out.insert(child->path());
        } else {
            slashedPaths(*child, out, here);
        }
    }
}

bool takesPart(const XsdtNode *node, const DeletionPolicy *policy)
{
    return node->isEditableValue() && (!policy || (!policy->isCompareNoCopy(node) && !policy->isEditLocked(node)));
}

QString kindName(SearchSuspect::Kind kind)
{
    return kind == SearchSuspect::Remove ? QStringLiteral("remove") : QStringLiteral("putBack");
}

QJsonObject suspectJson(const SearchSuspect &suspect)
{
    QJsonObject object{{QStringLiteral("path"), suspect.path},
                       {QStringLiteral("occurrence"), suspect.occurrence},
                       {QStringLiteral("kind"), kindName(suspect.kind)},
                       {QStringLiteral("badType"), QString(suspect.badType)},
                       {QStringLiteral("badValue"), suspect.badValue}};
    if (suspect.kind == SearchSuspect::PutBack) {
        object.insert(QStringLiteral("goodType"), QString(suspect.goodType));
        object.insert(QStringLiteral("goodValue"), suspect.goodValue);
    }
    return object;
}

bool typeCode(const QJsonValue &value, QChar *out)
{
    const QString text = value.toString();
    if (!value.isString() || text.size() != 1 || !QStringLiteral("biuFfstB").contains(text.at(0)))
        return false;
    *out = text.at(0);
    return true;
}

bool suspectFromJson(const QJsonValue &value, SearchSuspect *out)
{
    const QJsonObject object = value.toObject();
    SearchSuspect suspect;
    const QJsonValue path = object.value(QLatin1String("path"));
    const QJsonValue occurrence = object.value(QLatin1String("occurrence"));
    const QString kind = object.value(QLatin1String("kind")).toString();
    suspect.path = path.toString();
    suspect.occurrence = occurrence.toInt(-1);
    if (!value.isObject() || !path.isString() || suspect.path.isEmpty() || !occurrence.isDouble()
        || occurrence.toDouble() != double(suspect.occurrence) || suspect.occurrence < 0
        || !typeCode(object.value(QLatin1String("badType")), &suspect.badType)
        || !object.value(QLatin1String("badValue")).isString())
        return false;
    suspect.badValue = object.value(QLatin1String("badValue")).toString();
    if (kind == kindName(SearchSuspect::Remove)) {
        suspect.kind = SearchSuspect::Remove;
    } else if (kind == kindName(SearchSuspect::PutBack)) {
        suspect.kind = SearchSuspect::PutBack;
        if (!typeCode(object.value(QLatin1String("goodType")), &suspect.goodType)
            || !object.value(QLatin1String("goodValue")).isString())
            return false;
        suspect.goodValue = object.value(QLatin1String("goodValue")).toString();
    } else {
        return false;
    }
    *out = suspect;
    return true;
}

QByteArray fingerprintFromHex(const QJsonValue &value)
{
    const QByteArray hex = value.toString().toLatin1();
    const QByteArray bytes = QByteArray::fromHex(hex);
    return value.isString() && hex.size() == 64 && bytes.toHex() == hex.toLower() ? bytes : QByteArray();
}

QJsonArray indexArray(const QList<int> &indices)
{
    QJsonArray array;
    for (const int index : indices)
        array << index;
    return array;
}

bool readStateObject(const QString &statePath, QJsonObject *object, QString *reason)
{
    // A link in its place is someone else's file: read through, the next step would write through it.
    const BoundedFile::Result read = BoundedFile::read(statePath, kMaxStateSize, BoundedFile::RefuseLinks);
    if (!read.ok()) {
        *reason = read.reason;
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(read.bytes, &parseError);
    if (!json.isObject()) {
        *reason = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                : ProblemSearch::tr("it is not a JSON object");
        return false;
    }
    *object = json.object();
    return true;
}

} // namespace

ProblemSearch::ProblemSearch(const QString &settingsPath)
    : m_settingsPath(searchedFile(settingsPath))
    , m_isHostRunning(isHostRunning)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
}

namespace {

bool stateExists(const QString &statePath)
{
    const QFileInfo state(statePath);
    return state.exists() || state.isSymLink();
}

// Where a search of a file may be kept: beside the real file behind a link, or beside the name
// itself when a link took the file's place during the search.
QStringList searchPlaces(const QString &settingsPath)
{
    const QString whole = wholeFilePath(settingsPath);
    const QString canonical = QFileInfo(settingsPath).canonicalFilePath();
    QStringList places{canonical.isEmpty() ? whole : canonical};
    if (!places.contains(whole))
        places << whole;
    return places;
}

} // namespace

QString ProblemSearch::searchedFile(const QString &settingsPath)
{
    // One search per file, whichever link or path it is reached by.
    const QStringList places = searchPlaces(settingsPath);
    for (const QString &place : places) {
        if (stateExists(place + stateSuffix()))
            return place;
    }
    return places.constFirst();
}

QString ProblemSearch::statePathFor(const QString &settingsPath)
{
    return searchedFile(settingsPath) + stateSuffix();
}

bool ProblemSearch::inProgress(const QString &settingsPath)
{
    return stateExists(statePathFor(settingsPath));
}

bool ProblemSearch::hasState() const
{
    // The file this search was made for, even if a link has taken its place since.
    return stateExists(statePath());
}

QStringList ProblemSearch::protectedBackups(const QString &settingsPath, const QStringList &backupPaths)
{
    // The names the states need; empty for a state that cannot be read, which needs them all.
    QStringList needed;
    bool damaged = false;
    for (const QString &place : searchPlaces(settingsPath)) {
        if (!stateExists(place + stateSuffix()))
            continue;
        QJsonObject object;
        QString reason;
        if (readStateObject(place + stateSuffix(), &object, &reason) && object.value(QLatin1String("backup")).isString()) {
            needed << QFileInfo(object.value(QLatin1String("backup")).toString()).fileName();
            for (const QJsonValue &name : object.value(QLatin1String("duringSearch")).toArray())
                needed << QFileInfo(name.toString()).fileName();
        } else {
            damaged = true;
        }
    }
    QStringList kept;
    for (const QString &path : backupPaths) {
        const QString name = QFileInfo(path).fileName();
        if (needed.contains(name) || (damaged && (name.contains(u'-' + backupTag()) || name.contains(u'-' + duringTag()))))
            kept << path;
    }
    return kept;
}

SearchPlan ProblemSearch::plan(const XsdtNode &bad, const XsdtNode &good, const DeletionPolicy *policy)
{
    SearchPlan plan;
    const QHash<const XsdtNode *, int> occurrence = occurrences(bad);
    QSet<QString> ambiguous;
    slashedPaths(bad, ambiguous);
    slashedPaths(good, ambiguous);
    for (const DiffEntry &entry : diffTrees(bad, good)) {
        if (policy && policy->isCompareNoise(entry.here ? entry.here : entry.there)) {
            ++plan.hidden;
            continue;
        }
        // A key holding "/" reads like a deeper path: such values cannot be told apart.
        if (ambiguous.contains(entry.path)) {
            plan.leftOut << entry.path;
            continue;
        }
        if (entry.status == DiffEntry::OnlyThere) {
            plan.onlyInGood << entry.path;
            continue;
        }
        const bool different = entry.status == DiffEntry::Different;
        // A good value no settings file can hold would make a round's file one a strict reader refuses.
        if (!takesPart(entry.here, policy) || (different && !takesPart(entry.there, policy))
            || (different && XmlWellFormedness::firstForbidden(entry.there->value))) {
            plan.leftOut << entry.path;
            continue;
        }
        SearchSuspect suspect;
        suspect.path = entry.path;
        suspect.occurrence = occurrence.value(entry.here);
        suspect.kind = different ? SearchSuspect::PutBack : SearchSuspect::Remove;
        suspect.badType = entry.here->type;
        suspect.badValue = entry.here->value;
        if (different) {
            suspect.goodType = entry.there->type;
            suspect.goodValue = entry.there->value;
        }
        plan.suspects << suspect;
    }
    return plan;
}

bool ProblemSearch::buildCandidate(const QByteArray &badBytes, const QList<SearchSuspect> &suspects,
                                   const QList<int> &putBack, QByteArray *candidate, QString *error)
{
    XsdtFile file;
    QString parseError;
    if (!file.parse(badBytes, &parseError)) {
        if (error)
            *error = tr("The file as it was before the search does not read back (%1).").arg(parseError);
        return false;
    }
    const QList<XsdtNode *> values = liveValues(file.root);
    QHash<QString, QList<XsdtNode *>> byPath;
    for (XsdtNode *node : std::as_const(values))
        byPath[node->path()] << node;
    for (const int index : putBack) {
        const SearchSuspect &suspect = suspects.at(index);
        XsdtNode *node = byPath.value(suspect.path).value(suspect.occurrence);
        if (!node || node->type != suspect.badType || node->value != suspect.badValue) {
            if (error)
                *error = tr("The search state does not match the file it was made for (at %1).").arg(suspect.path);
            return false;
        }
        if (suspect.kind == SearchSuspect::Remove) {
            node->deleted = true;
        } else {
            node->type = suspect.goodType;
            node->value = suspect.goodValue;
        }
    }
    *candidate = file.serialize();
    return true;
}

QString ProblemSearch::label(const SearchSuspect &suspect, const SettingsSchema *schema, const XsdtNode *badRoot)
{
    const XsdtNode *node = badRoot ? badRoot->findPath(suspect.path) : nullptr;
    if (schema && node)
        return schema->spec(*node).label;
    return SettingsSchema::humanizeKey(suspect.path.section(u'/', -1));
}

QString ProblemSearch::goodValueText(const SearchSuspect &suspect)
{
    if (suspect.kind == SearchSuspect::Remove)
        return tr("(not in the good state: the entry is removed)");
    return suspect.goodValue;
}

QList<SearchSuspect> ProblemSearch::remainingSuspects() const
{
    QList<SearchSuspect> remaining;
    for (const int index : m_search.remaining())
        remaining << m_suspects.at(index);
    return remaining;
}

bool ProblemSearch::read(QString *error)
{
    const auto damaged = [this, error](QString reason) {
        while (reason.endsWith(u'.'))
            reason.chop(1);
        const QString kept = startBackup();
        if (error)
            *error = kept.isEmpty()
                ? tr("The search state %1 cannot be used: %2. No backup from the start of the search is left; end the "
                     "search keeping the file as it is now (prefwright-cli bisect reset FILE --keep-current).")
                      .arg(statePath(), reason)
                : tr("The search state %1 cannot be used: %2. The file as it was before the search is kept in %3: put "
                     "it back and end the search (prefwright-cli bisect reset FILE --from-backup), or keep the file "
                     "as it is now (--keep-current).")
                      .arg(statePath(), reason, QFileInfo(kept).fileName());
        return false;
    };
    if (!hasState()) {
        if (error)
            *error = tr("No search for a problem setting is in progress for %1.").arg(m_settingsPath);
        return false;
    }
    QJsonObject object;
    QString reason;
    if (!readStateObject(statePath(), &object, &reason))
        return damaged(reason);
    if (object.value(QLatin1String("format")).toInt() != kStateFormat)
        return damaged(tr("it was written by another version of Prefwright"));
    BisectSearch search;
    if (!BisectSearch::fromJson(object.value(QLatin1String("search")).toObject(), &search)
        || search.rounds() > kMaxRounds)
        return damaged(tr("the search itself is not readable"));
    const QJsonArray suspectArray = object.value(QLatin1String("suspects")).toArray();
    if (suspectArray.size() != search.suspectCount())
        return damaged(tr("the list of differences is not readable"));
    QList<SearchSuspect> suspects;
    suspects.reserve(suspectArray.size());
    for (const QJsonValue &value : suspectArray) {
        SearchSuspect suspect;
        if (!suspectFromJson(value, &suspect))
            return damaged(tr("the list of differences is not readable"));
        suspects << suspect;
    }
    // Kept by name: the folder may have moved or be reached by another path since.
    const QString backupName = QFileInfo(object.value(QLatin1String("backup")).toString()).fileName();
    const QString backup = backupName.isEmpty() ? QString() : QFileInfo(m_settingsPath).absolutePath() + u'/' + backupName;
    const QByteArray badFingerprint = fingerprintFromHex(object.value(QLatin1String("badFingerprint")));
    if (backup.isEmpty() || badFingerprint.isEmpty() || !object.value(QLatin1String("written")).isBool()
        || !object.value(QLatin1String("good")).isString())
        return damaged(tr("it does not name the backup of the file"));
    // Only a backup of this very file can stand for it.
    if (!backupName.startsWith(QFileInfo(m_settingsPath).fileName() + QLatin1String(".bak-")))
        return damaged(tr("%1 is not a backup of this file").arg(backupName));
    m_search = search;
    m_suspects = suspects;
    m_backupPath = backup;
    m_badFingerprint = badFingerprint;
    m_goodPath = object.value(QLatin1String("good")).toString();
    m_goodFingerprint = fingerprintFromHex(object.value(QLatin1String("goodFingerprint")));
    m_started = object.value(QLatin1String("started")).toString();
    m_onlyInGood = qMax(0, object.value(QLatin1String("onlyInGood")).toInt());
    m_leftOut = qMax(0, object.value(QLatin1String("leftOut")).toInt());
    m_written = object.value(QLatin1String("written")).toBool();
    m_candidate = fingerprintFromHex(object.value(QLatin1String("candidate")));
    // States from before these were kept: the file as found is the last one known.
    m_lastWritten = fingerprintFromHex(object.value(QLatin1String("lastWritten")));
    if (m_lastWritten.isEmpty())
        m_lastWritten = m_badFingerprint;
    m_lastWrittenSet.clear();
    for (const QJsonValue &index : object.value(QLatin1String("lastWrittenSet")).toArray()) {
        if (index.toInt(-1) >= 0 && index.toInt() < m_suspects.size())
            m_lastWrittenSet << index.toInt();
    }
    m_duringSearch.clear();
    for (const QJsonValue &name : object.value(QLatin1String("duringSearch")).toArray()) {
        if (name.isString() && !QFileInfo(name.toString()).fileName().isEmpty())
            m_duringSearch << QFileInfo(name.toString()).fileName();
    }
    // A step cut short after writing the round's file, before saying so: the file tells.
    if (!m_written && !m_candidate.isEmpty() && !m_search.isFinished()) {
        QByteArray current;
        if (SettingsDocument::readFile(m_settingsPath, &current, nullptr) && SettingsDocument::sha256(current) == m_candidate) {
            m_written = true;
            m_lastWritten = m_candidate;
            m_lastWrittenSet = m_search.testing();
        }
    }
    return true;
}

QString ProblemSearch::startBackup() const
{
    return newestBackupTagged(m_settingsPath, backupTag());
}

QStringList ProblemSearch::duringSearchBackups() const
{
    QStringList paths;
    const QString folder = QFileInfo(m_settingsPath).absolutePath() + u'/';
    for (const QString &name : m_duringSearch)
        paths << folder + name;
    return paths;
}

bool ProblemSearch::readBadBytes(QByteArray *bytes, QString *error) const
{
    const QString lost = tr("The backup %1, which holds the file as it was before the search, is missing or was "
                            "changed. The search cannot go on.")
                             .arg(m_backupPath);
    QByteArray read;
    if (!isBackupOf(m_settingsPath, m_backupPath) || !SettingsDocument::readFile(m_backupPath, &read, nullptr)
        || SettingsDocument::sha256(read) != m_badFingerprint) {
        if (error)
            *error = lost;
        return false;
    }
    *bytes = read;
    return true;
}

QByteArray ProblemSearch::stateBytes() const
{
    QJsonArray suspects;
    for (const SearchSuspect &suspect : m_suspects)
        suspects << suspectJson(suspect);
    const QJsonObject object{{QStringLiteral("format"), kStateFormat},
                             {QStringLiteral("started"), m_started},
                             {QStringLiteral("good"), m_goodPath},
                             {QStringLiteral("goodFingerprint"), QString::fromLatin1(m_goodFingerprint.toHex())},
                             {QStringLiteral("backup"), QFileInfo(m_backupPath).fileName()},
                             {QStringLiteral("badFingerprint"), QString::fromLatin1(m_badFingerprint.toHex())},
                             {QStringLiteral("onlyInGood"), m_onlyInGood},
                             {QStringLiteral("leftOut"), m_leftOut},
                             {QStringLiteral("written"), m_written},
                             {QStringLiteral("candidate"), QString::fromLatin1(m_candidate.toHex())},
                             {QStringLiteral("lastWritten"), QString::fromLatin1(m_lastWritten.toHex())},
                             {QStringLiteral("lastWrittenSet"), indexArray(m_lastWrittenSet)},
                             {QStringLiteral("duringSearch"), QJsonArray::fromStringList(m_duringSearch)},
                             {QStringLiteral("search"), m_search.toJson()},
                             {QStringLiteral("suspects"), suspects}};
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

bool ProblemSearch::writeState(QString *error) const
{
    // The save would write through a link to wherever it points.
    const QFileInfo state(statePath());
    if (state.isSymLink() || (state.exists() && !state.isFile())) {
        if (error)
            *error = tr("%1 is not the search state Prefwright wrote (a link or something else stands in its place); "
                        "Prefwright does not write through it.")
                         .arg(statePath());
        return false;
    }
    const QByteArray bytes = stateBytes();
    QString reason;
    const bool written = m_writeState ? m_writeState(bytes, &reason) : saveState(statePath(), bytes, m_settingsPath, &reason);
    if (!written && error)
        *error = tr("Cannot write the search state %1: %2").arg(statePath(), reason);
    return written;
}

bool ProblemSearch::saveState(const QString &statePath, const QByteArray &bytes, const QString &ownerOf, QString *reason)
{
    errno = 0;
    QSaveFile file(statePath);
    const bool written = file.open(QIODevice::WriteOnly) && (copyOwnership(int(file.handle()), ownerOf), true)
        && file.write(bytes) == bytes.size() && file.flush() && syncToDisk(int(file.handle())) && file.commit();
    if (!written && reason)
        *reason = systemReason(file);
    return written;
}

bool ProblemSearch::canWrite(QString *error) const
{
    // Started on a file, a search never writes through a link that has taken its place.
    if (QFileInfo(m_settingsPath).isSymLink()) {
        if (error)
            *error = tr("%1 has been replaced by a link since the search started; Prefwright does not write through "
                        "it. Put the file back in its place.")
                         .arg(m_settingsPath);
        return false;
    }
    SettingsDocument writer;
    writer.setRunningCheck(m_isHostRunning);
    return writer.canReplace(m_settingsPath, error);
}

bool ProblemSearch::replaceFile(const QByteArray &bytes, SettingsDocument::Replacement how, QString *error,
                                QString *backupPath) const
{
    SettingsDocument writer;
    writer.setRunningCheck(m_isHostRunning);
    writer.setClock(m_clock);
    // Every step holds the file's writer lock from its first look to its last write.
    how.lockHeld = true;
    return writer.replaceWith(m_settingsPath, bytes, how, error, backupPath);
}

bool ProblemSearch::writeCandidate(QString *error)
{
    QByteArray bad, candidate;
    if (!canWrite(error) || !readBadBytes(&bad, error)
        || !buildCandidate(bad, m_suspects, m_search.testing(), &candidate, error))
        return false;
    if (!keepWhatPixInsightWrote(bad, error))
        return false;
    // Known before it is written, so a step cut short at the write is still told apart.
    m_candidate = SettingsDocument::sha256(candidate);
    m_written = false;
    if (!writeState(error))
        return false;
    SettingsDocument::Replacement how;
    how.madeFrom = &bad;
    if (!replaceFile(candidate, how, error))
        return false;
    m_written = true;
    m_lastWritten = m_candidate;
    m_lastWrittenSet = m_search.testing();
    return writeState(error);
}

bool ProblemSearch::keepWhatPixInsightWrote(const QByteArray &bad, QString *error)
{
    QByteArray current;
    // Nothing there, or nothing a settings file: the checks before the write deal with it.
    if (!SettingsDocument::readFile(m_settingsPath, &current, nullptr))
        return true;
    const QByteArray now = SettingsDocument::sha256(current);
    // As the search left it, the file it started from (in its own backup), or this round's file.
    if (now == m_lastWritten || now == m_badFingerprint || (!m_candidate.isEmpty() && now == m_candidate))
        return true;
    QByteArray last = bad;
    bool known = m_lastWritten == m_badFingerprint
        || (buildCandidate(bad, m_suspects, m_lastWrittenSet, &last, nullptr) && SettingsDocument::sha256(last) == m_lastWritten);
    int changed = 0;
    XsdtFile before, after;
    if (known && before.parse(last) && after.parse(current)) {
        for (const DiffEntry &entry : diffTrees(before.root, after.root)) {
            if (!m_policy || !m_policy->isCompareNoise(entry.here ? entry.here : entry.there))
                ++changed;
        }
        // Statistics and window state only: PixInsight rewrites them on every exit.
        if (changed == 0)
            return true;
    } else {
        known = false;
    }
    const QString backup = SettingsDocument::makeBackupPath(m_settingsPath, duringTag(), m_clock());
    QString reason;
    if (!writeBackupFile(current, backup, m_settingsPath, &reason)) {
        if (error)
            *error = tr("PixInsight changed the file while the search waited, and the change could not be kept in a "
                        "backup (%1), so the search does not write over it. Nothing was written.")
                         .arg(reason);
        return false;
    }
    m_duringSearch << QFileInfo(backup).fileName();
    const QString name = QFileInfo(backup).fileName();
    if (!known)
        m_notice = tr("The file was changed while the search waited; it is kept as it was then in %1.").arg(name);
    else if (changed == 1)
        m_notice = tr("PixInsight changed 1 setting while it ran; the file as it was then is kept in %1.").arg(name);
    else
        m_notice = tr("PixInsight changed %1 settings while it ran; the file as it was then is kept in %2.")
                       .arg(changed)
                       .arg(name);
    // Recorded before anything writes over the file, so pruning spares it while the search lasts.
    return writeState(error);
}

bool ProblemSearch::lockedStep(const std::function<bool(QString *)> &step, QString *error)
{
    // Steps from two programs (the window and a terminal) must not interleave, and no save,
    // restore or pruning of backups may come between the parts of one step.
    WriterLock stateLock(statePath());
    if (!stateLock.acquire(error))
        return false;
    WriterLock fileLock(m_settingsPath);
    if (!fileLock.acquire(error))
        return false;
    m_notice.clear();
    return step(error);
}

bool ProblemSearch::start(const QString &goodPath, const DeletionPolicy *policy, const QByteArray &expectedFingerprint,
                          QString *error)
{
    return lockedStep(
        [&](QString *error) {
            const auto fail = [error](const QString &message) {
                if (error)
                    *error = message;
                return false;
            };
            if (hasState())
                return fail(tr("A search for a problem setting is already in progress for this file. Answer its "
                               "current round, or end it first."));
            if (m_isHostRunning && m_isHostRunning())
                return fail(tr("PixInsight is running. Close it before starting the search."));
            if (searchedFile(goodPath) == m_settingsPath)
                return fail(tr("The good state must be another file or a backup, not the file itself."));
            // Its state is kept beside one name only, and every round gives that name a new file.
            if (FileIdentity::of(m_settingsPath).links > 1)
                return fail(tr("This file has another name (a hard link): each round would give this name a new file "
                               "and leave the other as it was, and a search through the other name would not see this "
                               "one. Remove the other name first."));
            QByteArray goodBytes, badBytes;
            XsdtFile good, bad;
            QString parseError;
            if (!SettingsDocument::readFile(goodPath, &goodBytes, error))
                return false;
            if (!good.parse(goodBytes, &parseError))
                return fail(tr("%1 is not a valid PixInsight settings file: %2").arg(goodPath, parseError));
            // Every round's file would carry the replacement characters the reader put in.
            const auto invalidUtf8 = [](const QString &path, const XsdtFile &file) {
                return tr("%1 contains bytes that are not valid UTF-8 (first at line %2, column %3); the search would "
                          "replace them in every file it writes. Open it in Prefwright and look at it first.")
                    .arg(path)
                    .arg(file.invalidUtf8Line)
                    .arg(file.invalidUtf8Column);
            };
            if (!good.validUtf8)
                return fail(invalidUtf8(goodPath, good));
            QString backup;
            {
                // The backup must hold exactly the bytes the search starts from.
                if (!SettingsDocument::readFile(m_settingsPath, &badBytes, error))
                    return false;
                if (!expectedFingerprint.isEmpty() && SettingsDocument::sha256(badBytes) != expectedFingerprint)
                    return fail(tr("The settings file changed on disk since it was loaded. Reload it and start "
                                   "again."));
                if (!bad.parse(badBytes, &parseError))
                    return fail(
                        tr("%1 is not a valid PixInsight settings file: %2").arg(m_settingsPath, parseError));
                if (!bad.validUtf8)
                    return fail(invalidUtf8(m_settingsPath, bad));
                const SearchPlan found = plan(bad.root, good.root, policy);
                if (found.suspects.isEmpty())
                    return fail(tr("Nothing can be tested: the file and that state differ only in statistics, "
                                   "window state, generated lists, protected values or entries only the good "
                                   "state has."));
                backup = SettingsDocument::makeBackupPath(m_settingsPath, backupTag(), m_clock());
                m_suspects = found.suspects;
                m_onlyInGood = int(found.onlyInGood.size());
                m_leftOut = int(found.leftOut.size());
                m_search = BisectSearch(int(m_suspects.size()));
                m_goodPath = goodPath;
                m_goodFingerprint = SettingsDocument::sha256(goodBytes);
                m_backupPath = backup;
                m_badFingerprint = SettingsDocument::sha256(badBytes);
                m_started = m_clock().toString(Qt::ISODate);
                m_written = m_search.isFinished();
                m_lastWritten = m_badFingerprint;
                m_lastWrittenSet.clear();
                m_duringSearch.clear();
                m_candidate.clear();
                // A state too large to read back would strand the search: known before anything is written.
                if (stateBytes().size() > kMaxStateSize - 4096)
                    return fail(tr("The differences are too large to keep track of (over %1 MiB). Nothing was "
                                   "written.")
                                    .arg(kMaxStateSize >> 20));
                QString reason;
                if (!writeBackupFile(badBytes, backup, m_settingsPath, &reason))
                    return fail(tr("Could not create the backup %1: %2. Nothing was written.").arg(backup, reason));
            }
            QByteArray candidate;
            if (!m_search.isFinished()) {
                if (!buildCandidate(badBytes, m_suspects, m_search.testing(), &candidate, error)) {
                    QFile::remove(backup);
                    return false;
                }
                m_candidate = SettingsDocument::sha256(candidate);
            }
            if (!writeState(error)) {
                QFile::remove(backup);
                return false;
            }
            if (m_search.isFinished())
                return true;
            SettingsDocument::Replacement how;
            // PixInsight may have come between the backup and this write: its work is not in the backup.
            how.expectedFingerprint = m_badFingerprint;
            how.madeFrom = &badBytes;
            if (!replaceFile(candidate, how, error)) {
                QByteArray now;
                // Still the file as it was: as if the search had never started.
                if (SettingsDocument::readFile(m_settingsPath, &now, nullptr) && SettingsDocument::sha256(now) == m_badFingerprint) {
                    QFile::remove(statePath());
                    QFile::remove(backup);
                }
                return false;
            }
            m_written = true;
            m_lastWritten = m_candidate;
            m_lastWrittenSet = m_search.testing();
            QString reason;
            if (writeState(&reason))
                return true;
            // The state still names this round's file, which is how the next step tells it was written.
            if (error)
                *error = tr("The search started and this round's file is written, but its state could not be saved: %1")
                             .arg(reason);
            return false;
        },
        error);
}

bool ProblemSearch::answer(BisectSearch::Answer answer, int expectedRound, QString *error)
{
    return lockedStep(
        [&](QString *error) {
            const auto fail = [error](const QString &message) {
                if (error)
                    *error = message;
                return false;
            };
            if (!read(error))
                return false;
            if (m_search.isFinished())
                return fail(tr("The search is already over. End it to choose what to keep."));
            if (expectedRound >= 0 && expectedRound != m_search.rounds())
                return fail(tr("The search moved on in another window or terminal. Its current round is shown now."));
            if (!m_written) {
                if (!writeCandidate(error))
                    return false;
                return fail(tr("The file for round %1 had not been written (an earlier step was interrupted); it is "
                               "now. Test it, then answer.")
                                .arg(m_search.rounds() + 1));
            }
            if (m_isHostRunning && m_isHostRunning())
                return fail(tr("PixInsight is running. Close it, then answer."));
            // An answer is kept only when the next file can be written.
            if (!canWrite(error))
                return false;
            m_search.answer(answer);
            m_written = m_search.isFinished();
            // The next round's file is not known yet: the one on disk must not pass for it.
            m_candidate.clear();
            if (!writeState(error))
                return false;
            if (m_search.isFinished())
                return true;
            if (!writeCandidate(error)) {
                if (error)
                    *error += u' ' + tr("The answer was kept; the next file is written when you continue.");
                return false;
            }
            return true;
        },
        error);
}

bool ProblemSearch::writePendingCandidate(QString *error)
{
    return lockedStep(
        [&](QString *error) {
            if (!read(error))
                return false;
            return m_written || m_search.isFinished() || writeCandidate(error);
        },
        error);
}

bool ProblemSearch::endFromStartBackup(QString *error, QString *backupPath)
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    // Something else in the state's place (a folder) is not Prefwright's to remove.
    const QFileInfo state(statePath());
    if (state.isDir() && !state.isSymLink())
        return fail(tr("%1 is a folder, not a search state; Prefwright does not remove it. Move it away, then end the "
                       "search.")
                        .arg(statePath()));
    const QString kept = startBackup();
    if (kept.isEmpty())
        return fail(tr("No backup from the start of a search of %1 is left to put back. End the search keeping the "
                       "file as it is now (--keep-current).")
                        .arg(m_settingsPath));
    QByteArray bytes;
    XsdtFile check;
    QString parseError;
    if (!SettingsDocument::readFile(kept, &bytes, error))
        return false;
    if (!check.parse(bytes, &parseError))
        return fail(tr("%1 is not a valid settings file (%2); it cannot be put back.").arg(kept, parseError));
    if (!canWrite(error))
        return false;
    // What PixInsight changed meanwhile is named at the end: the state that would list it is gone.
    m_duringSearch.clear();
    const QDateTime started = QFileInfo(kept).lastModified();
    for (const QString &path : listBackups(m_settingsPath)) {
        if (QFileInfo(path).fileName().contains(u'-' + duringTag()) && QFileInfo(path).lastModified() >= started)
            m_duringSearch.prepend(QFileInfo(path).fileName());
    }
    SettingsDocument::Replacement replacement;
    replacement.backupTag = QStringLiteral("before-restore");
    replacement.madeFrom = &bytes;
    return replaceFile(bytes, replacement, error, backupPath);
}

bool ProblemSearch::end(End how, QString *error, QString *backupPath)
{
    return lockedStep(
        [&](QString *error) {
            const auto fail = [error](const QString &message) {
                if (error)
                    *error = message;
                return false;
            };
            const auto removeState = [&] {
                if (QFile::remove(statePath()) || !hasState())
                    return true;
                return fail(tr("Could not remove the search state %1.").arg(statePath()));
            };
            if (!hasState())
                return read(error);
            const bool readable = read(error);
            if (how == End::KeepCurrent)
                return removeState();
            if (how == End::FromBackup && !readable)
                return endFromStartBackup(error, backupPath) && removeState();
            if (!readable)
                return false;
            if (how == End::FromBackup)
                how = End::PutBack;
            QByteArray bad, bytes;
            if (!readBadBytes(&bad, error))
                return false;
            SettingsDocument::Replacement replacement;
            replacement.madeFrom = &bad;
            if (how == End::PutBack) {
                bytes = bad;
                replacement.backupTag = QStringLiteral("before-restore");
            } else {
                if (!m_search.isFinished())
                    return fail(tr("The search is not over yet."));
                QList<int> culprits = m_search.remaining();
                if (!buildCandidate(bad, m_suspects, culprits, &bytes, error))
                    return false;
                replacement.backupTag = QString();
            }
            // A refusal must leave the search as it was.
            if (!canWrite(error))
                return false;
            // Should this step be cut short after the write, the state must not claim that the
            // file on disk is a candidate. On a full disk it cannot say so; ending still goes on.
            if (m_written && !m_search.isFinished()) {
                m_written = false;
                m_candidate.clear();
                QString ignored;
                (void)writeState(&ignored);
            }
            if (!replaceFile(bytes, replacement, error, backupPath))
                return false;
            return removeState();
        },
        error);
}

} // namespace pfw
