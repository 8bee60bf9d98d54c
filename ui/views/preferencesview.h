#pragma once

#include "schema/settingsschema.h"

#include "ui/views/cardview.h"

#include <QHash>

#include <memory>
#include <vector>

class QLabel;
class QLayout;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QScrollArea;
class QStackedWidget;

namespace pfw {

class CollapsibleSection;
class SettingRow;
class SettingsModel;
class XsdtFile;
struct XsdtNode;

// The Preferences tab: PixInsight's common settings as pages of rows, groups as sections.
class PreferencesView final : public CardView
{
    Q_OBJECT

public:
    struct Page
    {
        QScrollArea *scroll = nullptr;
        QString title;
        QList<SettingRow *> rows;
        QList<CollapsibleSection *> sections;
        QListWidgetItem *item = nullptr;
        QPushButton *reset = nullptr;
        QList<XsdtNode *> groups;
    };

    PreferencesView(SettingsModel *model, const SettingsSchema *schema, QWidget *parent = nullptr);
    ~PreferencesView() override;

    void setDocument(XsdtFile *file);
    bool showPage(int index);
    void setFilterText(const QString &text);
    Page *buildPage(const PageSpec &spec);
    void buildGroup(XsdtNode *group, QLayout *layout, Page *page, int depth);
    void showNodeMenu(XsdtNode *node, const QPoint &globalPos);
    // The page's own "Reset to PixInsight's default": every value of it a reset may remove.
    void resetPage(Page *page);

    const std::vector<std::unique_ptr<Page>> &pages() const { return m_pages; }
    QListWidget *pageList() const { return m_pageList; }
    QStackedWidget *pageStack() const { return m_stack; }
    QLineEdit *filterEdit() const { return m_filter; }

signals:
    void message(const QString &text);
    void deleteRequested(pfw::XsdtNode *node);
    void restoreRequested(pfw::XsdtNode *node);
    // Export of entries this view shows: one from its menu, or a whole page.
    void exportRequested(const QList<pfw::XsdtNode *> &nodes, const QString &title);
    // Copy of entries into the other instances' files.
    void copyRequested(const QList<pfw::XsdtNode *> &nodes);
    void historyRequested(pfw::XsdtNode *node);

private:
    static QString noFileText();
    void clear();
    bool hasShowableContent(const XsdtNode &group) const;
    void updateBadges();
    void viewOnlyChanged() override;
    void applyFilter();
    void showTree(XsdtFile *file) override { setDocument(file); }
    void rowsRefreshed(bool) override { updateBadges(); }

    const SettingsSchema *m_schema;
    XsdtFile *m_file = nullptr;
    QLineEdit *m_filter;
    QLabel *m_nothing;
    QListWidget *m_pageList;
    QStackedWidget *m_stack;
    std::vector<std::unique_ptr<Page>> m_pages;
};

} // namespace pfw
