#pragma once

#include "core/bisectsearch.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

namespace pfw {

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

// What a problem search keeps in its state file between steps, and how it reads back: anything
// that does not is refused whole, never half used.
struct SearchState
{
    Q_DECLARE_TR_FUNCTIONS(SearchState)

public:
    // Far larger than the state of any real file, and small enough to read back at once.
    static constexpr qint64 kMaxSize = qint64(64) << 20;

    BisectSearch search;
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

    QByteArray toJson() const;
    // False with why, as a phrase ("the list of differences is not readable").
    [[nodiscard]] static bool fromJson(const QByteArray &bytes, SearchState *state, QString *reason);
    // Reads a state file: a regular file, never through a link, of a sane size.
    [[nodiscard]] static bool read(const QString &statePath, SearchState *state, QString *reason);
};

} // namespace pfw
