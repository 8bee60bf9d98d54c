#include "schema/restorepreview.h"

#include "core/treediff.h"
#include "core/xsdtnode.h"
#include "schema/readablevalue.h"
#include "schema/settinglabel.h"

namespace pfw {

RestorePreview RestorePreview::of(const XsdtNode &current, const XsdtNode &backup, const SettingsSchema *schema)
{
    RestorePreview preview;
    const QList<DiffEntry> entries = diffTrees(current, backup);
    for (const DiffEntry &entry : entries) {
        const XsdtNode *node = entry.here ? entry.here : entry.there;
        const QString name = SettingLabel::text(schema, *node);
        const auto shown = [&](const XsdtNode *side) {
            return differsInCompressedData(entry) ? diffSideText(entry, side)
                                                  : ReadableValue::text(schema, *side, side->value);
        };
        switch (entry.status) {
        case DiffEntry::Different:
            ++preview.changed;
            if (preview.lines.size() < kListedLines)
                preview.lines << tr("%1: %2 \u2192 %3").arg(name, shown(entry.here), shown(entry.there));
            break;
        case DiffEntry::OnlyHere:
            ++preview.removed;
            if (preview.lines.size() < kListedLines)
                preview.lines << tr("%1: %2 (not in the backup: removed)").arg(name, shown(entry.here));
            break;
        case DiffEntry::OnlyThere:
            ++preview.added;
            if (preview.lines.size() < kListedLines)
                preview.lines << tr("%1: %2 (only in the backup: comes back)").arg(name, shown(entry.there));
            break;
        }
    }
    return preview;
}

QString RestorePreview::summary() const
{
    if (isEmpty())
        return tr("The backup holds the same values as the file: restoring changes no setting.");
    QStringList parts;
    if (changed > 0)
        parts << tr("changes %n settings", nullptr, changed);
    if (removed > 0)
        parts << tr("removes %n values", nullptr, removed);
    if (added > 0)
        parts << tr("brings back %n values", nullptr, added);
    const QString last = parts.takeLast();
    const QString list = parts.isEmpty() ? last : parts.join(QLatin1String(", ")) + tr(" and ") + last;
    return tr("Restoring %1.").arg(list);
}

QString RestorePreview::details() const
{
    QString text = lines.join(u'\n');
    const int total = changed + removed + added;
    if (total > lines.size())
        text += u'\n' + tr("\u2026 and %n more", nullptr, total - int(lines.size()));
    return text;
}

} // namespace pfw
