#include "ui/dialogs/instancecopydialog.h"

#include "core/displaytext.h"
#include "core/settingsdocument.h"
#include "platform/hostlocations.h"
#include "session/busyscope.h"
#include "session/editingsession.h"
#include "ui/dialogs/importdialog.h"
#include "ui/screenplacement.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pfw {

namespace {

constexpr int kTargetRole = Qt::UserRole + 1;

} // namespace

InstanceCopyDialog::InstanceCopyDialog(EditingSession &session, InstanceCopy &copy, QWidget *parent)
    : QDialog(parent)
    , m_session(session)
    , m_copy(copy)
    , m_summary(new QLabel(this))
    , m_targets(new QTreeWidget(this))
{
    setWindowTitle(tr("Copy to other instances"));
    auto *layout = new QVBoxLayout(this);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    m_targets->setAccessibleName(tr("Other instances"));
    m_targets->setHeaderLabels({tr("Setting"), tr("There now"), tr("Copied"), tr("Status")});
    m_targets->setUniformRowHeights(true);
    m_targets->header()->setSectionResizeMode(QHeaderView::Interactive);
    layout->addWidget(m_targets, 1);
    auto *note = new QLabel(tr("Each ticked file is saved on its own, with its own backup; the file open here is not "
                               "changed."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_copyButton = buttons->addButton(tr("&Copy"), QDialogButtonBox::AcceptRole);
    m_copyButton->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &InstanceCopyDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &InstanceCopyDialog::reject);
    connect(m_targets, &QTreeWidget::itemChanged, this, &InstanceCopyDialog::updateCount);
    fill();
    resizeForText(this, QSize(820, 480));
}

void InstanceCopyDialog::fill()
{
    const QSignalBlocker blocker(m_targets);
    const SettingsSchema *schema = &m_session.schema();
    const auto &targets = m_copy.targets();
    for (int i = 0; i < int(targets.size()); ++i) {
        const InstanceCopy::Target &target = *targets.at(std::size_t(i));
        qsizetype refused = 0, same = 0;
        for (const ImportPlan::Entry &entry : target.plan.entries()) {
            refused += entry.status == ImportPlan::Entry::Refused ? 1 : 0;
            same += entry.status == ImportPlan::Entry::Same ? 1 : 0;
        }
        const qsizetype changes = target.changeCount();
        const QString status = !target.error.isEmpty() ? tr("cannot be changed: %1").arg(target.error)
            : changes == 0                             ? tr("holds these values already")
                                                       : tr("%1; %2 the same; %3")
                                 .arg(tr("%n changes", nullptr, int(changes)), tr("%n entries", nullptr, int(same)),
                                      tr("%n refused", nullptr, int(refused)));
        const QString shownStatus = target.hasOtherNames ? status + u' ' + SettingsDocument::otherNamesText() : status;
        auto *top = new QTreeWidgetItem({QFileInfo(target.path).fileName(), QString(), QString(), shownStatus});
        top->setToolTip(SettingColumn,
                        QDir::toNativeSeparators(target.path) + u'\n' + describeSettingsFile(target.path));
        top->setToolTip(StatusColumn, shownStatus);
        top->setData(SettingColumn, kTargetRole, i);
        if (changes > 0) {
            top->setFlags(top->flags() | Qt::ItemIsUserCheckable);
            top->setCheckState(SettingColumn, Qt::Checked);
        } else {
            top->setFlags(top->flags() & ~Qt::ItemIsUserCheckable);
        }
        for (const ImportPlan::Entry &entry : target.plan.entries()) {
            if (entry.status == ImportPlan::Entry::Same)
                continue;
            const auto shown
                = [&entry, schema](const QString &value) { return ImportDialog::valueText(schema, entry, value); };
            const QString entryStatus = ImportDialog::statusText(entry);
            auto *row = new QTreeWidgetItem({entry.label, entry.target ? shown(entry.here) : tr("(not there)"),
                                             shown(entry.incoming), entryStatus});
            row->setFlags(row->flags() & ~Qt::ItemIsUserCheckable);
            row->setToolTip(SettingColumn, entry.path);
            row->setToolTip(ThereColumn, entry.here.left(DisplayText::kTipLength));
            row->setToolTip(CopiedColumn, entry.incoming.left(DisplayText::kTipLength));
            row->setToolTip(StatusColumn, entryStatus);
            top->addChild(row);
        }
        m_targets->addTopLevelItem(top);
        top->setExpanded(changes > 0);
    }
    // A long label or value must not push the status out of sight: the tooltips hold it all.
    for (int column = 0; column < m_targets->columnCount(); ++column) {
        m_targets->resizeColumnToContents(column);
        if (column != StatusColumn)
            m_targets->setColumnWidth(column, qMin(m_targets->columnWidth(column), 260));
    }
    updateCount();
}

void InstanceCopyDialog::updateCount()
{
    int ticked = 0;
    for (int row = 0; row < m_targets->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = m_targets->topLevelItem(row);
        if ((item->flags() & Qt::ItemIsUserCheckable) && item->checkState(SettingColumn) == Qt::Checked)
            ++ticked;
    }
    m_summary->setText(m_copy.targets().empty()
                           ? tr("There is no other PixInsight settings file on this computer.")
                           : tr("%n values of this file, copied into %1.", nullptr, int(m_copy.valueCount()))
                                 .arg(tr("%n other instances", nullptr, ticked)));
    m_copyButton->setEnabled(ticked > 0);
}

void InstanceCopyDialog::accept()
{
    // The same PixInsight writes every instance's file as it exits.
    if (m_session.isHostRunning()) {
        QMessageBox::warning(this, windowTitle(), tr("PixInsight is running: nothing can be changed until it exits."));
        return;
    }
    const BusyScope busy;
    m_report.clear();
    m_written.clear();
    m_failed = false;
    for (int row = 0; row < m_targets->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = m_targets->topLevelItem(row);
        if (!(item->flags() & Qt::ItemIsUserCheckable) || item->checkState(SettingColumn) != Qt::Checked)
            continue;
        const int index = item->data(SettingColumn, kTargetRole).toInt();
        const QString &path = m_copy.targets().at(std::size_t(index))->path;
        const QString name = QFileInfo(path).fileName();
        QString error, backup;
        const bool copied = m_copy.copyInto(index, &error, &backup);
        if (copied && backup.isEmpty()) {
            m_report << tr("%1: holds these values already.").arg(name);
        } else if (copied) {
            m_written << path;
            m_report << tr("%1: saved (backup: %2).").arg(name, QFileInfo(backup).fileName());
        } else {
            m_failed = true;
            m_report << tr("%1: not changed. %2").arg(name, error);
        }
    }
    QDialog::accept();
}

} // namespace pfw
