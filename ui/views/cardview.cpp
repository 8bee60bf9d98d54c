#include "ui/views/cardview.h"

#include "model/settingsmodel.h"
#include "ui/widgets/settingrow.h"

namespace pfw {

CardView::CardView(SettingsModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_shownGeneration(model->generation())
{
    connect(m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                if (m_rowOf.isEmpty())
                    return;
                SettingRow::refreshChanged(*m_model, m_rowOf, topLeft, bottomRight);
                rowsRefreshed(false);
            });
    connect(m_model, &QAbstractItemModel::modelReset, this, &CardView::onModelReset);
}

void CardView::setViewOnly(bool on)
{
    if (m_viewOnly == on)
        return;
    m_viewOnly = on;
    for (SettingRow *row : std::as_const(m_rowOf))
        row->setViewOnly(on);
    viewOnlyChanged();
}

void CardView::addRow(const XsdtNode *node, SettingRow *row)
{
    m_rowOf.insert(node, row);
}

void CardView::onModelReset()
{
    // A large undo resets the model over the same tree; another generation is another tree,
    // and the rows point into the one that is gone.
    if (m_model->generation() != m_shownGeneration) {
        m_shownGeneration = m_model->generation();
        m_rowOf.clear();
        showTree(m_model->file());
        return;
    }
    for (SettingRow *row : std::as_const(m_rowOf))
        row->refresh();
    rowsRefreshed(true);
}

} // namespace pfw
