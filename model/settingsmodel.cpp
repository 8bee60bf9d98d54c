#include "model/settingsmodel.h"

#include "core/valuetypes.h"
#include "core/xsdtfile.h"
#include "schema/settingsschema.h"

#include <QBrush>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>

namespace pfw {

namespace {

// Undoing more nodes than this resets the model: one signal instead of thousands.
constexpr size_t kResetThreshold = 200;
const QColor kDeletedBackground(230, 60, 60, 60);
const QColor kEditedBackground(255, 190, 0, 70);
constexpr qsizetype kDisplayLength = 200;

} // namespace

SettingsModel::SettingsModel(QObject *parent)
    : QAbstractItemModel(parent)
{
}

void SettingsModel::setDocument(XsdtFile *file)
{
    beginResetModel();
    m_file = file;
    m_rows.clear();
    endResetModel();
    clearHistory();
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

QString SettingsModel::displayText(const XsdtNode &node)
{
    QString text = node.value;
    text.replace(u'\n', QChar(0x23CE));
    // A compressed block's text already describes it; counting its characters would not.
    if (node.type == u'B' && !node.compressedBlock)
        return tr("(%1 characters of encoded data)").arg(node.value.size());
    if (text.size() > kDisplayLength) {
        text.truncate(kDisplayLength);
        text += QChar(0x2026);
    }
    return text;
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
        tip += tr("\nMarked for deletion (%n value(s)); removed when you save.", nullptr, int(node.valueCount()));
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
            return isValue ? displayText(*node) : QVariant();
        default:
            if (node->deleted)
                return tr("Will be deleted");
            return isValue ? typeName(node->type) : tr("%n item(s)", nullptr, int(node->children.size()));
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
    case KeyColumn: return tr("Setting");
    case ValueColumn: return tr("Value");
    case TypeColumn: return tr("Type");
    default: return QVariant();
    }
}

Qt::ItemFlags SettingsModel::flags(const QModelIndex &index) const
{
    // The invisible root is no item.
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    const XsdtNode *node = nodeFor(index);
    if (node && index.column() == ValueColumn && !m_readOnly && node->isEditableValue() && !node->isInsideDeleted()
        && !isEditLocked(node))
        result |= Qt::ItemIsEditable;
    return result;
}

bool SettingsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    XsdtNode *node = index.isValid() ? nodeFor(index) : nullptr;
    if (role != Qt::EditRole || index.column() != ValueColumn || m_readOnly || !node || !node->isEditableValue()
        || node->isInsideDeleted())
        return false;
    if (isEditLocked(node)) {
        emit editRejected(tr("%1 is part of the module registry or version records and is locked against editing.")
                              .arg(node->key));
        return false;
    }
    QString normalized, error;
    if (!normalizeValue(node->type, value.toString(), &normalized, &error)) {
        emit editRejected(QStringLiteral("%1: %2").arg(node->key, error));
        return false;
    }
    if (normalized == node->value)
        return false;
    const QString before = node->value;
    node->value = normalized;
    emit dataChanged(this->index(index.row(), KeyColumn, index.parent()),
                     this->index(index.row(), TypeColumn, index.parent()));
    record(ChangeKind::Edit, {{node, before, normalized, node->deleted, node->deleted}});
    emit edited();
    return true;
}

void SettingsModel::revertValue(XsdtNode *node)
{
    if (!node || !node->isEdited())
        return;
    const QString before = node->value;
    node->value = node->savedValue;
    emit dataChanged(indexFor(node, KeyColumn), indexFor(node, ValueColumn));
    record(ChangeKind::Revert, {{node, before, node->value, node->deleted, node->deleted}});
    emit edited();
}

bool SettingsModel::requestDeletion(XsdtNode *node, QString *whyNot)
{
    const auto refuse = [whyNot](const QString &reason) {
        if (whyNot)
            *whyNot = reason;
        return false;
    };
    if (!node || !node->parent)
        return refuse(tr("Nothing to delete."));
    if (m_readOnly)
        return refuse(tr("PixInsight is running; nothing can be changed."));
    if (node->isInsideDeleted())
        return true;
    const DeletionVerdict verdict = this->verdict(node);
    if (verdict.level == DeletionLevel::Never)
        return refuse(verdict.reason);
    node->deleted = true;
    notifySubtree(node);
    record(ChangeKind::Deletion, {{node, node->value, node->value, false, true}});
    emit edited();
    return true;
}

void SettingsModel::undoDeletion(XsdtNode *node)
{
    if (!node || !node->deleted)
        return;
    node->deleted = false;
    notifySubtree(node);
    record(ChangeKind::Restore, {{node, node->value, node->value, true, false}});
    emit edited();
}

void SettingsModel::revertAll()
{
    if (!m_file)
        return;
    std::vector<NodeChange> changes;
    for (XsdtNode *node : m_file->root.editedValues())
        changes.push_back({node, node->value, node->savedValue, node->deleted, node->deleted});
    for (XsdtNode *node : m_file->root.pendingDeletions())
        changes.push_back({node, node->value, node->value, true, false});
    beginResetModel();
    m_file->root.revertAll();
    endResetModel();
    if (!changes.empty())
        record(ChangeKind::RevertAll, std::move(changes));
    emit edited();
}

DeletionVerdict SettingsModel::verdict(const XsdtNode *node) const
{
    return m_policy ? m_policy->verdict(node) : DeletionVerdict{DeletionLevel::Never, QString()};
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

QString SettingsModel::stepName(ChangeKind kind, const XsdtNode *node, int count)
{
    if (count == 1 && node) {
        const QString label = SettingsSchema::humanizeKey(node->key);
        switch (kind) {
        case ChangeKind::Edit: return tr("edit of %1").arg(label);
        case ChangeKind::Revert: return tr("revert of %1").arg(label);
        case ChangeKind::Deletion: return tr("deletion of %1").arg(label);
        case ChangeKind::Restore: return tr("restore of %1").arg(label);
        case ChangeKind::RevertAll: break;
        }
    }
    const bool one = count == 1;
    switch (kind) {
    case ChangeKind::Edit: return one ? tr("edit of 1 value") : tr("edit of %1 values").arg(count);
    case ChangeKind::Revert: return one ? tr("revert of 1 value") : tr("revert of %1 values").arg(count);
    case ChangeKind::Deletion: return one ? tr("deletion of 1 entry") : tr("deletion of %1 entries").arg(count);
    case ChangeKind::Restore: return one ? tr("restore of 1 entry") : tr("restore of %1 entries").arg(count);
    case ChangeKind::RevertAll: break;
    }
    return tr("revert of all changes");
}

void SettingsModel::record(ChangeKind kind, std::vector<NodeChange> changes, int count)
{
    PendingStep pending;
    pending.kinds.append(kind);
    pending.step.name = stepName(kind, changes.size() == 1 ? changes.front().node : nullptr,
                                 kind == ChangeKind::RevertAll ? 0 : count);
    pending.step.changes = std::move(changes);
    addPending(std::move(pending));
}

void SettingsModel::recordExternal(ExternalChange change, int count, std::function<void(bool)> apply)
{
    const ChangeKind kind = change == ExternalChange::Queued ? ChangeKind::Deletion
        : change == ExternalChange::Unqueued                 ? ChangeKind::Restore
                                                             : ChangeKind::RevertAll;
    PendingStep pending;
    pending.kinds.append(kind);
    pending.externalCount = count;
    pending.step.name = stepName(kind, nullptr, kind == ChangeKind::RevertAll ? 0 : count);
    pending.step.externals.push_back(std::move(apply));
    addPending(std::move(pending));
}

// A step of its own, or part of the open batch.
void SettingsModel::addPending(PendingStep pending)
{
    if (m_batchDepth == 0) {
        finishStep(std::move(pending));
        return;
    }
    m_batch.kinds += pending.kinds;
    m_batch.step.name = pending.step.name;
    m_batch.externalCount += pending.externalCount;
    for (NodeChange &change : pending.step.changes)
        m_batch.step.changes.push_back(std::move(change));
    for (auto &external : pending.step.externals)
        m_batch.step.externals.push_back(std::move(external));
}

void SettingsModel::beginBatch()
{
    if (m_batchDepth++ == 0)
        m_batch = PendingStep();
}

void SettingsModel::endBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return;
    PendingStep pending = std::move(m_batch);
    m_batch = PendingStep();
    if (pending.kinds.isEmpty())
        return;
    // One change keeps its own name; several of one kind are counted; a mix is just changes.
    if (pending.kinds.size() > 1) {
        const ChangeKind first = pending.kinds.constFirst();
        const bool same = std::all_of(pending.kinds.cbegin(), pending.kinds.cend(),
                                      [first](ChangeKind kind) { return kind == first; });
        const int count = int(pending.step.changes.size()) + pending.externalCount;
        if (pending.kinds.contains(ChangeKind::RevertAll))
            pending.step.name = stepName(ChangeKind::RevertAll, nullptr, 0);
        else if (same)
            pending.step.name = stepName(first, nullptr, count);
        else
            pending.step.name = tr("%1 changes").arg(pending.kinds.size());
    }
    finishStep(std::move(pending));
}

void SettingsModel::finishStep(PendingStep pending)
{
    m_history.resize(m_done);
    m_history.push_back(std::move(pending.step));
    m_done = m_history.size();
    emit historyChanged();
}

bool SettingsModel::canUndo() const
{
    return !m_readOnly && m_file && m_done > 0;
}

bool SettingsModel::canRedo() const
{
    return !m_readOnly && m_file && m_done < m_history.size();
}

QString SettingsModel::undoName() const
{
    return m_done > 0 ? m_history[m_done - 1].name : QString();
}

QString SettingsModel::redoName() const
{
    return m_done < m_history.size() ? m_history[m_done].name : QString();
}

bool SettingsModel::undo()
{
    if (!canUndo() || m_batchDepth > 0)
        return false;
    --m_done;
    applyStep(m_history[m_done], false);
    return true;
}

bool SettingsModel::redo()
{
    if (!canRedo() || m_batchDepth > 0)
        return false;
    // Counted first: the signals of the step already report the new position.
    ++m_done;
    applyStep(m_history[m_done - 1], true);
    return true;
}

void SettingsModel::clearHistory()
{
    const bool had = !m_history.empty();
    m_history.clear();
    m_done = 0;
    if (had)
        emit historyChanged();
}

// The same notifications as the change itself, so every view follows.
void SettingsModel::applyStep(const ChangeStep &step, bool redo)
{
    const bool reset = step.changes.size() > kResetThreshold;
    if (reset)
        beginResetModel();
    const auto apply = [this, redo, reset](const NodeChange &change) {
        XsdtNode *node = change.node;
        const bool deletedNow = node->deleted;
        node->value = redo ? change.valueAfter : change.valueBefore;
        node->deleted = redo ? change.deletedAfter : change.deletedBefore;
        if (reset)
            return;
        if (deletedNow != node->deleted)
            notifySubtree(node);
        else
            emit dataChanged(indexFor(node, KeyColumn), indexFor(node, TypeColumn));
    };
    // Undone last change first: a node changed twice in one step ends as it started.
    if (redo)
        std::for_each(step.changes.cbegin(), step.changes.cend(), apply);
    else
        std::for_each(step.changes.crbegin(), step.changes.crend(), apply);
    if (reset)
        endResetModel();
    for (const auto &external : step.externals)
        external(redo);
    emit edited();
    emit historyChanged();
}

void SettingsModel::refreshAll()
{
    if (m_file)
        notifyChildren(m_file->root, QModelIndex());
}

} // namespace pfw
