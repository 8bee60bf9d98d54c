#include "ui/widgets/valuedelegate.h"

#include "core/xsdtnode.h"
#include "model/settingsmodel.h"

#include <QComboBox>

namespace pfw {

namespace {

const XsdtNode *nodeOf(const QModelIndex &index)
{
    return static_cast<const XsdtNode *>(index.data(SettingsModel::NodeRole).value<void *>());
}

} // namespace

ValueDelegate::ValueDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QWidget *ValueDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    const XsdtNode *node = nodeOf(index);
    if (!node || node->type != u'b')
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto *combo = new QComboBox(parent);
    combo->addItems({QStringLiteral("true"), QStringLiteral("false")});
    // Choosing an item commits at once; commitData is a signal, hence not const.
    auto *self = const_cast<ValueDelegate *>(this);
    connect(combo, &QComboBox::activated, self, [self, combo] {
        emit self->commitData(combo);
        emit self->closeEditor(combo);
    });
    return combo;
}

void ValueDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        combo->setCurrentIndex(combo->findText(index.data(Qt::EditRole).toString()));
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void ValueDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        model->setData(index, combo->currentText(), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

} // namespace pfw
