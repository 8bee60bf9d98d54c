#include "model/settingsmodel.h"

#include "core/displaytext.h"
#include "core/valuetypes.h"
#include "core/xsdtfile.h"
#include "model/deletioncommand.h"
#include "model/queuedfilescommand.h"
#include "model/resetcommand.h"
#include "model/revertallcommand.h"
#include "model/revertvaluecommand.h"
#include "model/valueeditcommand.h"
#include "schema/settingsschema.h"

#include <QBrush>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QSet>
#include <QUndoStack>

#include <algorithm>
#include <utility>

namespace pfw {

namespace {

// Undoing more nodes than this resets the model: one signal instead of thousands.
constexpr int kResetThreshold = 200;

int touchedNodes(const QUndoCommand *command)
{
    if (!command)
        return 0;
    if (const auto *states = dynamic_cast<const NodeStateCommand *>(command))
        return states->nodeCount();
    int count = 0;
    for (int i = 0; i < command->childCount(); ++i)
        count += touchedNodes(command->child(i));
    return count;
}
const QColor kDeletedBackground(230, 60, 60, 60);
const QColor kEditedBackground(255, 190, 0, 70);
constexpr qsizetype kDisplayLength = 200;

} // namespace

SettingsModel::SettingsModel(QObject *parent)
    : QAbstractItemModel(parent)
{
    setUndoStack(new QUndoStack(this));
    const auto changed = [this] { ++m_revision; };
    connect(this, &SettingsModel::edited, this, changed);
    connect(this, &QAbstractItemModel::modelReset, this, changed);
    connect(this, &QAbstractItemModel::dataChanged, this, changed);
}

void SettingsModel::setUndoStack(QUndoStack *stack)
{
    if (m_stack)
        disconnect(m_stack, nullptr, this, nullptr);
    if (m_stack && m_stack->parent() == this)
        m_stack->deleteLater();
    m_stack = stack;
    connect(m_stack, &QUndoStack::indexChanged, this, &SettingsModel::historyChanged);
}

void SettingsModel::setDocument(XsdtFile *file, bool keepHistory)
{
    beginResetModel();
    m_file = file;
    m_rows.clear();
    ++m_generation;
    m_deletionGroups.clear();
    endResetModel();
    if (!keepHistory) {
        clearHistory();
        m_held.clear();
    }
}

void SettingsModel::holdText(const XsdtNode *node, const QString &text)
{
    if (node && m_readOnly)
        m_held.insert(node, text);
}

const QString *SettingsModel::heldText(const XsdtNode *node) const
{
    const auto it = m_held.constFind(node);
    return it == m_held.cend() ? nullptr : &it.value();
}

std::optional<QString> SettingsModel::takeHeldText(const XsdtNode *node)
{
    const auto it = m_held.find(node);
    if (it == m_held.end())
        return std::nullopt;
    QString text = it.value();
    m_held.erase(it);
    return text;
}

void SettingsModel::applyHeldTexts()
{
    if (m_readOnly || m_held.isEmpty())
        return;
    const QHash<const XsdtNode *, QString> held = std::exchange(m_held, {});
    for (auto it = held.cbegin(); it != held.cend(); ++it) {
        auto *node = const_cast<XsdtNode *>(it.key());
        if (node->value != it.value())
            setData(indexFor(node, ValueColumn), it.value());
    }
}

void SettingsModel::setReadOnly(bool on)
{
    if (m_readOnly == on)
        return;
    m_readOnly = on;
    refreshAll();
    emit historyChanged();
}

XsdtNode *SettingsModel::nodeFor(const QModelIndex &index) const
{
    if (!index.isValid())
        return m_file ? &m_file->root : nullptr;
    return static_cast<XsdtNode *>(index.internalPointer());
}

int SettingsModel::rowOf(const XsdtNode *node) const
{
    const auto found = m_rows.constFind(node);
    if (found != m_rows.constEnd())
        return *found;
    const auto &siblings = node->parent->children;
    int result = 0;
    for (int row = 0; row < int(siblings.size()); ++row) {
        const XsdtNode *sibling = siblings[size_t(row)].get();
        if (sibling->kind == XsdtNode::Item)
            m_rows.insert(sibling, row);
        if (sibling == node)
            result = row;
    }
    return result;
}

QModelIndex SettingsModel::indexFor(const XsdtNode *node, int column) const
{
    if (!node || !node->parent)
        return QModelIndex();
    return createIndex(rowOf(node), column, const_cast<XsdtNode *>(node));
}

QModelIndex SettingsModel::index(int row, int column, const QModelIndex &parent) const
{
    const XsdtNode *parentNode = nodeFor(parent);
    if (!parentNode || row < 0 || column < 0 || column >= 3 || size_t(row) >= parentNode->children.size()
        || (parent.isValid() && parent.column() != 0))
        return QModelIndex();
    return createIndex(row, column, parentNode->children[size_t(row)].get());
}

QModelIndex SettingsModel::parent(const QModelIndex &child) const
{
    const XsdtNode *node = child.isValid() ? nodeFor(child) : nullptr;
    if (!node || !node->parent || !node->parent->parent)
        return QModelIndex();
    return indexFor(node->parent, KeyColumn);
}

int SettingsModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const XsdtNode *node = nodeFor(parent);
    return node ? int(node->children.size()) : 0;
}

int SettingsModel::columnCount(const QModelIndex &) const
{
    return 3;
}

bool SettingsModel::isProtected(const XsdtNode &node)
{
    return node.kind == XsdtNode::Value && !node.isEditableValue();
}

QString SettingsModel::toolTip(const XsdtNode &node) const
{
    QString tip = node.path();
    if (node.kind == XsdtNode::Value) {
        tip += u'\n' + typeName(node.type);
        if (isProtected(node))
            tip += tr(" - protected, shown for reference only");
        if (node.isEdited())
            tip += tr("\nOriginal value: %1").arg(node.savedValue.left(kDisplayLength));
    }
    if (node.deleted) {
        tip += tr("\nMarked for deletion (%n values); removed when you save.", nullptr, int(node.valueCount()));
    } else if (node.isInsideDeleted()) {
        tip += tr("\nInside an entry marked for deletion.");
    } else {
        const DeletionVerdict verdict = this->verdict(&node);
        if (verdict.level != DeletionLevel::Never)
            tip += tr("\nCan be deleted: %1").arg(verdict.reason);
    }
    return tip;
}

QVariant SettingsModel::data(const QModelIndex &index, int role) const
{
    const XsdtNode *node = index.isValid() ? nodeFor(index) : nullptr;
    if (!node)
        return QVariant();
    const bool isValue = node->kind == XsdtNode::Value;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case KeyColumn:
            return node->key;
        case ValueColumn:
            return isValue ? DisplayText::value(*node, DisplayText::kLineLength) : QVariant();
        default:
            if (node->deleted)
                return tr("Will be deleted");
            return isValue ? typeName(node->type) : tr("%n items", nullptr, int(node->children.size()));
        }
    case Qt::EditRole:
        return index.column() == ValueColumn && isValue ? QVariant(node->value) : QVariant();
    case Qt::ToolTipRole:
        return toolTip(*node);
    case Qt::FontRole: {
        const bool inside = node->isInsideDeleted();
        if (node->isEdited() || node->deleted) {
            QFont font = QGuiApplication::font();
            font.setWeight(node->isEdited() ? QFont::Bold : QFont::Normal);
            font.setStrikeOut(inside);
            return font;
        }
        if (inside) {
            QFont font = QGuiApplication::font();
            font.setStrikeOut(true);
            return font;
        }
        return QVariant();
    }
    case Qt::BackgroundRole:
        if (node->deleted)
            return QBrush(kDeletedBackground);
        if (node->isEdited())
            return QBrush(kEditedBackground);
        return QVariant();
    case Qt::ForegroundRole:
        if (node->isInsideDeleted() || isProtected(*node))
            return QBrush(QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text));
        return QVariant();
    case NodeRole:
        return QVariant::fromValue(static_cast<void *>(const_cast<XsdtNode *>(node)));
    default:
        return QVariant();
    }
}

QVariant SettingsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case KeyColumn:
        return tr("Setting");
    case ValueColumn:
        return tr("Value");
    case TypeColumn:
        return tr("Type");
    default:
        return QVariant();
    }
}

Qt::ItemFlags SettingsModel::flags(const QModelIndex &index) const
{
    // The invisible root is no item.
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    const XsdtNode *node = nodeFor(index);
    // Said so, a view expanding everything does not also keep each value as expanded: a filter
    // keystroke after "Expand all" would have to let go of every one of them.
    if (node && node->kind == XsdtNode::Value)
        result |= Qt::ItemNeverHasChildren;
    if (node && index.column() == ValueColumn && !m_readOnly && m_rules.mayEdit(*node))
        result |= Qt::ItemIsEditable;
    return result;
}

bool SettingsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    XsdtNode *node = index.isValid() ? nodeFor(index) : nullptr;
    if (role != Qt::EditRole || index.column() != ValueColumn || m_readOnly || !node)
        return false;
    switch (m_rules.refusal(*node)) {
    case EditRules::Refusal::None:
        break;
    case EditRules::Refusal::Locked:
    case EditRules::Refusal::ReadOnly:
        emit editRejected(editRefusal(node));
        return false;
    default:
        return false;
    }
    QString normalized, error;
    if (!m_rules.normalize(*node, value.toString(), &normalized, &error)) {
        emit editRejected(error);
        return false;
    }
    if (normalized == node->value)
        return false;
    push(new ValueEditCommand(this, node, normalized), ChangeKind::Edit);
    return true;
}

QString SettingsModel::editRefusal(const XsdtNode *node) const
{
    if (m_readOnly)
        return tr("PixInsight is running; nothing can be changed.");
    if (!node || node->kind != XsdtNode::Value)
        return tr("This setting is not in the open file.");
    if (node->isInsideDeleted())
        return tr("%1 is marked for deletion; undo the deletion first.").arg(node->key);
    if (isProtected(*node))
        return tr("Protected value type: shown for reference only.");
    if (isEditLocked(node))
        return tr("%1 is part of the module registry or version records and is locked against editing.").arg(node->key);
    if (m_rules.refusal(*node) == EditRules::Refusal::ReadOnly)
        return tr("%1 is documented by PixInsight as read-only or write-only.").arg(node->key);
    return QString();
}

void SettingsModel::revertValue(XsdtNode *node)
{
    // A menu opened before PixInsight started may still offer it; undo is off while it runs.
    if (!node || !node->isEdited() || m_readOnly)
        return;
    push(new RevertValueCommand(this, node), ChangeKind::Revert);
}

bool SettingsModel::requestDeletion(XsdtNode *node, QString *whyNot, const QString &group)
{
    const auto refuse = [whyNot](const QString &reason) {
        if (whyNot)
            *whyNot = reason;
        return false;
    };
    if (!node || !node->parent)
        return refuse(tr("Nothing to delete."));
    if (m_readOnly)
        return refuse(editRefusal(node));
    if (node->isInsideDeleted())
        return true;
    const DeletionVerdict verdict = this->verdict(node);
    if (verdict.level == DeletionLevel::Never)
        return refuse(verdict.reason);
    if (group.isEmpty())
        m_deletionGroups.remove(node);
    else
        m_deletionGroups.insert(node, group);
    push(new DeletionCommand(this, node, true), ChangeKind::Deletion);
    return true;
}

void SettingsModel::undoDeletion(XsdtNode *node)
{
    if (!node || !node->deleted || m_readOnly)
        return;
    push(new DeletionCommand(this, node, false), ChangeKind::Restore);
}

int SettingsModel::requestReset(const QList<XsdtNode *> &values, const QString &group)
{
    if (m_readOnly || !m_file)
        return 0;
    QList<XsdtNode *> queued;
    QSet<const XsdtNode *> seen;
    for (XsdtNode *value : values) {
        if (value && value->parent && !value->isInsideDeleted() && !seen.contains(value)) {
            seen.insert(value);
            queued << value;
        }
    }
    if (queued.isEmpty())
        return 0;
    for (const XsdtNode *value : std::as_const(queued)) {
        if (group.isEmpty())
            m_deletionGroups.remove(value);
        else
            m_deletionGroups.insert(value, group);
    }
    push(new ResetCommand(this, queued), ChangeKind::Reset, int(queued.size()));
    return int(queued.size());
}

int SettingsModel::applyImport(ImportChanges changes, const QString &group)
{
    if (m_readOnly || !m_file)
        return 0;
    const auto usable = [](const XsdtNode *node) { return node && node->parent && !node->isInsideDeleted(); };
    changes.edits.removeIf([&usable](const auto &edit) { return !usable(edit.first) || edit.first->deleted; });
    changes.deletions.removeIf([&usable](const XsdtNode *node) { return !usable(node) || node->deleted; });
    // Only whole added entries, once each.
    changes.withdrawals.removeIf([](const XsdtNode *node) {
        return !node || !node->added || !node->parent || node->parent->added || node->isInsideDeleted();
    });
    std::sort(changes.withdrawals.begin(), changes.withdrawals.end());
    changes.withdrawals.erase(std::unique(changes.withdrawals.begin(), changes.withdrawals.end()),
                              changes.withdrawals.end());
    changes.additions.erase(std::remove_if(changes.additions.begin(), changes.additions.end(),
                                           [](const auto &addition) {
                                               return !addition.first || !addition.second
                                                   || addition.first->kind != XsdtNode::Item
                                                   || addition.first->isInsideDeleted();
                                           }),
                            changes.additions.end());
    if (changes.isEmpty())
        return 0;
    for (const XsdtNode *node : std::as_const(changes.deletions)) {
        if (group.isEmpty())
            m_deletionGroups.remove(node);
        else
            m_deletionGroups.insert(node, group);
    }
    const int count = changes.size();
    const ChangeKind kind = count == changes.withdrawals.size() ? ChangeKind::Revert : ChangeKind::Import;
    push(new ImportCommand(this, std::move(changes)), kind, count);
    return count;
}

void SettingsModel::revertAll()
{
    if (!m_file)
        return;
    auto *command = new RevertAllCommand(this, m_file->root);
    if (command->isEmpty()) {
        delete command;
        emit edited();
        return;
    }
    push(command, ChangeKind::RevertAll, 0);
}

std::vector<int> SettingsModel::pathOf(const XsdtNode *node) const
{
    std::vector<int> path;
    for (; node && node->parent; node = node->parent)
        path.push_back(rowOf(node));
    std::reverse(path.begin(), path.end());
    return path;
}

XsdtNode *SettingsModel::nodeAt(const std::vector<int> &path) const
{
    XsdtNode *node = m_file ? &m_file->root : nullptr;
    for (const int row : path) {
        if (!node || row < 0 || size_t(row) >= node->children.size())
            return nullptr;
        node = node->children[size_t(row)].get();
    }
    return node;
}

QString SettingsModel::labelOf(const XsdtNode *node)
{
    return node ? SettingsSchema::humanizeKey(node->key) : QString();
}

// The same notifications as a change made by hand, so every view follows.
void SettingsModel::applyStates(const std::vector<NodeState> &states, bool reset, std::vector<HeldNode> *attach,
                                std::vector<HeldNode> *detach)
{
    if (!m_file)
        return;
    const bool resetting = m_stepResets || reset || states.size() > size_t(kResetThreshold);
    const bool ownReset = resetting && !m_stepResets;
    if (ownReset)
        beginResetModel();
    if (attach) {
        for (HeldNode &held : *attach) {
            XsdtNode *parent = nodeAt(held.parentPath);
            if (!parent || !held.node || held.row < 0 || size_t(held.row) > parent->children.size())
                continue;
            held.node->parent = parent;
            parent->children.insert(parent->children.begin() + held.row, std::move(held.node));
        }
    }
    for (const NodeState &state : states) {
        XsdtNode *node = nodeAt(state.path);
        if (!node)
            continue;
        const bool wasDeleted = node->deleted;
        node->value = state.value;
        node->deleted = state.deleted;
        node->resetToDefault = state.reset;
        if (resetting)
            continue;
        if (wasDeleted != node->deleted)
            notifySubtree(node);
        else
            emit dataChanged(indexFor(node, KeyColumn), indexFor(node, TypeColumn));
    }
    if (detach) {
        // From the last, so that the rows of the ones before still hold.
        for (auto it = detach->rbegin(); it != detach->rend(); ++it) {
            XsdtNode *parent = nodeAt(it->parentPath);
            if (!parent || it->row < 0 || size_t(it->row) >= parent->children.size())
                continue;
            it->node = std::move(parent->children[size_t(it->row)]);
            parent->children.erase(parent->children.begin() + it->row);
            it->node->parent = nullptr;
            forgetSubtree(it->node.get());
        }
    }
    if (attach || detach)
        m_rows.clear();
    if (ownReset)
        endResetModel();
    if (m_stepDepth == 0)
        emit edited();
}

void SettingsModel::forgetSubtree(const XsdtNode *node)
{
    const auto inside = [node](const XsdtNode *other) {
        for (; other; other = other->parent) {
            if (other == node)
                return true;
        }
        return false;
    };
    for (auto it = m_held.begin(); it != m_held.end();)
        it = inside(it.key()) ? m_held.erase(it) : std::next(it);
    for (auto it = m_deletionGroups.begin(); it != m_deletionGroups.end();)
        it = inside(it.key()) ? m_deletionGroups.erase(it) : std::next(it);
}

DeletionVerdict SettingsModel::verdict(const XsdtNode *node) const
{
    return m_policy ? m_policy->verdict(node) : DeletionVerdict{DeletionLevel::Never, QString()};
}

void SettingsModel::setPolicy(const DeletionPolicy *policy)
{
    m_policy = policy;
    m_rules = EditRules(m_rules.schema(), policy);
}

void SettingsModel::setSchema(const SettingsSchema *schema)
{
    m_rules = EditRules(schema, m_policy);
}

bool SettingsModel::isEditLocked(const XsdtNode *node) const
{
    return m_policy && m_policy->isEditLocked(node);
}

void SettingsModel::notifySubtree(const XsdtNode *node)
{
    if (!node)
        return;
    QModelIndex index;
    if (node->parent) {
        index = indexFor(node, KeyColumn);
        emit dataChanged(index, this->index(index.row(), TypeColumn, index.parent()));
    }
    notifyChildren(*node, index);
}

// Walks down with the indexes in hand, so no row is ever looked up.
void SettingsModel::notifyChildren(const XsdtNode &node, const QModelIndex &index)
{
    const int count = int(node.children.size());
    if (count == 0)
        return;
    emit dataChanged(this->index(0, KeyColumn, index), this->index(count - 1, TypeColumn, index));
    for (int row = 0; row < count; ++row) {
        const XsdtNode &child = *node.children[size_t(row)];
        if (!child.children.empty())
            notifyChildren(child, createIndex(row, KeyColumn, const_cast<XsdtNode *>(&child)));
    }
}

QString SettingsModel::stepName(ChangeKind kind, int count)
{
    // One change of a node is named by its command ("edit of Max processors").
    const bool one = count == 1;
    switch (kind) {
    case ChangeKind::Edit:
        return one ? tr("edit of 1 value") : tr("edit of %1 values").arg(count);
    case ChangeKind::Revert:
        return one ? tr("revert of 1 value") : tr("revert of %1 values").arg(count);
    case ChangeKind::Deletion:
        return one ? tr("deletion of 1 entry") : tr("deletion of %1 entries").arg(count);
    case ChangeKind::Restore:
        return one ? tr("restore of 1 entry") : tr("restore of %1 entries").arg(count);
    case ChangeKind::Reset:
        return one ? tr("reset of 1 value") : tr("reset of %1 values").arg(count);
    case ChangeKind::Import:
        return tr("import of %n changes", nullptr, count);
    case ChangeKind::RevertAll:
        break;
    }
    return tr("revert of all changes");
}

// Pushing runs the command's redo, which makes the change; inside a batch the command joins
// the open macro.
void SettingsModel::push(QUndoCommand *command, ChangeKind kind, int count)
{
    if (m_batchDepth > 0) {
        if (!m_macroOpen) {
            // Opened with the first change only, so that a batch that changes nothing leaves no step.
            m_stack->beginMacro(QString());
            m_macroOpen = true;
            m_batchKinds.clear();
            m_batchCount = 0;
        }
        m_batchKinds.append(kind);
        m_batchCount += count;
        m_batchLastText = command->text();
    }
    m_stack->push(command);
}

void SettingsModel::recordExternal(ExternalChange change, int count, std::function<void(bool)> apply)
{
    const ChangeKind kind = change == ExternalChange::Queued ? ChangeKind::Deletion
        : change == ExternalChange::Unqueued                 ? ChangeKind::Restore
                                                             : ChangeKind::RevertAll;
    push(new QueuedFilesCommand(stepName(kind, kind == ChangeKind::RevertAll ? 0 : count), std::move(apply)), kind,
         count);
}

void SettingsModel::beginBatch()
{
    ++m_batchDepth;
}

void SettingsModel::endBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0 || !m_macroOpen)
        return;
    m_macroOpen = false;
    // One change keeps its own name; several of one kind are counted; a mix is just changes.
    QString name = m_batchLastText;
    if (m_batchKinds.size() > 1) {
        const ChangeKind first = m_batchKinds.constFirst();
        const bool same = std::all_of(m_batchKinds.cbegin(), m_batchKinds.cend(),
                                      [first](ChangeKind kind) { return kind == first; });
        if (m_batchKinds.contains(ChangeKind::RevertAll))
            name = stepName(ChangeKind::RevertAll, 0);
        else if (same)
            name = stepName(first, m_batchCount);
        else
            name = tr("%1 changes").arg(m_batchKinds.size());
    }
    // The open macro is the stack's last command; its name is known only now.
    const_cast<QUndoCommand *>(m_stack->command(m_stack->count() - 1))->setText(name);
    m_stack->endMacro();
}

bool SettingsModel::canUndo() const
{
    return !m_readOnly && m_file && m_batchDepth == 0 && m_stack->canUndo();
}

bool SettingsModel::canRedo() const
{
    return !m_readOnly && m_file && m_batchDepth == 0 && m_stack->canRedo();
}

QString SettingsModel::undoName() const
{
    return m_stack->canUndo() ? m_stack->undoText() : QString();
}

QString SettingsModel::redoName() const
{
    return m_stack->canRedo() ? m_stack->redoText() : QString();
}

bool SettingsModel::undo()
{
    if (!canUndo())
        return false;
    runStep(m_stack->command(m_stack->index() - 1), true);
    return true;
}

bool SettingsModel::redo()
{
    if (!canRedo())
        return false;
    runStep(m_stack->command(m_stack->index()), false);
    return true;
}

void SettingsModel::runStep(const QUndoCommand *command, bool undo)
{
    const bool reset = touchedNodes(command) > kResetThreshold;
    if (reset)
        beginResetModel();
    ++m_stepDepth;
    m_stepResets = reset;
    if (undo)
        m_stack->undo();
    else
        m_stack->redo();
    m_stepResets = false;
    --m_stepDepth;
    if (reset)
        endResetModel();
    emit edited();
}

void SettingsModel::clearHistory()
{
    const bool had = m_stack->count() > 0;
    m_stack->clear();
    if (had)
        emit historyChanged();
}

void SettingsModel::refreshAll()
{
    ++m_revision;
    if (m_file)
        notifyChildren(m_file->root, QModelIndex());
}

} // namespace pfw
