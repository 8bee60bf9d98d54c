#pragma once

#include "ui/views/cardview.h"

#include "ui/views/searchindex.h"

#include <QHash>
#include <QTimer>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace pfw {

class SettingRow;
class SettingsModel;
class SettingsSchema;
class XsdtFile;
struct XsdtNode;

// The Search tab: every value ranked by name, path, label, description or value, shown as
// editable rows. Also shows a fixed set of nodes for the module search.
class SearchView final : public CardView
{
    Q_OBJECT

public:
    static constexpr int kPageSize = 100;
    // Rows made at once for a search, about a screenful; the rest of the page follows this many
    // at a time on later turns of the event loop, so typing never waits for rows out of sight.
    static constexpr int kRowsAtOnce = 20;

    SearchView(SettingsModel *model, const SettingsSchema *schema, QWidget *parent = nullptr);

    void setDocument(XsdtFile *file);
    void setQuery(const QString &text);
    void showNodes(const QList<XsdtNode *> &nodes, const QString &description);
    void clearRestriction();
    void buildIndex();
    void populate();
    // Down or Enter in the query box: the results get the focus, searched at once if typing
    // has not paused yet.
    void focusFirstResult();

    QLineEdit *queryEdit() const { return m_query; }
    QLabel *statusLabel() const { return m_status; }
    QPushButton *moreButton() const { return m_more; }
    QPushButton *exportButton() const { return m_export; }
    // Every result of the search, not only the rows shown; searched now if typing has not paused.
    QList<XsdtNode *> allResults();
    QLabel *restrictionLabel() const { return m_restrictionLabel; }
    QWidget *restrictionBanner() const { return m_banner; }
    QCheckBox *changedOnlyBox() const { return m_changedOnly; }
    QCheckBox *protectedBox() const { return m_protected; }
    // The rows made so far: the page's rest comes on later turns of the event loop.
    const QList<SettingRow *> &rows() const { return m_rows; }
    int searchCount() const { return m_searches; }

signals:
    void message(const QString &text);
    void deleteRequested(pfw::XsdtNode *node);
    void restoreRequested(pfw::XsdtNode *node);
    // Export of entries this view shows: one from its menu, or a whole page.
    void exportRequested(const QList<pfw::XsdtNode *> &nodes, const QString &title);
    // Copy of entries into the other instances' files.
    void copyRequested(const QList<pfw::XsdtNode *> &nodes);
    void revealRequested(pfw::XsdtNode *node);
    void historyRequested(pfw::XsdtNode *node);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showTree(XsdtFile *file) override { setDocument(file); }
    void search();
    void scheduleSearch();
    void removeRows();
    void showRows();
    void addRows(int count);

    const SettingsSchema *m_schema;
    QScrollArea *m_scroll = nullptr;
    XsdtFile *m_file = nullptr;
    QSet<const XsdtNode *> m_restriction;
    bool m_restricted = false;
    SearchIndex m_index;
    QList<SearchIndex::Result> m_results;
    // How many of the results, from the front, are in order: only what is shown needs to be.
    qsizetype m_ordered = 0;
    // The last search, so that typing on searches only among what it matched.
    struct LastSearch
    {
        bool valid = false;
        QStringList terms;
        SearchIndex::Options options;
        quint64 generation = 0;
        quint64 revision = 0;
        QList<int> matches;
    };
    LastSearch m_last;
    int m_limit = kPageSize;
    QList<SettingRow *> m_rows;
    int m_searches = 0;

    QWidget *m_banner;
    QLabel *m_restrictionLabel;
    QLineEdit *m_query;
    QCheckBox *m_names;
    QCheckBox *m_values;
    QCheckBox *m_descriptions;
    QCheckBox *m_changedOnly;
    QCheckBox *m_protected;
    QLabel *m_status;
    QVBoxLayout *m_list;
    QPushButton *m_more;
    QPushButton *m_export;
    QTimer m_debounce;
    QTimer m_moreRows;
};

} // namespace pfw
