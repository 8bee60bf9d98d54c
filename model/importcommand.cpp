#include "model/importcommand.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

namespace pfw {

ImportCommand::ImportCommand(SettingsModel *model, ImportChanges changes)
    : NodeStateCommand(model, SettingsModel::tr("import of %n changes", nullptr, changes.size()))
{
    setResets(true);
    for (const auto &[node, value] : std::as_const(changes.edits))
        add(node, value, node->deleted, node->resetToDefault);
    for (const XsdtNode *node : std::as_const(changes.deletions))
        add(node, node->value, true);
    for (auto &[parent, node] : changes.additions)
        addInsertion(parent, std::move(node));
}

} // namespace pfw
