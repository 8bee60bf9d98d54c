#include "core/treediff.h"

#include "core/xsdtnode.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>
#include <QStringList>

namespace pfw {

namespace {

void liveValues(const XsdtNode &node, QList<XsdtNode *> &out)
{
    for (const auto &child : node.children) {
        if (child->deleted)
            continue;
        if (child->kind == XsdtNode::Value)
            out << child.get();
        else
            liveValues(*child, out);
    }
}

struct TreeDiff
{
    Q_DECLARE_TR_FUNCTIONS(TreeDiff)
};

} // namespace

QString diffStatusText(const DiffEntry &entry)
{
    switch (entry.status) {
    case DiffEntry::OnlyHere: return TreeDiff::tr("Only in this file");
    case DiffEntry::OnlyThere: return TreeDiff::tr("Only in the other file");
    case DiffEntry::Different: break;
    }
    QString text = TreeDiff::tr("Different");
    if (entry.here && entry.there && entry.here->type != entry.there->type)
        text += TreeDiff::tr(" (type %1 / %2)").arg(entry.here->type, entry.there->type);
    return text;
}

QList<DiffEntry> diffTrees(const XsdtNode &here, const XsdtNode &there)
{
    QList<XsdtNode *> mine, theirs;
    liveValues(here, mine);
    liveValues(there, theirs);
    QHash<QString, XsdtNode *> theirByPath;
    QList<QString> theirPaths;
    for (XsdtNode *node : std::as_const(theirs)) {
        theirPaths << node->path();
        theirByPath.insert(theirPaths.constLast(), node); // the last occurrence wins
    }
    QSet<QString> myPaths;
    QList<DiffEntry> entries;
    for (XsdtNode *node : std::as_const(mine)) {
        const QString path = node->path();
        myPaths.insert(path);
        XsdtNode *other = theirByPath.value(path);
        if (!other)
            entries.append({path, DiffEntry::OnlyHere, node, nullptr});
        else if (node->type != other->type || node->value != other->value)
            entries.append({path, DiffEntry::Different, node, other});
    }
    for (qsizetype i = 0; i < theirs.size(); ++i) {
        if (!myPaths.contains(theirPaths.at(i)))
            entries.append({theirPaths.at(i), DiffEntry::OnlyThere, nullptr, theirs.at(i)});
    }
    return entries;
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
