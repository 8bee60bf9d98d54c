#include "ui/dialogs/settinghistorydialog.h"
#include "ui/screenplacement.h"

#include "schema/readablevalue.h"
#include "ui/widgets/colorbutton.h"

#include "core/displaytext.h"
#include "core/settingsdocument.h"
#include "core/valuetypes.h"
#include "core/xsdtfile.h"
#include "model/settingsmodel.h"
#include "ui/accesskeys.h"
#include "ui/historyreader.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pfw {

namespace {

} // namespace

SettingHistoryDialog::SettingHistoryDialog(SettingsModel *model, const SettingsDocument *document, XsdtNode *node,
                                           QWidget *parent)
    : QDialog(parent)
    , m_model(model)
    , m_document(document)
    , m_reader(new HistoryReader(this))
    , m_filePath(document->path())
    , m_settingPath(node ? SettingHistory::settingKey(*node) : QString())
    , m_shownPath(node ? node->path() : QString())
    , m_node(node)
    , m_generation(model->generation())
{
    if (model->file() && node) {
        m_occurrence = SettingHistory::occurrenceOf(model->file()->root, node);
        m_occurrences = SettingHistory::occurrences(model->file()->root, m_settingPath);
    }
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("History of %1").arg(SettingsModel::labelOf(node)));
    resizeForText(this, QSize(720, 520));

    auto *layout = new QVBoxLayout(this);
    m_heading = new QLabel(this);
    m_heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_heading->setWordWrap(true);
    m_heading->setTextFormat(Qt::RichText);
    m_heading->setText(QStringLiteral("<b>%1</b><br>%2<br>%3")
                           .arg(SettingsModel::labelOf(node).toHtmlEscaped(), m_shownPath.toHtmlEscaped(),
                                tr("in %1").arg(QDir::toNativeSeparators(m_filePath)).toHtmlEscaped()));
    layout->addWidget(m_heading);

    auto *split = new QSplitter(Qt::Vertical, this);
    m_tree = new QTreeWidget(split);
    m_tree->setAccessibleName(tr("Values over time"));
    m_tree->setColumnCount(2);
    m_tree->setHeaderLabels({tr("When"), tr("Value")});
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_tree->setAccessibleName(tr("Values of %1 over time").arg(m_shownPath));
    m_value = new QPlainTextEdit(split);
    m_value->setAccessibleName(tr("The selected value"));
    m_value->setReadOnly(true);
    m_value->setAccessibleName(tr("Full value"));
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);

    m_progress = new QLabel(this);
    layout->addWidget(m_progress);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);

    auto *buttons = new QHBoxLayout;
    m_use = new QPushButton(tr("Use this value"), this);
    m_compare = new QPushButton(tr("Show in Compare"), this);
    auto *close = new QPushButton(tr("Close"), this);
    setAccessKey(m_use, u'u');
    setAccessKey(m_compare, u'o');
    setAccessKey(close, u'c');
    buttons->addWidget(m_use);
    buttons->addWidget(m_compare);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, &SettingHistoryDialog::selectionChanged);
    connect(m_use, &QPushButton::clicked, this, &SettingHistoryDialog::useSelectedValue);
    connect(m_compare, &QPushButton::clicked, this, &SettingHistoryDialog::showSelectedInCompare);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_reader, &HistoryReader::entryRead, this, &SettingHistoryDialog::entryRead);
    connect(m_reader, &HistoryReader::finished, this, [this] {
        updateProgress();
        emit readingFinished();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, &SettingHistoryDialog::documentReset);
    connect(m_model, &SettingsModel::edited, this, [this] {
        m_status->clear();
        rebuild();
    });
    startReading();
}

SettingHistoryDialog::~SettingHistoryDialog()
{
    m_reader->cancel();
}

bool SettingHistoryDialog::isReading() const
{
    return m_reader->isRunning();
}

void SettingHistoryDialog::documentReset()
{
    if (m_model->generation() == m_generation) {
        // A large undo step, not another tree.
        rebuild();
        return;
    }
    m_generation = m_model->generation();
    m_reader->cancel();
    m_node = nullptr;
    const bool open = m_model->file() && m_document->isLoaded() && m_document->path() == m_filePath;
    const int occurrences = open ? SettingHistory::occurrences(m_model->file()->root, m_settingPath) : 0;
    // A key that occurs more than once is told apart by its place among the others; once their
    // number changes, this may be another one.
    const bool lost = open && (m_occurrences > 1 || occurrences > 1) && occurrences != m_occurrences;
    m_follow = !open ? Follow::FileClosed : lost ? Follow::Lost : Follow::Node;
    if (m_follow != Follow::Node) {
        // What was read of its backups stays: it is still that file's history.
        m_status->setText(followRefusal());
        rebuild();
        updateProgress();
        return;
    }
    // Reloaded or saved: the node is another one now, and a save added a backup.
    m_occurrences = occurrences;
    m_node = const_cast<XsdtNode *>(SettingHistory::findOccurrence(m_model->file()->root, m_settingPath, m_occurrence));
    m_status->clear();
    startReading();
}

QString SettingHistoryDialog::followRefusal() const
{
    switch (m_follow) {
    case Follow::FileClosed:
        return tr("The file this history is for is no longer open.");
    case Follow::Lost:
        return tr("The file now holds a different number of values named %1, so this history can no longer tell "
                  "which of them it follows. Open the history again from the value.")
            .arg(m_shownPath.section(u'/', -1));
    case Follow::Node:
        break;
    }
    return QString();
}

void SettingHistoryDialog::reread()
{
    if (m_follow == Follow::Node)
        startReading();
}

void SettingHistoryDialog::startReading()
{
    m_backups.clear();
    rebuild();
    m_reader->start(SettingHistory::backupsNewestFirst(m_filePath), m_settingPath, m_occurrence);
    updateProgress();
}

void SettingHistoryDialog::entryRead(const HistoryEntry &entry)
{
    m_backups.append(entry);
    if (SettingHistory::append(m_rows, entry))
        addItem();
    else
        updateItem(int(m_rows.size()) - 1);
    updateProgress();
}

void SettingHistoryDialog::rebuild()
{
    // The selection stays on what it showed, not on its place: rows come and go above it.
    const HistoryRow *before = selectedRow();
    const HistoryEntry::Source selectedSource = before ? before->entry.source : HistoryEntry::Pending;
    const QString selectedBackup = before ? before->entry.backupPath : QString();
    const bool hadSelection = before != nullptr;
    m_rows.clear();
    for (const HistoryEntry &entry : currentEntries())
        SettingHistory::append(m_rows, entry);
    for (const HistoryEntry &entry : std::as_const(m_backups))
        SettingHistory::append(m_rows, entry);

    const QSignalBlocker blocker(m_tree);
    m_tree->clear();
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        addItem();
    const int selected = hadSelection ? rowShowing(selectedSource, selectedBackup) : -1;
    if (selected >= 0)
        m_tree->setCurrentItem(m_tree->topLevelItem(selected));
    selectionChanged();
}

int SettingHistoryDialog::rowShowing(HistoryEntry::Source source, const QString &backupPath) const
{
    qsizetype backup = 0;
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        const HistoryRow &row = m_rows.at(i);
        if (row.entry.source != HistoryEntry::Backup) {
            if (row.entry.source == source)
                return int(i);
            continue;
        }
        // A folded row holds the next row.count backups in reading order.
        for (int j = 0; j < row.count && backup < m_backups.size(); ++j, ++backup) {
            if (source == HistoryEntry::Backup && m_backups.at(backup).backupPath == backupPath)
                return int(i);
        }
    }
    return -1;
}

QList<HistoryEntry> SettingHistoryDialog::currentEntries() const
{
    // Without the node there is no saved or pending value to show.
    if (m_follow != Follow::Node)
        return {};
    QList<HistoryEntry> entries;
    if (m_node && (m_node->isEdited() || m_node->isInsideDeleted())) {
        HistoryEntry pending;
        pending.source = HistoryEntry::Pending;
        pending.state = m_node->isInsideDeleted() ? HistoryEntry::Absent : HistoryEntry::Present;
        pending.value = m_node->isInsideDeleted() ? QString() : m_node->value;
        entries << pending;
    }
    HistoryEntry saved;
    saved.source = HistoryEntry::Saved;
    saved.state = m_node ? HistoryEntry::Present : HistoryEntry::Absent;
    saved.value = m_node ? m_node->savedValue : QString();
    entries << saved;
    return entries;
}

void SettingHistoryDialog::addItem()
{
    new QTreeWidgetItem(m_tree);
    updateItem(m_tree->topLevelItemCount() - 1);
}

void SettingHistoryDialog::updateItem(int index)
{
    QTreeWidgetItem *item = m_tree->topLevelItem(index);
    if (!item || index >= m_rows.size())
        return;
    const HistoryRow &row = m_rows.at(index);
    item->setText(0, SettingHistory::when(row));
    // A value as its editor shows it: a colour as its swatch and #RRGGBB, a choice by name.
    const bool readable = m_node && row.entry.state == HistoryEntry::Present;
    const SettingsSchema *schema = m_model->rules().schema();
    item->setText(1,
                  readable ? ReadableValue::text(schema, *m_node, row.entry.value, DisplayText::kLineLength)
                           : DisplayText::oneLine(SettingHistory::describe(row.entry), DisplayText::kLineLength));
    const std::optional<quint32> argb
        = readable ? ReadableValue::colour(schema, *m_node, row.entry.value) : std::nullopt;
    item->setIcon(1, argb ? QIcon(ColorButton::swatch(*argb)) : QIcon());
    item->setToolTip(0,
                     row.entry.backupPath.isEmpty() ? QDir::toNativeSeparators(m_filePath)
                                                    : QDir::toNativeSeparators(row.entry.backupPath));
    QFont font = item->font(1);
    font.setItalic(row.entry.state != HistoryEntry::Present);
    item->setFont(1, font);
    if (item->isSelected())
        selectionChanged();
}

void SettingHistoryDialog::updateProgress()
{
    if (m_reader->isRunning())
        m_progress->setText(tr("Reading backups: %1 of %2").arg(m_reader->done()).arg(m_reader->total()));
    else if (m_backups.size() < m_reader->total())
        m_progress->setText(tr("Stopped after %1 of %2 backups.").arg(m_backups.size()).arg(m_reader->total()));
    else
        m_progress->setText(tr("Backups read: %1").arg(m_backups.size()));
}

const HistoryRow *SettingHistoryDialog::selectedRow() const
{
    QTreeWidgetItem *item = m_tree->currentItem();
    const int index = item && item->isSelected() ? m_tree->indexOfTopLevelItem(item) : -1;
    return index >= 0 && index < m_rows.size() ? &m_rows.at(index) : nullptr;
}

void SettingHistoryDialog::selectionChanged()
{
    const HistoryRow *row = selectedRow();
    m_value->setPlainText(row ? SettingHistory::describe(row->entry) : QString());
    // A refusal is explained on a click; a value that is already there is simply not offered.
    const bool following = m_follow == Follow::Node;
    m_use->setEnabled(following && row && row->entry.state == HistoryEntry::Present
                      && row->entry.source != HistoryEntry::Pending && !(m_node && m_node->value == row->entry.value));
    m_compare->setEnabled(following && row && row->entry.source == HistoryEntry::Backup
                          && row->entry.state != HistoryEntry::Invalid);
}

void SettingHistoryDialog::useSelectedValue()
{
    const HistoryRow *row = selectedRow();
    if (!row || row->entry.state != HistoryEntry::Present)
        return;
    const QString refusal = m_follow != Follow::Node ? followRefusal() : m_model->editRefusal(m_node);
    if (!refusal.isEmpty()) {
        m_status->setText(refusal);
        return;
    }
    QString normalized, error;
    if (row->entry.value == m_node->value
        || (normalizeValue(m_node->type, row->entry.value, &normalized, &error) && normalized == m_node->value)) {
        m_status->setText(tr("That is already the value."));
        return;
    }
    QString rejected;
    const QMetaObject::Connection watch = connect(m_model, &SettingsModel::editRejected, this,
                                                  [&rejected](const QString &reason) { rejected = reason; });
    // The edit signals a rebuild of the rows: keep the value, not the row.
    const QString value = row->entry.value;
    const bool accepted = m_model->setData(m_model->indexFor(m_node, SettingsModel::ValueColumn), value, Qt::EditRole);
    disconnect(watch);
    m_status->setText(accepted                 ? tr("Now pending. Review and save when ready.")
                          : rejected.isEmpty() ? tr("The value was not accepted.")
                                               : rejected);
}

void SettingHistoryDialog::showSelectedInCompare()
{
    const HistoryRow *row = selectedRow();
    // Compare sets the open file against the backup: only when this is that file's history.
    if (m_follow == Follow::Node && row && row->entry.source == HistoryEntry::Backup
        && row->entry.state != HistoryEntry::Invalid)
        emit compareRequested(row->entry.backupPath);
}

} // namespace pfw
