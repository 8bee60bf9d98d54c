#include "ui/restoreflow.h"

#include "core/backups.h"
#include "core/displaytext.h"
#include "core/settingsdocument.h"
#include "core/xsdtfile.h"
#include "schema/restorepreview.h"
#include "session/editingsession.h"
#include "session/busyscope.h"

#include <QDateTime>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

namespace pfw {

RestoreFlow::RestoreFlow(EditingSession &session, QWidget *dialogParent)
    : m_session(session)
    , m_dialogParent(dialogParent)
{
}

RestoreFlow::Outcome RestoreFlow::run(const std::function<bool(const QString &reason)> &confirmDiscard)
{
    const BusyScope busy;
    m_message.clear();
    if (!m_session.isLoaded())
        return NothingDone;
    const QStringList backups = listBackups(m_session.path());
    if (backups.isEmpty()) {
        QMessageBox::information(m_dialogParent, tr("Restore backup"),
                                 tr("No backups were found next to the settings file."));
        return NothingDone;
    }
    QStringList choices;
    for (const QString &path : backups)
        choices << DisplayText::backup(path);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(m_dialogParent, tr("Restore backup"),
                                                 tr("Backup to restore (newest first):"), choices, 0, false, &ok);
    if (!ok)
        return NothingDone;
    const QString backup = backups.at(qMax(0, int(choices.indexOf(chosen))));
    if (confirmDiscard && !confirmDiscard(tr("Restoring the backup discards what is not saved.")))
        return NothingDone;
    QMessageBox box(QMessageBox::Question, tr("Restore backup"),
                    tr("Replace the current settings file with\n%1\n\nThe current file is backed up first.")
                        .arg(QFileInfo(backup).fileName()),
                    QMessageBox::Yes | QMessageBox::No, m_dialogParent);
    // What the restore does, before it is done: the file on disk against the backup.
    XsdtFile current;
    XsdtFile restored;
    QString unreadable;
    if (SettingsDocument::readSettingsFile(m_session.path(), &current, &unreadable)
        && SettingsDocument::readSettingsFile(backup, &restored, &unreadable)) {
        const RestorePreview preview = RestorePreview::of(current.root, restored.root, &m_session.schema());
        box.setInformativeText(preview.summary());
        if (!preview.isEmpty())
            box.setDetailedText(preview.details());
    } else {
        box.setInformativeText(tr("The differences cannot be shown: %1").arg(unreadable));
    }
    if (box.exec() != QMessageBox::Yes)
        return NothingDone;
    QString error;
    if (!m_session.restore(backup, &error)) {
        QMessageBox::critical(m_dialogParent, tr("Restore failed"), error);
        return Failed;
    }
    m_message = tr("Restored %1").arg(QFileInfo(backup).fileName());
    return Restored;
}

} // namespace pfw
