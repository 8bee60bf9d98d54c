#pragma once

#include "core/bisectsearch.h"
#include "core/settingsdocument.h"

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

// One difference between the file that shows a problem and the last state that did not, which
// a candidate file can undo on its own.
struct SearchSuspect
{
    enum Kind { PutBack, Remove };

    QString path;
    // Which value of that path: a path may occur more than once, paired by order.
    int occurrence = 0;
    Kind kind = PutBack;
    QChar badType;
    QString badValue;
    // The good state's value (PutBack only).
    QChar goodType;
    QString goodValue;
};

// What a search between two trees would test, and what it cannot.
struct SearchPlan
{
    QList<SearchSuspect> suspects;
    // Only in the good state: Prefwright cannot add entries.
    QStringList onlyInGood;
    // Protected or locked: never changed by a candidate.
    QStringList leftOut;
    // Statistics, window state and generated lists.
    int hidden = 0;
};

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

    void setRunningCheck(std::function<bool()> check) { m_isHostRunning = std::move(check); }
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
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
    static SearchPlan plan(const XsdtNode &bad, const XsdtNode &good, const DeletionPolicy *policy);
    // The bad file with the given suspects put back to their good state.
    [[nodiscard]] static bool buildCandidate(const QByteArray &badBytes, const QList<SearchSuspect> &suspects,
                                             const QList<int> &putBack, QByteArray *candidate, QString *error);

    // A suspect's name for people: its label in the schema (looked up in the bad file's tree).
    static QString label(const SearchSuspect &suspect, const SettingsSchema *schema, const XsdtNode *badRoot);
    // The good value, or what putting it back means for an entry the good state lacks.
    static QString goodValueText(const SearchSuspect &suspect);

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
    [[nodiscard]] bool answer(BisectSearch::Answer answer, int expectedRound, QString *error);
    // Writes the current round's candidate when an interrupted step left it unwritten.
    [[nodiscard]] bool writePendingCandidate(QString *error);
    // Ends the search and removes its state. backupPath receives the backup made, if any.
    [[nodiscard]] bool end(End how, QString *error, QString *backupPath = nullptr);

    // From the last read().
    const BisectSearch &search() const { return m_search; }
    const QList<SearchSuspect> &suspects() const { return m_suspects; }
    const QString &backupPath() const { return m_backupPath; }
    const QByteArray &badFingerprint() const { return m_badFingerprint; }
    // False after a step that was interrupted before its candidate was written.
    bool isCandidateWritten() const { return m_written; }
    int onlyInGoodCount() const { return m_onlyInGood; }
    // The backups of what PixInsight changed during the search, oldest first (whole paths).
    QStringList duringSearchBackups() const;
    // What the last step has to tell besides its outcome: PixInsight's changes kept in a backup.
    const QString &notice() const { return m_notice; }
    int leftOutCount() const { return m_leftOut; }
    // The suspects still in question: the culprit once the search is finished.
    QList<SearchSuspect> remainingSuspects() const;

    // The file as it was when the search started, checked against the state.
    [[nodiscard]] bool readBadBytes(QByteArray *bytes, QString *error) const;

private:
    QByteArray stateBytes() const;
    [[nodiscard]] bool writeState(QString *error) const;
    static bool saveState(const QString &statePath, const QByteArray &bytes, const QString &ownerOf, QString *reason);
    [[nodiscard]] bool canWrite(QString *error) const;
    [[nodiscard]] bool replaceFile(const QByteArray &bytes, SettingsDocument::Replacement how, QString *error,
                                   QString *backupPath = nullptr) const;
    [[nodiscard]] bool writeCandidate(QString *error);
    // Before the file is written over: what PixInsight changed in the file the search wrote last
    // goes to a backup first. False when it is there but could not be kept.
    [[nodiscard]] bool keepWhatPixInsightWrote(const QByteArray &bad, QString *error);
    bool lockedStep(const std::function<bool(QString *)> &step, QString *error);
    // For a state that cannot be read: the newest before-search backup in place of the file.
    [[nodiscard]] bool endFromStartBackup(QString *error, QString *backupPath);

    QString m_settingsPath;
    std::function<bool()> m_isHostRunning;
    std::function<QDateTime()> m_clock;
    const DeletionPolicy *m_policy = nullptr;
    StateWriter m_writeState;

    BisectSearch m_search;
    QList<SearchSuspect> m_suspects;
    QString m_goodPath;
    QByteArray m_goodFingerprint;
    QString m_backupPath;
    QByteArray m_badFingerprint;
    QString m_started;
    int m_onlyInGood = 0;
    int m_leftOut = 0;
    bool m_written = false;
    // The SHA-256 of this round's file, known before it is written.
    QByteArray m_candidate;
    // What the search last put in the file: its SHA-256 and the suspects it had put back.
    QByteArray m_lastWritten;
    QList<int> m_lastWrittenSet;
    QStringList m_duringSearch;
    QString m_notice;
};

} // namespace pfw
