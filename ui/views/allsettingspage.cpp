#include "ui/views/allsettingspage.h"

#include "core/xsdtfile.h"
#include "session/busyscope.h"
#include "model/settingsfilterproxy.h"
#include "model/settingsmodel.h"
#include "ui/widgets/valuedelegate.h"
#include "platform/hostenvironment.h"
#include "ui/accesskeys.h"
#include "ui/deletionflow.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QKeyEvent>
#include <QTreeView>
#include <QVBoxLayout>

namespace pfw {

AllSettingsPage::AllSettingsPage(SettingsModel *model, SettingsFilterProxy *proxy, DeletionFlow *deletion,
                                 QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_proxy(proxy)
    , m_deletion(deletion)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 0);
    auto *filterRow = new QHBoxLayout;
    m_filter = new QLineEdit(this);
    m_filter->setAccessibleName(tr("Filter the settings tree"));
    m_filter->setPlaceholderText(tr("Filter this tree by name or value (Ctrl+F searches everything)"));
    m_filter->setClearButtonEnabled(true);
    m_changedOnly = new QCheckBox(tr("Changed only"), this);
    setAccessKey(m_changedOnly, u'c');
    filterRow->addWidget(m_filter, 1);
    filterRow->addWidget(m_changedOnly);
    layout->addLayout(filterRow);

    m_tree = new QTreeView(this);
    m_tree->setAccessibleName(tr("All settings"));
    m_tree->setModel(m_proxy);
    m_tree->setItemDelegateForColumn(SettingsModel::ValueColumn, new ValueDelegate(m_tree));
    m_tree->setUniformRowHeights(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked
                            | QAbstractItemView::EditKeyPressed);
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    m_tree->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_tree->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    m_tree->setColumnWidth(0, 380);
    layout->addWidget(m_tree, 1);

    connect(m_filter, &QLineEdit::textChanged, this, &AllSettingsPage::filterChanged);
    connect(m_changedOnly, &QCheckBox::toggled, this, [this](bool on) {
        const XsdtNode *current = m_proxy->nodeFor(m_tree->currentIndex());
        m_filtering = true;
        m_proxy->setChangedOnly(on);
        m_filtering = false;
        showFiltered(current);
    });
    // A reset from below (a reload, a large undo step) closes every row: open the matches again
    // and find the current row by its path, the nodes may be new.
    connect(m_proxy, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        if (m_filtering)
            return;
        // A reload resets twice (tree gone, new tree): the path is kept until a tree is there.
        if (const XsdtNode *current = m_proxy->nodeFor(m_tree->currentIndex()))
            m_currentPath = current->path();
    });
    connect(m_proxy, &QAbstractItemModel::modelReset, this, [this] {
        if (m_filtering)
            return;
        const XsdtFile *file = m_model->file();
        const XsdtNode *current = file && !m_currentPath.isEmpty() ? file->root.findPath(m_currentPath) : nullptr;
        if (file)
            m_currentPath.clear();
        showFiltered(current);
    });
    connect(m_tree, &QTreeView::customContextMenuRequested, this, &AllSettingsPage::showContextMenu);
    // Key events reach the tree only while it has focus, which is when Delete should act.
    m_tree->installEventFilter(this);
    // The proxy filters when asked; edits must show up in the changed-only view.
    connect(m_model, &SettingsModel::edited, this, [this] {
        if (m_proxy->isFiltering())
            m_proxy->refilter();
    });
}

QKeySequence AllSettingsPage::copyPathKey()
{
    return QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_C));
}

bool AllSettingsPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_tree || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->matches(QKeySequence::Delete)) {
        deleteSelected();
        return true;
    }
    // The key that edits a cell edits the row's value, whichever column is current.
    const Qt::Key editing = HostEnvironment::builtFlavour() == PlatformFlavour::MacOS ? Qt::Key_Return : Qt::Key_F2;
    const bool editKey = key->key() == editing && key->modifiers() == Qt::NoModifier;
    if (editKey) {
        editCurrentValue();
        return true;
    }
    if (QKeySequence(key->keyCombination()) == copyPathKey()) {
        copyCurrentPath();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void AllSettingsPage::editCurrentValue()
{
    const QModelIndex value = m_tree->currentIndex().siblingAtColumn(SettingsModel::ValueColumn);
    if (value.isValid() && (value.flags() & Qt::ItemIsEditable)) {
        m_tree->setCurrentIndex(value);
        m_tree->edit(value);
    }
}

void AllSettingsPage::copyCurrentPath()
{
    const QModelIndex current = m_tree->currentIndex();
    if (current.isValid())
        QGuiApplication::clipboard()->setText(m_model->nodeFor(m_proxy->mapToSource(current))->path());
}

void AllSettingsPage::filterChanged(const QString &text)
{
    const XsdtNode *current = m_proxy->nodeFor(m_tree->currentIndex());
    m_filtering = true;
    m_proxy->setFilterText(text);
    m_filtering = false;
    showFiltered(current);
}

void AllSettingsPage::showFiltered(const XsdtNode *current)
{
    // A new filter is a new tree: nothing is expanded.
    if (m_proxy->isFiltering())
        expandShown();
    else
        expandPreferences();
    const QModelIndex index = current ? m_proxy->mapFromSource(m_model->indexFor(current)) : QModelIndex();
    if (!index.isValid())
        return;
    for (QModelIndex ancestor = index.parent(); ancestor.isValid(); ancestor = ancestor.parent())
        m_tree->expand(ancestor);
    m_tree->setCurrentIndex(index);
    m_tree->scrollTo(index);
}

void AllSettingsPage::expandShown()
{
    // Opening every match of a short text would lay out a hundred thousand rows on each
    // keystroke. Groups open from the top down while the rows they show stay within a budget;
    // the rest stay closed with their arrows.
    int shown = m_proxy->rowCount();
    // In the order the rows are shown: a group opens when what it adds still fits.
    QList<QModelIndex> pending;
    for (int row = m_proxy->rowCount() - 1; row >= 0; --row)
        pending.append(m_proxy->index(row, 0));
    while (!pending.isEmpty()) {
        const QModelIndex group = pending.takeLast();
        const int children = m_proxy->rowCount(group);
        if (children == 0 || shown + children > kExpandedRows)
            continue;
        m_tree->expand(group);
        shown += children;
        for (int row = children - 1; row >= 0; --row)
            pending.append(m_proxy->index(row, 0, group));
    }
}

void AllSettingsPage::expandPreferences()
{
    const XsdtFile *file = m_model->file();
    const XsdtNode *preferences = file ? file->root.findPath(u"Global/Preferences") : nullptr;
    for (QModelIndex index = m_proxy->mapFromSource(m_model->indexFor(preferences)); index.isValid();
         index = index.parent())
        m_tree->expand(index);
}

void AllSettingsPage::collapseToPreferences()
{
    if (m_proxy->isFiltering()) {
        // Under a filter its matches are what the tree is for.
        const XsdtNode *current = m_proxy->nodeFor(m_tree->currentIndex());
        m_tree->collapseAll();
        showFiltered(current);
        return;
    }
    m_tree->collapseAll();
    expandPreferences();
}

void AllSettingsPage::revealNode(const XsdtNode *node)
{
    if (!node)
        return;
    m_filter->clear();
    m_changedOnly->setChecked(false);
    const QModelIndex index = m_proxy->mapFromSource(m_model->indexFor(node));
    if (!index.isValid())
        return;
    for (QModelIndex ancestor = index.parent(); ancestor.isValid(); ancestor = ancestor.parent())
        m_tree->expand(ancestor);
    m_tree->setCurrentIndex(index);
    m_tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void AllSettingsPage::deleteSelected()
{
    const QModelIndex current = m_tree->currentIndex();
    if (!current.isValid() || !current.model())
        return;
    m_deletion->confirmAndQueueDeletion(m_model->nodeFor(m_proxy->mapToSource(current)));
}

QMenu *AllSettingsPage::buildContextMenu(XsdtNode *node)
{
    auto *menu = new QMenu(this);
    menu->setToolTipsVisible(true);
    const bool isValue = node->kind == XsdtNode::Value;
    const bool running = m_model->isReadOnly();
    QAction *revert = menu->addAction(tr("Revert this value"));
    revert->setEnabled(isValue && node->isEdited() && !running);
    connect(revert, &QAction::triggered, this, [this, node] { m_model->revertValue(node); });
    QAction *copyPath = menu->addAction(tr("Copy setting path"));
    copyPath->setShortcut(copyPathKey());
    copyPath->setShortcutVisibleInContextMenu(true);
    connect(copyPath, &QAction::triggered, this, [node] { QGuiApplication::clipboard()->setText(node->path()); });
    QAction *copyValue = menu->addAction(tr("Copy value"));
    copyValue->setEnabled(isValue);
    connect(copyValue, &QAction::triggered, this, [node] { QGuiApplication::clipboard()->setText(node->value); });
    if (isValue)
        connect(menu->addAction(tr("Show &history...")), &QAction::triggered, this,
                [this, node] { emit historyRequested(node); });
    QAction *exported = menu->addAction(tr("E&xport..."));
    exported->setEnabled(!node->isInsideDeleted());
    connect(exported, &QAction::triggered, this, [this, node] { emit exportRequested({node}, QString()); });
    QAction *copied = menu->addAction(tr("Copy to other &instances..."));
    copied->setEnabled(!node->isInsideDeleted() && !running);
    connect(copied, &QAction::triggered, this, [this, node] { emit copyRequested({node}); });
    menu->addSeparator();
    if (node->deleted) {
        connect(menu->addAction(tr("Undo deletion")), &QAction::triggered, this,
                [this, node] { m_model->undoDeletion(node); });
    } else if (node->isInsideDeleted()) {
        menu->addAction(tr("Inside an entry marked for deletion"))->setEnabled(false);
    } else {
        const DeletionVerdict verdict = m_model->verdict(node);
        if (verdict.level == DeletionLevel::Never) {
            connect(menu->addAction(tr("Why can't this be deleted?")), &QAction::triggered, this,
                    [this, node] { m_deletion->explainRefusal(node); });
        } else {
            QAction *remove = menu->addAction(verdict.level == DeletionLevel::Warn ? tr("Delete this entry...")
                                                                                   : tr("Delete this entry"));
            remove->setToolTip(verdict.reason);
            remove->setEnabled(!running);
            connect(remove, &QAction::triggered, this, [this, node] { m_deletion->confirmAndQueueDeletion(node); });
        }
    }
    return menu;
}

void AllSettingsPage::showContextMenu(const QPoint &pos)
{
    const QModelIndex index = m_tree->indexAt(pos);
    XsdtNode *node = index.isValid() ? m_model->nodeFor(m_proxy->mapToSource(index)) : nullptr;
    if (!node)
        return;
    const BusyScope busy;
    QMenu *menu = buildContextMenu(node);
    menu->exec(m_tree->viewport()->mapToGlobal(pos));
    menu->deleteLater();
}

} // namespace pfw
