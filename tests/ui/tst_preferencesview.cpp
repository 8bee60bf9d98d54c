#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "ui/widgets/settingrow.h"
#include "model/settingsmodel.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"
#include "ui/views/collapsiblesection.h"
#include "ui/views/preferencesview.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStackedWidget>
#include <QTest>
#include <QPushButton>
#include <QToolButton>
#include <QUndoStack>

using namespace pfw;

class TestPreferencesView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void pagesOfTheDemo();
    void identifiersAndGuiHasTwoOpenSections();
    void applicationValuesComeFirst();
    void hiddenCacheIsAbsent();
    void badges();
    void filterSelectsTheRemainingPage();
    void filterMatchingNothing();
    void firstExpansionRunsOnce();
    void rowsFollowTheTreeTheModelIsGiven();
    void pageResetTakesThatPageOnly();

private:
    const PreferencesView::Page *page(const QString &title) const;

    SettingsSchema m_schema;
    DeletionPolicy m_policy;
    XsdtFile m_file;
    SettingsModel m_model;
    std::unique_ptr<PreferencesView> m_view;
};

void TestPreferencesView::initTestCase()
{
    QString error;
    QVERIFY(m_schema.loadBuiltIn(&error));
    QVERIFY(m_policy.loadBuiltIn(&error));
    m_model.setPolicy(&m_policy);
}

void TestPreferencesView::init()
{
    m_view.reset();
    QVERIFY(m_file.parse(SettingsGenerator::demo()));
    m_model.setDocument(&m_file);
    m_view = std::make_unique<PreferencesView>(&m_model, &m_schema);
    m_view->setDocument(&m_file);
}

const PreferencesView::Page *TestPreferencesView::page(const QString &title) const
{
    for (const auto &candidate : m_view->pages()) {
        if (candidate->title == title)
            return candidate.get();
    }
    return nullptr;
}

void TestPreferencesView::pagesOfTheDemo()
{
    QStringList titles;
    for (int i = 0; i < m_view->pageList()->count(); ++i)
        titles << m_view->pageList()->item(i)->text();
    // RGB Working Space and Readout Options hold editable values too; the two groups no page
    // names come last.
    QCOMPARE(titles.constFirst(), QStringLiteral("Application"));
    QCOMPARE(titles.mid(titles.size() - 2),
             QStringList({QStringLiteral("Transparency brush"), QStringLiteral("Workspace")}));
    QCOMPARE(m_view->pageStack()->currentIndex(), 1);
    QVERIFY(m_view->showPage(3));
    QCOMPARE(m_view->pageStack()->currentIndex(), 4);
    QVERIFY(!m_view->showPage(99));
}

void TestPreferencesView::identifiersAndGuiHasTwoOpenSections()
{
    const PreferencesView::Page *identifiers = page(QStringLiteral("Identifiers and GUI"));
    QVERIFY(identifiers);
    QCOMPARE(identifiers->sections.size(), 2);
    QCOMPARE(identifiers->sections.at(0)->header()->text(), QStringLiteral("Identifiers"));
    QCOMPARE(identifiers->sections.at(1)->header()->text(), QStringLiteral("GUI"));
    QVERIFY(identifiers->sections.at(0)->isExpanded());
    QVERIFY(identifiers->sections.at(1)->initiallyExpanded());
    QCOMPARE(identifiers->rows.size(), 6);
}

void TestPreferencesView::applicationValuesComeFirst()
{
    const PreferencesView::Page *application = page(QStringLiteral("Application"));
    QVERIFY(application);
    QCOMPARE(application->sections.size(), 2);
    QVERIFY(!application->sections.at(0)->isExpanded());
    QCOMPARE(application->sections.at(0)->header()->text(), QStringLiteral("Startup"));
    QCOMPARE(application->rows.constFirst()->node()->key, QStringLiteral("AppDirectory"));
    QCOMPARE(application->rows.constLast()->node()->parent->key, QStringLiteral("Console"));
    // Protected values never appear; every row is an editable value.
    for (const SettingRow *row : application->rows)
        QVERIFY(row->node()->isEditableValue());
    QCOMPARE(application->rows.size(), 64 + 4);
}

void TestPreferencesView::hiddenCacheIsAbsent()
{
    const PreferencesView::Page *editor = page(QStringLiteral("Script Editor"));
    QVERIFY(editor);
    QVERIFY(editor->sections.isEmpty());
    for (const SettingRow *row : editor->rows)
        QVERIFY(!row->node()->path().contains(QLatin1String("Cache")));
}

void TestPreferencesView::badges()
{
    const PreferencesView::Page *processes = page(QStringLiteral("Processes"));
    XsdtNode *first = m_file.root.findPath(u"Global/Preferences/Process/MaxProcessors");
    XsdtNode *second = m_file.root.findPath(u"Global/Preferences/Process/ConsoleDelay");
    QVERIFY(m_model.setData(m_model.indexFor(first, 1), QStringLiteral("8")));
    QVERIFY(m_model.setData(m_model.indexFor(second, 1), QStringLiteral("100")));
    QCOMPARE(processes->item->text(), QString::fromUtf8("Processes   \xE2\x97\x8F 2"));
    QVERIFY(processes->item->font().bold());
    m_model.revertValue(first);
    m_model.revertValue(second);
    QCOMPARE(processes->item->text(), QStringLiteral("Processes"));
    QVERIFY(!processes->item->font().bold());
}

void TestPreferencesView::filterSelectsTheRemainingPage()
{
    // Only the description of Process/MaxFileWriteThreads mentions "writing".
    m_view->setFilterText(QStringLiteral("threads writing"));
    m_view->setFilterText(QStringLiteral("writing image"));
    int visiblePages = 0;
    QString remaining;
    for (const auto &candidate : m_view->pages()) {
        if (!candidate->item->isHidden()) {
            ++visiblePages;
            remaining = candidate->title;
        }
    }
    QCOMPARE(visiblePages, 1);
    QCOMPARE(remaining, QStringLiteral("Processes"));
    QCOMPARE(m_view->pageList()->currentItem()->text(), QStringLiteral("Processes"));
    m_view->setFilterText(QStringLiteral("history length"));
    const PreferencesView::Page *application = page(QStringLiteral("Application"));
    QVERIFY(!application->item->isHidden());
    QVERIFY(application->sections.at(1)->isExpanded()); // Console holds the match
    QVERIFY(application->sections.at(0)->isHidden()); // Startup does not
    m_view->setFilterText(QString());
    QVERIFY(!application->sections.at(1)->isExpanded());
    QVERIFY(!application->sections.at(0)->isHidden());
}

void TestPreferencesView::filterMatchingNothing()
{
    m_view->setFilterText(QStringLiteral("no such words anywhere"));
    QCOMPARE(m_view->pageStack()->currentIndex(), 0);
    QCOMPARE(qobject_cast<QLabel *>(m_view->pageStack()->currentWidget())->text(),
             QStringLiteral("No matching settings."));
    QVERIFY(!m_view->showPage(0));
}

void TestPreferencesView::firstExpansionRunsOnce()
{
    CollapsibleSection section(QStringLiteral("Card"), false);
    int runs = 0;
    section.setFirstExpansion([&runs] { ++runs; });
    QVERIFY(section.content()->isHidden());
    QCOMPARE(section.header()->arrowType(), Qt::RightArrow);
    section.setExpanded(true);
    section.setExpanded(false);
    section.setExpanded(true);
    QCOMPARE(runs, 1);
    QCOMPARE(section.header()->arrowType(), Qt::DownArrow);
    QVERIFY(section.header()->font().bold());
}

// A reload or restore gives the model another tree and frees the old one. The rows must let go of
// the old nodes at once, with no window to tell them, and show the new tree.
void TestPreferencesView::rowsFollowTheTreeTheModelIsGiven()
{
    auto other = std::make_unique<XsdtFile>();
    QVERIFY(other->parse(SettingsGenerator::demo()));
    m_model.setDocument(other.get());
    m_file.root.children.clear(); // the old tree is gone
    int rows = 0;
    for (const auto &shown : m_view->pages()) {
        for (const SettingRow *row : shown->rows) {
            QCOMPARE(other->root.findPath(row->node()->path()), row->node());
            ++rows;
        }
    }
    QVERIFY(rows > 20);
    // A reset over the same tree (a large undo) keeps the rows.
    const SettingRow *first = m_view->pages().front()->rows.constFirst();
    m_model.refreshAll();
    QCOMPARE(m_view->pages().front()->rows.constFirst(), first);
    m_model.setDocument(nullptr);
    QVERIFY(m_view->pages().empty());
}

// The page's reset queues its own values, and only those a reset may remove, as one step.
void TestPreferencesView::pageResetTakesThatPageOnly()
{
    QUndoStack &stack = *m_model.undoStack();
    stack.clear();
    const PreferencesView::Page *processes = page(QStringLiteral("Processes"));
    QVERIFY(processes && processes->reset);
    const QString before = QString::fromUtf8(m_file.serialize());
    QTest::mouseClick(processes->reset, Qt::LeftButton);
    const QList<XsdtNode *> queued = m_file.root.pendingDeletions();
    QVERIFY(queued.size() > 10);
    for (const XsdtNode *node : queued) {
        QVERIFY2(node->resetToDefault && node->kind == XsdtNode::Value, qPrintable(node->path()));
        QVERIFY2(node->path().startsWith(QLatin1String("Global/Preferences/Process/")), qPrintable(node->path()));
        QVERIFY2(!m_schema.spec(*node).readOnly && !m_model.isEditLocked(node), qPrintable(node->path()));
    }
    QCOMPARE(stack.count(), 1);
    stack.undo();
    QCOMPARE(m_file.root.pendingChangeCount(), 0);
    QCOMPARE(QString::fromUtf8(m_file.serialize()), before);
    m_view->setViewOnly(true);
    QVERIFY(!processes->reset->isEnabled());
}

QTEST_MAIN(TestPreferencesView)
#include "tst_preferencesview.moc"
