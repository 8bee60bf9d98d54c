#pragma once

#include "model/nodestatecommand.h"

namespace pfw {

// One value back to its saved text ("revert of Max processors").
class RevertValueCommand final : public NodeStateCommand
{
public:
    RevertValueCommand(SettingsModel *model, const XsdtNode *node);
};

} // namespace pfw
