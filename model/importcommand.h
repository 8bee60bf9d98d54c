#pragma once

#include "model/nodestatecommand.h"

#include <QList>

#include <memory>
#include <utility>
#include <vector>

namespace pfw {

// What an import brings into the tree, as one step: new entries appended under their parents,
// new values for entries already here, and entries queued for deletion.
struct ImportChanges
{
    std::vector<std::pair<XsdtNode *, std::unique_ptr<XsdtNode>>> additions;
    QList<std::pair<XsdtNode *, QString>> edits;
    QList<XsdtNode *> deletions;
    // Entries an earlier import added, taken out again (a revert in the review).
    QList<XsdtNode *> withdrawals;

    bool isEmpty() const
    {
        return additions.empty() && edits.isEmpty() && deletions.isEmpty() && withdrawals.isEmpty();
    }
    int size() const
    {
        return int(additions.size()) + int(edits.size()) + int(deletions.size()) + int(withdrawals.size());
    }
};

class ImportCommand final : public NodeStateCommand
{
public:
    ImportCommand(SettingsModel *model, ImportChanges changes);
};

} // namespace pfw
