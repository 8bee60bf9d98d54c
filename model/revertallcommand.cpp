#include "model/revertallcommand.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

namespace pfw {

RevertAllCommand::RevertAllCommand(SettingsModel *model, const XsdtNode &root)
    : NodeStateCommand(model, SettingsModel::tr("revert of all changes"))
{
    setResets(true);
    collect(root);
}

void RevertAllCommand::collect(const XsdtNode &node)
{
    for (const auto &child : node.children) {
        // Taken out whole: what was changed inside it comes back with it on undo.
        if (child->added) {
            addRemoval(child.get());
            continue;
        }
        const bool edited = child->kind == XsdtNode::Value && child->value != child->savedValue;
        if (edited || child->deleted)
            add(child.get(), child->kind == XsdtNode::Value ? child->savedValue : child->value, false);
        collect(*child);
    }
}

} // namespace pfw
