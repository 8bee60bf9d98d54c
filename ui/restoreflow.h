#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>

class QWidget;

namespace pfw {

class SettingsDocument;

// File > Restore backup: choose one of the backups beside the file, confirm, and replace the
// file with it (the current file is backed up first). The window supplies the discard question
// and how its views let go of the tree while it is rebuilt.
class RestoreFlow final
{
    Q_DECLARE_TR_FUNCTIONS(RestoreFlow)

public:
    struct Hooks
    {
        // Asks before pending changes are lost; false stops the restore.
        std::function<bool(const QString &reason)> confirmDiscard;
        std::function<void()> detachViews;
        std::function<void()> attachViews;
    };
    enum Outcome { NothingDone, Restored, Failed };

    RestoreFlow(SettingsDocument &document, QWidget *dialogParent);

    Outcome run(const Hooks &hooks);
    // The status-bar text after a restore: "Restored <name>".
    const QString &message() const { return m_message; }

private:
    SettingsDocument &m_document;
    QWidget *m_dialogParent;
    QString m_message;
};

} // namespace pfw
