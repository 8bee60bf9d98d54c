#include "ui/problemsearchflow.h"

#include "core/problemsearch.h"
#include "session/busyscope.h"
#include "session/editingsession.h"

#include <QFileInfo>
#include <QMessageBox>

namespace pfw {

ProblemSearchFlow::ProblemSearchFlow(EditingSession &session, QWidget *dialogParent)
    : m_session(session)
    , m_dialogParent(dialogParent)
{
}

ProblemSearchDialog::Context ProblemSearchFlow::context() const
{
    ProblemSearchDialog::Context context;
    const SettingsDocument &document = m_session.document();
    context.settingsPath = document.path();
    context.openTree = &document.file().root;
    context.fingerprint = document.fingerprint();
    context.policy = &m_session.policy();
    context.schema = &m_session.schema();
    context.isHostRunning = m_session.services().isHostRunning;
    context.session = &m_session;
    return context;
}

bool ProblemSearchFlow::run()
{
    const BusyScope busy;
    m_outcome.clear();
    m_reopenError.clear();
    if (!m_session.isLoaded()) {
        QMessageBox::information(m_dialogParent, tr("Find a problem setting"), tr("Open a settings file first."));
        return false;
    }
    // Each round's file is made from the file on disk: edits here would be lost or mixed in.
    if (m_session.unsavedCount() > 0) {
        QMessageBox::information(m_dialogParent, tr("Find a problem setting"),
                                 tr("Save or revert your pending changes before looking for a problem setting."));
        return false;
    }
    {
        ProblemSearchDialog dialog(context(), m_dialogParent);
        dialog.exec();
        m_outcome = dialog.outcome();
    }
    // The window shows the file as it is now: a round's file, or the file as the search left it.
    if (m_session.document().changedOnDisk())
        m_session.reload(&m_reopenError);
    if (m_outcome.isEmpty() && ProblemSearch(m_session.path()).hasState())
        m_outcome = tr("The search for a problem setting goes on when you open File > Find a problem setting again.");
    return true;
}

bool ProblemSearchFlow::offerToGoOn() const
{
    if (!m_session.isLoaded() || !ProblemSearch(m_session.path()).hasState())
        return false;
    return QMessageBox::question(m_dialogParent, tr("Find a problem setting"),
                                 tr("A search for a problem setting in %1 was not finished. Go on with it now?")
                                     .arg(QFileInfo(m_session.path()).fileName()),
                                 QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}

} // namespace pfw
