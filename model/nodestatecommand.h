#pragma once

#include <QString>
#include <QUndoCommand>

#include <vector>

namespace pfw {

class SettingsModel;
struct XsdtNode;

// What a change leaves behind in one node, found again by its child positions from the root:
// the tree keeps its shape while changes are pending, and the history is cleared before a save
// or a reload changes it.
struct NodeState
{
    std::vector<int> path;
    QString value;
    bool deleted = false;
    // Deleted as a reset to PixInsight's default.
    bool reset = false;
};

// A change of pending values and deletion marks: it stores the exact state of every node it
// touches before and after, so undo and redo restore them whatever happened in between.
// The first redo makes the change itself.
class NodeStateCommand : public QUndoCommand
{
public:
    NodeStateCommand(SettingsModel *model, const QString &text);

    void undo() override;
    void redo() override;

    int nodeCount() const { return int(m_before.size()); }
    bool isEmpty() const { return m_before.empty(); }

protected:
    // One node, from its present state to the given one.
    void add(const XsdtNode *node, const QString &value, bool deleted, bool reset = false);
    // Resets the model rather than signal each node (for changes across the whole tree).
    void setResets(bool on) { m_resets = on; }
    SettingsModel *model() const { return m_model; }

private:
    SettingsModel *m_model;
    std::vector<NodeState> m_before;
    std::vector<NodeState> m_after;
    bool m_resets = false;
};

} // namespace pfw
