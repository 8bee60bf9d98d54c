#pragma once

#include <QList>
#include <QSet>
#include <QStringList>

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
    // Candidates that match every term, best first; equal scores by setting path.
    QList<Result> search(const QStringList &terms, const Options &options, const QSet<const XsdtNode *> *restriction) const;

private:
    struct Entry
    {
        XsdtNode *node;
        QString label;
        QString names;
        QString description;
        QString path;
        QString key;
    };

    QList<Entry> m_entries;
    bool m_built = false;
};

} // namespace pfw
