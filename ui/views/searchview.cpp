#include "ui/views/searchview.h"

#include "core/xsdtfile.h"
#include "ui/widgets/nodemenu.h"
#include "ui/widgets/settingrow.h"
#include "model/settingsmodel.h"
#include "schema/settingsschema.h"
#include "ui/accesskeys.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace pfw {

SearchView::SearchView(SettingsModel *model, const SettingsSchema *schema, QWidget *parent)
    : CardView(model, parent)
    , m_schema(schema)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 0);

    m_banner = new QWidget(this);
    auto *bannerLayout = new QHBoxLayout(m_banner);
    bannerLayout->setContentsMargins(0, 0, 0, 0);
    m_restrictionLabel = new QLabel(m_banner);
    m_restrictionLabel->setWordWrap(true);
    m_restrictionLabel->setMargin(6);
    m_restrictionLabel->setAutoFillBackground(true);
    QPalette palette = m_restrictionLabel->palette();
    palette.setColor(QPalette::Window, QColor(80, 160, 255, 70));
    m_restrictionLabel->setPalette(palette);
    auto *clear = new QPushButton(tr("Clear filter"), m_banner);
    bannerLayout->addWidget(m_restrictionLabel, 1);
    bannerLayout->addWidget(clear);
    m_banner->hide();
    layout->addWidget(m_banner);
    setAccessKey(clear, u'l');
    connect(clear, &QPushButton::clicked, this, &SearchView::clearRestriction);

    m_query = new QLineEdit(this);
    m_query->setAccessibleName(tr("Search text"));
    m_query->setPlaceholderText(
        tr("Search all settings: names, values, descriptions  (every word must match; \"quotes\" for a phrase)"));
    m_query->setClearButtonEnabled(true);
    m_query->installEventFilter(this);
    layout->addWidget(m_query);

    auto *options = new QHBoxLayout;
    m_names = new QCheckBox(tr("Names and paths"), this);
    m_values = new QCheckBox(tr("Values"), this);
    m_descriptions = new QCheckBox(tr("Descriptions"), this);
    m_changedOnly = new QCheckBox(tr("Changed only"), this);
    m_protected = new QCheckBox(tr("Include protected values"), this);
    setAccessKey(m_names, u'n');
    setAccessKey(m_values, u'a');
    setAccessKey(m_descriptions, u'd');
    setAccessKey(m_changedOnly, u'c');
    setAccessKey(m_protected, u'p');
    m_protected->setToolTip(tr("Time and Block values: shown for reference, never editable."));
    for (QCheckBox *box : {m_names, m_values, m_descriptions})
        box->setChecked(true);
    for (QCheckBox *box : {m_names, m_values, m_descriptions, m_changedOnly, m_protected}) {
        options->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &SearchView::scheduleSearch);
    }
    options->addStretch();
    layout->addLayout(options);

    auto *statusRow = new QHBoxLayout;
    m_status = new QLabel(tr("Type to search the names, values and descriptions of every setting in the file."), this);
    statusRow->addWidget(m_status, 1);
    m_export = new QPushButton(tr("Export all results..."), this);
    m_export->setToolTip(tr("Write every result of this search, not only those shown, to a small settings file"));
    setAccessKey(m_export, u'x');
    m_export->hide();
    statusRow->addWidget(m_export);
    layout->addLayout(statusRow);
    connect(m_export, &QPushButton::clicked, this, [this] {
        const QList<XsdtNode *> nodes = allResults();
        if (!nodes.isEmpty())
            emit exportRequested(nodes, tr("Search results"));
    });

    auto *scroll = new QScrollArea(this);
    m_scroll = scroll;
    scroll->setAccessibleName(tr("Search results"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto *listWidget = new QWidget(scroll);
    m_list = new QVBoxLayout(listWidget);
    m_list->setContentsMargins(0, 0, 0, 0);
    m_list->setSpacing(0);
    m_more = new QPushButton(listWidget);
    m_more->hide();
    m_list->addWidget(m_more);
    m_list->addStretch();
    scroll->setWidget(listWidget);
    layout->addWidget(scroll, 1);
    connect(m_more, &QPushButton::clicked, this, [this] {
        m_limit += kPageSize;
        showRows();
    });
    m_moreRows.setSingleShot(true);
    m_moreRows.setInterval(0);
    connect(&m_moreRows, &QTimer::timeout, this, [this] { addRows(kRowsAtOnce); });

    m_debounce.setSingleShot(true);
    m_debounce.setInterval(200);
    // A new query starts from one page; "Show more" while it waits still acts on the rows shown.
    connect(&m_debounce, &QTimer::timeout, this, [this] {
        m_limit = kPageSize;
        search();
    });
    connect(m_query, &QLineEdit::textChanged, this, &SearchView::scheduleSearch);
}

bool SearchView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_query && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool intoResults = key->modifiers() == Qt::NoModifier
            && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
        if (intoResults) {
            focusFirstResult();
            return true;
        }
    }
    return CardView::eventFilter(watched, event);
}

void SearchView::focusFirstResult()
{
    // The key must not wait for the pause after typing: what was typed is searched now.
    if (m_debounce.isActive()) {
        m_debounce.stop();
        m_limit = kPageSize;
        search();
    }
    if (m_rows.isEmpty())
        return;
    SettingRow *first = m_rows.constFirst();
    m_scroll->ensureWidgetVisible(first);
    QWidget *editor = first->editor();
    (editor && editor->isEnabled() ? editor : static_cast<QWidget *>(first))->setFocus(Qt::TabFocusReason);
}

QList<XsdtNode *> SearchView::allResults()
{
    if (m_debounce.isActive())
        search();
    QList<XsdtNode *> nodes;
    nodes.reserve(m_results.size());
    for (const SearchIndex::Result &result : std::as_const(m_results))
        nodes << m_index.node(result.position);
    return nodes;
}

void SearchView::scheduleSearch()
{
    // Shown rows keep the status that describes them; with none, "No matching settings." would
    // speak of the query before this one.
    if (m_rows.isEmpty() && !m_query->text().trimmed().isEmpty())
        m_status->setText(tr("Searching\u2026"));
    m_debounce.start();
}

void SearchView::setDocument(XsdtFile *file)
{
    removeRows();
    m_results.clear();
    m_ordered = 0;
    m_last.valid = false;
    m_index.clear();
    m_file = file;
    m_restriction.clear();
    m_restricted = false;
    m_banner->hide();
    m_limit = kPageSize;
    m_more->hide(); // its rows are gone, whatever comes next
    m_export->hide();
    if (m_file)
        search();
    else
        m_status->clear();
}

void SearchView::setQuery(const QString &text)
{
    m_debounce.stop();
    m_query->setText(text);
    m_debounce.stop();
    m_limit = kPageSize;
    search();
}

void SearchView::showNodes(const QList<XsdtNode *> &nodes, const QString &description)
{
    m_restriction.clear();
    for (const XsdtNode *node : nodes)
        m_restriction.insert(node);
    m_restricted = true;
    m_last.valid = false;
    m_restrictionLabel->setText(description);
    m_banner->show();
    m_debounce.stop();
    {
        const QSignalBlocker query(m_query);
        const QSignalBlocker changed(m_changedOnly);
        const QSignalBlocker protectedValues(m_protected);
        m_query->clear();
        m_changedOnly->setChecked(false);
        m_protected->setChecked(false);
    }
    m_limit = kPageSize;
    search();
}

void SearchView::clearRestriction()
{
    if (!m_restricted)
        return;
    m_restriction.clear();
    m_restricted = false;
    m_last.valid = false;
    m_banner->hide();
    search();
}

void SearchView::buildIndex()
{
    if (m_file)
        m_index.build(*m_file, *m_schema);
}

void SearchView::removeRows()
{
    m_moreRows.stop();
    qDeleteAll(m_rows);
    m_rows.clear();
    forgetRows();
}

void SearchView::search()
{
    m_debounce.stop();
    m_limit = qMax(m_limit, int(kPageSize));
    m_results.clear();
    m_ordered = 0;
    ++m_searches;
    if (!m_file) {
        removeRows();
        return;
    }
    if (!m_index.isBuilt())
        buildIndex();
    const QStringList terms = SearchIndex::splitTerms(m_query->text());
    if (terms.isEmpty() && !m_changedOnly->isChecked() && !m_restricted) {
        removeRows();
        m_status->setText(tr("Type to search the names, values and descriptions of every setting in the file."));
        m_more->hide();
        m_export->hide();
        return;
    }
    SearchIndex::Options options;
    options.names = m_names->isChecked();
    options.values = m_values->isChecked();
    options.descriptions = m_descriptions->isChecked();
    options.changedOnly = m_changedOnly->isChecked();
    options.includeProtected = m_protected->isChecked();
    // Typing on narrows the last search, unless anything it depended on has changed since.
    const bool narrows = m_last.valid && m_last.options == options && m_last.generation == m_model->generation()
        && m_last.revision == m_model->revision() && SearchIndex::refines(terms, m_last.terms);
    QList<int> matches;
    m_results = m_index.search(terms, options, m_restricted ? &m_restriction : nullptr,
                               narrows ? &m_last.matches : nullptr, &matches, m_limit);
    m_ordered = qMin<qsizetype>(m_limit, m_results.size());
    m_last.valid = true;
    m_last.terms = terms;
    m_last.options = options;
    m_last.generation = m_model->generation();
    m_last.revision = m_model->revision();
    m_last.matches = std::move(matches);
    populate();
}

void SearchView::populate()
{
    removeRows();
    showRows();
}

void SearchView::showRows()
{
    const int total = int(m_results.size());
    const int shown = qMin(total, m_limit);
    m_ordered = m_index.orderFirst(m_results, shown, m_ordered);
    addRows(kRowsAtOnce);
    m_more->setVisible(shown < total);
    m_export->setVisible(total > 0);
    if (shown < total)
        m_more->setText(tr("Show more results (%1 more)").arg(total - shown));
    if (total > 0 && shown < total)
        m_status->setText(tr("%1 results, showing the best %2. Refine the search or show more.").arg(total).arg(shown));
    else if (total > 0)
        m_status->setText(tr("%n results", nullptr, total));
    else
        m_status->setText(tr("No matching settings."));
}

void SearchView::addRows(int count)
{
    const int shown = qMin(int(m_results.size()), m_limit);
    const int end = qMin(shown, int(m_rows.size()) + count);
    for (int i = int(m_rows.size()); i < end; ++i) {
        XsdtNode *node = m_index.node(m_results.at(i).position);
        auto *row = new SettingRow(node, m_schema->spec(*node), m_model);
        row->setShowPath(true);
        row->setViewOnly(m_viewOnly);
        connect(row, &SettingRow::rejected, this, &SearchView::message);
        connect(row, &SettingRow::menuRequested, this, [this](XsdtNode *target, const QPoint &pos) {
            NodeMenuCallbacks callbacks = forwardingCallbacks(this);
            callbacks.showHistory = [this](XsdtNode *n) { emit historyRequested(n); };
            pfw::showNodeMenu(this, m_model, target, pos, m_viewOnly, callbacks);
        });
        m_list->insertWidget(m_list->indexOf(m_more), row);
        m_rows.append(row);
        addRow(node, row);
    }
    if (m_rows.size() < shown)
        m_moreRows.start();
}

} // namespace pfw
