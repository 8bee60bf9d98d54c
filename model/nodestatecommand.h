#pragma once

#include <QString>
#include <QUndoCommand>

#include <memory>
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

// An entry a change puts into the tree or takes out of it, at its row under its parent, held by
// the change while it is out. Added entries come after every entry read from the file, so the
// places of those never move.
struct HeldNode
{
    std::vector<int> parentPath;
    int row = 0;
    // Null while the entry is in the tree.
    std::unique_ptr<XsdtNode> node;
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

    int nodeCount() const { return int(m_before.size() + m_inserted.size() + m_removed.size()); }
    bool isEmpty() const { return m_before.empty() && m_inserted.empty() && m_removed.empty(); }

protected:
    // One node, from its present state to the given one.
    void add(const XsdtNode *node, const QString &value, bool deleted, bool reset = false);
    // A new entry, made outside the tree, appended under parent by the redo. The first undo
    // takes it out again.
    void addInsertion(const XsdtNode *parent, std::unique_ptr<XsdtNode> node);
    // An entry in the tree that the redo takes out; to be given in the tree's order.
    void addRemoval(const XsdtNode *node);
    // Resets the model rather than signal each node (for changes across the whole tree).
    void setResets(bool on) { m_resets = on; }
    SettingsModel *model() const { return m_model; }

private:
    SettingsModel *m_model;
    std::vector<NodeState> m_before;
    std::vector<NodeState> m_after;
    // In the tree after the redo, and before it.
    std::vector<HeldNode> m_inserted;
    std::vector<HeldNode> m_removed;
    bool m_resets = false;
};

} // namespace pfw
