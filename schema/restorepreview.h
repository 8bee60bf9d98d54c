#pragma once

#include <QCoreApplication>
#include <QStringList>

namespace pfw {

class SettingsSchema;
struct XsdtNode;

// What restoring a backup would do to the file as it is now, in the user's words: each value
// that changes, goes or comes back, by its label, with its value now and after.
class RestorePreview final
{
    Q_DECLARE_TR_FUNCTIONS(RestorePreview)

public:
    static constexpr int kListedLines = 200;

    static RestorePreview of(const XsdtNode &current, const XsdtNode &backup, const SettingsSchema *schema);

    bool isEmpty() const { return changed + removed + added == 0; }
    // "Restoring changes 3 settings, removes 1 and brings back 2." or that nothing changes.
    QString summary() const;
    // One line a value, the first kListedLines of them, then how many more there are.
    QString details() const;

    int changed = 0;
    int removed = 0;
    int added = 0;
    QStringList lines;
};

} // namespace pfw
