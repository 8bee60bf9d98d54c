#include "ui/windowdialogs.h"

#include "modules/installedrecords.h"
#include "platform/hostlocations.h"
#include "session/editingsession.h"
#include "ui/dialogs/aboutdialog.h"
#include "ui/dialogs/backupsdialog.h"
#include "ui/dialogs/installedupdatesdialog.h"

#include <QMessageBox>

namespace pfw {

WindowDialogs::WindowDialogs(EditingSession &session, QWidget *parent)
    : m_session(session)
    , m_parent(parent)
{
}

void WindowDialogs::warnAboutBuiltIns()
{
    if (!m_session.schemaError().isEmpty())
        QMessageBox::warning(m_parent, tr("Settings schema"),
                             tr("The built-in settings descriptions could not be read (%1). Names and descriptions "
                                "will be limited.")
                                 .arg(m_session.schemaError()));
    if (!m_session.policyError().isEmpty())
        QMessageBox::warning(m_parent, tr("Deletion rules"),
                             tr("The built-in deletion rules could not be read (%1). Deleting entries is disabled.")
                                 .arg(m_session.policyError()));
}

void WindowDialogs::about()
{
    const bool loaded = m_session.isLoaded();
    AboutDialog dialog(loaded ? m_session.path() : QString(),
                       loaded ? AboutDialog::recordedVersion(m_session.document().file().root) : QString(),
                       m_session.services().environment, m_parent);
    dialog.exec();
}

QString WindowDialogs::installedRecordPath() const
{
    return findInstalledRecordFile(installFolderCandidates(m_session.services().environment));
}

void WindowDialogs::installedUpdates()
{
    const QString path = installedRecordPath();
    if (path.isEmpty()) {
        QMessageBox::information(m_parent, tr("Installed updates"),
                                 tr("PixInsight's installed.xri was not found on this computer."));
        return;
    }
    InstalledUpdatesDialog dialog(path, m_session.services(), m_parent);
    dialog.exec();
}

bool WindowDialogs::manageBackups(const std::function<void(const QString &)> &message)
{
    if (!m_session.isLoaded())
        return false;
    BackupsDialog dialog(m_session.path(), m_parent);
    QObject::connect(&dialog, &BackupsDialog::message, &dialog, message);
    dialog.exec();
    return true;
}

} // namespace pfw
