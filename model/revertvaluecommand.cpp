#include "model/revertvaluecommand.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

namespace pfw {

RevertValueCommand::RevertValueCommand(SettingsModel *model, const XsdtNode *node)
    : NodeStateCommand(model, SettingsModel::tr("revert of %1").arg(SettingsModel::labelOf(node)))
{
    add(node, node->savedValue, node->deleted);
}

} // namespace pfw
