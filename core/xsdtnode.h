#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace pfw {

// One element of a settings document: an item (group) or a value. Edits and queued deletions
// live in the tree itself until a save commits them or they are reverted.
struct XsdtNode final
{
    enum Kind : quint32 { Item = 0, Value = 1 };

    // The small fields side by side: a large file has hundreds of thousands of nodes.
    Kind kind = Item;
    QChar type;
    bool textForm = false;
    bool selfClosing = false;
    bool deleted = false;
    // Brought in by an import: a revert takes it out again, a commit keeps it.
    bool added = false;
    // Queued for deletion so that PixInsight writes its default again: a preference the
    // deletion rules protect from being removed by mistake, removed on purpose.
    bool resetToDefault = false;
    QString key;
    QString value;
    QString savedValue;
    // A value read with a "c" attribute, even an empty one, is written back as this block, never
    // as text. Few nodes have one: kept apart, a node is smaller.
    struct CompressedBlock
    {
        QString compression;
        // Exactly as found. The reader takes nothing but ASCII there, and blocks are much of a
        // large file: kept as bytes, half the memory of text.
        QByteArray data;
    };
    std::unique_ptr<CompressedBlock> block;
    XsdtNode *parent = nullptr;
    std::vector<std::unique_ptr<XsdtNode>> children;

    XsdtNode() = default;
    ~XsdtNode();
    XsdtNode(const XsdtNode &) = delete;
    XsdtNode &operator=(const XsdtNode &) = delete;

    // Takes ownership and sets the child's parent.
    XsdtNode *appendChild(std::unique_ptr<XsdtNode> child);
    // Destroys all children.
    void clearChildren();
    // The node's own fields, block included; no children, no parent.
    std::unique_ptr<XsdtNode> shallowCopy() const;

    QString path() const;
    XsdtNode *childByKey(QStringView childKey) const;
    XsdtNode *findPath(QStringView settingPath) const;
    int indexInParent() const;
    qsizetype valueCount() const;
    QList<XsdtNode *> valueNodes() const;
    bool isInsideDeleted() const;
    bool isEditableValue() const;
    bool isEdited() const { return kind == Value && value != savedValue; }

    // Pending-change operations, meant to be called on the root.
    QList<XsdtNode *> pendingDeletions() const;
    QList<XsdtNode *> editedValues() const;
    // The outermost added nodes, not queued for deletion.
    QList<XsdtNode *> addedNodes() const;
    qsizetype pendingChangeCount() const;
    void revertAll();
    void commitChanges();
};

// Compares the children of a (ignoring deleted ones) with those of b. On the first difference
// returns false and, when asked, the setting path where it was found.
[[nodiscard]] bool sameTree(const XsdtNode &a, const XsdtNode &b, QString *differencePath = nullptr);

} // namespace pfw
