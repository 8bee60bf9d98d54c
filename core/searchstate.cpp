#include "core/searchstate.h"

#include "core/boundedfile.h"
#include "core/safewrite.h"
#include "core/searchplan.h"
#include "core/treediff.h"
#include "core/xsdtfile.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"
#include "core/failure.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pfw {

namespace {

constexpr int kFormat = 1;
// Far more launches than any search of a real file takes, even answered "can't tell" throughout.
constexpr int kMaxRounds = 100000;

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

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QByteArray fingerprintFromHex(const QJsonValue &value)
{
    const QByteArray text = value.toString().toLatin1();
    const QByteArray bytes = QByteArray::fromHex(text);
    return value.isString() && text.size() == 64 && bytes.toHex() == text.toLower() ? bytes : QByteArray();
}

} // namespace

QString SearchSuspect::label(const SettingsSchema *schema, const XsdtNode *badRoot) const
{
    const XsdtNode *node = badRoot ? badRoot->findPath(path) : nullptr;
    if (schema && node)
        return schema->spec(*node).label;
    return SettingsSchema::humanizeKey(path.section(u'/', -1));
}

QString SearchSuspect::goodValueText() const
{
    if (kind == Remove)
        return SearchState::tr("(not in the good state: the entry is removed)");
    return goodValue;
}

SearchState SearchState::begin(const SearchPlan &plan, const QString &goodPath, const QByteArray &goodFingerprint,
                               const QByteArray &badFingerprint, const QString &backupName, const QDateTime &started)
{
    SearchState state;
    state.suspects = plan.suspects;
    state.onlyInGood = int(plan.onlyInGood.size());
    state.leftOut = int(plan.leftOut.size());
    state.search = ProblemSearchRounds(int(state.suspects.size()));
    state.goodPath = goodPath;
    state.goodFingerprint = goodFingerprint;
    state.backup = backupName;
    state.badFingerprint = badFingerprint;
    state.started = started.toString(Qt::ISODate);
    state.written = state.search.isFinished();
    state.lastWritten = badFingerprint;
    return state;
}

void SearchState::markWritten()
{
    written = true;
    lastWritten = candidate;
    lastWrittenSet = search.testing();
}

int SearchState::changesSince(const QByteArray &bad, const QByteArray &current, const DeletionPolicy *policy) const
{
    const QByteArray now = SafeWrite::sha256(current);
    // As the search left it, the file it started from (in its own backup), or this round's file.
    if (now == lastWritten || now == badFingerprint || (!candidate.isEmpty() && now == candidate))
        return 0;
    QByteArray last = bad;
    const bool known = lastWritten == badFingerprint
        || (SearchPlan::buildCandidate(bad, suspects, lastWrittenSet, &last, nullptr)
            && SafeWrite::sha256(last) == lastWritten);
    XsdtFile before, after;
    if (!known || !before.parse(last) || !after.parse(current))
        return -1;
    int changed = 0;
    for (const DiffEntry &entry : diffTrees(before.root, after.root)) {
        // Statistics and window state: PixInsight rewrites them on every exit.
        if (!policy || !policy->isCompareNoise(entry.here ? entry.here : entry.there))
            ++changed;
    }
    return changed;
}

QByteArray SearchState::toJson() const
{
    QJsonArray suspectArray;
    for (const SearchSuspect &suspect : suspects)
        suspectArray << suspectJson(suspect);
    QJsonArray lastSet;
    for (const int index : lastWrittenSet)
        lastSet << index;
    const QJsonObject object{{QStringLiteral("format"), kFormat},
                             {QStringLiteral("started"), started},
                             {QStringLiteral("good"), goodPath},
                             {QStringLiteral("goodFingerprint"), hex(goodFingerprint)},
                             {QStringLiteral("backup"), backup},
                             {QStringLiteral("badFingerprint"), hex(badFingerprint)},
                             {QStringLiteral("onlyInGood"), onlyInGood},
                             {QStringLiteral("leftOut"), leftOut},
                             {QStringLiteral("written"), written},
                             {QStringLiteral("candidate"), hex(candidate)},
                             {QStringLiteral("lastWritten"), hex(lastWritten)},
                             {QStringLiteral("lastWrittenSet"), lastSet},
                             {QStringLiteral("duringSearch"), QJsonArray::fromStringList(duringSearch)},
                             {QStringLiteral("search"), search.toJson()},
                             {QStringLiteral("suspects"), suspectArray}};
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

bool SearchState::fromJson(const QByteArray &bytes, SearchState *state, QString *reason)
{
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(bytes, &parseError);
    if (!json.isObject())
        return fail(reason,
                    parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                 : tr("it is not a JSON object"));
    const QJsonObject object = json.object();
    if (object.value(QLatin1String("format")).toInt() != kFormat)
        return fail(reason, tr("it was written by another version of Prefwright"));
    SearchState read;
    if (!ProblemSearchRounds::fromJson(object.value(QLatin1String("search")).toObject(), &read.search)
        || read.search.rounds() > kMaxRounds)
        return fail(reason, tr("the search itself is not readable"));
    const QJsonArray suspectArray = object.value(QLatin1String("suspects")).toArray();
    if (suspectArray.size() != read.search.suspectCount())
        return fail(reason, tr("the list of differences is not readable"));
    read.suspects.reserve(suspectArray.size());
    for (const QJsonValue &value : suspectArray) {
        SearchSuspect suspect;
        if (!suspectFromJson(value, &suspect))
            return fail(reason, tr("the list of differences is not readable"));
        read.suspects << suspect;
    }
    read.backup = QFileInfo(object.value(QLatin1String("backup")).toString()).fileName();
    read.badFingerprint = fingerprintFromHex(object.value(QLatin1String("badFingerprint")));
    if (read.backup.isEmpty() || read.badFingerprint.isEmpty() || !object.value(QLatin1String("written")).isBool()
        || !object.value(QLatin1String("good")).isString())
        return fail(reason, tr("it does not name the backup of the file"));
    read.goodPath = object.value(QLatin1String("good")).toString();
    read.goodFingerprint = fingerprintFromHex(object.value(QLatin1String("goodFingerprint")));
    read.started = object.value(QLatin1String("started")).toString();
    read.onlyInGood = qMax(0, object.value(QLatin1String("onlyInGood")).toInt());
    read.leftOut = qMax(0, object.value(QLatin1String("leftOut")).toInt());
    read.written = object.value(QLatin1String("written")).toBool();
    read.candidate = fingerprintFromHex(object.value(QLatin1String("candidate")));
    // States from before these were kept: the file as found is the last one known.
    read.lastWritten = fingerprintFromHex(object.value(QLatin1String("lastWritten")));
    if (read.lastWritten.isEmpty())
        read.lastWritten = read.badFingerprint;
    for (const QJsonValue &index : object.value(QLatin1String("lastWrittenSet")).toArray()) {
        if (index.toInt(-1) >= 0 && index.toInt() < read.suspects.size())
            read.lastWrittenSet << index.toInt();
    }
    for (const QJsonValue &name : object.value(QLatin1String("duringSearch")).toArray()) {
        if (name.isString() && !QFileInfo(name.toString()).fileName().isEmpty())
            read.duringSearch << QFileInfo(name.toString()).fileName();
    }
    *state = read;
    return true;
}

bool SearchState::read(const QString &statePath, SearchState *state, QString *reason)
{
    // A link in its place is someone else's file: read through, the next step would write through it.
    const BoundedFile::Result file = BoundedFile::read(statePath, kMaxSize, BoundedFile::RefuseLinks);
    if (!file.ok()) {
        if (reason)
            *reason = file.reason;
        return false;
    }
    return fromJson(file.bytes, state, reason);
}

} // namespace pfw
