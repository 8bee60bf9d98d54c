#pragma once

#include "model/nodestatecommand.h"

namespace pfw {

// A new pending value for one value node ("edit of Max processors").
class ValueEditCommand final : public NodeStateCommand
{
public:
    ValueEditCommand(SettingsModel *model, const XsdtNode *node, const QString &value);
};

} // namespace pfw
