#include "ui/openflow.h"
#include "ui/accesskeys.h"

#include "core/backups.h"
#include "platform/hostlocations.h"
#include "session/editingsession.h"
#include "ui/busycheck.h"
#include "ui/dialogs/rebasedialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace pfw {

namespace {

std::function<void(const QString &)> &errorSink()
{
    static std::function<void(const QString &)> sink;
    return sink;
}

} // namespace

OpenFlow::OpenFlow(EditingSession &session, QWidget *dialogParent)
    : m_session(session)
    , m_dialogParent(dialogParent)
{
}

void OpenFlow::reportErrorsTo(std::function<void(const QString &)> sink)
{
    errorSink() = std::move(sink);
}

bool OpenFlow::confirmDiscard(const QString &reason)
{
    BusyCheck::commitTyping(m_dialogParent);
    const int n = m_session.unsavedCount();
    if (n == 0)
        return true;
    QMessageBox box(QMessageBox::Question, tr("Discard changes?"),
                    tr("You have %n unsaved changes. %1", nullptr, n).arg(reason),
                    QMessageBox::Discard | QMessageBox::Cancel, m_dialogParent);
    giveAccessKeys(&box);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Discard;
}

QString OpenFlow::askForFile()
{
    QString start;
    if (m_session.isLoaded())
        start = QFileInfo(m_session.path()).absolutePath();
    else if (const QStringList folders = defaultSettingsFolders(m_session.services().environment); !folders.isEmpty())
        start = folders.constFirst();
    return QFileDialog::getOpenFileName(m_dialogParent, tr("Open PixInsight settings file"), start,
                                        tr("PixInsight settings (*.settings);;All files (*)"));
}

bool OpenFlow::open(const QString &named)
{
    // A name relative to the working folder is kept whole: it is shown, reported and watched.
    QString error;
    if (m_session.open(wholeFilePath(named), &error))
        return true;
    reportError(error);
    return false;
}

bool OpenFlow::reload()
{
    BusyCheck::commitTyping(m_dialogParent);
    m_message.clear();
    const QString path = m_session.path();
    const int n = m_session.unsavedCount();
    if (n == 0)
        return open(path);
    QMessageBox box(QMessageBox::Question, tr("Reload"),
                    tr("You have %n unsaved changes. Put them back on the file as it is on disk now, or discard "
                       "them?",
                       nullptr, n),
                    QMessageBox::NoButton, m_dialogParent);
    QPushButton *reapply = box.addButton(tr("Reload and re-apply my %n changes", nullptr, n), QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(QMessageBox::Discard);
    discard->setText(tr("Discard them and reload"));
    box.addButton(QMessageBox::Cancel);
    giveAccessKeys(&box);
    box.setDefaultButton(reapply);
    box.exec();
    if (box.clickedButton() == discard)
        return open(path);
    if (box.clickedButton() != reapply)
        return false;

    PendingRebase rebase = m_session.pendingChanges();
    QByteArray seen;
    QString error;
    if (!m_session.compareWithDisk(rebase, &seen, &error)) {
        reportError(error);
        return false;
    }
    PendingRebase::Outcome outcome;
    for (;;) {
        if (rebase.conflictCount() > 0 || !rebase.droppedLines().isEmpty()) {
            RebaseDialog dialog(rebase, m_dialogParent);
            if (dialog.exec() != QDialog::Accepted)
                return false;
        }
        const EditingSession::Rebased done = m_session.reloadKeepingChanges(rebase, &seen, &outcome, &error);
        if (done == EditingSession::Rebased::Failed) {
            reportError(error);
            return false;
        }
        // Otherwise the file or the changes moved on while the user chose: they choose again.
        if (done == EditingSession::Rebased::Done)
            break;
    }
    m_message = tr("Reloaded; %n changes put back.", nullptr, outcome.applied);
    if (!outcome.notApplied.isEmpty()) {
        QMessageBox warning(QMessageBox::Warning, tr("Reload"),
                            tr("%n changes could not be put back.", nullptr, int(outcome.notApplied.size())),
                            QMessageBox::Ok, m_dialogParent);
        warning.setDetailedText(outcome.notApplied.join(u'\n'));
        warning.exec();
    }
    return true;
}

void OpenFlow::reportError(const QString &error)
{
    if (errorSink())
        errorSink()(error);
    else
        QMessageBox::critical(m_dialogParent, tr("Cannot open file"), error);
}

} // namespace pfw
