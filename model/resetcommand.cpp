#include "model/resetcommand.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

namespace pfw {

ResetCommand::ResetCommand(SettingsModel *model, const QList<XsdtNode *> &values)
    : NodeStateCommand(model,
                       values.size() == 1
                           ? SettingsModel::tr("reset of %1 to its default").arg(SettingsModel::labelOf(values.first()))
                           : SettingsModel::tr("reset of %1 values to their defaults").arg(values.size()))
{
    for (const XsdtNode *value : values)
        add(value, value->value, true, true);
}

} // namespace pfw
