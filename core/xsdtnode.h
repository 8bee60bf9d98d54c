#pragma once

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

    Kind kind = Item;
    QString key;
    QChar type;
    QString value;
    QString savedValue;
    bool textForm = false;
    QString compression;
    QString blockData;
    // Read with a "c" attribute, even an empty one: written back as that block, never as text.
    bool compressedBlock = false;
    bool selfClosing = false;
    bool deleted = false;
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
    qsizetype pendingChangeCount() const;
    void revertAll();
    void commitChanges();
};

// Compares the children of a (ignoring deleted ones) with those of b. On the first difference
// returns false and, when asked, the setting path where it was found.
[[nodiscard]] bool sameTree(const XsdtNode &a, const XsdtNode &b, QString *differencePath = nullptr);

} // namespace pfw
