#pragma once

#include "schema/deletionpolicy.h"

#include <QAbstractItemModel>
#include <QHash>

#include <functional>
#include <vector>

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

    void setDocument(XsdtFile *file);
    XsdtFile *file() const { return m_file; }
    void setPolicy(const DeletionPolicy *policy) { m_policy = policy; }
    const DeletionPolicy *policy() const { return m_policy; }
    void setReadOnly(bool on);
    bool isReadOnly() const { return m_readOnly; }

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
    bool requestDeletion(XsdtNode *node, QString *whyNot = nullptr);
    void undoDeletion(XsdtNode *node);
    void revertAll();

    // Undo history of the pending changes: every accepted change is one step, and the changes
    // made between beginBatch and endBatch are one step together. Undo never writes the file.
    bool canUndo() const;
    bool canRedo() const;
    // What the next undo or redo does, e.g. "edit of Max processors".
    QString undoName() const;
    QString redoName() const;
    bool undo();
    bool redo();
    // Steps point into the tree: cleared whenever the tree is replaced or a save removes nodes.
    void clearHistory();
    void beginBatch();
    void endBatch();
    // Holds a batch open for its lifetime.
    class Batch final
    {
    public:
        explicit Batch(SettingsModel *model) : m_model(model) { m_model->beginBatch(); }
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
    void notifySubtree(const XsdtNode *node);
    void refreshAll();

    // A value as the views show it: line feeds as ⏎, blocks by their length, long texts cut.
    static QString displayText(const XsdtNode &node);
    // A value that is shown for reference only (not an editable type, or a compressed block).
    static bool isProtected(const XsdtNode &node);
    QString toolTip(const XsdtNode &node) const;

signals:
    void edited();
    void editRejected(const QString &reason);
    void historyChanged();

private:
    enum class ChangeKind : quint32 { Edit = 0, Revert = 1, Deletion = 2, Restore = 3, RevertAll = 4 };
    struct NodeChange
    {
        XsdtNode *node = nullptr;
        QString valueBefore;
        QString valueAfter;
        bool deletedBefore = false;
        bool deletedAfter = false;
    };
    struct ChangeStep
    {
        QString name;
        std::vector<NodeChange> changes;
        std::vector<std::function<void(bool)>> externals;
    };
    struct PendingStep
    {
        ChangeStep step;
        QList<ChangeKind> kinds;
        int externalCount = 0;
    };

    void record(ChangeKind kind, std::vector<NodeChange> changes, int count = 1);
    void addPending(PendingStep pending);
    void finishStep(PendingStep pending);
    void applyStep(const ChangeStep &step, bool redo);
    static QString stepName(ChangeKind kind, const XsdtNode *node, int count);

    int rowOf(const XsdtNode *node) const;
    void notifyChildren(const XsdtNode &node, const QModelIndex &index);

    XsdtFile *m_file = nullptr;
    const DeletionPolicy *m_policy = nullptr;
    bool m_readOnly = false;
    // Row numbers of items, filled a parent at a time: looking a node up among tens of
    // thousands of siblings on every parent() call would make views crawl.
    mutable QHash<const XsdtNode *, int> m_rows;
    std::vector<ChangeStep> m_history;
    size_t m_done = 0;
    int m_batchDepth = 0;
    PendingStep m_batch;
};

} // namespace pfw
