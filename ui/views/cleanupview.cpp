#include "ui/views/cleanupview.h"

#include "core/displaytext.h"
#include "core/xsdtfile.h"
#include "core/xsdtwriter.h"
#include "session/busyscope.h"
#include "model/settingsmodel.h"
#include "schema/deletionpolicy.h"
#include "modules/moduleregistry.h"
#include "modules/standardprocesses.h"
#include "schema/settinglabel.h"
#include "schema/settingsschema.h"
#include "ui/accesskeys.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QHash>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>

namespace pfw {

namespace {

// What the user queued an entry as, for the review to list it under.
constexpr int kGroupRole = Qt::UserRole + 1;

qint64 sizeOf(const QList<XsdtNode *> &nodes)
{
    qint64 size = 0;
    for (const XsdtNode *node : nodes)
        size += serializedSize(*node);
    return size;
}

qsizetype valuesOf(const QList<XsdtNode *> &nodes)
{
    qsizetype values = 0;
    for (const XsdtNode *node : nodes)
        values += node->valueCount();
    return values;
}

void sortByLabel(QList<XsdtNode *> &nodes)
{
    std::stable_sort(nodes.begin(), nodes.end(), [](const XsdtNode *a, const XsdtNode *b) {
        return CleanupView::cleanupLabel(*a) < CleanupView::cleanupLabel(*b);
    });
}

// The settings of one of PixInsight's standard processes, wherever the file keeps them.
bool isOwnTool(const XsdtNode &node)
{
    QStringList parts = node.path().split(u'/', Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("ModuleData"));
    return !parts.isEmpty() && StandardProcesses::contains(parts.constFirst());
}

QString ownToolLabel(const XsdtNode &node, const QString &label)
{
    return isOwnTool(node) ? CleanupView::tr("%1 (PixInsight's own tool)").arg(label) : label;
}

QTreeWidgetItem *informationRow(QTreeWidgetItem *parent, const QStringList &texts)
{
    auto *item = new QTreeWidgetItem(parent, texts);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

} // namespace

CleanupView::CleanupView(SettingsModel *model, QWidget *parent)
    : CardView(model, parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(tr("Tick what you want to remove and press <b>Queue for deletion</b>. Nothing is removed "
                                "until you save, and queued entries can be undone here or with <i>Edit &gt; Revert all "
                                "changes</i>."),
                             this);
    intro->setTextFormat(Qt::RichText);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_tree = new QTreeWidget(this);
    m_tree->setAccessibleName(tr("Data that can be cleaned up"));
    m_tree->setHeaderLabels({tr("Entry"), tr("Values"), tr("Size"), tr("Status")});
    m_tree->setRootIsDecorated(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->setUniformRowHeights(true);
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 4; ++column)
        m_tree->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    layout->addWidget(m_tree, 1);
    auto *row = new QHBoxLayout;
    m_status = new QLabel(this);
    m_undo = new QPushButton(tr("Undo queued deletion"), this);
    m_queue = new QPushButton(tr("Queue for deletion"), this);
    setAccessKey(m_undo, u'u');
    setAccessKey(m_queue, u'q');
    row->addWidget(m_status, 1);
    row->addWidget(m_undo);
    row->addWidget(m_queue);
    layout->addLayout(row);

    connect(m_tree, &QTreeWidget::itemChanged, this, &CleanupView::updateStatus);
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, &CleanupView::updateStatus);
    connect(m_queue, &QPushButton::clicked, this, &CleanupView::queueTicked);
    connect(m_undo, &QPushButton::clicked, this, &CleanupView::undoTicked);
    connect(m_model, &SettingsModel::edited, this, &CleanupView::updateStatus);
    updateStatus();
}

QString CleanupView::cleanupLabel(const XsdtNode &node)
{
    QStringList parts = node.path().split(u'/', Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("ModuleData"));
    parts.removeAll(QStringLiteral("Interfaces"));
    if (!parts.isEmpty() && parts.constLast() == u"Geometry")
        parts.removeLast();
    return parts.join(QStringLiteral(" \u203A "));
}

QString CleanupView::savedSettingsLabel(const XsdtNode &node)
{
    bool number = false;
    node.key.toLongLong(&number);
    if (number)
        return tr("Module data version record (%1)").arg(node.key);
    return SettingsSchema::humanizeKey(node.key);
}

QTreeWidgetItem *CleanupView::addEntry(QTreeWidgetItem *parent, const QString &text, const QList<XsdtNode *> &nodes,
                                       const QString &tip, bool savedSettings)
{
    const qint64 size = sizeOf(nodes);
    auto *item
        = new QTreeWidgetItem(parent, QStringList{text, QString::number(valuesOf(nodes)), DisplayText::size(size)});
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    item->setToolTip(0, tip);
    m_entries.insert(item, nodes);
    m_savedSettings.insert(item, savedSettings);
    m_sizes.insert(item, size);
    return item;
}

void CleanupView::refresh(XsdtFile *file)
{
    const QSignalBlocker blocker(m_tree);
    m_tree->clear();
    m_entries.clear();
    m_savedSettings.clear();
    m_sizes.clear();
    m_safeTier = m_savedTier = nullptr;
    m_file = file;
    const DeletionPolicy *policy = m_model->policy();
    if (!m_file || !policy) {
        updateStatus();
        return;
    }
    const auto tier = [this](const QString &title) {
        auto *item = new QTreeWidgetItem(m_tree, QStringList{title});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
        item->setCheckState(0, Qt::Unchecked);
        QFont bold = item->font(0);
        bold.setBold(true);
        item->setFont(0, bold);
        return item;
    };
    m_safeTier = tier(tr("Safe to clean - PixInsight recreates these"));
    for (const CleanupGroup &group : policy->cleanupGroups()) {
        if (group.each) {
            QList<XsdtNode *> nodes;
            for (const QString &pattern : group.paths) {
                for (XsdtNode *node : DeletionPolicy::findAll(*m_file, pattern)) {
                    if (m_model->verdict(node).level == DeletionLevel::Safe)
                        nodes << node;
                }
            }
            if (nodes.isEmpty())
                continue;
            sortByLabel(nodes);
            auto *groupItem = new QTreeWidgetItem(
                m_safeTier,
                QStringList{QStringLiteral("%1 (%2)").arg(group.title, QString::number(nodes.size())),
                            QString::number(valuesOf(nodes)), DisplayText::size(sizeOf(nodes))});
            groupItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
            groupItem->setCheckState(0, Qt::Unchecked);
            groupItem->setToolTip(0, group.description);
            groupItem->setFlags(groupItem->flags() | Qt::ItemIsSelectable);
            for (XsdtNode *node : std::as_const(nodes))
                addEntry(groupItem, ownToolLabel(*node, cleanupLabel(*node)), {node},
                         node->path() + u'\n' + m_model->verdict(node).reason, false)
                    ->setData(0, kGroupRole, group.title);
            continue;
        }
        QList<XsdtNode *> nodes;
        QStringList kept;
        for (const QString &path : group.paths) {
            XsdtNode *node = m_file->root.findPath(path);
            if (node && m_model->verdict(node).level == DeletionLevel::Safe) {
                nodes << node;
                kept << path;
            }
        }
        if (nodes.isEmpty())
            continue;
        if (nodes.size() == 1) {
            addEntry(m_safeTier, group.title, nodes, group.description + u'\n' + kept.constFirst(), false);
            continue;
        }
        // Ticked as a whole or one list at a time (just the recent files, say).
        auto *groupItem = new QTreeWidgetItem(
            m_safeTier, QStringList{group.title, QString::number(valuesOf(nodes)), DisplayText::size(sizeOf(nodes))});
        groupItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                            | Qt::ItemIsAutoTristate);
        groupItem->setCheckState(0, Qt::Unchecked);
        groupItem->setToolTip(0, group.description);
        for (XsdtNode *node : std::as_const(nodes)) {
            QTreeWidgetItem *entry = addEntry(groupItem, SettingLabel::text(m_model->rules().schema(), *node), {node},
                                              node->path() + u'\n' + m_model->verdict(node).reason, false);
            entry->setData(0, kGroupRole, group.title);
        }
    }
    if (m_safeTier->childCount() == 0)
        informationRow(m_safeTier, {tr("Nothing to clean in this file.")});

    m_savedTier = tier(tr("Saved tool and script settings - deleting loses your configuration"));
    // Named as the user knows the tool; the same name twice is told apart by where it lives.
    QList<XsdtNode *> candidates = policy->warnCandidates(*m_file);
    QHash<QString, int> uses;
    for (const XsdtNode *node : std::as_const(candidates))
        ++uses[savedSettingsLabel(*node)];
    const auto label = [&uses](const XsdtNode &node) {
        const QString name = savedSettingsLabel(node);
        return uses.value(name) > 1 && node.parent && node.parent->parent
            ? name + QStringLiteral(" (%1)").arg(node.parent->path())
            : name;
    };
    std::stable_sort(candidates.begin(), candidates.end(), [&label](const XsdtNode *a, const XsdtNode *b) {
        return label(*a).compare(label(*b), Qt::CaseInsensitive) < 0;
    });
    // An unused module's settings go with the rest of its data, as in Unused modules: the same
    // entries, the same count, in both tabs.
    QHash<QString, QList<XsdtNode *>> unused;
    for (const ModuleInfo &info : unusedModules(*m_file, policy)) {
        QList<XsdtNode *> &nodes = unused[info.name];
        for (XsdtNode *node : info.dataNodes) {
            if (m_model->verdict(node).level != DeletionLevel::Never)
                nodes << node;
        }
    }
    QSet<QString> listedModules;
    for (XsdtNode *node : std::as_const(candidates)) {
        const bool moduleData = node->parent && node->parent->key == u"ModuleData";
        if (moduleData && unused.value(node->key).contains(node)) {
            // A module's groups of one name are one entry: its data, once.
            if (listedModules.contains(node->key))
                continue;
            listedModules.insert(node->key);
            addEntry(m_savedTier, tr("%1 (unused module)").arg(label(*node)), unused.value(node->key),
                     node->path() + u'\n' + tr("All the data of a module that is no longer in the module list."), true);
            continue;
        }
        // PixInsight's own processes are told from tools that came and went.
        addEntry(m_savedTier, ownToolLabel(*node, label(*node)), {node},
                 node->path() + u'\n' + m_model->verdict(node).reason, true);
    }
    if (candidates.isEmpty())
        informationRow(m_savedTier, {tr("No tool settings found.")});
    m_safeTier->setExpanded(true);
    m_savedTier->setExpanded(true);
    updateStatus();
}

QList<QTreeWidgetItem *> CleanupView::tickedEntries() const
{
    // In tree order, so messages and questions list entries as shown; one walk, as each tick
    // of hundreds asks again.
    QList<QTreeWidgetItem *> ticked;
    for (QTreeWidgetItemIterator it(m_tree, QTreeWidgetItemIterator::Checked); *it; ++it) {
        if (m_entries.contains(*it))
            ticked << *it;
    }
    return ticked;
}

void CleanupView::updateStatus()
{
    // Each row of a bulk change would ask again: the change asks once, at its end.
    if (m_bulk)
        return;
    const QSignalBlocker blocker(m_tree);
    QSet<const XsdtNode *> queuedNodes;
    const auto status = [](int queued, int total) {
        return queued == total ? tr("Queued for deletion")
            : queued > 0       ? tr("Partly queued (%1 of %2)").arg(queued).arg(total)
                               : QString();
    };
    // A group of entries says how much of it is queued, as an entry of several does.
    QHash<QTreeWidgetItem *, std::pair<int, int>> groups;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        int queued = 0;
        for (const XsdtNode *node : it.value()) {
            queued += node->isInsideDeleted() ? 1 : 0;
            // Each deletion once, as the review and the unsaved count have it, though an
            // unused module's entries may lie inside another entry of this list.
            if (node->deleted)
                queuedNodes.insert(node);
        }
        const int total = int(it.value().size());
        it.key()->setText(3, status(queued, total));
        it.key()->setDisabled(m_viewOnly);
        QTreeWidgetItem *parent = it.key()->parent();
        if (parent && parent != m_safeTier && parent != m_savedTier) {
            groups[parent].first += queued;
            groups[parent].second += total;
        }
    }
    for (auto it = groups.cbegin(); it != groups.cend(); ++it)
        it.key()->setText(3, status(it.value().first, it.value().second));
    for (QTreeWidgetItem *tier : {m_safeTier, m_savedTier}) {
        if (tier)
            tier->setDisabled(m_viewOnly);
    }
    const QList<QTreeWidgetItem *> ticked = tickedEntries();
    m_queue->setEnabled(!m_viewOnly && !ticked.isEmpty());
    m_undo->setEnabled(!m_viewOnly && !undoable().isEmpty());
    if (m_viewOnly) {
        m_status->setText(tr("PixInsight is running: view only."));
    } else if (ticked.isEmpty()) {
        m_status->setText(tr("Queued for deletion: %1").arg(queuedNodes.size()));
    } else {
        qint64 size = 0;
        for (QTreeWidgetItem *item : ticked)
            size += m_sizes.value(item);
        m_status->setText(tr("Ticked: %1 (about %2)").arg(QString::number(ticked.size()), DisplayText::size(size)));
    }
}

void CleanupView::tickAll(bool safeOnly)
{
    // Ticked exactly: with safeOnly, saved settings ticked before are unticked again.
    {
        const QScopedValueRollback bulk(m_bulk, true);
        for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
            const bool tick = !safeOnly || !m_savedSettings.value(it.key());
            it.key()->setCheckState(0, tick ? Qt::Checked : Qt::Unchecked);
        }
    }
    updateStatus();
}

void CleanupView::queueTicked()
{
    const BusyScope busy;
    const quint64 generation = m_model->generation();
    const QList<QTreeWidgetItem *> ticked = tickedEntries();
    QStringList saved;
    for (QTreeWidgetItem *item : ticked) {
        if (m_savedSettings.value(item))
            saved << item->text(0);
    }
    if (m_confirmWarn && !saved.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, tr("Delete saved settings?"),
                        tr("This removes the saved configuration of %n tools or scripts. They will start from their "
                           "defaults.",
                           nullptr, int(saved.size())),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setInformativeText(tr("Nothing is removed until you save, and you can undo it before then."));
        box.setDetailedText(saved.join(u'\n'));
        box.setDefaultButton(QMessageBox::No);
        // The entries point into the tree the question was about.
        if (box.exec() != QMessageBox::Yes || m_model->generation() != generation || m_viewOnly)
            return;
    }
    int queued = 0;
    QString firstRefusal;
    {
        const SettingsModel::Batch batch(m_model);
        const QScopedValueRollback bulk(m_bulk, true);
        for (QTreeWidgetItem *item : ticked) {
            for (XsdtNode *node : m_entries.value(item)) {
                QString whyNot;
                const QString group = item->data(0, kGroupRole).toString();
                const bool already = node->isInsideDeleted();
                if (m_model->requestDeletion(node, &whyNot, group.isEmpty() ? item->text(0) : group))
                    queued += already ? 0 : 1;
                else if (firstRefusal.isEmpty())
                    firstRefusal = whyNot;
            }
            item->setCheckState(0, Qt::Unchecked);
        }
    }
    updateStatus();
    emit message(firstRefusal.isEmpty() ? tr("Queued for deletion: %1. Save to apply.").arg(queued)
                                        : tr("Some entries were refused: %1").arg(firstRefusal));
}

QList<QTreeWidgetItem *> CleanupView::undoable() const
{
    // The ticked entries; with none ticked, the queued ones among the selected rows and below them.
    QList<QTreeWidgetItem *> items = tickedEntries();
    if (!items.isEmpty())
        return items;
    const auto queued = [this](QTreeWidgetItem *item) {
        const QList<XsdtNode *> nodes = m_entries.value(item);
        return std::any_of(nodes.cbegin(), nodes.cend(), [](const XsdtNode *node) { return node->deleted; });
    };
    QSet<QTreeWidgetItem *> seen;
    const QList<QTreeWidgetItem *> selected = m_tree->selectedItems();
    for (QTreeWidgetItem *item : selected) {
        QList<QTreeWidgetItem *> below{item};
        for (int i = 0; i < below.size(); ++i) {
            for (int child = 0; child < below.at(i)->childCount(); ++child)
                below << below.at(i)->child(child);
        }
        for (QTreeWidgetItem *entry : std::as_const(below)) {
            if (!seen.contains(entry) && queued(entry)) {
                seen.insert(entry);
                items << entry;
            }
        }
    }
    return items;
}

void CleanupView::undoTicked()
{
    {
        const SettingsModel::Batch batch(m_model);
        const QScopedValueRollback bulk(m_bulk, true);
        for (QTreeWidgetItem *item : undoable()) {
            for (XsdtNode *node : m_entries.value(item)) {
                if (node->deleted)
                    m_model->undoDeletion(node);
            }
            item->setCheckState(0, Qt::Unchecked);
        }
    }
    updateStatus();
}

} // namespace pfw
