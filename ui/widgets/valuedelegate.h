#pragma once

#include <QStyledItemDelegate>

namespace pfw {

// The Value column's editor in the All settings tree: true/false for Booleans, a line edit
// otherwise. Everything it commits passes through SettingsModel::setData.
class ValueDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit ValueDelegate(QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
};

} // namespace pfw
