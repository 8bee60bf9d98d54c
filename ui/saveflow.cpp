#include "ui/saveflow.h"

#include "core/fileidentity.h"
#include "core/settingsdocument.h"
#include "model/busyscope.h"
#include "model/settingsmodel.h"
#include "modules/leftoverremoval.h"
#include "platform/hostlocations.h"
#include "ui/dialogs/reviewdialog.h"

#include <QFileInfo>
#include <QMessageBox>

namespace pfw {

SaveFlow::SaveFlow(SettingsDocument &document, SettingsModel &model, const HostServices &services,
                   QWidget *dialogParent)
    : m_document(document)
    , m_model(model)
    , m_services(services)
    , m_dialogParent(dialogParent)
{
}

bool SaveFlow::run(const QList<Leftover> &leftovers, const Hooks &hooks)
{
    const BusyScope busy;
    m_message.clear();
    if (!m_document.isLoaded())
        return true;
    if (m_document.pendingChangeCount() == 0 && leftovers.isEmpty())
        return true;
    {
        ReviewDialog review(&m_model, &m_document.file().root, m_dialogParent);
        review.setLeftovers(leftovers);
        if (const XsdtFile &file = m_document.file(); !file.validUtf8)
            review.setInvalidUtf8(file.invalidUtf8Line, file.invalidUtf8Column);
        if (FileIdentity::of(m_document.path()).links > 1)
            review.setOtherNames();
        if (review.exec() != QDialog::Accepted)
            return false;
    }
    if (m_document.pendingChangeCount() == 0 && leftovers.isEmpty())
        return true;

    if (m_document.pendingChangeCount() > 0) {
        // Committing removes the deleted nodes, which views may hold; a refused save keeps
        // the tree and so its undo history.
        const bool removesNodes = !m_document.file().root.pendingDeletions().isEmpty();
        if (removesNodes && hooks.detachViews)
            hooks.detachViews();
        QString error, backup;
        const bool saved = m_document.save(&error, &backup);
        if (removesNodes && hooks.attachViews)
            hooks.attachViews();
        if (!saved) {
            QMessageBox::critical(m_dialogParent, tr("Save failed"), error);
            return false;
        }
        m_model.refreshAll();
        m_message = tr("Saved. Backup: %1").arg(QFileInfo(backup).fileName());
    }
    if (!leftovers.isEmpty()) {
        const QString removal = deleteLeftovers(leftovers, hooks).section(u'\n', 0, 0);
        m_message = m_message.isEmpty() ? removal : m_message + u' ' + removal;
    }
    // Saved nodes are gone or committed: no step can be undone against them any more.
    m_model.clearHistory();
    return true;
}

QString SaveFlow::deleteLeftovers(const QList<Leftover> &items, const Hooks &hooks)
{
    LeftoverRemoval removal;
    removal.run(items, findInstallFolder({}, m_services.environment), userDataFolderFor(m_document.path()), m_services);
    if (hooks.leftoversProcessed)
        hooks.leftoversProcessed();
    const QString text = removal.text();
    if (!removal.problemLines.isEmpty())
        QMessageBox::warning(m_dialogParent, tr("Some files were not deleted"), text);
    return text;
}

} // namespace pfw
