#include "model/settingsfilterproxy.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

namespace pfw {

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
    invalidateFilter();
}

void SettingsFilterProxy::setChangedOnly(bool on)
{
    m_changedOnly = on;
    invalidateFilter();
}

void SettingsFilterProxy::refilter()
{
    invalidateFilter();
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
    if (node->path().contains(m_text, Qt::CaseInsensitive))
        return true;
    // Protected values are not searched by value.
    return isValue && node->isEditableValue() && node->value.contains(m_text, Qt::CaseInsensitive);
}

} // namespace pfw
