#pragma once

#include <algorithm>
#include <memory>

#include "schema/variablespec.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

namespace pfw {

class PendingFiles;
class SettingsModel;
class SettingsSchema;
struct XsdtNode;

// The pending changes of one tree, put back on the file PixInsight wrote meanwhile, as a rebase:
// an edit whose saved value PixInsight left alone is applied again; one whose saved value it
// changed is a conflict the user settles; a deletion of an entry that is gone is dropped.
// Everything re-applied is one step of the undo history.
class PendingRebase final
{
    Q_DECLARE_TR_FUNCTIONS(PendingRebase)

public:
    // Where a node sits: the key and the how-many-th sibling of that key, at each level. Keys may
    // hold '/' and siblings may share a key, so a setting path would not always find it again.
    struct Step
    {
        QString key;
        int occurrence = 0;
        bool operator==(const Step &other) const { return key == other.key && occurrence == other.occurrence; }
    };
    using Location = QList<Step>;

    struct Edit
    {
        enum class State { Clean, Conflict, AlreadyThere, Gone };
        Location location;
        QString path;
        QString label;
        // What the value means, to show it as its editor does.
        VariableSpec spec;
        QChar type;
        // The saved value the edit started from, the user's value, and the file's value now.
        QString before;
        QString mine;
        QString theirs;
        State state = State::Clean;
        // It, or a group holding it, shares its name with a sibling where it was edited.
        bool namesake = false;
        // Inside a queued deletion: not a change of its own, but kept for when it is undone.
        bool insideDeletion = false;
        // For a conflict: the user's value (true) or PixInsight's (false).
        bool keepMine = true;
    };
    struct Deletion
    {
        Location location;
        QString path;
        QString label;
        // The entry's saved content, to tell it from a sibling of the same name.
        QByteArray signature;
        // What the user queued it as, kept for the review.
        QString group;
        // Queued as a reset to PixInsight's default.
        bool reset = false;
        bool gone = false;
        // PixInsight changed the entries of this name: which one was meant is not certain.
        bool changed = false;
    };
    // An entry brought in by an import, to be added again where the file does not hold it now.
    struct Addition
    {
        Location parent;
        QString path;
        QString label;
        // The entry as it was added, with anything changed inside it since.
        std::shared_ptr<const XsdtNode> entry;
        // What the file read again holds: no place for it, or an entry of its name already.
        bool parentGone = false;
        bool present = false;
    };
    struct Outcome
    {
        int applied = 0;
        // One line for each change that was not put back, and why.
        QStringList notApplied;
    };

    // model, when given, says what each deletion was queued as.
    static PendingRebase capture(const XsdtNode &root, const QStringList &queuedFiles,
                                 const SettingsSchema *schema = nullptr, const SettingsModel *model = nullptr);
    static Location locationOf(const XsdtNode &node);
    static XsdtNode *find(const XsdtNode &root, const Location &location);
    // Keys, types and saved values of the node and all below it, as a hash.
    static QByteArray signature(const XsdtNode &node);

    // The model's revision the changes were taken at: a rebase of older changes is out of date.
    void setCapturedAt(quint64 revision) { m_capturedAt = revision; }
    quint64 capturedAt() const { return m_capturedAt; }
    bool isEmpty() const
    {
        return m_edits.isEmpty() && m_deletions.isEmpty() && m_additions.isEmpty() && m_files.isEmpty();
    }
    // As the unsaved count has them: an edit inside a queued deletion is not one.
    int changeCount() const
    {
        const auto own
            = std::count_if(m_edits.cbegin(), m_edits.cend(), [](const Edit &edit) { return !edit.insideDeletion; });
        return int(own + m_deletions.size() + m_additions.size() + m_files.size());
    }
    // Matches every change against a tree read again. A conflict the user settled keeps that
    // choice only while PixInsight's value is still the one shown to them.
    void compareWith(const XsdtNode &root);
    int conflictCount() const;
    QList<Edit> &edits() { return m_edits; }
    const QList<Edit> &edits() const { return m_edits; }
    const QList<Deletion> &deletions() const { return m_deletions; }
    const QList<Addition> &additions() const { return m_additions; }
    const QStringList &files() const { return m_files; }
    // What compareWith found that will not be put back: gone entries and deletions.
    QStringList droppedLines() const;

    // Puts the changes on the model's tree as one step, through the same rules as an edit by hand.
    Outcome apply(SettingsModel *model, PendingFiles *files) const;

private:
    QList<Edit> m_edits;
    QList<Deletion> m_deletions;
    QList<Addition> m_additions;
    QStringList m_files;
    quint64 m_capturedAt = 0;
};

} // namespace pfw
