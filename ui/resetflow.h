#pragma once

#include <QCoreApplication>

class QWidget;

namespace pfw {

class EditingSession;

// File > Reset: a preset of values and entries queued as one step, to be reviewed before the
// save like every change.
class ResetFlow final
{
    Q_DECLARE_TR_FUNCTIONS(ResetFlow)

public:
    enum class Preset { AllPreferences, WindowLayout, ModuleSettings };

    ResetFlow(EditingSession &session, QWidget *parent);

    // Queues the preset; false when nothing was queued (message says why) or the user cancelled.
    bool queue(Preset preset);
    const QString &message() const { return m_message; }

private:
    EditingSession &m_session;
    QWidget *m_parent;
    QString m_message;
};

} // namespace pfw
