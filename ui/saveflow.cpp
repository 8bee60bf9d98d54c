#include "ui/saveflow.h"
#include "ui/accesskeys.h"

#include "core/fileidentity.h"
#include "core/settingsdocument.h"
#include "session/busyscope.h"
#include "model/settingsmodel.h"
#include "modules/leftoverremoval.h"
#include "session/editingsession.h"
#include "session/pendingfiles.h"
#include "platform/hostlocations.h"
#include "ui/dialogs/reviewdialog.h"

#include <QFileInfo>
#include <QApplication>
#include <QMainWindow>
#include <QScopeGuard>
#include <QStatusBar>
#include <QMessageBox>

namespace pfw {

int SaveFlow::askBeforeClosing(int unsaved, QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, tr("Unsaved changes"), tr("You have %n unsaved changes.", nullptr, unsaved),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    giveAccessKeys(&box);
    box.setDefaultButton(QMessageBox::Save);
    return box.exec();
}

SaveFlow::SaveFlow(EditingSession &session, QWidget *dialogParent)
    : m_session(session)
    , m_dialogParent(dialogParent)
{
}

bool SaveFlow::run()
{
    const BusyScope busy;
    m_message.clear();
    m_removedFiles = false;
    SettingsDocument &document = m_session.document();
    if (!document.isLoaded())
        return true;
    const QList<Leftover> leftovers = m_session.pendingFiles()->leftovers();
    if (document.pendingChangeCount() == 0 && leftovers.isEmpty())
        return true;
    {
        ReviewDialog review(m_session.model(), &document.file().root, m_dialogParent);
        review.setLeftovers(leftovers);
        if (const XsdtFile &file = document.file(); !file.validUtf8)
            review.setInvalidUtf8(file.invalidUtf8Line, file.invalidUtf8Column);
        if (FileIdentity::of(document.path()).links > 1)
            review.setOtherNames();
        if (review.exec() != QDialog::Accepted)
            return false;
    }
    if (document.pendingChangeCount() == 0 && leftovers.isEmpty())
        return true;

    if (document.pendingChangeCount() > 0) {
        QString error, backup;
        // A large file takes a while: say so where the user looks, before the window is busy.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        auto *window = qobject_cast<QMainWindow *>(m_dialogParent ? m_dialogParent->window() : nullptr);
        if (window) {
            window->statusBar()->showMessage(tr("Saving\u2026"));
            window->statusBar()->repaint();
        }
        if (!m_session.saveChanges(&error, &backup)) {
            if (window)
                window->statusBar()->clearMessage();
            QMessageBox::critical(m_dialogParent, tr("Save failed"), error);
            return false;
        }
        m_message = tr("Saved. Backup: %1").arg(QFileInfo(backup).fileName());
    }
    if (!leftovers.isEmpty()) {
        const QString removal = deleteLeftovers(leftovers).section(u'\n', 0, 0);
        m_message = m_message.isEmpty() ? removal : m_message + u' ' + removal;
    }
    m_session.finishSave();
    return true;
}

QString SaveFlow::deleteLeftovers(const QList<Leftover> &items)
{
    LeftoverRemoval removal;
    const HostServices &services = m_session.services();
    removal.run(items, findInstallFolder({}, services.environment), userDataFolderFor(m_session.path()), services);
    m_removedFiles = true;
    const QString text = removal.text();
    if (!removal.problemLines.isEmpty())
        QMessageBox::warning(m_dialogParent, tr("Some files were not deleted"), text);
    return text;
}

} // namespace pfw
