#pragma once

#include "modules/leftovers.h"
#include "platform/hostservices.h"

#include <QCoreApplication>
#include <QString>

#include <functional>

class QWidget;

namespace pfw {

class SettingsDocument;
class SettingsModel;

// File > Save: the review of every pending change and queued file, the verified save, then the
// deletion of the queued left-over files (in-process, elevated where that fails). The window
// supplies how its views let go of the tree while a save removes nodes from it.
class SaveFlow final
{
    Q_DECLARE_TR_FUNCTIONS(SaveFlow)

public:
    struct Hooks
    {
        std::function<void()> detachViews;
        std::function<void()> attachViews;
        // The queued files were dealt with: the view empties its queue.
        std::function<void()> leftoversProcessed;
    };

    SaveFlow(SettingsDocument &document, SettingsModel &model, const HostServices &services, QWidget *dialogParent);

    // False when the review was cancelled or the save refused (the reason was shown).
    bool run(const QList<Leftover> &leftovers, const Hooks &hooks);
    // The status-bar text of a finished save: "Saved. Backup: <name>" and what the removal did.
    const QString &message() const { return m_message; }

private:
    QString deleteLeftovers(const QList<Leftover> &items, const Hooks &hooks);

    SettingsDocument &m_document;
    SettingsModel &m_model;
    const HostServices &m_services;
    QWidget *m_dialogParent;
    QString m_message;
};

} // namespace pfw
