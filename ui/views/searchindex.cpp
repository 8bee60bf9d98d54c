#include "ui/views/searchindex.h"

#include "core/textmatch.h"
#include "core/xsdtfile.h"
#include "schema/settingsschema.h"

#include <QHash>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace pfw {

namespace {

// Terms are lower case, as the names they are looked for in; a value is compared as it is,
// ignoring case, and also in lower case for the letters whose lower case is longer (İ).
bool valueContains(const QString &value, const QString &term)
{
    if (containsIgnoringCase(value, term))
        return true;
    for (const QChar c : term) {
        if (c.unicode() >= 0x80)
            return value.toLower().contains(term);
    }
    return false;
}

} // namespace

void SearchIndex::clear()
{
    m_entries.clear();
    m_pathRank.clear();
    m_built = false;
}

void SearchIndex::build(const XsdtFile &file, const SettingsSchema &schema)
{
    clear();
    const QList<XsdtNode *> nodes = file.root.valueNodes();
    m_entries.reserve(nodes.size());
    // The Preferences page a setting is shown on, named as that tab and the user guide name
    // it ("Processes", "Image Windows"): words the path does not hold.
    QHash<const XsdtNode *, QString> pageOf;
    for (const PageSpec &page : schema.pages(file)) {
        for (const QString &pagePath : page.paths) {
            if (const XsdtNode *top = file.root.findPath(pagePath)) {
                for (XsdtNode *value : top->valueNodes())
                    pageOf.insert(value, page.title);
            }
        }
    }
    for (XsdtNode *node : nodes) {
        const VariableSpec spec = schema.spec(*node);
        const QString path = node->path();
        const QString page = pageOf.value(node);
        const QString names = (path + u' ' + spec.label + (page.isEmpty() ? QString() : u' ' + page)).toLower();
        m_entries.append({node, spec.label, names + u'\n' + spec.description.toLower(), names.size(), path,
                          node->key.toLower(), node->isEditableValue(), node->type == u'B'});
    }
    std::vector<int> byPath(size_t(m_entries.size()));
    for (size_t i = 0; i < byPath.size(); ++i)
        byPath[i] = int(i);
    std::stable_sort(byPath.begin(), byPath.end(),
                     [this](int a, int b) { return m_entries.at(a).path < m_entries.at(b).path; });
    m_pathRank.assign(byPath.size(), 0);
    for (size_t rank = 0; rank < byPath.size(); ++rank)
        m_pathRank[size_t(byPath[rank])] = int(rank);
    m_built = true;
}

QString SearchIndex::americanSpelling(QString term)
{
    // PixInsight names and describes its settings in American English; the stems cover their
    // forms too (colours, greyscale, centred, licensed).
    static const std::pair<QLatin1String, QLatin1String> spellings[] = {
        {QLatin1String("colour"), QLatin1String("color")},      {QLatin1String("grey"), QLatin1String("gray")},
        {QLatin1String("centred"), QLatin1String("centered")},  {QLatin1String("centring"), QLatin1String("centering")},
        {QLatin1String("centre"), QLatin1String("center")},     {QLatin1String("licence"), QLatin1String("license")},
        {QLatin1String("optimis"), QLatin1String("optimiz")},   {QLatin1String("normalis"), QLatin1String("normaliz")},
        {QLatin1String("behaviour"), QLatin1String("behavior")}};
    for (const auto &[british, american] : spellings)
        term.replace(british, american);
    return term;
}

QStringList SearchIndex::splitTerms(const QString &query)
{
    static const QRegularExpression term(QStringLiteral("\"([^\"]+)\"|(\\S+)"));
    QStringList terms;
    for (QRegularExpressionMatchIterator it = term.globalMatch(query); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString phrase = match.captured(1);
        terms << americanSpelling((phrase.isEmpty() ? match.captured(2) : phrase).toLower());
    }
    return terms;
}

bool SearchIndex::refines(const QStringList &terms, const QStringList &earlier)
{
    if (earlier.isEmpty() || terms.size() < earlier.size())
        return false;
    for (qsizetype i = 0; i < earlier.size(); ++i) {
        if (!terms.at(i).contains(earlier.at(i)))
            return false;
    }
    return true;
}

SearchIndex::Place SearchIndex::placeOf(const Entry &entry, const QString &term, const Options &options)
{
    const QStringView text(entry.text);
    const QStringView description = text.sliced(entry.namesLength + 1);
    if (!options.names)
        return options.descriptions && description.contains(term) ? Place::Description : Place::None;
    // The first place it is found decides: had the names held it, it would be there.
    const qsizetype at = text.indexOf(term);
    if (at < 0)
        return Place::None;
    if (at + term.size() <= entry.namesLength)
        return Place::Names;
    if (!options.descriptions)
        return Place::None;
    if (at > entry.namesLength)
        return Place::Description;
    return description.contains(term) ? Place::Description : Place::None;
}

QList<SearchIndex::Result> SearchIndex::search(const QStringList &terms, const Options &options,
                                               const QSet<const XsdtNode *> *restriction, const QList<int> *within,
                                               QList<int> *matched, qsizetype ordered) const
{
    const int count = within ? int(within->size()) : int(m_entries.size());
    const auto scan = [&](int from, int to) {
        QList<Result> found;
        found.reserve(to - from);
        for (int i = from; i < to; ++i) {
            const int position = within ? within->at(i) : i;
            const Entry &entry = m_entries.at(position);
            const XsdtNode *node = entry.node;
            const bool inSet = restriction && restriction->contains(node);
            if (restriction && !inSet)
                continue;
            if (!options.includeProtected && !entry.editable && !inSet)
                continue;
            if (options.changedOnly && !node->isEdited() && !node->isInsideDeleted())
                continue;
            int score = 0;
            bool matchesAll = true;
            for (const QString &term : terms) {
                const Place place = placeOf(entry, term, options);
                if (place == Place::Names) {
                    if (entry.key == term)
                        score += 10;
                    else if (entry.key.startsWith(term))
                        score += 6;
                    else if (entry.key.contains(term))
                        score += 4;
                    else if (containsIgnoringCase(entry.label, term))
                        score += 3;
                    else
                        score += 2;
                } else if (place == Place::Description
                           || (options.values && !entry.block && valueContains(node->value, term))) {
                    score += 1;
                } else {
                    matchesAll = false;
                    break;
                }
            }
            if (matchesAll)
                found.append({score, position});
        }
        return found;
    };
    // A large file is searched in two halves at once: the first keystroke looks at every value.
    // The caller waits for the other half, so nothing it reads changes meanwhile.
    QList<Result> results;
    if (count >= kSplitFrom) {
        const int middle = count / 2;
        QFuture<QList<Result>> second = QtConcurrent::run(scan, middle, count);
        results = scan(0, middle);
        results.append(second.result());
    } else {
        results = scan(0, count);
    }
    if (matched) {
        matched->clear();
        matched->reserve(results.size());
        for (const Result &result : std::as_const(results))
            matched->append(result.position);
    }
    orderFirst(results, ordered < 0 ? results.size() : ordered, 0);
    return results;
}

qsizetype SearchIndex::orderFirst(QList<Result> &results, qsizetype count, qsizetype alreadyOrdered) const
{
    count = qMin(count, results.size());
    if (count <= alreadyOrdered)
        return alreadyOrdered;
    // Scores, then the rank of the path: a strict order, so the front is what a full sort gives.
    const auto better = [this](const Result &a, const Result &b) {
        if (a.score != b.score)
            return a.score > b.score;
        return m_pathRank[size_t(a.position)] < m_pathRank[size_t(b.position)];
    };
    std::partial_sort(results.begin() + alreadyOrdered, results.begin() + count, results.end(), better);
    return count;
}

} // namespace pfw
