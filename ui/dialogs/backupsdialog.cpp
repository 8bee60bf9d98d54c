#include "ui/dialogs/backupsdialog.h"
#include "ui/screenplacement.h"

#include "core/backups.h"
#include "core/displaytext.h"
#include "ui/accesskeys.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

namespace pfw {

BackupsDialog::BackupsDialog(const QString &settingsPath, QWidget *parent)
    : QDialog(parent)
    , m_settingsPath(settingsPath)
{
    setWindowTitle(tr("Manage backups"));
    resizeForText(this, QSize(640, 460));
    auto *layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    layout->addWidget(m_summary);
    m_list = new QListWidget(this);
    m_list->setAccessibleName(tr("Backups"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setAlternatingRowColors(true);
    m_list->setMinimumHeight(220);
    layout->addWidget(m_list, 1);

    auto *keepRow = new QHBoxLayout;
    keepRow->addWidget(new QLabel(tr("Keep the newest"), this));
    m_keep = new QSpinBox(this);
    // The field inside is what takes the focus, so it carries the name too.
    m_keep->setAccessibleName(tr("Number of newest backups to keep"));
    if (auto *field = m_keep->findChild<QLineEdit *>())
        field->setAccessibleName(m_keep->accessibleName());
    m_keep->setRange(0, 999);
    m_keep->setValue(QSettings().value(QStringLiteral("Backups/Keep"), 5).toInt());
    keepRow->addWidget(m_keep);
    keepRow->addWidget(new QLabel(tr("backups"), this));
    keepRow->addStretch();
    m_older = new QPushButton(this);
    keepRow->addWidget(m_older);
    layout->addLayout(keepRow);

    auto *bottom = new QHBoxLayout;
    m_selected = new QPushButton(this);
    m_all = new QPushButton(tr("Delete all backups"), this);
    auto *close = new QPushButton(tr("Close"), this);
    setAccessKey(m_keep, u'k');
    setAccessKey(m_older, u'o');
    setAccessKey(m_selected, u's');
    setAccessKey(m_all, u'a');
    setAccessKey(close, u'c');
    close->setDefault(true);
    bottom->addWidget(m_selected);
    bottom->addWidget(m_all);
    bottom->addStretch();
    bottom->addWidget(close);
    layout->addLayout(bottom);

    connect(m_keep, &QSpinBox::valueChanged, this, [this](int keep) {
        QSettings().setValue(QStringLiteral("Backups/Keep"), keep);
        refresh();
    });
    connect(m_list, &QListWidget::itemSelectionChanged, this, &BackupsDialog::updateSelectionButton);
    connect(m_selected, &QPushButton::clicked, this, &BackupsDialog::deleteSelected);
    connect(m_older, &QPushButton::clicked, this, &BackupsDialog::deleteOlder);
    connect(m_all, &QPushButton::clicked, this, &BackupsDialog::deleteAll);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    refresh();
}

void BackupsDialog::refresh()
{
    const QStringList backups = listBackups(m_settingsPath);
    m_count = int(backups.size());
    m_list->clear();
    qint64 total = 0;
    for (const QString &path : backups) {
        const QFileInfo info(path);
        total += info.size();
        auto *item = new QListWidgetItem(DisplayText::backup(path), m_list);
        item->setData(Qt::UserRole, path);
    }
    // The "-before-search" and "-before-restore" tags end the names: they must not be cut.
    const int wanted
        = m_list->sizeHintForColumn(0) + 2 * m_list->frameWidth() + m_list->verticalScrollBar()->sizeHint().width() + 8;
    if (m_list->viewport()->width() < wanted && isVisible())
        resizeForText(this, QSize(640, 460), QSize(width() - m_list->viewport()->width() + wanted, height()));
    else if (!isVisible())
        resizeForText(this, QSize(640, 460), QSize(wanted + 2 * layout()->contentsMargins().left(), 0));
    const QString name = QFileInfo(m_settingsPath).fileName();
    m_summary->setText(
        m_count > 0
            ? tr("%n backups of %1, %2 in total (newest first):", nullptr, m_count).arg(name, DisplayText::size(total))
            : tr("No backups of %1.").arg(name));
    qint64 olderBytes = 0;
    QStringList skipped;
    const QStringList older = backupsBeyond(m_settingsPath, m_keep->value(), &olderBytes, &skipped);
    m_older->setText(
        older.isEmpty()
            ? tr("Delete older backups")
            : tr("Delete the %n older backups (%1)", nullptr, int(older.size())).arg(DisplayText::size(olderBytes)));
    m_older->setToolTip(skipped.isEmpty() ? QString()
                                          : tr("%n backups are not counted among those kept, and are left as they "
                                               "are: newer ones that are not whole settings files, and copies "
                                               "Prefwright did not name.",
                                               nullptr, int(skipped.size())));
    m_older->setEnabled(!older.isEmpty());
    m_all->setEnabled(m_count > 0);
    updateSelectionButton();
}

void BackupsDialog::updateSelectionButton()
{
    const int selected = int(m_list->selectedItems().size());
    m_selected->setText(selected > 0 ? tr("Delete selected (%1)").arg(selected) : tr("Delete selected"));
    m_selected->setEnabled(selected > 0);
}

void BackupsDialog::deleteSelected()
{
    QStringList paths;
    qint64 bytes = 0;
    for (int row = 0; row < m_list->count(); ++row) {
        const QListWidgetItem *item = m_list->item(row);
        if (item->isSelected()) {
            paths << item->data(Qt::UserRole).toString();
            bytes += QFileInfo(paths.constLast()).size();
        }
    }
    confirmAndRemove(paths, bytes, tr("Delete the %n selected backups", nullptr, int(paths.size())));
}

void BackupsDialog::deleteOlder()
{
    qint64 bytes = 0;
    const QStringList paths = backupsBeyond(m_settingsPath, m_keep->value(), &bytes);
    if (!confirm(paths, bytes,
                 tr("Delete the %n backups older than the newest %1", nullptr, int(paths.size())).arg(m_keep->value())))
        return;
    // Chosen again under the lock: a save since the question may have made a newer backup.
    const BackupRemoval removal = pruneBackups(m_settingsPath, m_keep->value(), true);
    refresh();
    emit message(describeRemoval(removal));
}

void BackupsDialog::deleteAll()
{
    qint64 bytes = 0;
    const QStringList paths = backupsBeyond(m_settingsPath, 0, &bytes);
    confirmAndRemove(paths, bytes, tr("Delete all %n backups", nullptr, int(paths.size())));
}

bool BackupsDialog::confirm(const QStringList &paths, qint64 bytes, const QString &action)
{
    return !paths.isEmpty()
        && QMessageBox::question(this, tr("Delete backups"),
                                 tr("%1 (%2)?\n\nThey are moved to the Recycle Bin where the system has one, otherwise "
                                    "deleted.")
                                     .arg(action, DisplayText::size(bytes)),
                                 QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}

void BackupsDialog::confirmAndRemove(const QStringList &paths, qint64 bytes, const QString &action)
{
    if (!confirm(paths, bytes, action))
        return;
    const BackupRemoval removal = removeBackups(m_settingsPath, paths, true);
    refresh();
    emit message(describeRemoval(removal));
}

} // namespace pfw
