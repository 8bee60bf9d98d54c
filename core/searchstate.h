#pragma once

#include "core/problemsearchrounds.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace pfw {

class DeletionPolicy;
class SettingsSchema;
struct SearchPlan;
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

    // Its name for people: its label in the schema (looked up in the bad file's tree).
    QString label(const SettingsSchema *schema, const XsdtNode *badRoot) const;
    // The good value, or what putting it back means for an entry the good state lacks.
    QString goodValueText() const;
};

// What a problem search keeps in its state file between steps, and how it reads back: anything
// that does not is refused whole, never half used.
struct SearchState
{
    Q_DECLARE_TR_FUNCTIONS(SearchState)

public:
    // Far larger than the state of any real file, and small enough to read back at once.
    static constexpr qint64 kMaxSize = qint64(64) << 20;

    ProblemSearchRounds search;
    QList<SearchSuspect> suspects;
    QString goodPath;
    QByteArray goodFingerprint;
    // The name of the backup that holds the file as it was at the start (a name, not a path:
    // the folder may be reached by another path later).
    QString backup;
    QByteArray badFingerprint;
    QString started;
    int onlyInGood = 0;
    int leftOut = 0;
    // Whether this round's file is in place.
    bool written = false;
    // The SHA-256 of this round's file, known before it is written.
    QByteArray candidate;
    // What the search last put in the file: its SHA-256 and the suspects it had put back.
    QByteArray lastWritten;
    QList<int> lastWrittenSet;
    // Names of the backups of what PixInsight changed during the search, oldest first.
    QStringList duringSearch;

    // A new search's state, nothing written yet.
    static SearchState begin(const SearchPlan &plan, const QString &goodPath, const QByteArray &goodFingerprint,
                             const QByteArray &badFingerprint, const QString &backupName, const QDateTime &started);
    // This round's file is in place.
    void markWritten();
    // How many settings (beyond statistics and window state) the file on disk has changed since
    // the search last wrote it; -1 when that cannot be told. Without a policy every difference counts.
    int changesSince(const QByteArray &bad, const QByteArray &current, const DeletionPolicy *policy) const;

    QByteArray toJson() const;
    // False with why, as a phrase ("the list of differences is not readable").
    [[nodiscard]] static bool fromJson(const QByteArray &bytes, SearchState *state, QString *reason);
    // Reads a state file: a regular file, never through a link, of a sane size.
    [[nodiscard]] static bool read(const QString &statePath, SearchState *state, QString *reason);
};

} // namespace pfw
