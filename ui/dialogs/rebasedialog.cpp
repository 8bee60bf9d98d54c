#include "ui/dialogs/rebasedialog.h"

#include "core/displaytext.h"
#include "schema/readablevalue.h"
#include "schema/settingsschema.h"
#include "session/pendingrebase.h"
#include "ui/widgets/colorbutton.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pfw {

namespace {

constexpr int kEditRole = Qt::UserRole + 1;

} // namespace

RebaseDialog::RebaseDialog(PendingRebase &rebase, QWidget *parent)
    : QDialog(parent)
    , m_rebase(rebase)
    , m_conflicts(new QTreeWidget(this))
{
    setWindowTitle(tr("Re-apply your changes"));
    auto *layout = new QVBoxLayout(this);
    const int conflicts = rebase.conflictCount();
    if (conflicts > 0) {
        auto *intro = new QLabel(tr("PixInsight also changed %n of the settings you changed. Keep your value "
                                    "(ticked) or take PixInsight's (unticked) for each:",
                                    nullptr, conflicts),
                                 this);
        intro->setWordWrap(true);
        layout->addWidget(intro);
    }
    m_conflicts->setAccessibleName(tr("Settings PixInsight also changed"));
    m_conflicts->setHeaderLabels({tr("Setting"), tr("Before"), tr("PixInsight's value"), tr("Your value")});
    m_conflicts->setRootIsDecorated(false);
    m_conflicts->setUniformRowHeights(true);
    m_conflicts->header()->setSectionResizeMode(QHeaderView::Interactive);
    const QList<PendingRebase::Edit> &edits = rebase.edits();
    for (int i = 0; i < edits.size(); ++i) {
        const PendingRebase::Edit &edit = edits.at(i);
        if (edit.state != PendingRebase::Edit::State::Conflict)
            continue;
        auto *item = new QTreeWidgetItem(m_conflicts);
        // Labelled as elsewhere: the setting's label and the group it is in.
        const QStringList keys = edit.path.split(u'/');
        item->setText(SettingColumn,
                      keys.size() > 2 ? edit.label + QStringLiteral(" \u2014 ")
                              + SettingsSchema::humanizeKey(keys.at(keys.size() - 2))
                                      : edit.label);
        const std::pair<int, const QString *> values[]
            = {{BeforeColumn, &edit.before}, {TheirsColumn, &edit.theirs}, {MineColumn, &edit.mine}};
        for (const auto &[column, value] : values) {
            item->setText(column, ReadableValue::text(edit.spec, edit.type, *value));
            item->setToolTip(column, value->left(DisplayText::kTipLength));
            if (const std::optional<quint32> argb = ReadableValue::colour(edit.spec, edit.type, *value))
                item->setIcon(column, QIcon(ColorButton::swatch(*argb)));
        }
        item->setToolTip(SettingColumn, edit.path);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(MineColumn, edit.keepMine ? Qt::Checked : Qt::Unchecked);
        item->setData(SettingColumn, kEditRole, i);
    }
    for (int column = 0; column < m_conflicts->columnCount(); ++column)
        m_conflicts->resizeColumnToContents(column);
    m_conflicts->setVisible(conflicts > 0);
    layout->addWidget(m_conflicts, 1);
    if (const QStringList dropped = rebase.droppedLines(); !dropped.isEmpty()) {
        layout->addWidget(new QLabel(tr("Not put back, as the file PixInsight wrote no longer has them:"), this));
        auto *lines = new QPlainTextEdit(dropped.join(u'\n'), this);
        lines->setAccessibleName(tr("Changes not put back"));
        lines->setReadOnly(true);
        lines->setLineWrapMode(QPlainTextEdit::NoWrap);
        lines->setMaximumHeight(lines->fontMetrics().lineSpacing() * 8);
        layout->addWidget(lines);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_apply = buttons->addButton(tr("Re-apply"), QDialogButtonBox::AcceptRole);
    m_apply->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(qMax(sizeHint().width(), fontMetrics().averageCharWidth() * 100), sizeHint().height());
}

void RebaseDialog::accept()
{
    QList<PendingRebase::Edit> &edits = m_rebase.edits();
    for (int row = 0; row < m_conflicts->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = m_conflicts->topLevelItem(row);
        const int i = item->data(SettingColumn, kEditRole).toInt();
        if (i >= 0 && i < edits.size())
            edits[i].keepMine = item->checkState(MineColumn) == Qt::Checked;
    }
    QDialog::accept();
}

} // namespace pfw
