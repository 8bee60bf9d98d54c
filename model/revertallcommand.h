#pragma once

#include "model/nodestatecommand.h"

namespace pfw {

struct XsdtNode;

// Every pending change of the tree dropped ("revert of all changes"): edits, deletion marks,
// edits inside entries that are queued for deletion, and imported entries, so that undo brings
// all of them back.
class RevertAllCommand final : public NodeStateCommand
{
public:
    RevertAllCommand(SettingsModel *model, const XsdtNode &root);

private:
    void collect(const XsdtNode &node);
};

} // namespace pfw
