#include "model/nodestatecommand.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

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

void NodeStateCommand::undo()
{
    m_model->applyStates(m_before, m_resets);
}

void NodeStateCommand::redo()
{
    m_model->applyStates(m_after, m_resets);
}

} // namespace pfw
