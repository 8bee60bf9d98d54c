#pragma once

#include "ui/dialogs/exportdialog.h"

#include <QCoreApplication>

class QWidget;

namespace pfw {

class EditingSession;
struct XsdtNode;

// Export and import in the window: what to offer, the dialogs, and what to say after.
class TransferFlow final
{
    Q_DECLARE_TR_FUNCTIONS(TransferFlow)

public:
    TransferFlow(EditingSession &session, QWidget *parent);

    // The Preferences pages and every other group of the file, each a choice of its own.
    static QList<ExportDialog::Choice> wholeFileChoices(const EditingSession &session);
    // One entry (a setting, a section, a page's group) or several, as one choice.
    static QList<ExportDialog::Choice> choicesFor(const EditingSession &session, const QList<const XsdtNode *> &nodes,
                                                  const QString &title = QString());

    bool exportChoices(const QList<ExportDialog::Choice> &choices);
    // Asks for the snippet when path is empty; true when changes were made pending.
    bool importSnippet(QString path = QString());
    // The values of nodes into the other settings files found on this computer, after their
    // review; returns the files written.
    QStringList copyToInstances(const QList<const XsdtNode *> &nodes);
    const QString &message() const { return m_message; }

private:
    EditingSession &m_session;
    QWidget *m_parent;
    QString m_message;
};

} // namespace pfw
