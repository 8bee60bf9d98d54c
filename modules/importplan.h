#pragma once

#include "schema/editrules.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <functional>

namespace pfw {

class SettingsSchema;
struct XsdtNode;

// What bringing a settings snippet into a file would do, entry by entry, under the editor's
// rules; then, for the entries chosen, doing it as pending changes of the tree.
class ImportPlan final
{
    Q_DECLARE_TR_FUNCTIONS(ImportPlan)

public:
    struct Entry
    {
        enum Status { New, Different, Same, Refused };
        Status status = New;
        QString path;
        // The keys from the top of the file: a key may itself hold a "/".
        QStringList keys;
        // Which of the siblings with the same key it is.
        int occurrence = 0;
        // The same for each key from the top: a group may have a namesake beside it.
        QList<int> occurrences;
        // "Auto save settings period — Application".
        QString label;
        // An item of the snippet with nothing in it, made as it is.
        bool item = false;
        QChar type;
        // How the snippet writes it: as the element's text, or as a compressed block, kept as
        // found when the value is new here.
        bool textForm = false;
        bool hasBlock = false;
        QString compression;
        QByteArray blockData;
        // The value here; empty when new.
        QString here;
        // The value to be taken, after a path rewrite.
        QString incoming;
        // The snippet's own text when a path rewrite changed it, else empty.
        QString rewrittenFrom;
        QString reason;
        XsdtNode *target = nullptr;
    };

    // What the snippet's groups hold here but the snippet does not, for "Replace the groups it
    // holds".
    struct Removal
    {
        QString path;
        QString label;
        XsdtNode *node = nullptr;
        // Allowed only after a confirmation (a Warn verdict).
        bool needsConfirmation = false;
        bool allowed = false;
        QString reason;
    };

    // One prefix rewrite of paths: "C:/Users/Astro" to "/home/astro".
    struct PathMap
    {
        QString from;
        QString to;
    };

    ImportPlan(const SettingsSchema *schema, const DeletionPolicy *policy);

    void setPathMaps(const QList<PathMap> &maps);
    void setReplace(bool replace) { m_replace = replace; }

    // Compares snippet (a parsed file's root) with target, the root of the file here.
    void compute(const XsdtNode &snippet, XsdtNode &target);

    const QList<Entry> &entries() const { return m_entries; }
    const QList<Removal> &removals() const { return m_removals; }
    qsizetype changeCount() const;

    // The absolute paths among the incoming texts that name nothing on this computer.
    QStringList missingPaths(const std::function<bool(const QString &)> &exists) const;
    // A rewrite that would bring most of those paths home: the longest folder they share, and
    // the one of candidates (this computer's folders) whose last part matches most of what follows.
    static PathMap suggestMap(const QStringList &missing, const QStringList &candidates);
    // "OLD=NEW" as typed; false when one side is empty.
    [[nodiscard]] static bool parsePathMap(const QString &text, PathMap *map);
    // Without the separators a folder may end in: "D:/Astro/" is "D:/Astro", "/" is "".
    static PathMap normalized(const PathMap &map);
    // Whether two folders are one: either separator, a drive's folders in any case.
    static bool sameFolder(const QString &a, const QString &b);

    // Makes the chosen entries and removals pending changes of the tree compute() was given:
    // values edited, new entries added, removals queued for deletion. Refused and same entries
    // are passed over. Returns how many changes were made.
    qsizetype apply(XsdtNode &target, const QList<int> &entries, const QList<int> &removals) const;
    // Every entry and removal that may be applied, confirmations given or not.
    QList<int> applicableEntries() const;
    QList<int> applicableRemovals(bool confirmed) const;

    static bool looksLikeAbsolutePath(const QString &text);
    // Whether a rewrite may lead to path: a whole path of this computer's file system (not a
    // resource of the program's own, ":/...").
    static bool isFolderPathHere(const QString &path);

private:
    // here: the entry at the same place, if any; nearest: the closest entry here above it.
    void compare(const XsdtNode &incoming, XsdtNode *here, XsdtNode &nearest, int occurrence);
    void compareChildren(const XsdtNode &incoming, XsdtNode *here, XsdtNode &nearest);
    void compareValue(const XsdtNode &incoming, XsdtNode *here, XsdtNode &nearest, int occurrence);
    void refuseWhole(const XsdtNode &incoming, int occurrence, const QString &reason);
    Entry entryFor(const XsdtNode &incoming, XsdtNode *here, int occurrence) const;
    void noteRemovals(const XsdtNode &incoming, XsdtNode &here);
    // Whether node is, or holds, what belongs to this computer alone.
    bool holdsMachineBound(const XsdtNode &node) const;
    QString rewritten(const QString &text) const;

    const SettingsSchema *m_schema;
    const DeletionPolicy *m_policy;
    EditRules m_rules;
    QList<PathMap> m_maps;
    bool m_replace = false;
    QList<Entry> m_entries;
    QList<Removal> m_removals;
    // The occurrences of the keys on the way to the entry being compared.
    QList<int> m_occurrences;
};

} // namespace pfw
