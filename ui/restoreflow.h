#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>

class QWidget;

namespace pfw {

class EditingSession;

// File > Restore backup: choose one of the backups beside the file, confirm, and replace the
// file with it (the current file is backed up first). The window supplies the discard question.
class RestoreFlow final
{
    Q_DECLARE_TR_FUNCTIONS(RestoreFlow)

public:
    enum Outcome { NothingDone, Restored, Failed };

    RestoreFlow(EditingSession &session, QWidget *dialogParent);

    // confirmDiscard asks before pending changes are lost; false stops the restore.
    Outcome run(const std::function<bool(const QString &reason)> &confirmDiscard);
    // The status-bar text after a restore: "Restored <name>".
    const QString &message() const { return m_message; }

private:
    EditingSession &m_session;
    QWidget *m_dialogParent;
    QString m_message;
};

} // namespace pfw
