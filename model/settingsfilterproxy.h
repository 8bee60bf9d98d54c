#pragma once

#include <QAbstractProxyModel>
#include <QHash>
#include <QPointer>

#include <vector>

namespace pfw {

class SettingsModel;
struct XsdtNode;

// Filters the All settings tree by a text (path, or the value of an editable value) and by
// a changed-only switch. A row shows when it or any descendant is accepted, or when the text is
// in its path. Indexes carry their node, so mapping either way is a lookup: a general sorting
// proxy spends most of a keystroke on its own bookkeeping in a tree of a hundred thousand rows.
class SettingsFilterProxy final : public QAbstractProxyModel
{
    Q_OBJECT

public:
    explicit SettingsFilterProxy(QObject *parent = nullptr);

    // The source must be a SettingsModel.
    void setSourceModel(QAbstractItemModel *source) override;

    // A new filter is a new tree for the views (a reset).
    void setFilterText(const QString &text);
    QString filterText() const { return m_text; }
    void setChangedOnly(bool on);
    bool isChangedOnly() const { return m_changedOnly; }
    bool isFiltering() const { return !m_text.isEmpty() || m_changedOnly; }
    // Applies the filter again after edits (the proxy does not re-filter on every change),
    // keeping what the views hold of the rows that stay: expansion, current row.
    void refilter();

    XsdtNode *nodeFor(const QModelIndex &proxyIndex) const;

    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const XsdtNode *parentNodeOf(const QModelIndex &proxyParent) const;
    // The children shown under a node; all of them while nothing is filtered.
    const std::vector<XsdtNode *> *shownChildren(const XsdtNode *node) const;
    int rowOf(const XsdtNode *node) const;
    void rebuild();
    bool collect(XsdtNode &node, bool pathMatched, QString &path, QHash<const void *, bool> &keyMatches);
    void sourceDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles);

    // The model may go first when the window closes, while views still ask this proxy.
    QPointer<SettingsModel> m_model;
    QString m_text;
    bool m_changedOnly = false;
    bool m_textHasSlash = false;
    // While filtering: the shown children of each shown group (the root included), and the
    // row of each shown node among its parent's shown children.
    QHash<const XsdtNode *, std::vector<XsdtNode *>> m_shown;
    QHash<const XsdtNode *, int> m_rows;
};

} // namespace pfw
