#include "model/settingsfilterproxy.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

namespace pfw {

namespace {

// Whether the setting path contains text. A text without "/" cannot span two keys, so the
// keys are searched one by one without building the path for every row.
bool pathContains(const XsdtNode &node, const QString &text)
{
    if (text.contains(u'/'))
        return node.path().contains(text, Qt::CaseInsensitive);
    for (const XsdtNode *at = &node; at && at->parent; at = at->parent) {
        if (at->key.contains(text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace

SettingsFilterProxy::SettingsFilterProxy(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    setRecursiveFilteringEnabled(true);
    // Re-filtering on every dataChanged makes the proxy re-check all ancestors of each changed
    // range, each over its whole subtree: minutes for a large group. The filter is applied
    // when its text or switch changes, and by the view after edits (refilter()).
    setDynamicSortFilter(false);
}

void SettingsFilterProxy::setFilterText(const QString &text)
{
    m_text = text.trimmed();
    refilter();
}

void SettingsFilterProxy::setChangedOnly(bool on)
{
    m_changedOnly = on;
    refilter();
}

void SettingsFilterProxy::refilter()
{
    // Rebuild the mapping in one pass. Filtering it in place removes and inserts row ranges
    // one by one, and each of those walks every persistent index a view holds (one per
    // expanded group): minutes on a large, fully expanded tree.
    invalidate();
}

bool SettingsFilterProxy::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const auto *model = qobject_cast<const SettingsModel *>(sourceModel());
    const XsdtNode *node = model ? model->nodeFor(model->index(sourceRow, 0, sourceParent)) : nullptr;
    if (!node)
        return true;
    const bool isValue = node->kind == XsdtNode::Value;
    if (m_changedOnly && !node->deleted && !(isValue && node->isEdited()))
        return false;
    if (m_text.isEmpty())
        return true;
    if (pathContains(*node, m_text))
        return true;
    // Protected values are not searched by value.
    return isValue && node->isEditableValue() && node->value.contains(m_text, Qt::CaseInsensitive);
}

} // namespace pfw
