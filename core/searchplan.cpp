#include "core/searchplan.h"

#include "core/treediff.h"
#include "core/xmlwellformedness.h"
#include "core/xsdtfile.h"
#include "schema/deletionpolicy.h"

#include <QHash>
#include <QSet>

namespace pfw {

namespace {

// Which occurrence of its path each value is, as diffTrees pairs them.
QHash<const XsdtNode *, int> occurrences(const XsdtNode &root)
{
    const QList<XsdtNode *> values = liveValues(root);
    QHash<QString, int> seen;
    QHash<const XsdtNode *, int> result;
    for (const XsdtNode *node : std::as_const(values))
        result.insert(node, seen[node->path()]++);
    return result;
}

// The paths of values with a "/" inside one of their keys.
void slashedPaths(const XsdtNode &node, QSet<QString> &out, bool slashed = false)
{
    for (const auto &child : node.children) {
        const bool here = slashed || child->key.contains(u'/');
        if (child->kind == XsdtNode::Value) {
            if (here)
                out.insert(child->path());
        } else {
            slashedPaths(*child, out, here);
        }
    }
}

bool takesPart(const XsdtNode *node, const DeletionPolicy *policy)
{
    return node->isEditableValue() && (!policy || (!policy->isCompareNoCopy(node) && !policy->isEditLocked(node)));
}

} // namespace

SearchPlan SearchPlan::make(const XsdtNode &bad, const XsdtNode &good, const DeletionPolicy *policy)
{
    SearchPlan plan;
    const QHash<const XsdtNode *, int> occurrence = occurrences(bad);
    QSet<QString> ambiguous;
    slashedPaths(bad, ambiguous);
    slashedPaths(good, ambiguous);
    for (const DiffEntry &entry : diffTrees(bad, good)) {
        if (policy && policy->isCompareNoise(entry.here ? entry.here : entry.there)) {
            ++plan.hidden;
            continue;
        }
        // A key holding "/" reads like a deeper path: such values cannot be told apart.
        if (ambiguous.contains(entry.path)) {
            plan.leftOut << entry.path;
            continue;
        }
        if (entry.status == DiffEntry::OnlyThere) {
            plan.onlyInGood << entry.path;
            continue;
        }
        const bool different = entry.status == DiffEntry::Different;
        // A good value no settings file can hold would make a round's file one a strict reader refuses.
        if (!takesPart(entry.here, policy) || (different && !takesPart(entry.there, policy))
            || (different && XmlWellFormedness::firstForbidden(entry.there->value))) {
            plan.leftOut << entry.path;
            continue;
        }
        SearchSuspect suspect;
        suspect.path = entry.path;
        suspect.occurrence = occurrence.value(entry.here);
        suspect.kind = different ? SearchSuspect::PutBack : SearchSuspect::Remove;
        suspect.badType = entry.here->type;
        suspect.badValue = entry.here->value;
        if (different) {
            suspect.goodType = entry.there->type;
            suspect.goodValue = entry.there->value;
        }
        plan.suspects << suspect;
    }
    return plan;
}

bool SearchPlan::buildCandidate(const QByteArray &badBytes, const QList<SearchSuspect> &suspects,
                                const QList<int> &putBack, QByteArray *candidate, QString *error)
{
    XsdtFile file;
    QString parseError;
    if (!file.parse(badBytes, &parseError)) {
        if (error)
            *error = tr("The file as it was before the search does not read back (%1).").arg(parseError);
        return false;
    }
    const QList<XsdtNode *> values = liveValues(file.root);
    QHash<QString, QList<XsdtNode *>> byPath;
    for (XsdtNode *node : std::as_const(values))
        byPath[node->path()] << node;
    for (const int index : putBack) {
        const SearchSuspect &suspect = suspects.at(index);
        XsdtNode *node = byPath.value(suspect.path).value(suspect.occurrence);
        if (!node || node->type != suspect.badType || node->value != suspect.badValue) {
            if (error)
                *error = tr("The search state does not match the file it was made for (at %1).").arg(suspect.path);
            return false;
        }
        if (suspect.kind == SearchSuspect::Remove) {
            node->deleted = true;
        } else {
            node->type = suspect.goodType;
            node->value = suspect.goodValue;
        }
    }
    *candidate = file.serialize();
    return true;
}

} // namespace pfw
