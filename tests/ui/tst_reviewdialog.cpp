#include "core/xsdtfile.h"
#include "model/settingsmodel.h"
#include "schema/deletionpolicy.h"
#include "ui/dialogs/reviewdialog.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace pfw;

class TestReviewDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void listsEditsAfterDeletions();
    void largeDeletionShows300Rows();
    void filters_data();
    void filters();
    void details();
    void revertingEverythingDisablesSave();
    void leftoversOnly();
    void returnInTheFilterNeverSaves();
    void deletionsQueuedTogetherAreListedTogether();

private:
    DeletionPolicy m_policy;
    XsdtFile m_file;
    SettingsModel m_model;
};

void TestReviewDialog::initTestCase()
{
    QString error;
    QVERIFY(m_policy.loadBuiltIn(&error));
    m_model.setPolicy(&m_policy);
}

void TestReviewDialog::init()
{
    QByteArray bytes
        = "<xsdt><i k=\"Global\"><i k=\"Preferences\"><i k=\"Process\"><v k=\"MaxProcessors\" t=\"i\" v=\"64\"/>"
          "<v k=\"Note\" t=\"s\" v=\"old text\"/></i></i></i><i k=\"ModuleData\"><i k=\"Big\">";
    for (int i = 0; i < 1000; ++i)
        bytes += "<v k=\"v" + QByteArray::number(i) + "\" t=\"i\" v=\"" + QByteArray::number(i) + "\"/>";
    bytes
        += "</i><i k=\"Small\"><v k=\"a\" t=\"s\" v=\"x\"/></i></i><i k=\"CommandHistory\"><v k=\"C\" t=\"s\" v=\"run\"/></i></xsdt>";
    QVERIFY(m_file.parse(bytes));
    m_model.setDocument(&m_file);
    QVERIFY(m_model.setData(m_model.indexFor(m_file.root.findPath(u"Global/Preferences/Process/MaxProcessors"), 1),
                            QStringLiteral("8")));
    QVERIFY(m_model.setData(m_model.indexFor(m_file.root.findPath(u"Global/Preferences/Process/Note"), 1),
                            QStringLiteral("new\ntext")));
    QVERIFY(m_model.requestDeletion(m_file.root.findPath(u"ModuleData/Big")));
    QVERIFY(m_model.requestDeletion(m_file.root.findPath(u"CommandHistory")));
}

void TestReviewDialog::listsEditsAfterDeletions()
{
    ReviewDialog review(&m_model, &m_file.root);
    QCOMPARE(review.windowTitle(), QStringLiteral("Review changes"));
    QCOMPARE(review.summaryLabel()->text(),
             QStringLiteral("2 edits and 2 deletions (1001 values removed) will be written to the settings file."));
    QTreeWidget *tree = review.changeTree();
    QCOMPARE(tree->topLevelItemCount(), 4);
    // Labels first, the path behind them.
    QCOMPARE(tree->topLevelItem(0)->text(1), QStringLiteral("Command history"));
    QCOMPARE(tree->topLevelItem(0)->toolTip(1), QStringLiteral("CommandHistory"));
    QCOMPARE(tree->topLevelItem(2)->text(1), QStringLiteral("Max processors \u2014 Process"));
    QCOMPARE(tree->topLevelItem(1)->text(2), QStringLiteral("1000 values"));
    QCOMPARE(tree->topLevelItem(1)->text(3), QStringLiteral("(removed)"));
    QCOMPARE(tree->topLevelItem(2)->text(0), QStringLiteral("Edit"));
    QCOMPARE(tree->topLevelItem(3)->text(3), QString::fromUtf8("new\xE2\x8F\x8Etext"));
    QVERIFY(review.saveButton()->isEnabled());
    QVERIFY(!review.revertButton()->isEnabled());
    QVERIFY(review.leftoversBox()->isHidden());
}

void TestReviewDialog::largeDeletionShows300Rows()
{
    ReviewDialog review(&m_model, &m_file.root);
    QTreeWidgetItem *big = review.changeTree()->topLevelItem(1);
    big->setExpanded(true);
    QCOMPARE(big->childCount(), 301);
    QCOMPARE(big->child(0)->text(1), QStringLiteral("v0"));
    QCOMPARE(big->child(299)->text(2), QStringLiteral("299"));
    QCOMPARE(big->child(300)->text(1), QStringLiteral("...and 700 more values"));
    QVERIFY(!(big->child(300)->flags() & Qt::ItemIsSelectable));
    big->setExpanded(false);
    big->setExpanded(true);
    QCOMPARE(big->childCount(), 301);
}

void TestReviewDialog::filters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("edits");
    QTest::addColumn<bool>("deletions");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("by value only") << "OLD TEXT" << true << true
                                   << QStringList{QStringLiteral("Global/Preferences/Process/Note")};
    QTest::newRow("by path") << "command" << true << true << QStringList{QStringLiteral("CommandHistory")};
    QTest::newRow("by label") << "max proc" << true << true
                              << QStringList{QStringLiteral("Global/Preferences/Process/MaxProcessors")};
    QTest::newRow("edits only") << "" << true << false
                                << QStringList{QStringLiteral("Global/Preferences/Process/MaxProcessors"),
                                               QStringLiteral("Global/Preferences/Process/Note")};
    QTest::newRow("nothing") << "zebra" << true << true << QStringList{QStringLiteral("Nothing matches the filters.")};
}

void TestReviewDialog::filters()
{
    QFETCH(QString, filter);
    QFETCH(bool, edits);
    QFETCH(bool, deletions);
    QFETCH(QStringList, rows);
    ReviewDialog review(&m_model, &m_file.root);
    review.filterEdit()->setText(filter);
    review.editsBox()->setChecked(edits);
    review.deletionsBox()->setChecked(deletions);
    QStringList shown;
    for (int i = 0; i < review.changeTree()->topLevelItemCount(); ++i)
        shown << (review.changeTree()->topLevelItem(i)->toolTip(1).isEmpty()
                      ? review.changeTree()->topLevelItem(i)->text(1)
                      : review.changeTree()->topLevelItem(i)->toolTip(1));
    QCOMPARE(shown, rows);
}

void TestReviewDialog::details()
{
    ReviewDialog review(&m_model, &m_file.root);
    QTreeWidget *tree = review.changeTree();
    tree->topLevelItem(3)->setSelected(true);
    QCOMPARE(
        review.detailsBox()->toPlainText(),
        QStringLiteral("Note \u2014 Process\nGlobal/Preferences/Process/Note\nBefore: old text\nAfter:  new\ntext"));
    QVERIFY(review.revertButton()->isEnabled());
    tree->clearSelection();
    tree->topLevelItem(1)->setSelected(true);
    QCOMPARE(review.detailsBox()->toPlainText(),
             QStringLiteral(
                 "Big \u2014 Module data\nModuleData/Big\nThe whole entry is removed (1000 values). Expand the row "
                 "to see them."));
    tree->topLevelItem(0)->setSelected(true);
    QCOMPARE(review.detailsBox()->toPlainText(), QStringLiteral("2 changes selected."));
    tree->clearSelection();
    QVERIFY(review.detailsBox()->toPlainText().isEmpty());
}

void TestReviewDialog::revertingEverythingDisablesSave()
{
    ReviewDialog review(&m_model, &m_file.root);
    review.changeTree()->selectAll();
    review.revertSelected();
    QCOMPARE(m_file.root.pendingChangeCount(), 0);
    QCOMPARE(review.summaryLabel()->text(), QStringLiteral("There are no changes to save."));
    QVERIFY(!review.saveButton()->isEnabled());
    QCOMPARE(review.changeTree()->topLevelItemCount(), 0);
}

void TestReviewDialog::leftoversOnly()
{
    m_model.revertAll();
    ReviewDialog review(&m_model, &m_file.root);
    Leftover file;
    file.kind = ModuleFileLeftover;
    file.path = QStringLiteral("/opt/PixInsight/bin/Mirelux-pxm.so");
    file.isProtected = true;
    Leftover user;
    user.kind = UserFolderLeftover;
    user.path = QStringLiteral("/home/a/.config/Pleiades/Mirelux");
    review.setLeftovers({file, user});
    QCOMPARE(review.summaryLabel()->text(), QStringLiteral("The settings file itself is not changed."));
    QVERIFY(review.saveButton()->isEnabled());
    QVERIFY(!review.leftoversBox()->isHidden());
    QCOMPARE(review.leftoversBox()->toPlainText(),
             QStringLiteral("Also deleted from disk, permanently, right after the settings are written (2 items):\n"
                            "   %1   (protected)\n"
                            "   %2\n"
                            "The protected ones need administrator permission: you will be asked for it.")
                 .arg(QDir::toNativeSeparators(file.path), QDir::toNativeSeparators(user.path)));
}

// Return in the filter box filters; Save is the default button and must not take it.
void TestReviewDialog::returnInTheFilterNeverSaves()
{
    ReviewDialog dialog(&m_model, &m_file.root);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.utf8Notice()->isHidden());
    dialog.filterEdit()->setFocus();
    QTest::keyClicks(dialog.filterEdit(), QStringLiteral("Note"));
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Return);
    QTest::keyClick(dialog.filterEdit(), Qt::Key_Enter);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.changeTree()->topLevelItemCount(), 1);

    dialog.setInvalidUtf8(3, 14);
    QVERIFY(!dialog.utf8Notice()->isHidden());
    QCOMPARE(dialog.utf8Notice()->text(),
             QStringLiteral("This file has bytes that are not valid UTF-8 (line 3, column 14); "
                            "saving replaces them with U+FFFD."));
}

// The review lists what the user queued as one thing (a Cleanup group, a module) as one row,
// with its entries below, and reverting that row takes them all back.
void TestReviewDialog::deletionsQueuedTogetherAreListedTogether()
{
    QVERIFY(m_model.undo());
    QVERIFY(m_model.undo());
    {
        const SettingsModel::Batch batch(&m_model);
        QVERIFY(
            m_model.requestDeletion(m_file.root.findPath(u"ModuleData/Big"), nullptr, QStringLiteral("Old module")));
        QVERIFY(
            m_model.requestDeletion(m_file.root.findPath(u"ModuleData/Small"), nullptr, QStringLiteral("Old module")));
    }
    QVERIFY(m_model.requestDeletion(m_file.root.findPath(u"CommandHistory")));
    ReviewDialog review(&m_model, &m_file.root);
    QTreeWidget *tree = review.changeTree();
    QCOMPARE(tree->topLevelItemCount(), 4);
    QTreeWidgetItem *group = nullptr;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        group = tree->topLevelItem(i)->text(1) == u"Old module  (2 entries)" ? tree->topLevelItem(i) : group;
    QVERIFY(group);
    QCOMPARE(group->text(2), QStringLiteral("1001 values"));
    QCOMPARE(group->childCount(), 2);
    QCOMPARE(group->child(0)->toolTip(1), QStringLiteral("ModuleData/Big"));
    QCOMPARE(group->child(1)->toolTip(1), QStringLiteral("ModuleData/Small"));
    // Its entries open like any deletion.
    group->child(1)->setExpanded(true);
    QCOMPARE(group->child(1)->childCount(), 1);
    group->setSelected(true);
    QVERIFY(review.detailsBox()->toPlainText().startsWith(QStringLiteral("Queued together as Old module:\n")));
    review.revertButton()->click();
    QVERIFY(!m_file.root.findPath(u"ModuleData/Big")->deleted);
    QVERIFY(!m_file.root.findPath(u"ModuleData/Small")->deleted);
    QVERIFY(m_file.root.findPath(u"CommandHistory")->deleted);
}

QTEST_MAIN(TestReviewDialog)
#include "tst_reviewdialog.moc"
