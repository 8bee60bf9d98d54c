#pragma once

#include "model/nodestatecommand.h"

#include <QList>

namespace pfw {

// Queues values for deletion as resets to PixInsight's defaults, as one step.
class ResetCommand final : public NodeStateCommand
{
public:
    ResetCommand(SettingsModel *model, const QList<XsdtNode *> &values);
};

} // namespace pfw
