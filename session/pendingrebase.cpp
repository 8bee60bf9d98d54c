#include "session/pendingrebase.h"

#include "core/displaytext.h"
#include "core/xsdtfile.h"
#include "core/xsdtnode.h"
#include "model/settingsmodel.h"
#include "schema/readablevalue.h"
#include "schema/settingsschema.h"
#include "session/pendingfiles.h"

#include <QCryptographicHash>

namespace pfw {

PendingRebase::Location PendingRebase::locationOf(const XsdtNode &node)
{
    Location location;
    for (const XsdtNode *at = &node; at->parent; at = at->parent) {
        int occurrence = 0;
        for (const auto &sibling : at->parent->children) {
            if (sibling.get() == at)
                break;
            if (sibling->key == at->key)
                ++occurrence;
        }
        location.prepend({at->key, occurrence});
    }
    return location;
}

XsdtNode *PendingRebase::find(const XsdtNode &root, const Location &location)
{
    auto *node = const_cast<XsdtNode *>(&root);
    for (const Step &step : location) {
        XsdtNode *next = nullptr;
        int seen = 0;
        for (const auto &child : node->children) {
            if (child->key == step.key && seen++ == step.occurrence) {
                next = child.get();
                break;
            }
        }
        if (!next)
            return nullptr;
        node = next;
    }
    return node;
}

namespace {

// The node, or an item holding it, shares its key with a sibling: its place alone does not
// tell it from the other one.
bool hasNamesake(const XsdtNode &node)
{
    for (const XsdtNode *at = &node; at->parent; at = at->parent) {
        int same = 0;
        for (const auto &sibling : at->parent->children)
            same += sibling->key == at->key ? 1 : 0;
        if (same > 1)
            return true;
    }
    return false;
}

void addSignature(const XsdtNode &node, QCryptographicHash *hash)
{
    // Lengths first, so that no two different trees give the same bytes.
    const auto add = [hash](const QByteArray &bytes) {
        const qint64 size = bytes.size();
        hash->addData(QByteArrayView(reinterpret_cast<const char *>(&size), sizeof size));
        hash->addData(bytes);
    };
    add(node.key.toUtf8());
    add(QString(node.type).toUtf8() + (node.kind == XsdtNode::Value ? "v" : "i"));
    add(node.savedValue.toUtf8());
    add(node.block ? node.block->data : QByteArray());
    add(QByteArray::number(qint64(node.children.size())));
    for (const auto &child : node.children)
        addSignature(*child, hash);
}

} // namespace

QByteArray PendingRebase::signature(const XsdtNode &node)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addSignature(node, &hash);
    return hash.result();
}

namespace {

// Edited values inside a queued deletion too: undoing the deletion brings them back edited.
// What was changed inside an added entry goes with the entry.
void collectEdits(const XsdtNode &node, QList<const XsdtNode *> &out)
{
    for (const auto &child : node.children) {
        if (child->added)
            continue;
        if (child->kind == XsdtNode::Value) {
            if (child->isEdited())
                out.append(child.get());
        } else {
            collectEdits(*child, out);
        }
    }
}

std::unique_ptr<XsdtNode> deepCopy(const XsdtNode &node)
{
    std::unique_ptr<XsdtNode> copy = node.shallowCopy();
    copy->added = node.added;
    copy->deleted = node.deleted;
    copy->resetToDefault = node.resetToDefault;
    for (const auto &child : node.children)
        copy->appendChild(deepCopy(*child));
    return copy;
}

bool insideAdded(const XsdtNode &node)
{
    for (const XsdtNode *at = &node; at; at = at->parent) {
        if (at->added)
            return true;
    }
    return false;
}

} // namespace

PendingRebase PendingRebase::capture(const XsdtNode &root, const QStringList &queuedFiles, const SettingsSchema *schema,
                                     const SettingsModel *model)
{
    PendingRebase rebase;
    QList<const XsdtNode *> edited;
    collectEdits(root, edited);
    for (const XsdtNode *node : std::as_const(edited)) {
        Edit edit;
        edit.location = locationOf(*node);
        edit.path = node->path();
        if (schema)
            edit.spec = schema->spec(*node);
        edit.label = edit.spec.label.isEmpty() ? SettingsModel::labelOf(node) : edit.spec.label;
        edit.type = node->type;
        edit.before = node->savedValue;
        edit.mine = node->value;
        edit.namesake = hasNamesake(*node);
        edit.insideDeletion = node->isInsideDeleted();
        rebase.m_edits << edit;
    }
    // As the unsaved count has them.
    for (const XsdtNode *node : root.addedNodes()) {
        std::shared_ptr<const XsdtNode> entry = deepCopy(*node);
        rebase.m_additions << Addition{locationOf(*node->parent), node->path(), SettingsModel::labelOf(node),
                                       std::move(entry)};
    }
    for (const XsdtNode *node : root.pendingDeletions()) {
        // Not in the file: nothing to delete there.
        if (insideAdded(*node))
            continue;
        rebase.m_deletions << Deletion{locationOf(*node),
                                       node->path(),
                                       SettingsModel::labelOf(node),
                                       hasNamesake(*node) ? signature(*node) : QByteArray(),
                                       model ? model->deletionGroup(node) : QString(),
                                       node->resetToDefault};
    }
    rebase.m_files = queuedFiles;
    return rebase;
}

void PendingRebase::compareWith(const XsdtNode &root)
{
    for (Edit &edit : m_edits) {
        const Edit::State shown = edit.state;
        const QString shownTheirs = edit.theirs;
        const XsdtNode *node = find(root, edit.location);
        if (!node || node->kind != XsdtNode::Value) {
            edit.state = Edit::State::Gone;
            edit.theirs.clear();
        } else {
            edit.theirs = node->savedValue;
            // Among siblings of one name, the place alone may point at another entry than the
            // one edited: the user says.
            const bool namesake = edit.namesake || hasNamesake(*node);
            if (node->type == edit.type && edit.theirs == edit.before && !namesake)
                edit.state = Edit::State::Clean;
            else if (node->type == edit.type && edit.theirs == edit.mine)
                edit.state = Edit::State::AlreadyThere;
            else
                edit.state = Edit::State::Conflict;
        }
        // Inside an entry that goes anyway: nothing to ask; it is kept for an undo of the deletion.
        if (edit.insideDeletion && edit.state == Edit::State::Conflict)
            edit.state = Edit::State::Clean;
        // A choice made against another value of PixInsight's is no choice about this one.
        if (edit.state != Edit::State::Conflict || shown != Edit::State::Conflict || shownTheirs != edit.theirs)
            edit.keepMine = true;
    }
    for (Deletion &deletion : m_deletions) {
        const XsdtNode *node = find(root, deletion.location);
        deletion.gone = node == nullptr;
        // Never delete a namesake the user did not mean: only the very entry they saw.
        deletion.changed
            = node && (!deletion.signature.isEmpty() || hasNamesake(*node)) && signature(*node) != deletion.signature;
    }
    for (Addition &addition : m_additions) {
        const XsdtNode *parent = find(root, addition.parent);
        addition.parentGone = !parent || parent->kind != XsdtNode::Item;
        addition.present = !addition.parentGone && parent->childByKey(addition.entry->key);
    }
}

int PendingRebase::conflictCount() const
{
    return int(std::count_if(m_edits.cbegin(), m_edits.cend(),
                             [](const Edit &edit) { return edit.state == Edit::State::Conflict; }));
}

QStringList PendingRebase::droppedLines() const
{
    QStringList lines;
    for (const Edit &edit : m_edits) {
        if (edit.state == Edit::State::Gone && !edit.insideDeletion)
            lines << tr("%1 (%2) is no longer in the file: your value %3 was dropped.")
                         .arg(edit.label, edit.path, ReadableValue::text(edit.spec, edit.type, edit.mine));
    }
    for (const Deletion &deletion : m_deletions) {
        if (deletion.gone)
            lines << tr("%1 (%2) is already gone from the file.").arg(deletion.label, deletion.path);
        else if (deletion.changed)
            lines << tr("%1 (%2): PixInsight changed the entries of this name, so it is not certain which one "
                        "you meant: not deleted.")
                         .arg(deletion.label, deletion.path);
    }
    for (const Addition &addition : m_additions) {
        if (addition.present)
            lines << tr("%1 (%2) is in the file now as PixInsight wrote it: the imported entry was not added.")
                         .arg(addition.label, addition.path);
        else if (addition.parentGone)
            lines << tr("%1 (%2): the group it was imported into is no longer in the file: not added.")
                         .arg(addition.label, addition.path);
    }
    return lines;
}

PendingRebase::Outcome PendingRebase::apply(SettingsModel *model, PendingFiles *files) const
{
    Outcome outcome;
    if (!model->file())
        return outcome;
    const XsdtNode &root = model->file()->root;
    const SettingsModel::Batch step(model);
    const auto refused = [&outcome](const QString &label, const QString &path, const QString &why) {
        outcome.notApplied << tr("%1 (%2): %3").arg(label, path, why);
    };
    // Edits before deletions: an edited value inside a queued deletion could not be set after it.
    for (const Edit &edit : m_edits) {
        if (edit.state == Edit::State::Gone || edit.state == Edit::State::AlreadyThere
            || (edit.state == Edit::State::Conflict && !edit.keepMine))
            continue;
        XsdtNode *node = find(root, edit.location);
        if (!node || node->kind != XsdtNode::Value) {
            refused(edit.label, edit.path, tr("no longer in the file."));
            continue;
        }
        if (const QString why = model->editRefusal(node); !why.isEmpty()) {
            refused(edit.label, edit.path, why);
            continue;
        }
        QString normalized, error;
        if (!model->rules().normalize(*node, edit.mine, &normalized, &error)) {
            refused(edit.label, edit.path, error);
            continue;
        }
        // Counted as the unsaved count has them: an edit inside a deletion is not one.
        if (normalized != node->value && model->setData(model->indexFor(node, SettingsModel::ValueColumn), edit.mine)
            && !edit.insideDeletion)
            ++outcome.applied;
    }
    for (const Deletion &deletion : m_deletions) {
        if (deletion.gone || deletion.changed)
            continue;
        XsdtNode *node = find(root, deletion.location);
        QString why;
        if (!node)
            continue;
        if (node->isInsideDeleted())
            ++outcome.applied;
        else if (deletion.reset && node->kind == XsdtNode::Value)
            outcome.applied += model->requestReset({node}, deletion.group);
        else if (model->requestDeletion(node, &why, deletion.group))
            ++outcome.applied;
        else
            refused(deletion.label, deletion.path, why);
    }
    // Additions last: an edit or deletion above found its entry by its place among the file's own.
    ImportChanges added;
    for (const Addition &addition : m_additions) {
        XsdtNode *parent = find(root, addition.parent);
        if (addition.parentGone || addition.present || !parent || parent->kind != XsdtNode::Item
            || parent->childByKey(addition.entry->key))
            continue;
        added.additions.emplace_back(parent, deepCopy(*addition.entry));
    }
    if (!added.isEmpty())
        outcome.applied += model->applyImport(std::move(added));
    if (files && !m_files.isEmpty()) {
        const int before = files->count();
        files->queue(m_files);
        outcome.applied += files->count() - before;
    }
    return outcome;
}

} // namespace pfw
