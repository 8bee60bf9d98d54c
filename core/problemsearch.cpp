#include "core/problemsearch.h"

#include "core/atomicfile.h"
#include "core/backups.h"
#include "core/failure.h"
#include "core/fileidentity.h"
#include "core/safewrite.h"
#include "core/settingsdocument.h"
#include "core/treediff.h"
#include "core/writerlock.h"
#include "core/xsdtfile.h"
#include "platform/hostprocesses.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pfw {

ProblemSearch::ProblemSearch(const QString &settingsPath)
    : m_settingsPath(searchedFile(settingsPath))
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
    // Spelled as on disk: two spellings of one name (Windows) are one file with one search.
    const QString canonical = wholeFilePath(QFileInfo(settingsPath).canonicalFilePath());
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
        SearchState state;
        if (SearchState::read(place + stateSuffix(), &state, nullptr))
            needed << state.backup << state.duringSearch;
        else
            damaged = true;
    }
    QStringList kept;
    for (const QString &path : backupPaths) {
        const QString name = QFileInfo(path).fileName();
        if (needed.contains(name)
            || (damaged && (name.contains(u'-' + backupTag()) || name.contains(u'-' + duringTag()))))
            kept << path;
    }
    return kept;
}

QList<SearchSuspect> ProblemSearch::remainingSuspects() const
{
    QList<SearchSuspect> remaining;
    for (const int index : m_state.search.remaining())
        remaining << m_state.suspects.at(index);
    return remaining;
}

bool ProblemSearch::read(QString *error)
{
    const auto damaged = [this, error](QString reason) {
        reason = withoutFullStop(reason);
        const QString kept = startBackup();
        if (error)
            *error = kept.isEmpty()
                ? tr("The search state %1 cannot be used: %2. No backup from the start of the search is left; end the "
                     "search keeping the file as it is now (prefwright-cli bisect reset FILE --keep-current).")
                      .arg(QDir::toNativeSeparators(statePath()), reason)
                : tr("The search state %1 cannot be used: %2. The file as it was before the search is kept in %3: put "
                     "it back and end the search (prefwright-cli bisect reset FILE --from-backup), or keep the file "
                     "as it is now (--keep-current).")
                      .arg(QDir::toNativeSeparators(statePath()), reason, QFileInfo(kept).fileName());
        return false;
    };
    if (!hasState()) {
        if (error)
            *error = tr("No search for a problem setting is in progress for %1.")
                         .arg(QDir::toNativeSeparators(m_settingsPath));
        return false;
    }
    SearchState state;
    QString reason;
    if (!SearchState::read(statePath(), &state, &reason))
        return damaged(reason);
    // Only a backup of this very file can stand for it.
    if (!state.backup.startsWith(QFileInfo(m_settingsPath).fileName() + QLatin1String(".bak-")))
        return damaged(tr("%1 is not a backup of this file").arg(state.backup));
    m_state = state;
    // Kept by name: the folder may have moved or be reached by another path since.
    m_backupPath = QFileInfo(m_settingsPath).absolutePath() + u'/' + state.backup;
    // A step cut short after writing the round's file, before saying so: the file tells.
    if (!m_state.written && !m_state.candidate.isEmpty() && !m_state.search.isFinished()) {
        QByteArray current;
        if (SafeWrite::readFile(m_settingsPath, &current, nullptr) && SafeWrite::sha256(current) == m_state.candidate) {
            m_state.markWritten();
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
    for (const QString &name : m_state.duringSearch)
        paths << folder + name;
    return paths;
}

bool ProblemSearch::readBadBytes(QByteArray *bytes, QString *error) const
{
    const QString lost = tr("The backup %1, which holds the file as it was before the search, is missing or was "
                            "changed. The search cannot go on.")
                             .arg(QDir::toNativeSeparators(m_backupPath));
    QByteArray read;
    if (!isBackupOf(m_settingsPath, m_backupPath) || !SafeWrite::readFile(m_backupPath, &read, nullptr)
        || SafeWrite::sha256(read) != m_state.badFingerprint) {
        if (error)
            *error = lost;
        return false;
    }
    *bytes = read;
    return true;
}

QByteArray ProblemSearch::stateBytes() const
{
    return m_state.toJson();
}

bool ProblemSearch::writeState(QString *error) const
{
    // The save would write through a link to wherever it points.
    const QFileInfo state(statePath());
    if (state.isSymLink() || (state.exists() && !state.isFile())) {
        if (error)
            *error = tr("%1 is not the search state Prefwright wrote (a link or something else stands in its place); "
                        "Prefwright does not write through it.")
                         .arg(QDir::toNativeSeparators(statePath()));
        return false;
    }
    const QByteArray bytes = stateBytes();
    QString reason;
    const bool written
        = m_writeState ? m_writeState(bytes, &reason) : saveState(statePath(), bytes, m_settingsPath, &reason);
    if (!written && error)
        *error = tr("Cannot write the search state %1: %2").arg(QDir::toNativeSeparators(statePath()), reason);
    return written;
}

bool ProblemSearch::saveState(const QString &statePath, const QByteArray &bytes, const QString &ownerOf,
                              QString *reason)
{
    AtomicFile::Options options;
    options.ownerOf = ownerOf;
    // Every step writes its state under the settings file's writer lock.
    options.underLock = true;
    const AtomicFile::Result written = AtomicFile::write(statePath, bytes, options);
    if (!written.ok() && reason)
        *reason = written.reason;
    return written.ok();
}

bool ProblemSearch::canWrite(QString *error) const
{
    // Started on a file, a search never writes through a link that has taken its place.
    if (QFileInfo(m_settingsPath).isSymLink()) {
        if (error)
            *error = tr("%1 has been replaced by a link since the search started; Prefwright does not write through "
                        "it. Put the file back in its place.")
                         .arg(QDir::toNativeSeparators(m_settingsPath));
        return false;
    }
    return m_writer.canReplace(m_settingsPath, error);
}

bool ProblemSearch::replaceFile(const QByteArray &bytes, SafeWrite::Request how, QString *error,
                                QString *backupPath) const
{
    how.path = m_settingsPath;
    how.bytes = bytes;
    // Every step holds the file's writer lock from its first look to its last write.
    how.lockHeld = true;
    how.bySearch = true;
    how.unreadableEnding = tr("Prefwright does not write over it.");
    const SafeWrite::Outcome written = m_writer.write(how);
    if (!written.written && error)
        *error = written.message;
    if (written.written && backupPath)
        *backupPath = written.backupPath;
    return written.written;
}

bool ProblemSearch::writeCandidate(QString *error)
{
    QByteArray bad, candidate;
    if (!canWrite(error) || !readBadBytes(&bad, error)
        || !SearchPlan::buildCandidate(bad, m_state.suspects, m_state.search.testing(), &candidate, error))
        return false;
    if (!keepWhatPixInsightWrote(bad, error))
        return false;
    // Known before it is written, so a step cut short at the write is still told apart.
    m_state.candidate = SafeWrite::sha256(candidate);
    m_state.written = false;
    if (!writeState(error))
        return false;
    SafeWrite::Request how;
    how.madeFrom = &bad;
    if (!replaceFile(candidate, how, error))
        return false;
    m_state.markWritten();
    return writeState(error);
}

QString ProblemSearch::changesText(int changed, const QString &backup, bool lastRound)
{
    const QString name = QFileInfo(backup).fileName();
    if (changed < 0)
        return tr("The file was changed while the search waited; it is kept as it was then in %1.").arg(name);
    if (lastRound)
        return changed == 1
            ? tr("PixInsight changed 1 setting after the last round's file was written; the file as it was then is "
                 "kept in %1.")
                  .arg(name)
            : tr("PixInsight changed %1 settings after the last round's file was written; the file as it was then is "
                 "kept in %2.")
                  .arg(changed)
                  .arg(name);
    return changed == 1
        ? tr("PixInsight changed 1 setting while it ran; the file as it was then is kept in %1.").arg(name)
        : tr("PixInsight changed %1 settings while it ran; the file as it was then is kept in %2.")
              .arg(changed)
              .arg(name);
}

bool ProblemSearch::keepWhatPixInsightWrote(const QByteArray &bad, QString *error)
{
    QByteArray current;
    // Nothing there, or nothing a settings file: the checks before the write deal with it.
    if (!SafeWrite::readFile(m_settingsPath, &current, nullptr))
        return true;
    const int changed = m_state.changesSince(bad, current, m_policy);
    if (changed == 0)
        return true;
    const QString backup = SafeWrite::makeBackupPath(m_settingsPath, duringTag(), m_writer.clock()());
    QString reason;
    if (!m_writer.backUp(current, backup, &reason)) {
        if (error)
            *error = tr("PixInsight changed the file while the search waited, and the change could not be kept in a "
                        "backup (%1), so the search does not write over it. Nothing was written.")
                         .arg(reason);
        return false;
    }
    m_state.duringSearch << QFileInfo(backup).fileName();
    m_notice = changesText(changed, backup, false);
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
            if (hasState())
                return fail(error,
                            tr("A search for a problem setting is already in progress for this file. Answer its "
                               "current round, or end it first."));
            if (!m_writer.runningRefusal().isEmpty())
                return fail(error, tr("PixInsight is running. Close it before starting the search."));
            if (searchedFile(goodPath) == m_settingsPath)
                return fail(error, tr("The good state must be another file or a backup, not the file itself."));
            // Its state is kept beside one name only, and every round gives that name a new file.
            if (FileIdentity::of(m_settingsPath).links > 1)
                return fail(error,
                            tr("This file has another name (a hard link): each round would give this name a new file "
                               "and leave the other as it was, and a search through the other name would not see this "
                               "one. Remove the other name first."));
            QByteArray goodBytes, badBytes;
            XsdtFile good, bad;
            if (!SettingsDocument::readSettingsFile(goodPath, &good, error, &goodBytes))
                return false;
            // Every round's file would carry the replacement characters the reader put in.
            const auto invalidUtf8 = [](const QString &path, const XsdtFile &file) {
                return tr("%1 contains bytes that are not valid UTF-8 (first at line %2, column %3); the search would "
                          "replace them in every file it writes. Open it in Prefwright and look at it first.")
                    .arg(QDir::toNativeSeparators(path))
                    .arg(file.invalidUtf8Line)
                    .arg(file.invalidUtf8Column);
            };
            if (!good.validUtf8)
                return fail(error, invalidUtf8(goodPath, good));
            QString backup;
            {
                // The backup must hold exactly the bytes the search starts from.
                if (!SafeWrite::readFile(m_settingsPath, &badBytes, error))
                    return false;
                if (!expectedFingerprint.isEmpty() && SafeWrite::sha256(badBytes) != expectedFingerprint)
                    return fail(error,
                                tr("The settings file changed on disk since it was loaded. Reload it and start "
                                   "again."));
                if (!SettingsDocument::parseSettingsFile(m_settingsPath, badBytes, &bad, error))
                    return false;
                if (!bad.validUtf8)
                    return fail(error, invalidUtf8(m_settingsPath, bad));
                const SearchPlan found = SearchPlan::make(bad.root, good.root, policy);
                if (found.suspects.isEmpty())
                    return fail(error,
                                tr("Nothing can be tested: the file and that state differ only in statistics, "
                                   "window state, generated lists, protected values, values holding characters a "
                                   "settings file cannot hold, or entries only the good state has."));
                backup = SafeWrite::makeBackupPath(m_settingsPath, backupTag(), m_writer.clock()());
                m_state = SearchState::begin(found, goodPath, SafeWrite::sha256(goodBytes), SafeWrite::sha256(badBytes),
                                             QFileInfo(backup).fileName(), m_writer.clock()());
                m_backupPath = backup;
                // A state too large to read back would strand the search: known before anything is written.
                if (stateBytes().size() > SearchState::kMaxSize - 4096)
                    return fail(error,
                                tr("The differences are too large to keep track of (over %1 MiB). Nothing was "
                                   "written.")
                                    .arg(SearchState::kMaxSize >> 20));
                if (!m_writer.makeBackup(badBytes, backup, error))
                    return false;
            }
            QByteArray candidate;
            if (!m_state.search.isFinished()) {
                if (!SearchPlan::buildCandidate(badBytes, m_state.suspects, m_state.search.testing(), &candidate,
                                                error)) {
                    QFile::remove(backup);
                    return false;
                }
                m_state.candidate = SafeWrite::sha256(candidate);
            }
            if (!writeState(error)) {
                QFile::remove(backup);
                return false;
            }
            if (m_state.search.isFinished())
                return true;
            SafeWrite::Request how;
            // PixInsight may have come between the backup and this write: its work is not in the backup.
            how.expectedFingerprint = m_state.badFingerprint;
            how.madeFrom = &badBytes;
            if (!replaceFile(candidate, how, error)) {
                QByteArray now;
                // Still the file as it was: as if the search had never started.
                if (SafeWrite::readFile(m_settingsPath, &now, nullptr)
                    && SafeWrite::sha256(now) == m_state.badFingerprint) {
                    QFile::remove(statePath());
                    QFile::remove(backup);
                }
                return false;
            }
            m_state.markWritten();
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

bool ProblemSearch::answer(ProblemSearchRounds::Answer answer, int expectedRound, QString *error)
{
    return lockedStep(
        [&](QString *error) {
            if (!read(error))
                return false;
            if (m_state.search.isFinished())
                return fail(error, tr("The search is already over. End it to choose what to keep."));
            if (expectedRound >= 0 && expectedRound != m_state.search.rounds())
                return fail(error,
                            tr("The search moved on in another window or terminal. Its current round is shown now."));
            if (!m_state.written) {
                if (!writeCandidate(error))
                    return false;
                return fail(error,
                            tr("The file for round %1 had not been written (an earlier step was interrupted); it is "
                               "now. Test it, then answer.")
                                .arg(m_state.search.rounds() + 1));
            }
            if (!m_writer.runningRefusal().isEmpty())
                return fail(error, tr("PixInsight is running. Close it, then answer."));
            // An answer is kept only when the next file can be written.
            if (!canWrite(error))
                return false;
            m_state.search.answer(answer);
            m_state.written = m_state.search.isFinished();
            // The next round's file is not known yet: the one on disk must not pass for it.
            m_state.candidate.clear();
            if (!writeState(error))
                return false;
            if (m_state.search.isFinished())
                return true;
            if (!writeCandidate(error)) {
                if (error)
                    *error = withFullStop(*error) + u' '
                        + tr("The answer was kept; the next file is written when you continue.");
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
            return m_state.written || m_state.search.isFinished() || writeCandidate(error);
        },
        error);
}

bool ProblemSearch::endFromStartBackup(QString *error, QString *backupPath)
{
    // Something else in the state's place (a folder) is not Prefwright's to remove.
    const QFileInfo state(statePath());
    if (state.isDir() && !state.isSymLink())
        return fail(error,
                    tr("%1 is a folder, not a search state; Prefwright does not remove it. Move it away, then end the "
                       "search.")
                        .arg(QDir::toNativeSeparators(statePath())));
    const QString kept = startBackup();
    if (kept.isEmpty())
        return fail(error,
                    tr("No backup from the start of a search of %1 is left to put back. End the search keeping the "
                       "file as it is now (--keep-current).")
                        .arg(QDir::toNativeSeparators(m_settingsPath)));
    QByteArray bytes;
    XsdtFile check;
    QString parseError;
    if (!SafeWrite::readFile(kept, &bytes, error))
        return false;
    if (!check.parse(bytes, &parseError))
        return fail(error,
                    tr("%1 is not a valid settings file (%2); it cannot be put back.")
                        .arg(QDir::toNativeSeparators(kept), parseError));
    if (!canWrite(error))
        return false;
    // What PixInsight changed meanwhile is named at the end: the state that would list it is gone.
    m_state.duringSearch.clear();
    const QDateTime started = QFileInfo(kept).lastModified();
    for (const QString &path : listBackups(m_settingsPath)) {
        if (QFileInfo(path).fileName().contains(u'-' + duringTag()) && QFileInfo(path).lastModified() >= started)
            m_state.duringSearch.prepend(QFileInfo(path).fileName());
    }
    SafeWrite::Request replacement;
    replacement.backupTag = QStringLiteral("before-restore");
    replacement.madeFrom = &bytes;
    return replaceFile(bytes, replacement, error, backupPath);
}

bool ProblemSearch::end(End how, QString *error, QString *backupPath)
{
    return lockedStep(
        [&](QString *error) {
            const auto removeState = [&] {
                if (QFile::remove(statePath()) || !hasState())
                    return true;
                return fail(error,
                            tr("Could not remove the search state %1.").arg(QDir::toNativeSeparators(statePath())));
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
            SafeWrite::Request replacement;
            replacement.madeFrom = &bad;
            if (how == End::PutBack) {
                bytes = bad;
                replacement.backupTag = QStringLiteral("before-restore");
            } else {
                if (!m_state.search.isFinished())
                    return fail(error, tr("The search is not over yet."));
                QList<int> culprits = m_state.search.remaining();
                if (!SearchPlan::buildCandidate(bad, m_state.suspects, culprits, &bytes, error))
                    return false;
                replacement.backupTag = QString();
            }
            // A refusal must leave the search as it was.
            if (!canWrite(error))
                return false;
            // Should this step be cut short after the write, the state must not claim that the
            // file on disk is a candidate. On a full disk it cannot say so; ending still goes on.
            const SearchState before = m_state;
            if (m_state.written && !m_state.search.isFinished()) {
                m_state.written = false;
                m_state.candidate.clear();
                QString ignored;
                (void)writeState(&ignored);
            }
            // The end backs up the file as it is: what PixInsight changed since the last round is in it.
            QByteArray current;
            const int changed = SafeWrite::readFile(m_settingsPath, &current, nullptr)
                ? m_state.changesSince(bad, current, m_policy)
                : 0;
            QString made;
            if (!replaceFile(bytes, replacement, error, &made)) {
                // Nothing was written: the search goes on as it was, its round's file in place.
                m_state = before;
                QString ignored;
                (void)writeState(&ignored);
                return false;
            }
            if (backupPath)
                *backupPath = made;
            if (changed != 0 && !made.isEmpty())
                m_notice = changesText(changed, made, true);
            return removeState();
        },
        error);
}

} // namespace pfw
