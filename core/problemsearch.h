#pragma once

#include "core/problemsearchrounds.h"
#include "core/searchplan.h"
#include "core/searchstate.h"
#include "core/safewrite.h"
#include "platform/hostprocesses.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace pfw {

class DeletionPolicy;
class SettingsSchema;
struct XsdtNode;

// Finds the setting that makes PixInsight misbehave by halving the differences from a state
// that worked. The file as it was at the start is kept in a tagged backup; a small state file
// beside the settings file holds everything else, so that each step is one call that reads the
// state, writes the settings file through the verified save and writes the state again, and
// the search survives the program (or the terminal) being closed at any point. Steps of two
// programs on one file take turns.
class ProblemSearch final
{
    Q_DECLARE_TR_FUNCTIONS(ProblemSearch)

public:
    // FromBackup: the file kept when the search started put back, even when the state is damaged.
    enum class End { PutBack, UseGoodValue, KeepCurrent, FromBackup };

    explicit ProblemSearch(const QString &settingsPath);

    void setRunningCheck(std::function<HostRunningCheck()> check) { m_writer.setRunningCheck(std::move(check)); }
    void setClock(std::function<QDateTime()> clock) { m_writer.setClock(std::move(clock)); }
    void setFileOperations(const SafeWrite::FileOperations &operations) { m_writer.setFileOperations(operations); }
    // Tells what PixInsight always rewrites (statistics, window state) from a real change;
    // without it every difference counts.
    void setPolicy(const DeletionPolicy *policy) { m_policy = policy; }
    // How the state's bytes reach the disk; tests make it fail at a chosen step.
    using StateWriter = std::function<bool(const QByteArray &bytes, QString *reason)>;
    void setStateWriter(StateWriter writer) { m_writeState = std::move(writer); }

    // The file a search is kept for: the real file behind a link.
    static QString searchedFile(const QString &settingsPath);
    static QString statePathFor(const QString &settingsPath);
    // A search of that file is unfinished (its state may be damaged).
    static bool inProgress(const QString &settingsPath);
    static QString backupTag() { return QStringLiteral("before-search"); }
    // What PixInsight changed while a round's file was tested, kept before the next one is written.
    static QString duringTag() { return QStringLiteral("during-search"); }
    static QString stateSuffix() { return QStringLiteral(".problem-search.json"); }
    // Those of the backups an unfinished search of that file may need.
    static QStringList protectedBackups(const QString &settingsPath, const QStringList &backupPaths);

    const QString &settingsPath() const { return m_settingsPath; }
    QString statePath() const { return m_settingsPath + stateSuffix(); }
    bool hasState() const;
    // Reads the state file. False with a sentence when there is none or it is damaged.
    [[nodiscard]] bool read(QString *error);
    // The newest backup made when a search of the file started, for a state that cannot be read.
    QString startBackup() const;

    // Backs up the file (which must still have expectedFingerprint unless that is empty), writes
    // the state and the first candidate.
    [[nodiscard]] bool start(const QString &goodPath, const DeletionPolicy *policy,
                             const QByteArray &expectedFingerprint, QString *error);
    // Records whether the problem occurred with the current candidate and writes the next one.
    // expectedRound, when not -1, refuses an answer for a round that another program answered.
    [[nodiscard]] bool answer(ProblemSearchRounds::Answer answer, int expectedRound, QString *error);
    // Writes the current round's candidate when an interrupted step left it unwritten.
    [[nodiscard]] bool writePendingCandidate(QString *error);
    // Ends the search and removes its state. backupPath receives the backup made, if any.
    [[nodiscard]] bool end(End how, QString *error, QString *backupPath = nullptr);

    // From the last read().
    const ProblemSearchRounds &search() const { return m_state.search; }
    const QList<SearchSuspect> &suspects() const { return m_state.suspects; }
    const QString &backupPath() const { return m_backupPath; }
    const QByteArray &badFingerprint() const { return m_state.badFingerprint; }
    // False after a step that was interrupted before its candidate was written.
    bool isCandidateWritten() const { return m_state.written; }
    int onlyInGoodCount() const { return m_state.onlyInGood; }
    // The backups of what PixInsight changed during the search, oldest first (whole paths).
    QStringList duringSearchBackups() const;
    // What the last step has to tell besides its outcome: PixInsight's changes kept in a backup.
    const QString &notice() const { return m_notice; }
    int leftOutCount() const { return m_state.leftOut; }
    // The suspects still in question: the culprit once the search is finished.
    QList<SearchSuspect> remainingSuspects() const;

    // The file as it was when the search started, checked against the state.
    [[nodiscard]] bool readBadBytes(QByteArray *bytes, QString *error) const;

private:
    QByteArray stateBytes() const;
    [[nodiscard]] bool writeState(QString *error) const;
    static bool saveState(const QString &statePath, const QByteArray &bytes, const QString &ownerOf, QString *reason);
    [[nodiscard]] bool canWrite(QString *error) const;
    [[nodiscard]] bool replaceFile(const QByteArray &bytes, SafeWrite::Request how, QString *error,
                                   QString *backupPath = nullptr) const;
    [[nodiscard]] bool writeCandidate(QString *error);
    // Before the file is written over: what PixInsight changed in the file the search wrote last
    // goes to a backup first. False when it is there but could not be kept.
    [[nodiscard]] bool keepWhatPixInsightWrote(const QByteArray &bad, QString *error);
    static QString changesText(int changed, const QString &backup, bool lastRound);
    bool lockedStep(const std::function<bool(QString *)> &step, QString *error);
    // For a state that cannot be read: the newest before-search backup in place of the file.
    [[nodiscard]] bool endFromStartBackup(QString *error, QString *backupPath);

    QString m_settingsPath;
    SafeWrite m_writer;
    const DeletionPolicy *m_policy = nullptr;
    StateWriter m_writeState;

    SearchState m_state;
    // Where the state's backup is: beside the file, by the name the state gives.
    QString m_backupPath;
    QString m_notice;
};

} // namespace pfw
