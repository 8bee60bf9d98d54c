#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>

class QWidget;

namespace pfw {

class EditingSession;

// Opening a file in the window: the question before unsaved changes are discarded, the file
// dialog, and the report of a file that cannot be opened.
class OpenFlow final
{
    Q_DECLARE_TR_FUNCTIONS(OpenFlow)

public:
    OpenFlow(EditingSession &session, QWidget *dialogParent);

    // True when nothing is unsaved, or the user agreed to discard it; reason ends the question.
    bool confirmDiscard(const QString &reason);
    // The file the user picked, or empty.
    QString askForFile();
    // Opens it, or reports why not.
    bool open(const QString &path);
    // Reads the open file again. With changes pending the user chooses: put them back on the
    // file read again (conflicts settled first), discard them, or cancel. message() then says
    // what was put back.
    bool reload();
    const QString &message() const { return m_message; }
    void reportError(const QString &error);

    // Where open errors go instead of a message box (the command line and tests).
    static void reportErrorsTo(std::function<void(const QString &)> sink);

private:
    EditingSession &m_session;
    QWidget *m_dialogParent;
    QString m_message;
};

} // namespace pfw
