#pragma once

#include "modules/leftovers.h"

#include <QCoreApplication>
#include <QString>

class QWidget;

namespace pfw {

class EditingSession;

// File > Save: the review of every pending change and queued file, the verified save, then the
// deletion of the queued left-over files (in-process, elevated where that fails).
class SaveFlow final
{
    Q_DECLARE_TR_FUNCTIONS(SaveFlow)

public:
    SaveFlow(EditingSession &session, QWidget *dialogParent);

    // Save, Discard or Cancel (QMessageBox's buttons), Save first.
    static int askBeforeClosing(int unsaved, QWidget *parent);

    // False when the review was cancelled or the save refused (the reason was shown).
    bool run();
    // Queued files were deleted, or tried: what is on disk has changed.
    bool removedFiles() const { return m_removedFiles; }
    // The status-bar text of a finished save: "Saved. Backup: <name>" and what the removal did.
    const QString &message() const { return m_message; }

private:
    QString deleteLeftovers(const QList<Leftover> &items);

    EditingSession &m_session;
    QWidget *m_dialogParent;
    QString m_message;
    bool m_removedFiles = false;
};

} // namespace pfw
