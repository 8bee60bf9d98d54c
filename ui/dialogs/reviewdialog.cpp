#include "ui/dialogs/reviewdialog.h"
#include "ui/screenplacement.h"

#include "core/displaytext.h"
#include "schema/readablevalue.h"
#include "schema/settinglabel.h"
#include "ui/widgets/colorbutton.h"
#include "core/settingsdocument.h"
#include "core/xsdtnode.h"
#include "model/settingsmodel.h"
#include "ui/accesskeys.h"
#include "ui/keyboardconventions.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace pfw {

namespace {

constexpr int kNodeRole = Qt::UserRole;
constexpr int kKindRole = Qt::UserRole + 1;
constexpr int kGroupRole = Qt::UserRole + 2;

XsdtNode *rowNode(const QTreeWidgetItem *item)
{
    return static_cast<XsdtNode *>(item->data(0, kNodeRole).value<void *>());
}

QTreeWidgetItem *messageRow(const QString &text)
{
    auto *item = new QTreeWidgetItem(QStringList{QString(), text});
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

void sortByPath(QList<XsdtNode *> &nodes)
{
    std::stable_sort(nodes.begin(), nodes.end(), [](const XsdtNode *a, const XsdtNode *b) {
        return a->path().compare(b->path(), Qt::CaseInsensitive) < 0;
    });
}

int linesTall(const QWidget *widget, double lines)
{
    return int(widget->fontMetrics().lineSpacing() * lines) + 2 * widget->contentsMargins().top() + 8;
}

} // namespace

ReviewDialog::ReviewDialog(SettingsModel *model, XsdtNode *tree, QWidget *parent)
    : QDialog(parent)
    , m_model(model)
    , m_tree(tree)
{
    setWindowTitle(tr("Review changes"));
    resizeForText(this, QSize(980, 640));
    auto *layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    m_utf8Notice = new QLabel(this);
    m_utf8Notice->setWordWrap(true);
    m_utf8Notice->hide();
    layout->addWidget(m_utf8Notice);
    m_otherNamesNotice = new QLabel(SettingsDocument::otherNamesText(), this);
    m_otherNamesNotice->setWordWrap(true);
    m_otherNamesNotice->hide();
    layout->addWidget(m_otherNamesNotice);

    auto *filterRow = new QHBoxLayout;
    m_filter = new QLineEdit(this);
    m_filter->setAccessibleName(tr("Filter the changes"));
    KeyboardConventions::markSearchBox(m_filter);
    m_filter->setPlaceholderText(tr("Filter by setting name or value"));
    m_edits = new QCheckBox(tr("Edits"), this);
    m_deletions = new QCheckBox(tr("Deletions"), this);
    setAccessKey(m_edits, u'e');
    setAccessKey(m_deletions, u'd');
    m_edits->setChecked(true);
    m_deletions->setChecked(true);
    filterRow->addWidget(m_filter, 1);
    filterRow->addWidget(m_edits);
    filterRow->addWidget(m_deletions);
    layout->addLayout(filterRow);

    m_changes = new QTreeWidget(this);
    m_changes->setAccessibleName(tr("Changes"));
    m_changes->setHeaderLabels({tr("Change"), tr("Setting"), tr("Before"), tr("After")});
    m_changes->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_changes->setRootIsDecorated(true);
    m_changes->header()->setStretchLastSection(false);
    m_changes->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_changes->header()->setSectionResizeMode(1, QHeaderView::Interactive);
    m_changes->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_changes->header()->setSectionResizeMode(3, QHeaderView::Stretch);
    m_changes->setColumnWidth(1, 360);
    layout->addWidget(m_changes, 1);

    m_details = new QPlainTextEdit(this);
    m_details->setAccessibleName(tr("Details of the selected change"));
    m_details->setReadOnly(true);
    m_details->setPlaceholderText(tr("Select a change to see its full text."));
    m_details->setMaximumHeight(linesTall(m_details, 5.5));
    layout->addWidget(m_details);
    m_leftoverBox = new QPlainTextEdit(this);
    m_leftoverBox->setAccessibleName(tr("Files and folders to delete"));
    m_leftoverBox->setReadOnly(true);
    m_leftoverBox->setMaximumHeight(linesTall(m_leftoverBox, 6.5));
    m_leftoverBox->hide();
    layout->addWidget(m_leftoverBox);
    auto *note = new QLabel(tr("Saving makes a timestamped backup of the current file first, checks the result, and "
                               "replaces the file in one step."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto *buttons = new QHBoxLayout;
    m_revert = new QPushButton(tr("Revert selected"), this);
    m_revert->setToolTip(
        tr("Take the selected changes back: edits return to their saved value, deletions are undone."));
    auto *cancel = new QPushButton(tr("Cancel"), this);
    m_save = new QPushButton(tr("Save"), this);
    setAccessKey(m_revert, u'r');
    setAccessKey(cancel, u'c');
    setAccessKey(m_save, u's');
    m_save->setDefault(true);
    buttons->addWidget(m_revert);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_save);
    layout->addLayout(buttons);

    connect(m_filter, &QLineEdit::textChanged, this, &ReviewDialog::refill);
    m_filter->installEventFilter(this);
    connect(m_edits, &QCheckBox::toggled, this, &ReviewDialog::refill);
    connect(m_deletions, &QCheckBox::toggled, this, &ReviewDialog::refill);
    connect(m_changes, &QTreeWidget::itemExpanded, this, &ReviewDialog::populateDeletion);
    connect(m_changes, &QTreeWidget::itemSelectionChanged, this, &ReviewDialog::updateDetails);
    connect(m_revert, &QPushButton::clicked, this, &ReviewDialog::revertSelected);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, &QDialog::accept);
    refill();
}

void ReviewDialog::setInvalidUtf8(int line, int column)
{
    m_utf8Notice->setText(tr("This file has bytes that are not valid UTF-8 (line %1, column %2); saving replaces them "
                             "with U+FFFD.")
                              .arg(line)
                              .arg(column));
    m_utf8Notice->show();
}

void ReviewDialog::setOtherNames()
{
    m_otherNamesNotice->show();
}

// Return in the filter box filters (it already has); it must not reach Save, the default button.
bool ReviewDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_filter && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            refill();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool ReviewDialog::passes(const XsdtNode &node, const QString &filter) const
{
    if (filter.isEmpty() || node.path().contains(filter, Qt::CaseInsensitive)
        || SettingLabel::text(m_model->rules().schema(), node).contains(filter, Qt::CaseInsensitive))
        return true;
    return node.kind == XsdtNode::Value && node.type != u'B'
        && (node.value.contains(filter, Qt::CaseInsensitive) || node.savedValue.contains(filter, Qt::CaseInsensitive));
}

void ReviewDialog::refill()
{
    m_changes->clear();
    QList<XsdtNode *> edits = m_tree->editedValues();
    QList<XsdtNode *> deletions = m_tree->pendingDeletions();
    qsizetype removedValues = 0;
    for (const XsdtNode *node : std::as_const(deletions))
        removedValues += node->valueCount();
    QList<XsdtNode *> additions = m_tree->addedNodes();
    const qsizetype changes = edits.size() + deletions.size() + additions.size();
    if (!additions.isEmpty())
        m_summary->setText(tr("%1, %2 and %3 (%4) will be written to the settings file.")
                               .arg(tr("%n new entries", nullptr, int(additions.size())),
                                    tr("%n edits", nullptr, int(edits.size())),
                                    tr("%n deletions", nullptr, int(deletions.size())),
                                    tr("%n values removed", nullptr, int(removedValues))));
    else if (changes > 0)
        m_summary->setText(tr("%1 and %2 (%3) will be written to the settings file.")
                               .arg(tr("%n edits", nullptr, int(edits.size())),
                                    tr("%n deletions", nullptr, int(deletions.size())),
                                    tr("%n values removed", nullptr, int(removedValues))));
    else
        m_summary->setText(m_leftovers.isEmpty() ? tr("There are no changes to save.")
                                                 : tr("The settings file itself is not changed."));

    const QString filter = m_filter->text().trimmed();
    const SettingsSchema *schema = m_model->rules().schema();
    if (m_deletions->isChecked()) {
        sortByPath(deletions);
        const auto deletionRow = [this, schema](XsdtNode *node) {
            auto *item = node->resetToDefault
                ? new QTreeWidgetItem(
                    QStringList{tr("Reset"), SettingLabel::text(schema, *node),
                                ReadableValue::text(schema, *node, node->savedValue),
                                tr("reset to default — PixInsight writes its default the next time it starts")})
                : new QTreeWidgetItem(QStringList{tr("Delete"), SettingLabel::text(schema, *node),
                                                  tr("%n values", nullptr, int(node->valueCount())), tr("(removed)")});
            if (node->resetToDefault)
                item->setToolTip(3, item->text(3));
            item->setToolTip(1, node->path());
            item->setData(0, kNodeRole, QVariant::fromValue(static_cast<void *>(node)));
            item->setData(0, kKindRole, DeletionRow);
            // A reset value says all there is in its own row.
            item->setChildIndicatorPolicy(node->resetToDefault ? QTreeWidgetItem::DontShowIndicator
                                                               : QTreeWidgetItem::ShowIndicator);
            QFont bold = item->font(0);
            bold.setBold(true);
            item->setFont(0, bold);
            item->setForeground(0, QColor(214, 60, 60));
            return item;
        };
        // What was queued together (a Cleanup group, an unused module) is listed together.
        QList<std::pair<QString, QList<XsdtNode *>>> groups;
        for (XsdtNode *node : std::as_const(deletions)) {
            if (!passes(*node, filter))
                continue;
            const QString group = m_model->deletionGroup(node);
            auto it = std::find_if(groups.begin(), groups.end(),
                                   [&group](const auto &entry) { return !group.isEmpty() && entry.first == group; });
            if (it == groups.end())
                groups.append({group, {node}});
            else
                it->second.append(node);
        }
        for (const auto &[group, nodes] : std::as_const(groups)) {
            if (nodes.size() == 1) {
                m_changes->addTopLevelItem(deletionRow(nodes.constFirst()));
                continue;
            }
            qsizetype values = 0;
            bool resets = true;
            for (const XsdtNode *node : nodes) {
                values += node->valueCount();
                resets = resets && node->resetToDefault;
            }
            auto *item = new QTreeWidgetItem(
                QStringList{resets ? tr("Reset") : tr("Delete"),
                            group + QStringLiteral("  (%1)").arg(tr("%n entries", nullptr, int(nodes.size()))),
                            tr("%n values", nullptr, int(values)),
                            resets ? tr("reset to default — PixInsight writes its default the next time it starts")
                                   : tr("(removed)")});
            item->setData(0, kGroupRole, group);
            item->setData(0, kKindRole, GroupRow);
            QFont bold = item->font(0);
            bold.setBold(true);
            item->setFont(0, bold);
            item->setFont(1, bold);
            item->setForeground(0, QColor(214, 60, 60));
            for (XsdtNode *node : nodes)
                item->addChild(deletionRow(node));
            m_changes->addTopLevelItem(item);
            item->setExpanded(true);
        }
    }
    if (m_edits->isChecked()) {
        sortByPath(edits);
        for (XsdtNode *node : std::as_const(edits)) {
            if (!passes(*node, filter))
                continue;
            auto *item = new QTreeWidgetItem(QStringList{tr("Edit"), SettingLabel::text(schema, *node),
                                                         ReadableValue::text(schema, *node, node->savedValue),
                                                         ReadableValue::text(schema, *node, node->value)});
            for (const auto &[column, text] : {std::pair{2, node->savedValue}, std::pair{3, node->value}}) {
                if (const std::optional<quint32> argb = ReadableValue::colour(schema, *node, text))
                    item->setIcon(column, QIcon(ColorButton::swatch(*argb)));
            }
            item->setData(0, kNodeRole, QVariant::fromValue(static_cast<void *>(node)));
            item->setData(0, kKindRole, EditRow);
            item->setToolTip(1, node->path());
            item->setToolTip(2, node->savedValue.left(DisplayText::kTipLength));
            item->setToolTip(3, node->value.left(DisplayText::kTipLength));
            m_changes->addTopLevelItem(item);
        }
    }
    if (m_edits->isChecked()) {
        sortByPath(additions);
        for (XsdtNode *node : std::as_const(additions)) {
            if (!passes(*node, filter))
                continue;
            const QString value = node->kind == XsdtNode::Value ? ReadableValue::text(schema, *node, node->value)
                                                                : tr("%n values", nullptr, int(node->valueCount()));
            auto *item = new QTreeWidgetItem(
                QStringList{tr("New"), SettingLabel::text(schema, *node), tr("(not in the file)"), value});
            item->setData(0, kNodeRole, QVariant::fromValue(static_cast<void *>(node)));
            item->setData(0, kKindRole, AddedRow);
            item->setToolTip(1, node->path());
            if (node->kind == XsdtNode::Value)
                item->setToolTip(3, node->value.left(DisplayText::kTipLength));
            m_changes->addTopLevelItem(item);
        }
    }
    if (m_changes->topLevelItemCount() == 0 && changes > 0)
        m_changes->addTopLevelItem(messageRow(tr("Nothing matches the filters.")));
    m_save->setEnabled(changes > 0 || !m_leftovers.isEmpty());
    updateDetails();
}

void ReviewDialog::populateDeletion(QTreeWidgetItem *item)
{
    if (!item || item->childCount() > 0 || item->data(0, kKindRole).toInt() != DeletionRow)
        return;
    XsdtNode *deleted = rowNode(item);
    if (!deleted || deleted->resetToDefault)
        return;
    const auto valueRow = [schema = m_model->rules().schema()](XsdtNode *node, const QString &name) {
        auto *child = new QTreeWidgetItem(
            QStringList{QString(), name, ReadableValue::text(schema, *node, node->value), tr("(removed)")});
        child->setData(0, kNodeRole, QVariant::fromValue(static_cast<void *>(node)));
        child->setData(0, kKindRole, RemovedValueRow);
        child->setToolTip(2, node->value.left(DisplayText::kTipLength));
        return child;
    };
    if (deleted->kind == XsdtNode::Value) {
        item->addChild(valueRow(deleted, deleted->key));
        return;
    }
    const QString prefix = deleted->path() + u'/';
    const QList<XsdtNode *> values = deleted->valueNodes();
    for (qsizetype i = 0; i < values.size() && i < kRemovedValueRows; ++i) {
        QString path = values.at(i)->path();
        if (path.startsWith(prefix))
            path.remove(0, prefix.size());
        item->addChild(valueRow(values.at(i), path));
    }
    if (values.size() > kRemovedValueRows)
        item->addChild(messageRow(tr("...and %n more values", nullptr, int(values.size() - kRemovedValueRows))));
}

void ReviewDialog::updateDetails()
{
    const QList<QTreeWidgetItem *> selected = m_changes->selectedItems();
    m_revert->setEnabled(!selected.isEmpty());
    if (selected.size() > 1) {
        m_details->setPlainText(tr("%1 changes selected.").arg(selected.size()));
        return;
    }
    if (selected.size() == 1 && selected.constFirst()->data(0, kKindRole).toInt() == GroupRow) {
        QStringList paths;
        for (int i = 0; i < selected.constFirst()->childCount(); ++i) {
            if (const XsdtNode *entry = rowNode(selected.constFirst()->child(i)))
                paths << entry->path();
        }
        m_details->setPlainText(tr("Queued together as %1:").arg(selected.constFirst()->data(0, kGroupRole).toString())
                                + u'\n' + paths.join(u'\n'));
        return;
    }
    const XsdtNode *node = selected.size() == 1 ? rowNode(selected.constFirst()) : nullptr;
    if (!node) {
        m_details->clear();
        return;
    }
    // The whole stored text, and what it means where that reads differently (a colour, a choice).
    const auto whole = [node, schema = m_model->rules().schema()](const QString &value) {
        const QString readable = ReadableValue::text(schema, *node, value, value.size() + 1);
        return readable == DisplayText::value(node->type, value, value.size() + 1)
            ? value
            : QStringLiteral("%1 (%2)").arg(readable, value);
    };
    QString text = SettingLabel::text(m_model->rules().schema(), *node) + u'\n' + node->path() + u'\n';
    switch (selected.constFirst()->data(0, kKindRole).toInt()) {
    case EditRow:
        text += tr("Before: %1\nAfter:  %2").arg(whole(node->savedValue), whole(node->value));
        break;
    case AddedRow:
        text += node->kind == XsdtNode::Value ? tr("New value: %1").arg(whole(node->value))
                                              : tr("A new entry of %n values.", nullptr, int(node->valueCount()));
        break;
    case DeletionRow:
        text += tr("The whole entry is removed (%n values). Expand the row to see them.", nullptr,
                   int(node->valueCount()));
        break;
    default:
        text += tr("Removed value: %1").arg(whole(node->value));
        break;
    }
    m_details->setPlainText(text);
}

void ReviewDialog::revertSelected()
{
    bool reverted = false;
    m_model->beginBatch();
    ImportChanges withdrawn;
    for (const QTreeWidgetItem *item : m_changes->selectedItems()) {
        const int kind = item->data(0, kKindRole).toInt();
        if (kind == GroupRow) {
            for (int i = 0; i < item->childCount(); ++i) {
                if (XsdtNode *entry = rowNode(item->child(i)); entry && entry->deleted)
                    m_model->undoDeletion(entry);
            }
            reverted = true;
            continue;
        }
        XsdtNode *node = kind == RemovedValueRow ? nullptr : rowNode(item);
        if (!node)
            continue;
        if (kind == DeletionRow) {
            if (node->deleted)
                m_model->undoDeletion(node);
        } else if (kind == AddedRow) {
            withdrawn.withdrawals << node;
        } else {
            m_model->revertValue(node);
        }
        reverted = true;
    }
    // After the edits: a new entry taken out takes its place with it.
    if (!withdrawn.isEmpty())
        m_model->applyImport(std::move(withdrawn));
    m_model->endBatch();
    if (reverted)
        refill();
}

void ReviewDialog::setLeftovers(const QList<Leftover> &items)
{
    m_leftovers = items;
    QStringList lines;
    bool anyProtected = false;
    for (const Leftover &item : items) {
        QString line = QStringLiteral("   ") + QDir::toNativeSeparators(item.path);
        if (item.isProtected) {
            line += tr("   (protected)");
            anyProtected = true;
        }
        lines << line;
    }
    QString text = tr("Also deleted from disk, permanently, right after the settings are written (%n items):", nullptr,
                      int(items.size()))
        + u'\n' + lines.join(u'\n');
    if (anyProtected)
        text += tr("\nThe protected ones need administrator permission: you will be asked for it.");
    m_leftoverBox->setPlainText(text);
    m_leftoverBox->setVisible(!items.isEmpty());
    refill();
}

} // namespace pfw
