#include "ui/resetflow.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"
#include "modules/defaultsreset.h"
#include "schema/settingsschema.h"
#include "session/editingsession.h"

#include <QInputDialog>

namespace pfw {

ResetFlow::ResetFlow(EditingSession &session, QWidget *parent)
    : m_session(session)
    , m_parent(parent)
{
}

bool ResetFlow::queue(Preset preset)
{
    SettingsModel *model = m_session.model();
    if (!m_session.isLoaded() || model->isReadOnly()) {
        m_message = tr("Nothing can be reset now: no file is open, or PixInsight is running.");
        return false;
    }
    const DefaultsReset resetter(&m_session.schema(), &m_session.policy(), &m_session.document().file());
    switch (preset) {
    case Preset::AllPreferences: {
        qsizetype kept = 0;
        const int queued = model->requestReset(resetter.allPreferences(&kept), tr("All preferences"));
        m_message = queued == 0 ? tr("There are no preferences to reset.")
                                : tr("%n preferences are reset to PixInsight's defaults at the save.", nullptr, queued);
        return queued > 0;
    }
    case Preset::WindowLayout: {
        const QList<XsdtNode *> entries = resetter.windowLayout();
        int queued = 0;
        {
            const SettingsModel::Batch batch(model);
            for (XsdtNode *entry : entries)
                queued += model->requestDeletion(entry, nullptr, tr("Window and workspace layout")) ? 1 : 0;
        }
        m_message = queued == 0 ? tr("There is no window or workspace layout to reset.")
                                : tr("The window and workspace layout is deleted at the save; PixInsight opens its "
                                     "windows at their default places.");
        return queued > 0;
    }
    case Preset::ModuleSettings: {
        const QList<XsdtNode *> modules = resetter.moduleSettings();
        if (modules.isEmpty()) {
            m_message = tr("No module has saved settings in this file.");
            return false;
        }
        QStringList names;
        for (const XsdtNode *module : modules)
            names << module->key;
        bool chosen = false;
        const QString name = QInputDialog::getItem(m_parent, tr("Reset a module's saved settings"),
                                                   tr("The module whose saved settings go:"), names, 0, false, &chosen);
        const qsizetype index = names.indexOf(name);
        if (!chosen || index < 0) {
            m_message.clear();
            return false;
        }
        QString why;
        if (!model->requestDeletion(modules.at(index), &why, tr("%1's saved settings").arg(name))) {
            m_message = why;
            return false;
        }
        m_message = tr("%1's saved settings are deleted at the save; it starts with its defaults.").arg(name);
        return true;
    }
    }
    return false;
}

} // namespace pfw
