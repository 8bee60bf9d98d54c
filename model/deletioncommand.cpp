#include "model/deletioncommand.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

namespace pfw {

DeletionCommand::DeletionCommand(SettingsModel *model, const XsdtNode *node, bool deleted)
    : NodeStateCommand(model,
                       (deleted ? SettingsModel::tr("deletion of %1") : SettingsModel::tr("restore of %1"))
                           .arg(SettingsModel::labelOf(node)))
{
    add(node, node->value, deleted);
}

} // namespace pfw
