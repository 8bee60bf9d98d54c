#include "model/queuedfilescommand.h"

namespace pfw {

QueuedFilesCommand::QueuedFilesCommand(const QString &text, std::function<void(bool)> apply)
    : QUndoCommand(text)
    , m_apply(std::move(apply))
{
}

void QueuedFilesCommand::undo()
{
    m_done = false;
    if (m_apply)
        m_apply(false);
}

void QueuedFilesCommand::redo()
{
    // Pushing runs redo once: that change was made by the view already.
    if (m_done)
        return;
    m_done = true;
    if (m_apply)
        m_apply(true);
}

} // namespace pfw
