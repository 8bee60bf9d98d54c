#include "ui/views/searchindex.h"

#include "core/xsdtfile.h"
#include "schema/settingsschema.h"

#include <QRegularExpression>

#include <algorithm>

namespace pfw {

void SearchIndex::clear()
{
    m_entries.clear();
    m_built = false;
}

void SearchIndex::build(const XsdtFile &file, const SettingsSchema &schema)
{
    clear();
    for (XsdtNode *node : file.root.valueNodes()) {
        const VariableSpec spec = schema.spec(*node);
        const QString path = node->path();
        m_entries.append({node, spec.label, (path + u' ' + spec.label).toLower(), spec.description.toLower(), path,
                          node->key.toLower()});
    }
    m_built = true;
}

QStringList SearchIndex::splitTerms(const QString &query)
{
    static const QRegularExpression term(QStringLiteral("\"([^\"]+)\"|(\\S+)"));
    QStringList terms;
    for (QRegularExpressionMatchIterator it = term.globalMatch(query); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString phrase = match.captured(1);
        terms << (phrase.isEmpty() ? match.captured(2) : phrase).toLower();
    }
    return terms;
}

QList<SearchIndex::Result> SearchIndex::search(const QStringList &terms, const Options &options,
                                               const QSet<const XsdtNode *> *restriction) const
{
    QList<Result> results;
    for (int position = 0; position < m_entries.size(); ++position) {
        const Entry &entry = m_entries.at(position);
        const XsdtNode *node = entry.node;
        const bool inSet = restriction && restriction->contains(node);
        if (restriction && !inSet)
            continue;
        if (!options.includeProtected && !node->isEditableValue() && !inSet)
            continue;
        if (options.changedOnly && !node->isEdited() && !node->isInsideDeleted())
            continue;
        int score = 0;
        bool matched = true;
        for (const QString &term : terms) {
            if (options.names && entry.names.contains(term)) {
                if (entry.key == term)
                    score += 10;
                else if (entry.key.startsWith(term))
                    score += 6;
                else if (entry.key.contains(term))
                    score += 4;
                else if (entry.label.contains(term, Qt::CaseInsensitive))
                    score += 3;
                else
                    score += 2;
            } else if ((options.descriptions && entry.description.contains(term))
                       || (options.values && node->type != u'B' && node->value.contains(term, Qt::CaseInsensitive))) {
                score += 1;
            } else {
                matched = false;
                break;
            }
        }
        if (matched)
            results.append({score, position});
    }
    std::stable_sort(results.begin(), results.end(), [this](const Result &a, const Result &b) {
        if (a.score != b.score)
            return a.score > b.score;
        return m_entries.at(a.position).path < m_entries.at(b.position).path;
    });
    return results;
}

} // namespace pfw
