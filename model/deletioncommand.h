#pragma once

#include "model/nodestatecommand.h"

namespace pfw {

// Queues an entry for deletion ("deletion of Mirelux") or takes it off the queue ("restore of
// Mirelux"). Pending values inside it are left as they are, so they come back with it.
class DeletionCommand final : public NodeStateCommand
{
public:
    DeletionCommand(SettingsModel *model, const XsdtNode *node, bool deleted);
};

} // namespace pfw
