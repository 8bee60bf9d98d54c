#include "model/valueeditcommand.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

namespace pfw {

ValueEditCommand::ValueEditCommand(SettingsModel *model, const XsdtNode *node, const QString &value)
    : NodeStateCommand(model, SettingsModel::tr("edit of %1").arg(SettingsModel::labelOf(node)))
{
    add(node, value, node->deleted);
}

} // namespace pfw
