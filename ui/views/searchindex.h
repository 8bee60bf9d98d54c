#pragma once

#include <QList>
#include <QSet>
#include <QStringList>

#include <vector>

namespace pfw {

class SettingsSchema;
class XsdtFile;
struct XsdtNode;

// Every value of a file with its searchable texts, and the ranking of a query over them.
class SearchIndex final
{
public:
    struct Options
    {
        bool names = true;
        bool values = true;
        bool descriptions = true;
        bool changedOnly = false;
        bool includeProtected = false;

        friend bool operator==(const Options &a, const Options &b)
        {
            return a.names == b.names && a.values == b.values && a.descriptions == b.descriptions
                && a.changedOnly == b.changedOnly && a.includeProtected == b.includeProtected;
        }
    };
    struct Result
    {
        int score = 0;
        int position = 0;
    };

    void build(const XsdtFile &file, const SettingsSchema &schema);
    void clear();
    bool isBuilt() const { return m_built; }
    int size() const { return int(m_entries.size()); }
    XsdtNode *node(int position) const { return m_entries.at(position).node; }

    // Terms: "quoted phrases" as one term, other runs of non-space characters; lower case.
    static QStringList splitTerms(const QString &query);
    // A term in the spelling the settings are named in: "colour" finds "color".
    static QString americanSpelling(QString term);
    // Candidates that match every term, best first; equal scores by setting path. Only the
    // positions in within (ascending) are tried when it is given: the matches of a search these
    // terms refine, as matched gives them. With ordered >= 0 only that many come first in
    // order, the rest after them in no order (see orderFirst).
    QList<Result> search(const QStringList &terms, const Options &options, const QSet<const XsdtNode *> *restriction,
                         const QList<int> *within = nullptr, QList<int> *matched = nullptr,
                         qsizetype ordered = -1) const;
    // Puts the best count results in order at the front, the first alreadyOrdered being so;
    // returns how many are in order now.
    qsizetype orderFirst(QList<Result> &results, qsizetype count, qsizetype alreadyOrdered) const;
    // Whether every match of terms is also a match of earlier: each earlier term is part of the
    // term in its place, and any further terms only narrow.
    static bool refines(const QStringList &terms, const QStringList &earlier);

private:
    struct Entry
    {
        XsdtNode *node;
        QString label;
        // Path and label, a line break, the description; all lower case. One text, so that a
        // term is looked for once.
        QString text;
        qsizetype namesLength;
        QString path;
        QString key;
        // Fixed for a node once read: kept here, the search need not visit the node for them.
        bool editable;
        bool block;
    };
    enum class Place { None, Names, Description };
    // From this many candidates on, a search runs on two threads.
    static constexpr int kSplitFrom = 20000;
    static Place placeOf(const Entry &entry, const QString &term, const Options &options);

    QList<Entry> m_entries;
    // Each entry's place in the order of setting paths: ties are broken by it, not by the paths.
    std::vector<int> m_pathRank;
    bool m_built = false;
};

} // namespace pfw
