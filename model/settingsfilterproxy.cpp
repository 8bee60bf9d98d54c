#include "model/settingsfilterproxy.h"

#include "core/textmatch.h"
#include "core/xsdtfile.h"
#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

namespace pfw {

SettingsFilterProxy::SettingsFilterProxy(QObject *parent)
    : QAbstractProxyModel(parent)
{
}

void SettingsFilterProxy::setSourceModel(QAbstractItemModel *source)
{
    beginResetModel();
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = qobject_cast<SettingsModel *>(source);
    QAbstractProxyModel::setSourceModel(m_model);
    if (m_model) {
        connect(m_model, &QAbstractItemModel::dataChanged, this, &SettingsFilterProxy::sourceDataChanged);
        connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
            beginResetModel();
            // The nodes kept here belong to the tree that is going away.
            m_shown.clear();
            m_rows.clear();
        });
        connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
            rebuild();
            endResetModel();
        });
    }
    rebuild();
    endResetModel();
}

void SettingsFilterProxy::setFilterText(const QString &text)
{
    beginResetModel();
    m_text = text.trimmed();
    rebuild();
    endResetModel();
}

void SettingsFilterProxy::setChangedOnly(bool on)
{
    beginResetModel();
    m_changedOnly = on;
    rebuild();
    endResetModel();
}

void SettingsFilterProxy::refilter()
{
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    rebuild();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before) {
        XsdtNode *node = nodeFor(index);
        const int row = node ? rowOf(node) : -1;
        after.append(row < 0 ? QModelIndex() : createIndex(row, index.column(), node));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

XsdtNode *SettingsFilterProxy::nodeFor(const QModelIndex &proxyIndex) const
{
    return proxyIndex.isValid() && proxyIndex.model() == this ? static_cast<XsdtNode *>(proxyIndex.internalPointer())
                                                              : nullptr;
}

const XsdtNode *SettingsFilterProxy::parentNodeOf(const QModelIndex &proxyParent) const
{
    if (proxyParent.isValid())
        return proxyParent.column() == 0 ? nodeFor(proxyParent) : nullptr;
    return m_model && m_model->file() ? &m_model->file()->root : nullptr;
}

int SettingsFilterProxy::rowOf(const XsdtNode *node) const
{
    if (!isFiltering())
        return m_model->indexFor(node).row();
    return m_rows.value(node, -1);
}

QModelIndex SettingsFilterProxy::mapToSource(const QModelIndex &proxyIndex) const
{
    const XsdtNode *node = nodeFor(proxyIndex);
    return node && m_model ? m_model->indexFor(node, proxyIndex.column()) : QModelIndex();
}

QModelIndex SettingsFilterProxy::mapFromSource(const QModelIndex &sourceIndex) const
{
    XsdtNode *node = m_model && sourceIndex.isValid() ? m_model->nodeFor(sourceIndex) : nullptr;
    const int row = node ? rowOf(node) : -1;
    return row < 0 ? QModelIndex() : createIndex(row, sourceIndex.column(), node);
}

QModelIndex SettingsFilterProxy::index(int row, int column, const QModelIndex &parent) const
{
    const XsdtNode *node = parentNodeOf(parent);
    if (!node || row < 0 || column < 0 || column >= columnCount())
        return QModelIndex();
    if (isFiltering()) {
        const auto shown = m_shown.constFind(node);
        if (shown == m_shown.cend() || size_t(row) >= shown->size())
            return QModelIndex();
        return createIndex(row, column, (*shown)[size_t(row)]);
    }
    if (size_t(row) >= node->children.size())
        return QModelIndex();
    return createIndex(row, column, node->children[size_t(row)].get());
}

QModelIndex SettingsFilterProxy::parent(const QModelIndex &child) const
{
    const XsdtNode *node = nodeFor(child);
    XsdtNode *up = node ? node->parent : nullptr;
    if (!up || !up->parent)
        return QModelIndex();
    const int row = rowOf(up);
    return row < 0 ? QModelIndex() : createIndex(row, 0, up);
}

QModelIndex SettingsFilterProxy::sibling(int row, int column, const QModelIndex &index) const
{
    return index.isValid() ? this->index(row, column, parent(index)) : QModelIndex();
}

int SettingsFilterProxy::rowCount(const QModelIndex &parent) const
{
    const XsdtNode *node = parentNodeOf(parent);
    if (!node)
        return 0;
    if (isFiltering()) {
        const auto shown = m_shown.constFind(node);
        return shown == m_shown.cend() ? 0 : int(shown->size());
    }
    return int(node->children.size());
}

int SettingsFilterProxy::columnCount(const QModelIndex &) const
{
    return m_model ? m_model->columnCount() : 0;
}

bool SettingsFilterProxy::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant SettingsFilterProxy::headerData(int section, Qt::Orientation orientation, int role) const
{
    return m_model ? m_model->headerData(section, orientation, role) : QVariant();
}

void SettingsFilterProxy::rebuild()
{
    // The next filter shows about as much as the last: growing the tables costs more than filling them.
    const qsizetype lastRows = m_rows.size();
    const qsizetype lastGroups = m_shown.size();
    m_shown.clear();
    m_rows.clear();
    if (!isFiltering() || !m_model || !m_model->file())
        return;
    m_rows.reserve(lastRows);
    m_shown.reserve(lastGroups);
    m_textHasSlash = m_text.contains(u'/');
    QHash<const void *, bool> keyMatches;
    QString path;
    collect(m_model->file()->root, false, path, keyMatches);
}

// Whether anything under node is shown; fills the tables on the way. A text without "/"
// cannot span two keys, so it is looked for key by key (each distinct key once: the reader
// shares one copy of each) instead of in every row's whole path.
bool SettingsFilterProxy::collect(XsdtNode &node, bool pathMatched, QString &path,
                                  QHash<const void *, bool> &keyMatches)
{
    const bool byPath = m_textHasSlash;
    std::vector<XsdtNode *> shown;
    for (const auto &owned : node.children) {
        XsdtNode &child = *owned;
        const qsizetype mark = path.size();
        if (byPath) {
            if (mark > 0)
                path += u'/';
            path += child.key;
        }
        bool childPath = pathMatched;
        if (!childPath && !m_text.isEmpty()) {
            if (byPath) {
                childPath = containsIgnoringCase(path, m_text);
            } else {
                const void *key = child.key.constData();
                auto known = keyMatches.constFind(key);
                if (known == keyMatches.cend())
                    known = keyMatches.insert(key, containsIgnoringCase(child.key, m_text));
                childPath = known.value();
            }
        }
        const bool isValue = child.kind == XsdtNode::Value;
        const bool changed = child.deleted || (isValue && child.isEdited());
        // Protected values are not searched by value.
        const bool textMatches = m_text.isEmpty() || childPath
            || (isValue && child.isEditableValue() && containsIgnoringCase(child.value, m_text));
        bool show = (!m_changedOnly || changed) && textMatches;
        if (!isValue && collect(child, childPath, path, keyMatches))
            show = true;
        if (byPath)
            path.truncate(mark);
        if (show) {
            m_rows.insert(&child, int(shown.size()));
            shown.push_back(&child);
        }
    }
    if (shown.empty())
        return false;
    m_shown.insert(&node, std::move(shown));
    return true;
}

void SettingsFilterProxy::sourceDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                            const QList<int> &roles)
{
    if (!topLeft.isValid() || !bottomRight.isValid() || topLeft.parent() != bottomRight.parent())
        return;
    if (!isFiltering()) {
        emit dataChanged(createIndex(topLeft.row(), topLeft.column(), m_model->nodeFor(topLeft)),
                         createIndex(bottomRight.row(), bottomRight.column(), m_model->nodeFor(bottomRight)), roles);
        return;
    }
    if (topLeft.row() == bottomRight.row()) {
        const QModelIndex mapped = mapFromSource(topLeft);
        if (mapped.isValid())
            emit dataChanged(mapped, mapped.siblingAtColumn(bottomRight.column()), roles);
        return;
    }
    // The shown rows of a source range are one run among the parent's shown children.
    const XsdtNode *parentNode = topLeft.parent().isValid() ? m_model->nodeFor(topLeft.parent()) : parentNodeOf({});
    const auto shown = m_shown.constFind(parentNode);
    if (shown == m_shown.cend())
        return;
    int first = -1;
    int last = -1;
    for (size_t row = 0; row < shown->size(); ++row) {
        const int sourceRow = m_model->indexFor((*shown)[row]).row();
        if (sourceRow >= topLeft.row() && sourceRow <= bottomRight.row()) {
            first = first < 0 ? int(row) : first;
            last = int(row);
        }
    }
    if (first >= 0)
        emit dataChanged(createIndex(first, topLeft.column(), (*shown)[size_t(first)]),
                         createIndex(last, bottomRight.column(), (*shown)[size_t(last)]), roles);
}

} // namespace pfw
