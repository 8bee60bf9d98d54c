#pragma once

#include <QUndoCommand>

#include <functional>

namespace pfw {

// A change kept outside the tree: left-over files queued for deletion from disk, taken off the
// queue, or dropped by Revert all. The view made the change already; apply(true) makes it
// again, apply(false) takes it back.
class QueuedFilesCommand final : public QUndoCommand
{
public:
    QueuedFilesCommand(const QString &text, std::function<void(bool redo)> apply);

    void undo() override;
    void redo() override;

private:
    std::function<void(bool)> m_apply;
    bool m_done = true;
};

} // namespace pfw
