#include "core/treediff.h"

#include "core/xsdtnode.h"

#include <QCoreApplication>
#include <QHash>
#include <QStringList>

namespace pfw {

namespace {

void collectLiveValues(const XsdtNode &node, QList<XsdtNode *> &out)
{
    for (const auto &child : node.children) {
        if (child->deleted)
            continue;
        if (child->kind == XsdtNode::Value)
            out << child.get();
        else
            collectLiveValues(*child, out);
    }
}

struct TreeDiff
{
    Q_DECLARE_TR_FUNCTIONS(TreeDiff)
};

bool isCompressed(const XsdtNode &node)
{
    return node.block != nullptr;
}

// A compressed block's text only describes it (two blocks of one size read alike): its data
// and compression are what it holds.
bool sameValue(const XsdtNode &a, const XsdtNode &b)
{
    if (a.type != b.type || isCompressed(a) != isCompressed(b))
        return false;
    if (isCompressed(a))
        return a.block->compression == b.block->compression && a.block->data == b.block->data;
    return a.value == b.value;
}

} // namespace

QString diffStatusText(const DiffEntry &entry)
{
    switch (entry.status) {
    case DiffEntry::OnlyHere:
        return TreeDiff::tr("Only in this file");
    case DiffEntry::OnlyThere:
        return TreeDiff::tr("Only in the other file");
    case DiffEntry::Different:
        break;
    }
    QString text = TreeDiff::tr("Different");
    if (entry.here && entry.there && entry.here->type != entry.there->type)
        text += TreeDiff::tr(" (type %1 / %2)").arg(entry.here->type, entry.there->type);
    return text;
}

QList<XsdtNode *> liveValues(const XsdtNode &root)
{
    QList<XsdtNode *> values;
    collectLiveValues(root, values);
    return values;
}

QList<DiffEntry> diffTrees(const XsdtNode &here, const XsdtNode &there)
{
    const QList<XsdtNode *> mine = liveValues(here);
    const QList<XsdtNode *> theirs = liveValues(there);
    // Every occurrence of a path there, in document order.
    QHash<QString, QList<qsizetype>> theirByPath;
    QList<QString> theirPaths;
    for (qsizetype i = 0; i < theirs.size(); ++i) {
        theirPaths << theirs.at(i)->path();
        theirByPath[theirPaths.constLast()].append(i);
    }
    QHash<QString, qsizetype> myCount;
    QList<DiffEntry> entries;
    for (XsdtNode *node : std::as_const(mine)) {
        const QString path = node->path();
        const qsizetype occurrence = myCount[path]++;
        const QList<qsizetype> partners = theirByPath.value(path);
        XsdtNode *other = occurrence < partners.size() ? theirs.at(partners.at(occurrence)) : nullptr;
        if (!other)
            entries.append({path, DiffEntry::OnlyHere, node, nullptr});
        else if (!sameValue(*node, *other))
            entries.append({path, DiffEntry::Different, node, other});
    }
    QHash<QString, qsizetype> theirCount;
    for (qsizetype i = 0; i < theirs.size(); ++i) {
        if (theirCount[theirPaths.at(i)]++ >= myCount.value(theirPaths.at(i)))
            entries.append({theirPaths.at(i), DiffEntry::OnlyThere, nullptr, theirs.at(i)});
    }
    return entries;
}

bool differsInCompressedData(const DiffEntry &entry)
{
    return entry.status == DiffEntry::Different && entry.here && entry.there && isCompressed(*entry.here)
        && isCompressed(*entry.there);
}

QString diffSideText(const DiffEntry &entry, const XsdtNode *side)
{
    if (!side)
        return QString();
    return differsInCompressedData(entry) ? TreeDiff::tr("different compressed data") : side->value;
}

void compareGroup(const QString &path, QString *group, QString *leaf)
{
    const QStringList parts = path.split(u'/');
    int n = path.startsWith(QLatin1String("Global/Preferences/")) ? 3 : 2;
    n = qMin(n, int(parts.size()) - 1);
    if (n > 0) {
        *group = parts.mid(0, n).join(u'/');
        *leaf = parts.mid(n).join(u'/');
    } else {
        *group = QStringLiteral("(top level)");
        *leaf = path;
    }
}

} // namespace pfw
