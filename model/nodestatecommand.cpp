#include "model/nodestatecommand.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

#include <algorithm>

namespace pfw {

NodeStateCommand::NodeStateCommand(SettingsModel *model, const QString &text)
    : QUndoCommand(text)
    , m_model(model)
{
}

void NodeStateCommand::add(const XsdtNode *node, const QString &value, bool deleted, bool reset)
{
    const std::vector<int> path = m_model->pathOf(node);
    m_before.push_back({path, node->value, node->deleted, node->resetToDefault});
    m_after.push_back({path, value, deleted, deleted && reset});
}

void NodeStateCommand::addInsertion(const XsdtNode *parent, std::unique_ptr<XsdtNode> node)
{
    HeldNode held;
    held.parentPath = m_model->pathOf(parent);
    held.row = int(parent->children.size());
    for (const HeldNode &earlier : m_inserted) {
        if (earlier.parentPath == held.parentPath)
            held.row = std::max(held.row, earlier.row + 1);
    }
    held.node = std::move(node);
    m_inserted.push_back(std::move(held));
}

void NodeStateCommand::addRemoval(const XsdtNode *node)
{
    HeldNode held;
    held.parentPath = m_model->pathOf(node->parent);
    held.row = node->indexInParent();
    m_removed.push_back(std::move(held));
}

// Nodes go in before their values are set, and come out after.
void NodeStateCommand::undo()
{
    const bool structure = !m_inserted.empty() || !m_removed.empty();
    m_model->applyStates(m_before, m_resets || structure, &m_removed, &m_inserted);
}

void NodeStateCommand::redo()
{
    const bool structure = !m_inserted.empty() || !m_removed.empty();
    m_model->applyStates(m_after, m_resets || structure, &m_inserted, &m_removed);
}

} // namespace pfw
