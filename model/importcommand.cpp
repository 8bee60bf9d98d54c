#include "model/importcommand.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

#include <algorithm>

namespace pfw {

ImportCommand::ImportCommand(SettingsModel *model, ImportChanges changes)
    : NodeStateCommand(model,
                       changes.size() == changes.withdrawals.size()
                           ? SettingsModel::tr("revert of %n new entries", nullptr, changes.size())
                           : SettingsModel::tr("import of %n changes", nullptr, changes.size()))
{
    setResets(true);
    std::sort(changes.withdrawals.begin(), changes.withdrawals.end(),
              [model](const XsdtNode *a, const XsdtNode *b) { return model->pathOf(a) < model->pathOf(b); });
    for (const XsdtNode *node : std::as_const(changes.withdrawals))
        addRemoval(node);
    for (const auto &[node, value] : std::as_const(changes.edits))
        add(node, value, node->deleted, node->resetToDefault);
    for (const XsdtNode *node : std::as_const(changes.deletions))
        add(node, node->value, true);
    for (auto &[parent, node] : changes.additions)
        addInsertion(parent, std::move(node));
}

} // namespace pfw
