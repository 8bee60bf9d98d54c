#include "ui/views/compareview.h"

#include "core/backups.h"
#include "core/displaytext.h"
#include "schema/readablevalue.h"
#include "schema/settinglabel.h"
#include "schema/settingsschema.h"
#include "ui/widgets/colorbutton.h"
#include "core/settingsdocument.h"
#include "session/busyscope.h"
#include "model/settingsmodel.h"
#include "platform/hostlocations.h"
#include "schema/deletionpolicy.h"
#include "ui/accesskeys.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pfw {

namespace {

constexpr int kEntryRole = Qt::UserRole;
constexpr int kMaxBackups = 25;
// The file box's entry for a file kept in memory rather than on disk.
constexpr char kInMemory[] = "#in-memory";

bool sameFile(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QString first = QFileInfo(a).canonicalFilePath();
    return first.isEmpty() ? QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath()
                           : first == QFileInfo(b).canonicalFilePath();
}

} // namespace

CompareView::CompareView(SettingsModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    const bool parsed = m_other.parse("<xsdt/>");
    Q_UNUSED(parsed); // "<xsdt/>" is refused by design: an empty tree stands for "no other file"

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 0);
    auto *fileRow = new QHBoxLayout;
    auto *fileLabel = new QLabel(tr("Compare with:"), this);
    fileRow->addWidget(fileLabel);
    m_fileBox = new QComboBox(this);
    // Windows screen readers take a combo box's name from here, not from its current text.
    m_fileBox->setAccessibleName(tr("Compare with"));
    fileLabel->setBuddy(m_fileBox);
    setAccessKey(m_fileBox, u'w');
    m_fileBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    fileRow->addWidget(m_fileBox, 1);
    layout->addLayout(fileRow);

    auto *filters = new QHBoxLayout;
    m_different = new QCheckBox(tr("Different"), this);
    m_different->setChecked(true);
    m_onlyHere = new QCheckBox(tr("Only in this file"), this);
    m_onlyThere = new QCheckBox(tr("Only in the other file"), this);
    m_noise = new QCheckBox(tr("Hide statistics, window state and generated lists"), this);
    setAccessKey(m_different, u'd');
    setAccessKey(m_onlyHere, u'o');
    setAccessKey(m_onlyThere, u't');
    setAccessKey(m_noise, u's');
    m_noise->setChecked(true);
    m_noise->setToolTip(tr("Statistics, window geometry and layout, histories and the featured scripts list differ "
                           "between any two files and rarely matter."));
    m_search = new QLineEdit(this);
    m_search->setAccessibleName(tr("Filter the differences"));
    m_search->setPlaceholderText(tr("Search"));
    m_search->setClearButtonEnabled(true);
    fitSearchBox();
    for (QCheckBox *box : {m_different, m_onlyHere, m_onlyThere, m_noise}) {
        filters->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &CompareView::fill);
    }
    filters->addWidget(m_search, 1);
    layout->addLayout(filters);
    connect(m_search, &QLineEdit::textChanged, this, &CompareView::fill);

    m_summary = new QLabel(this);
    layout->addWidget(m_summary);
    m_tree = new QTreeWidget(this);
    m_tree->setAccessibleName(tr("Differences"));
    m_tree->setHeaderLabels({tr("Setting"), tr("This file"), tr("Other file"), tr("Status")});
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setAlternatingRowColors(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    m_tree->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_tree->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_tree->header()->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    m_tree->setColumnWidth(0, 340);
    layout->addWidget(m_tree, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    m_copySelected = new QPushButton(tr("Use the other file's value for selected"), this);
    m_copyAll = new QPushButton(tr("Use the other file's value for all shown"), this);
    setAccessKey(m_copySelected, u'u');
    setAccessKey(m_copyAll, u'a');
    buttons->addWidget(m_copySelected);
    buttons->addWidget(m_copyAll);
    layout->addLayout(buttons);

    connect(m_fileBox, &QComboBox::activated, this, &CompareView::fileChosen);
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, &CompareView::updateButtons);
    connect(m_tree, &QTreeWidget::customContextMenuRequested, this, &CompareView::showContextMenu);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        const int entry = entryOf(item);
        if (entry >= 0 && m_entries.at(entry).here)
            emit revealRequested(m_entries.at(entry).here);
    });
    connect(m_copySelected, &QPushButton::clicked, this, &CompareView::copySelected);
    connect(m_copyAll, &QPushButton::clicked, this, &CompareView::copyAllShown);
    connect(m_model, &SettingsModel::edited, this, &CompareView::scheduleRecompute);
    connect(m_model, &QAbstractItemModel::modelReset, this, &CompareView::scheduleRecompute);
    rebuildFileBox();
    updateButtons();
}

void CompareView::fitSearchBox()
{
    // Never squeezed to "Sear..." by the tick boxes beside it, whatever the text size.
    m_search->setMinimumWidth(m_search->fontMetrics().averageCharWidth() * 18);
}

void CompareView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange)
        fitSearchBox();
    QWidget::changeEvent(event);
}

void CompareView::setDocument(XsdtFile *tree, const QString &path)
{
    m_tree->clear();
    m_entries.clear();
    m_shown.clear();
    m_here = tree;
    m_herePath = tree ? path : QString();
    if (!tree) {
        m_summary->clear();
        updateButtons();
        rebuildFileBox();
        return;
    }
    if (sameFile(m_otherPath, m_herePath)) {
        m_other.root.clearChildren();
        m_otherPath.clear();
    }
    // A file kept in memory is an earlier state of one file only.
    if (!m_memoryTitle.isEmpty() && !sameFile(m_memoryFor, m_herePath)) {
        m_memoryBytes.clear();
        m_memoryTitle.clear();
        if (m_otherPath == QLatin1String(kInMemory)) {
            m_other.root.clearChildren();
            m_otherPath.clear();
        }
    }
    rebuildFileBox();
    recompute();
}

void CompareView::setViewOnly(bool on)
{
    // The poll calls this every few seconds: only a change may touch the rows.
    if (m_viewOnly == on)
        return;
    m_viewOnly = on;
    updateButtons();
}

void CompareView::rebuildFileBox()
{
    const QSignalBlocker blocker(m_fileBox);
    m_fileBox->clear();
    m_fileBox->addItem(tr("Choose a file to compare with..."), QString());
    if (!m_memoryTitle.isEmpty())
        m_fileBox->addItem(m_memoryTitle, QLatin1String(kInMemory));
    for (const QString &path : findSettingsFiles(m_environment)) {
        if (!sameFile(path, m_herePath))
            m_fileBox->addItem(describeSettingsFile(path), path);
    }
    if (m_here) {
        int added = 0;
        for (const QString &path : listBackups(m_herePath)) {
            if (added >= kMaxBackups)
                break;
            if (sameFile(path, m_herePath))
                continue;
            m_fileBox->addItem(tr("Backup: %1").arg(describeSettingsFile(path)), path);
            ++added;
        }
    }
    int current = 0;
    for (int i = 1; i < m_fileBox->count() && !m_otherPath.isEmpty(); ++i) {
        if (m_otherPath == QLatin1String(kInMemory)) {
            current = 1;
            break;
        }
        if (sameFile(m_fileBox->itemData(i).toString(), m_otherPath)) {
            current = i;
            break;
        }
    }
    if (!m_otherPath.isEmpty() && current == 0) {
        m_fileBox->addItem(describeSettingsFile(m_otherPath), m_otherPath);
        current = m_fileBox->count() - 1;
    }
    m_fileBox->addItem(tr("Browse..."), QStringLiteral("?"));
    m_fileBox->setCurrentIndex(current);
}

void CompareView::fileChosen(int index)
{
    const QString data = m_fileBox->itemData(index).toString();
    QString error;
    if (data == u"?") {
        const BusyScope busy;
        const QString start = m_herePath.isEmpty() ? QString() : QFileInfo(m_herePath).absolutePath();
        const QString path = QFileDialog::getOpenFileName(
            this, tr("Compare with"), start, tr("PixInsight settings (*.settings *.bak-*);;All files (*)"));
        if (!path.isEmpty() && !loadOther(path, &error))
            emit message(error);
        rebuildFileBox();
        return;
    }
    if (data == QLatin1String(kInMemory)) {
        if (!showBytes(m_memoryBytes, m_memoryTitle, &error))
            emit message(error);
        return;
    }
    if (data.isEmpty()) {
        m_other.root.clearChildren();
        m_otherPath.clear();
        rebuildFileBox();
        recompute();
        return;
    }
    if (!loadOther(data, &error))
        emit message(error);
    rebuildFileBox();
}

void CompareView::showFile(const QString &path)
{
    QString error;
    if (!loadOther(path, &error))
        emit message(error);
    rebuildFileBox();
}

bool CompareView::showBytes(const QByteArray &bytes, const QString &title, QString *error)
{
    m_tree->clear();
    m_entries.clear();
    m_shown.clear();
    QString parseError;
    if (!SettingsDocument::parseSettingsFile(title, bytes, &m_other, &parseError)) {
        m_otherPath.clear();
        if (error)
            *error = parseError;
        rebuildFileBox();
        recompute();
        return false;
    }
    m_memoryBytes = bytes;
    m_memoryTitle = title;
    m_memoryFor = m_herePath;
    m_otherPath = QLatin1String(kInMemory);
    rebuildFileBox();
    recompute();
    return true;
}

bool CompareView::loadOther(const QString &path, QString *error)
{
    m_tree->clear();
    m_entries.clear();
    m_shown.clear();
    const auto fail = [this, error](const QString &text) {
        if (error)
            *error = text;
        m_summary->setText(tr("Pick another settings file to see how it differs from this one."));
        updateButtons();
        return false;
    };
    if (!m_herePath.isEmpty() && sameFile(path, m_herePath))
        return fail(tr("That is the file being edited."));
    QByteArray bytes;
    QString readError;
    if (!SafeWrite::readFile(path, &bytes, &readError))
        return fail(readError);
    if (!SettingsDocument::parseSettingsFile(path, bytes, &m_other, &readError)) {
        m_otherPath.clear();
        return fail(readError);
    }
    m_otherPath = path;
    rebuildFileBox();
    recompute();
    return true;
}

void CompareView::scheduleRecompute()
{
    // Edits come in bursts (a copy of many values): recompute once per event-loop turn.
    if (m_recomputePending)
        return;
    m_recomputePending = true;
    QTimer::singleShot(0, this, [this] {
        m_recomputePending = false;
        recompute();
    });
}

void CompareView::recompute()
{
    m_tree->clear();
    m_entries.clear();
    m_shown.clear();
    if (!m_here || m_otherPath.isEmpty()) {
        m_summary->setText(m_here ? tr("Pick another settings file to see how it differs from this one.") : QString());
        updateButtons();
        return;
    }
    m_entries = diffTrees(m_here->root, m_other.root);
    fill();
}

bool CompareView::isCopyable(const DiffEntry &entry) const
{
    const DeletionPolicy *policy = m_model->policy();
    // A value of another type cannot be copied: only the text would change.
    return entry.status == DiffEntry::Different && entry.here && entry.there && entry.here->type == entry.there->type
        && entry.here->isEditableValue() && !entry.here->isInsideDeleted()
        && !(policy && policy->isCompareNoCopy(entry.here));
}

int CompareView::entryOf(const QTreeWidgetItem *item) const
{
    const QVariant data = item ? item->data(0, kEntryRole) : QVariant();
    return data.isValid() ? data.toInt() : -1;
}

void CompareView::fill()
{
    m_tree->clear();
    m_shown.clear();
    if (!m_here || m_otherPath.isEmpty()) {
        updateButtons();
        return;
    }
    const QString search = m_search->text().trimmed();
    const DeletionPolicy *policy = m_model->policy();
    int counts[3] = {0, 0, 0};
    int hidden = 0;
    QHash<QString, QTreeWidgetItem *> groups;
    const QCheckBox *wanted[3] = {m_different, m_onlyHere, m_onlyThere};
    for (int index = 0; index < m_entries.size(); ++index) {
        const DiffEntry &entry = m_entries.at(index);
        if (m_noise->isChecked() && policy && policy->isCompareNoise(entry.here ? entry.here : entry.there)) {
            ++hidden;
            continue;
        }
        ++counts[entry.status];
        if (!wanted[entry.status]->isChecked())
            continue;
        const XsdtNode *node = entry.here ? entry.here : entry.there;
        const QString label = SettingLabel::label(m_model->rules().schema(), *node);
        if (!search.isEmpty() && !entry.path.contains(search, Qt::CaseInsensitive)
            && !label.contains(search, Qt::CaseInsensitive)
            && !(entry.here && entry.here->value.contains(search, Qt::CaseInsensitive))
            && !(entry.there && entry.there->value.contains(search, Qt::CaseInsensitive)))
            continue;
        QString groupName, leaf;
        compareGroup(entry.path, &groupName, &leaf);
        QTreeWidgetItem *group = groups.value(groupName);
        if (!group) {
            QStringList readable;
            for (const QString &key : groupName.split(u'/', Qt::SkipEmptyParts)) {
                if (key != u"Global")
                    readable << SettingsSchema::humanizeKey(key);
            }
            // Values right under Global are listed under its name.
            if (readable.isEmpty())
                readable << SettingsSchema::humanizeKey(groupName);
            group = new QTreeWidgetItem(m_tree, QStringList{readable.join(QStringLiteral(" \u203A "))});
            group->setToolTip(0, groupName);
            QFont bold = group->font(0);
            bold.setBold(true);
            group->setFont(0, bold);
            groups.insert(groupName, group);
        }
        const auto shown = [&entry, schema = m_model->rules().schema()](const XsdtNode *side) {
            return !side                         ? QString()
                : differsInCompressedData(entry) ? diffSideText(entry, side)
                                                 : ReadableValue::text(schema, *side, side->value);
        };
        // The label, and any entries between the group and the value as words.
        QStringList between = leaf.split(u'/');
        between.removeLast();
        for (QString &key : between)
            key = SettingsSchema::humanizeKey(key);
        between << label;
        auto *row = new QTreeWidgetItem(group,
                                        QStringList{between.join(QStringLiteral(" \u203A ")), shown(entry.here),
                                                    shown(entry.there), diffStatusText(entry)});
        row->setData(0, kEntryRole, index);
        for (const auto &[column, side] : {std::pair{1, entry.here}, std::pair{2, entry.there}}) {
            if (const std::optional<quint32> argb
                = side ? ReadableValue::colour(m_model->rules().schema(), *side, side->value) : std::nullopt)
                row->setIcon(column, QIcon(ColorButton::swatch(*argb)));
        }
        QString tip = entry.path;
        if (entry.here)
            tip += tr("\nThis file: %1").arg(entry.here->value.left(300));
        if (entry.there)
            tip += tr("\nOther file: %1").arg(entry.there->value.left(300));
        const bool copyable = isCopyable(entry);
        if (entry.status == DiffEntry::Different && !copyable) {
            tip += tr("\nCannot be copied: protected value type, specific to one PixInsight installation, or queued "
                      "for deletion.");
            row->setForeground(0, palette().color(QPalette::Disabled, QPalette::Text));
        } else if (entry.status == DiffEntry::OnlyThere) {
            tip += tr("\nDoes not exist in this file; adding entries is not offered.");
        }
        row->setToolTip(0, tip);
        m_shown << index;
    }
    if (m_shown.isEmpty()) {
        auto *nothing = new QTreeWidgetItem(m_tree, QStringList{tr("Nothing to show with the current filters.")});
        nothing->setFlags(Qt::ItemIsEnabled);
    } else if (m_shown.size() <= kExpandLimit) {
        m_tree->expandAll();
    }
    QString summary = tr("%1 different, %2 only in this file, %3 only in the other file")
                          .arg(QString::number(counts[0]), QString::number(counts[1]), QString::number(counts[2]));
    if (hidden > 0)
        summary += tr(" (%1 more hidden as statistics, window state or generated lists)").arg(hidden);
    m_summary->setText(summary);
    updateButtons();
}

QList<int> CompareView::selectedEntries() const
{
    QList<int> entries;
    QSet<int> seen;
    const auto add = [&entries, &seen](int entry) {
        if (entry >= 0 && !seen.contains(entry)) {
            seen.insert(entry);
            entries << entry;
        }
    };
    for (const QTreeWidgetItem *item : m_tree->selectedItems()) {
        const int entry = entryOf(item);
        if (entry >= 0) {
            add(entry);
            continue;
        }
        for (int i = 0; i < item->childCount(); ++i)
            add(entryOf(item->child(i)));
    }
    return entries;
}

QList<XsdtNode *> CompareView::selectedHereNodes() const
{
    QList<XsdtNode *> nodes;
    for (const int entry : selectedEntries()) {
        if (XsdtNode *node = m_entries.at(entry).here)
            nodes << node;
    }
    return nodes;
}

void CompareView::updateButtons()
{
    int selectedCopyable = 0;
    for (const int entry : selectedEntries())
        selectedCopyable += isCopyable(m_entries.at(entry)) ? 1 : 0;
    int shownCopyable = 0;
    for (const int entry : std::as_const(m_shown))
        shownCopyable += isCopyable(m_entries.at(entry)) ? 1 : 0;
    m_copySelected->setEnabled(!m_viewOnly && selectedCopyable > 0);
    m_copyAll->setEnabled(!m_viewOnly && shownCopyable > 0);
    m_copyAll->setText(shownCopyable > 0 ? tr("Use the other file's value for all shown (%1)").arg(shownCopyable)
                                         : tr("Use the other file's value for all shown"));
}

void CompareView::copyEntries(const QList<int> &entries)
{
    // Read what to copy first: every accepted edit schedules a recompute.
    QList<std::pair<XsdtNode *, QString>> copies;
    int failed = 0;
    for (const int index : entries) {
        const DiffEntry &entry = m_entries.at(index);
        if (isCopyable(entry))
            copies.append({entry.here, entry.there->value});
        else
            ++failed;
    }
    int copied = 0;
    m_model->beginBatch();
    for (const auto &[node, text] : copies) {
        if (m_model->setData(m_model->indexFor(node, SettingsModel::ValueColumn), text, Qt::EditRole))
            ++copied;
        else
            ++failed;
    }
    m_model->endBatch();
    if (copied > 0 && failed == 0)
        emit message(tr("Copied %n values into this file. Review and save when ready.", nullptr, copied));
    else if (failed > 0)
        emit message(tr("Copied %n values", nullptr, copied)
                     + tr("; %1 could not be copied (protected type, not editable, or refused).").arg(failed));
}

void CompareView::copySelected()
{
    if (m_viewOnly)
        return;
    copyEntries(selectedEntries());
    // The button turns off once its row is copied; the focus stays with the list, not on
    // the button beside it that copies everything shown.
    m_tree->setFocus(Qt::OtherFocusReason);
}

void CompareView::copyAllShown()
{
    if (m_viewOnly)
        return;
    // Only what can be copied is offered, and so only that is tried.
    QList<int> copyable;
    for (const int entry : std::as_const(m_shown)) {
        if (isCopyable(m_entries.at(entry)))
            copyable << entry;
    }
    if (copyable.isEmpty())
        return;
    const BusyScope busy;
    const quint64 generation = m_model->generation();
    if (QMessageBox::question(
            this, tr("Copy values"),
            tr("Copy %n values from %1 into this file?\n\nThey become pending changes: you can "
               "review, revert and save them as usual.",
               nullptr, int(copyable.size()))
                .arg(m_otherPath == QLatin1String(kInMemory) ? m_memoryTitle : QFileInfo(m_otherPath).fileName()),
            QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes
        && m_model->generation() == generation)
        copyEntries(copyable);
}

void CompareView::showContextMenu(const QPoint &pos)
{
    const int index = entryOf(m_tree->itemAt(pos));
    if (index < 0)
        return;
    const BusyScope busy;
    const DiffEntry entry = m_entries.at(index);
    QMenu menu(this);
    QAction *copy = menu.addAction(tr("Use the other file's value"));
    copy->setEnabled(isCopyable(entry) && !m_viewOnly);
    connect(copy, &QAction::triggered, this, [this, index] { copyEntries({index}); });
    // Export and the copy take what this file holds for every selected entry.
    const QList<XsdtNode *> here = selectedHereNodes();
    menu.addSeparator();
    QAction *exported = menu.addAction(tr("E&xport selected..."));
    exported->setEnabled(!here.isEmpty());
    connect(exported, &QAction::triggered, this, [this, here] { emit exportRequested(here, tr("Compare selection")); });
    QAction *copied = menu.addAction(tr("Copy to other &instances..."));
    copied->setEnabled(!here.isEmpty() && !m_viewOnly);
    connect(copied, &QAction::triggered, this, [this, here] { emit copyRequested(here); });
    menu.addSeparator();
    QAction *reveal = menu.addAction(tr("Show in All settings"));
    reveal->setEnabled(entry.here != nullptr);
    connect(reveal, &QAction::triggered, this, [this, entry] { emit revealRequested(entry.here); });
    connect(menu.addAction(tr("Copy setting path")), &QAction::triggered, this,
            [entry] { QGuiApplication::clipboard()->setText(entry.path); });
    menu.exec(m_tree->viewport()->mapToGlobal(pos));
}

} // namespace pfw
