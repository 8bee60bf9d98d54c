#include "core/xsdtnode.h"

#include <QStringList>

#include <algorithm>

namespace pfw {

XsdtNode::~XsdtNode()
{
    clearChildren();
}

XsdtNode *XsdtNode::appendChild(std::unique_ptr<XsdtNode> child)
{
    child->parent = this;
    children.push_back(std::move(child));
    return children.back().get();
}

void XsdtNode::clearChildren()
{
    // Detach grandchildren before each destruction so a deep tree never recurses.
    std::vector<std::unique_ptr<XsdtNode>> pending = std::move(children);
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<XsdtNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto &grandChild : node->children)
            pending.push_back(std::move(grandChild));
        node->children.clear();
    }
}

std::unique_ptr<XsdtNode> XsdtNode::shallowCopy() const
{
    auto copy = std::make_unique<XsdtNode>();
    copy->kind = kind;
    copy->type = type;
    copy->textForm = textForm;
    copy->selfClosing = selfClosing;
    copy->key = key;
    copy->value = value;
    copy->savedValue = savedValue;
    if (block)
        copy->block = std::make_unique<CompressedBlock>(*block);
    return copy;
}

QString XsdtNode::path() const
{
    QStringList keys;
    for (const XsdtNode *node = this; node->parent; node = node->parent)
        keys.prepend(node->key);
    return keys.join(QLatin1Char('/'));
}

XsdtNode *XsdtNode::childByKey(QStringView childKey) const
{
    for (const auto &child : children) {
        if (child->key == childKey)
            return child.get();
    }
    return nullptr;
}

XsdtNode *XsdtNode::findPath(QStringView settingPath) const
{
    auto *node = const_cast<XsdtNode *>(this);
    for (QStringView part : settingPath.tokenize(u'/', Qt::SkipEmptyParts)) {
        node = node->childByKey(part);
        if (!node)
            return nullptr;
    }
    return node;
}

int XsdtNode::indexInParent() const
{
    if (!parent)
        return 0;
    const auto &siblings = parent->children;
    const auto it = std::find_if(siblings.cbegin(), siblings.cend(),
                                 [this](const auto &sibling) { return sibling.get() == this; });
    return int(it - siblings.cbegin());
}

qsizetype XsdtNode::valueCount() const
{
    if (kind == Value)
        return 1;
    qsizetype count = 0;
    for (const auto &child : children)
        count += child->valueCount();
    return count;
}

static void collectValues(const XsdtNode &node, QList<XsdtNode *> &out)
{
    for (const auto &child : node.children) {
        if (child->kind == XsdtNode::Value)
            out.append(child.get());
        else
            collectValues(*child, out);
    }
}

QList<XsdtNode *> XsdtNode::valueNodes() const
{
    QList<XsdtNode *> out;
    if (kind == Value)
        out.append(const_cast<XsdtNode *>(this));
    else
        collectValues(*this, out);
    return out;
}

bool XsdtNode::isInsideDeleted() const
{
    for (const XsdtNode *node = this; node; node = node->parent) {
        if (node->deleted)
            return true;
    }
    return false;
}

bool XsdtNode::isEditableValue() const
{
    if (kind != Value || block)
        return false;
    switch (type.unicode()) {
    case u'b':
    case u'i':
    case u'u':
    case u'F':
    case u'f':
    case u's':
        return true;
    default:
        return false;
    }
}

static void collectDeletions(const XsdtNode &node, QList<XsdtNode *> &out)
{
    for (const auto &child : node.children) {
        if (child->deleted)
            out.append(child.get());
        else if (child->kind == XsdtNode::Item)
            collectDeletions(*child, out);
    }
}

QList<XsdtNode *> XsdtNode::pendingDeletions() const
{
    QList<XsdtNode *> out;
    collectDeletions(*this, out);
    return out;
}

static void collectEdits(const XsdtNode &node, QList<XsdtNode *> &out)
{
    for (const auto &child : node.children) {
        if (child->deleted)
            continue;
        if (child->isEdited())
            out.append(child.get());
        else if (child->kind == XsdtNode::Item)
            collectEdits(*child, out);
    }
}

QList<XsdtNode *> XsdtNode::editedValues() const
{
    QList<XsdtNode *> out;
    collectEdits(*this, out);
    return out;
}

static void collectAdded(const XsdtNode &node, QList<XsdtNode *> &out)
{
    for (const auto &child : node.children) {
        if (child->deleted)
            continue;
        if (child->added)
            out.append(child.get());
        else if (child->kind == XsdtNode::Item)
            collectAdded(*child, out);
    }
}

QList<XsdtNode *> XsdtNode::addedNodes() const
{
    QList<XsdtNode *> out;
    collectAdded(*this, out);
    return out;
}

qsizetype XsdtNode::pendingChangeCount() const
{
    return pendingDeletions().size() + editedValues().size() + addedNodes().size();
}

void XsdtNode::revertAll()
{
    deleted = false;
    resetToDefault = false;
    if (kind == Value)
        value = savedValue;
    std::vector<std::unique_ptr<XsdtNode>> doomed;
    const auto keep = std::stable_partition(children.begin(), children.end(), [](const auto &c) { return !c->added; });
    std::move(keep, children.end(), std::back_inserter(doomed));
    children.erase(keep, children.end());
    for (auto &gone : doomed)
        gone->clearChildren();
    for (auto &child : children)
        child->revertAll();
}

static void keepAdded(XsdtNode &node)
{
    for (auto &child : node.children) {
        child->added = false;
        if (child->kind == XsdtNode::Item)
            keepAdded(*child);
    }
}

static void removeDeleted(XsdtNode &node)
{
    auto &kids = node.children;
    std::vector<std::unique_ptr<XsdtNode>> doomed;
    auto keep = std::stable_partition(kids.begin(), kids.end(), [](const auto &c) { return !c->deleted; });
    std::move(keep, kids.end(), std::back_inserter(doomed));
    kids.erase(keep, kids.end());
    for (auto &gone : doomed)
        gone->clearChildren();
    for (auto &child : kids)
        removeDeleted(*child);
}

void XsdtNode::commitChanges()
{
    for (XsdtNode *edited : editedValues())
        edited->savedValue = edited->value;
    removeDeleted(*this);
    for (XsdtNode *node : addedNodes()) {
        node->added = false;
        keepAdded(*node);
    }
}

static bool sameChildren(const XsdtNode &a, const XsdtNode &b, QString *differencePath)
{
    const auto fail = [differencePath](const XsdtNode &at) {
        if (differencePath)
            *differencePath = at.path();
        return false;
    };
    qsizetype live = 0;
    for (const auto &child : a.children)
        live += child->deleted ? 0 : 1;
    if (live != qsizetype(b.children.size()))
        return fail(a);

    auto other = b.children.cbegin();
    for (const auto &mine : a.children) {
        if (mine->deleted)
            continue;
        const XsdtNode &theirs = **other++;
        if (mine->kind != theirs.kind || mine->key != theirs.key)
            return fail(*mine);
        if (mine->kind == XsdtNode::Item) {
            if (!sameChildren(*mine, theirs, differencePath))
                return false;
        } else if (mine->type != theirs.type || mine->value != theirs.value || !mine->block != !theirs.block
                   || (mine->block
                       && (mine->block->compression != theirs.block->compression
                           || mine->block->data != theirs.block->data))) {
            return fail(*mine);
        }
    }
    return true;
}

bool sameTree(const XsdtNode &a, const XsdtNode &b, QString *differencePath)
{
    return sameChildren(a, b, differencePath);
}

} // namespace pfw
