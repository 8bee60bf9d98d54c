#include "core/displaytext.h"
#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "core/xsdtwriter.h"
#include "model/settingsmodel.h"
#include "schema/deletionpolicy.h"
#include "tests/support/modalanswerer.h"
#include "ui/views/cleanupview.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

using namespace pfw;

class TestCleanupView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void tiersOfTheDemo();
    void queueSafeEntry();
    void partlyQueued();
    void oneListQueuedAndUndoneFromItsRow();
    void anUnusedModuleOfTwoGroupsIsOneEntry();
    void savedSettingsAsk_data();
    void savedSettingsAsk();
    void nothingToClean();
    void viewOnly();
    void cleanupLabels();

private:
    QTreeWidgetItem *entry(const QString &text) const;

    DeletionPolicy m_policy;
    XsdtFile m_file;
    SettingsModel m_model;
    std::unique_ptr<CleanupView> m_view;
};

void TestCleanupView::initTestCase()
{
    QString error;
    QVERIFY(m_policy.loadBuiltIn(&error));
    m_model.setPolicy(&m_policy);
}

void TestCleanupView::init()
{
    m_view.reset();
    QVERIFY(m_file.parse(SettingsGenerator::demo()));
    m_model.setDocument(&m_file);
    m_view = std::make_unique<CleanupView>(&m_model);
    m_view->refresh(&m_file);
}

QTreeWidgetItem *TestCleanupView::entry(const QString &text) const
{
    const QList<QTreeWidgetItem *> found = m_view->tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.constFirst();
}

void TestCleanupView::tiersOfTheDemo()
{
    QTreeWidget *tree = m_view->tree();
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Safe to clean - PixInsight recreates these"));
    QTreeWidgetItem *statistics = entry(QStringLiteral("Process usage statistics"));
    QVERIFY(statistics);
    const XsdtNode *node = m_file.root.findPath(u"Global/Statistics");
    QCOMPARE(statistics->text(1), QString::number(node->valueCount()));
    QCOMPARE(statistics->text(2), DisplayText::size(serializedSize(*node)));
    QTreeWidgetItem *geometry = entry(QStringLiteral("Window position of each process (5)"));
    QVERIFY(geometry);
    // PixInsight's own processes are not mistaken for tools that came and went.
    QCOMPARE(geometry->child(0)->text(0),
             QStringLiteral("HistogramTransformation \u203A HistogramTransformationInterface (PixInsight's own tool)"));
    QCOMPARE(geometry->childCount(), 5);
    QVERIFY(entry(QStringLiteral("ImageCalibration \u203A ImageCalibrationInterface (PixInsight's own tool)")));
    // Saved tool settings: the Warn entries down to the third level, by the name the user knows,
    // with the path to look them up by.
    QTreeWidgetItem *mirelux = entry(QStringLiteral("Mirelux (unused module)"));
    QVERIFY(mirelux);
    QVERIFY(mirelux->toolTip(0).startsWith(QStringLiteral("ModuleData/Mirelux\n")));
    QCOMPARE(mirelux->childCount(), 0);
    QVERIFY(entry(QStringLiteral("Weighted batch preprocessing")));
    QVERIFY(entry(QStringLiteral("Module data version record (0)")));
    QVERIFY(!entry(QStringLiteral("ModuleData/0"))
            || !(entry(QStringLiteral("ModuleData/0"))->flags() & Qt::ItemIsUserCheckable));
    QCOMPARE(m_view->statusLabel()->text(), QStringLiteral("Queued for deletion: 0"));

    // Ticking the safe tier after everything leaves no saved settings ticked.
    m_view->tickAll(false);
    m_view->tickAll(true);
    QCOMPARE(entry(QStringLiteral("Mirelux (unused module)"))->checkState(0), Qt::Unchecked);
    QCOMPARE(statistics->checkState(0), Qt::Checked);
}

void TestCleanupView::queueSafeEntry()
{
    QTreeWidgetItem *statistics = entry(QStringLiteral("Process usage statistics"));
    statistics->setCheckState(0, Qt::Checked);
    QVERIFY(m_view->statusLabel()->text().startsWith(QStringLiteral("Ticked: 1 (about ")));
    QVERIFY(m_view->queueButton()->isEnabled());
    QSignalSpy message(m_view.get(), &CleanupView::message);
    m_view->queueTicked();
    QCOMPARE(message.constLast().at(0).toString(), QStringLiteral("Queued for deletion: 1. Save to apply."));
    QVERIFY(m_file.root.findPath(u"Global/Statistics")->deleted);
    QCOMPARE(statistics->text(3), QStringLiteral("Queued for deletion"));
    QCOMPARE(statistics->checkState(0), Qt::Unchecked);
    QCOMPARE(m_view->statusLabel()->text(), QStringLiteral("Queued for deletion: 1"));
    statistics->setCheckState(0, Qt::Checked);
    m_view->undoTicked();
    QVERIFY(!m_file.root.findPath(u"Global/Statistics")->deleted);
    QVERIFY(statistics->text(3).isEmpty());
}

// Three lists of the "Window geometry" group.
constexpr char kThreeWindows[] = "<xsdt><i k=\"CentralWidgetClients\"><v k=\"a\" t=\"s\" v=\"1\"/></i>"
                                 "<i k=\"FileExplorer\"><v k=\"b\" t=\"s\" v=\"1\"/></i>"
                                 "<i k=\"FloatingSourceEditor\"><v k=\"c\" t=\"s\" v=\"1\"/></i></xsdt>";

void TestCleanupView::partlyQueued()
{
    XsdtFile file;
    QVERIFY(file.parse(kThreeWindows));
    m_model.setDocument(&file);
    m_view->refresh(&file);
    QTreeWidgetItem *geometry = entry(QStringLiteral("Window geometry"));
    QVERIFY(geometry);
    // Each of its lists can be ticked on its own, named by its label with the path behind it.
    QCOMPARE(geometry->childCount(), 3);
    QVERIFY(geometry->child(0)->flags() & Qt::ItemIsUserCheckable);
    QCOMPARE(m_view->entries().value(geometry->child(0)).size(), 1);
    QCOMPARE(geometry->child(0)->text(0), QStringLiteral("Central widget clients"));
    QVERIFY(geometry->child(0)->toolTip(0).startsWith(QStringLiteral("CentralWidgetClients\n")));
    // Queued elsewhere, for example in the All settings tree.
    QVERIFY(m_model.requestDeletion(file.root.findPath(u"CentralWidgetClients")));
    QVERIFY(m_model.requestDeletion(file.root.findPath(u"FloatingSourceEditor")));
    QCOMPARE(geometry->text(3), QStringLiteral("Partly queued (2 of 3)"));
    QVERIFY(m_model.requestDeletion(file.root.findPath(u"FileExplorer")));
    QCOMPARE(geometry->text(3), QStringLiteral("Queued for deletion"));
    m_view->refresh(nullptr);
    m_model.setDocument(&m_file);
}

// Just the recent files, say: one list of a group queued on its own, counted the same way at the
// bottom and in the message, and taken back from its row without ticking it again.
void TestCleanupView::oneListQueuedAndUndoneFromItsRow()
{
    XsdtFile file;
    QVERIFY(file.parse(kThreeWindows));
    m_model.setDocument(&file);
    m_view->refresh(&file);
    QTreeWidgetItem *geometry = entry(QStringLiteral("Window geometry"));
    QVERIFY(geometry);
    QTreeWidgetItem *explorer = geometry->child(1);
    explorer->setCheckState(0, Qt::Checked);
    QCOMPARE(geometry->checkState(0), Qt::PartiallyChecked);
    QSignalSpy message(m_view.get(), &CleanupView::message);
    m_view->queueTicked();
    QVERIFY(file.root.findPath(u"FileExplorer")->deleted);
    QVERIFY(!file.root.findPath(u"CentralWidgetClients")->deleted);
    QCOMPARE(message.constLast().at(0).toString(), QStringLiteral("Queued for deletion: 1. Save to apply."));
    QCOMPARE(m_view->statusLabel()->text(), QStringLiteral("Queued for deletion: 1"));
    QCOMPARE(geometry->text(3), QStringLiteral("Partly queued (1 of 3)"));
    // Queued again with the rest: only what was not queued yet is counted.
    geometry->setCheckState(0, Qt::Checked);
    m_view->queueTicked();
    QCOMPARE(message.constLast().at(0).toString(), QStringLiteral("Queued for deletion: 2. Save to apply."));
    QCOMPARE(m_view->statusLabel()->text(), QStringLiteral("Queued for deletion: 3"));

    // Selecting a queued row is enough to take it back.
    QVERIFY(!m_view->undoButton()->isEnabled());
    m_view->tree()->setCurrentItem(explorer);
    QVERIFY(m_view->undoButton()->isEnabled());
    m_view->undoButton()->click();
    QVERIFY(!file.root.findPath(u"FileExplorer")->deleted);
    QVERIFY(file.root.findPath(u"CentralWidgetClients")->deleted);
    m_view->tree()->setCurrentItem(geometry);
    m_view->undoButton()->click();
    QVERIFY(!file.root.findPath(u"CentralWidgetClients")->deleted);
    QCOMPARE(m_view->statusLabel()->text(), QStringLiteral("Queued for deletion: 0"));
    m_view->refresh(nullptr);
    m_model.setDocument(&m_file);
}

// A module's data in two groups of one name is one entry, counted once, not once a group.
void TestCleanupView::anUnusedModuleOfTwoGroupsIsOneEntry()
{
    QByteArray bytes = SettingsGenerator::demo();
    const QByteArray moduleData = "<i k=\"ModuleData\">";
    QVERIFY(bytes.contains(moduleData));
    bytes.replace(moduleData, moduleData + "<i k=\"Mirelux\"><v k=\"Extra\" t=\"s\" v=\"x\"/></i>");
    XsdtFile file;
    QVERIFY(file.parse(bytes));
    m_model.setDocument(&file);
    m_view->refresh(&file);
    QList<QTreeWidgetItem *> found
        = m_view->tree()->findItems(QStringLiteral("Mirelux"), Qt::MatchStartsWith | Qt::MatchRecursive);
    found.removeIf([](const QTreeWidgetItem *item) { return !item->text(0).endsWith(u"(unused module)"); });
    QCOMPARE(found.size(), 1);
    qsizetype values = 0;
    for (const auto &group : file.root.childByKey(u"ModuleData")->children)
        values += group->key == u"Mirelux" ? group->valueCount() : 0;
    QVERIFY(found.constFirst()->text(1).toLongLong() >= values);
    m_view->refresh(nullptr);
    m_model.setDocument(&m_file);
}

void TestCleanupView::savedSettingsAsk_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("answered No") << false;
    QTest::newRow("answered Yes") << true;
}

void TestCleanupView::savedSettingsAsk()
{
    QFETCH(bool, yes);
    entry(QStringLiteral("Mirelux (unused module)"))->setCheckState(0, Qt::Checked);
    QString details;
    test::answerNext<QMessageBox>([yes, &details](QMessageBox *box) {
        QCOMPARE(box->windowTitle(), QStringLiteral("Delete saved settings?"));
        QCOMPARE(box->text(),
                 QStringLiteral("This removes the saved configuration of 1 tool or script. It will "
                                "start from its defaults."));
        details = box->detailedText();
        box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    m_view->queueTicked();
    QCOMPARE(details, QStringLiteral("Mirelux (unused module)"));
    QCOMPARE(m_file.root.findPath(u"ModuleData/Mirelux")->deleted, yes);
}

void TestCleanupView::nothingToClean()
{
    XsdtFile bare;
    QVERIFY(bare.parse("<xsdt><i k=\"Global\"><i k=\"Preferences\"/></i></xsdt>"));
    m_model.setDocument(&bare);
    m_view->refresh(&bare);
    QCOMPARE(m_view->tree()->topLevelItem(0)->child(0)->text(0), QStringLiteral("Nothing to clean in this file."));
    QCOMPARE(m_view->tree()->topLevelItem(1)->child(0)->text(0), QStringLiteral("No tool settings found."));
    QVERIFY(m_view->entries().isEmpty());
    m_view->refresh(nullptr);
    QCOMPARE(m_view->tree()->topLevelItemCount(), 0);
    m_model.setDocument(&m_file);
}

void TestCleanupView::viewOnly()
{
    entry(QStringLiteral("Process usage statistics"))->setCheckState(0, Qt::Checked);
    m_view->setViewOnly(true);
    QCOMPARE(m_view->statusLabel()->text(), QStringLiteral("PixInsight is running: view only."));
    QVERIFY(!m_view->queueButton()->isEnabled());
    QVERIFY(entry(QStringLiteral("Process usage statistics"))->isDisabled());
    m_view->setViewOnly(false);
    m_view->tickAll(true);
    QCOMPARE(entry(QStringLiteral("Mirelux (unused module)"))->checkState(0), Qt::Unchecked);
    m_view->tickAll(false);
    QCOMPARE(entry(QStringLiteral("Mirelux (unused module)"))->checkState(0), Qt::Checked);
}

void TestCleanupView::cleanupLabels()
{
    QCOMPARE(CleanupView::cleanupLabel(
                 *m_file.root.findPath(u"ModuleData/ImageCalibration/Interfaces/ImageCalibrationInterface/Geometry")),
             QStringLiteral("ImageCalibration \u203A ImageCalibrationInterface"));
}

QTEST_MAIN(TestCleanupView)
#include "tst_cleanupview.moc"
