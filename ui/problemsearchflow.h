#pragma once

#include "ui/dialogs/problemsearchdialog.h"

#include <QCoreApplication>
#include <QString>

class QWidget;

namespace pfw {

class EditingSession;

// File > Find a problem setting: refused while changes are pending (each round's file is made
// from the file on disk), then the search dialog, then the file as the search left it.
class ProblemSearchFlow final
{
    Q_DECLARE_TR_FUNCTIONS(ProblemSearchFlow)

public:
    ProblemSearchFlow(EditingSession &session, QWidget *dialogParent);

    // What the dialog works on: the open file, the rules, the running check, the session's poll.
    ProblemSearchDialog::Context context() const;
    // False when nothing ran (no file, or changes pending: the user was told why).
    bool run();
    // The status-bar text of a search that ran, or nothing.
    const QString &outcome() const { return m_outcome; }
    // The file could not be read again after the search; the reason.
    const QString &reopenError() const { return m_reopenError; }
    // Asks whether to go on with a search left unfinished in the open file.
    bool offerToGoOn() const;

private:
    EditingSession &m_session;
    QWidget *m_dialogParent;
    QString m_outcome;
    QString m_reopenError;
};

} // namespace pfw
