#pragma once

#include "model/importcommand.h"
#include "model/nodestatecommand.h"
#include "schema/deletionpolicy.h"

#include "schema/editrules.h"

#include <QAbstractItemModel>
#include <QHash>

#include <functional>
#include <optional>
#include <vector>

class QUndoCommand;
class QUndoStack;

namespace pfw {

class XsdtFile;
struct XsdtNode;

// The settings tree as a three-column item model, and the only writer of pending changes:
// every view edits, deletes and reverts through it and re-reads its nodes on edited().
class SettingsModel final : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column { KeyColumn = 0, ValueColumn = 1, TypeColumn = 2 };
    static constexpr int NodeRole = Qt::UserRole + 1;

    explicit SettingsModel(QObject *parent = nullptr);

    // A new tree clears the undo history; keepHistory is for taking the same tree away and
    // back (around a save that may fail).
    void setDocument(XsdtFile *file, bool keepHistory = false);
    XsdtFile *file() const { return m_file; }
    // Changes whenever the tree is taken away or replaced: code that kept a node across a dialog
    // compares it before touching the node.
    quint64 generation() const { return m_generation; }
    // Changes with every change the views are told of (an edit, an undo, a reset, a refresh):
    // what was counted over the tree at one revision still holds while it stays.
    quint64 revision() const { return m_revision; }
    void setPolicy(const DeletionPolicy *policy);
    const DeletionPolicy *policy() const { return m_policy; }
    // With a schema, values are held to its ranges, allowed values and read-only marks.
    void setSchema(const SettingsSchema *schema);
    const EditRules &rules() const { return m_rules; }
    void setReadOnly(bool on);
    bool isReadOnly() const { return m_readOnly; }
    // Text typed for a value while PixInsight ran, applied once editing is allowed again. It
    // counts as unsaved, so that no reload or other file takes the tree without asking; a new
    // tree drops it.
    void holdText(const XsdtNode *node, const QString &text);
    const QString *heldText(const XsdtNode *node) const;
    std::optional<QString> takeHeldText(const XsdtNode *node);
    int heldCount() const { return int(m_held.size()); }
    // Applies what is still held, through the same rules as an edit by hand.
    void applyHeldTexts();

    XsdtNode *nodeFor(const QModelIndex &index) const;
    QModelIndex indexFor(const XsdtNode *node, int column = KeyColumn) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    void revertValue(XsdtNode *node);
    // group names what the user queued it as (a Cleanup group, an unused module), for the
    // review to list it under; empty for an entry deleted on its own.
    bool requestDeletion(XsdtNode *node, QString *whyNot = nullptr, const QString &group = QString());
    QString deletionGroup(const XsdtNode *node) const { return m_deletionGroups.value(node); }
    void undoDeletion(XsdtNode *node);
    // Queues the values as resets to PixInsight's defaults, as one step; the caller chose them
    // (DefaultsReset). group names them together in the review. Returns how many were queued.
    int requestReset(const QList<XsdtNode *> &values, const QString &group = QString());
    // An import's changes, checked by the caller under the edit and deletion rules, as one step;
    // group names its deletions in the review. Returns how many changes were made.
    int applyImport(ImportChanges changes, const QString &group = QString());
    void revertAll();

    // Undo history of the pending changes, on a QUndoStack: every accepted change is one
    // command, and the changes made between beginBatch and endBatch one macro. The stack
    // belongs to the model's owner (the model makes its own until it is given one). Undo never
    // writes the file.
    void setUndoStack(QUndoStack *stack);
    QUndoStack *undoStack() const { return m_stack; }
    bool canUndo() const;
    bool canRedo() const;
    // What the next undo or redo does, e.g. "edit of Max processors".
    QString undoName() const;
    QString redoName() const;
    bool undo();
    bool redo();
    // Cleared whenever the tree is replaced or a save removes nodes.
    void clearHistory();
    void beginBatch();
    void endBatch();
    // Holds a batch open for its lifetime.
    class Batch final
    {
    public:
        explicit Batch(SettingsModel *model)
            : m_model(model)
        {
            m_model->beginBatch();
        }
        ~Batch() { m_model->endBatch(); }
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        SettingsModel *m_model;
    };
    // What a change kept outside the tree (a queued leftover file) does, for the step's name.
    enum class ExternalChange : quint32 { Queued = 0, Unqueued = 1, Reverted = 2 };
    // Makes such a change part of the current step: apply(true) redoes it, apply(false) undoes it.
    void recordExternal(ExternalChange change, int count, std::function<void(bool redo)> apply);
    DeletionVerdict verdict(const XsdtNode *node) const;
    bool isEditLocked(const XsdtNode *node) const;
    // Why a new value for this node would be refused, or nothing when it may be edited.
    QString editRefusal(const XsdtNode *node) const;
    void notifySubtree(const XsdtNode *node);
    void refreshAll();

    // A value that is shown for reference only (not an editable type, or a compressed block).
    static bool isProtected(const XsdtNode &node);
    QString toolTip(const XsdtNode &node) const;

    // For the undo commands: where a node sits, the node at such a place, and states put back.
    std::vector<int> pathOf(const XsdtNode *node) const;
    XsdtNode *nodeAt(const std::vector<int> &path) const;
    // attach: held entries put into the tree first; detach: entries in it taken out last.
    void applyStates(const std::vector<NodeState> &states, bool reset, std::vector<HeldNode> *attach = nullptr,
                     std::vector<HeldNode> *detach = nullptr);
    static QString labelOf(const XsdtNode *node);

signals:
    void edited();
    void editRejected(const QString &reason);
    void historyChanged();

private:
    enum class ChangeKind : quint32 {
        Edit = 0,
        Revert = 1,
        Deletion = 2,
        Restore = 3,
        RevertAll = 4,
        Reset = 5,
        Import = 6
    };

    void push(QUndoCommand *command, ChangeKind kind, int count = 1);
    // Undo or redo of one command, signalled as one step: one reset when it touches many nodes.
    void runStep(const QUndoCommand *command, bool undo);
    static QString stepName(ChangeKind kind, int count);

    int rowOf(const XsdtNode *node) const;
    // What is kept by node for an entry taken out of the tree (held text, its deletion group).
    void forgetSubtree(const XsdtNode *node);
    void notifyChildren(const XsdtNode &node, const QModelIndex &index);

    XsdtFile *m_file = nullptr;
    const DeletionPolicy *m_policy = nullptr;
    EditRules m_rules;
    bool m_readOnly = false;
    QHash<const XsdtNode *, QString> m_held;
    QHash<const XsdtNode *, QString> m_deletionGroups;
    quint64 m_generation = 0;
    quint64 m_revision = 0;
    // Row numbers of items, filled a parent at a time: looking a node up among tens of
    // thousands of siblings on every parent() call would make views crawl.
    mutable QHash<const XsdtNode *, int> m_rows;
    QUndoStack *m_stack = nullptr;
    int m_batchDepth = 0;
    bool m_macroOpen = false;
    QList<ChangeKind> m_batchKinds;
    int m_batchCount = 0;
    QString m_batchLastText;
    // While a whole step runs: per-node signals give way to one edited() (and maybe one reset).
    int m_stepDepth = 0;
    bool m_stepResets = false;
};

} // namespace pfw
