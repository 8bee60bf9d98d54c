#include "core/treediff.h"
#include "core/xsdtfile.h"
#include "model/settingsmodel.h"
#include "schema/deletionpolicy.h"
#include "tests/support/modalanswerer.h"
#include "ui/views/compareview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItemIterator>
#include <QTreeWidget>

using namespace pfw;

class TestCompareView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void groups_data();
    void groups();
    void differences_data();
    void differences();
    void openFileIsRefused();
    void loadErrors();
    void noiseIsHiddenAndCounted();
    void typeSuffixAndOnlyThere();
    void copyThenRevert();
    void searchMatchesValues();
    void manyRowsStartCollapsed();
    void queuedHereIsAbsent();

private:
    QString write(const QString &name, const QByteArray &body);
    QTreeWidgetItem *row(const QString &leaf) const;

    DeletionPolicy m_policy;
    XsdtFile m_here;
    SettingsModel m_model;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CompareView> m_view;
    QString m_herePath;
};

static const QByteArray kHere
    = "<i k=\"Global\"><i k=\"Preferences\"><i k=\"Process\"><v k=\"MaxProcessors\" t=\"i\" v=\"8\"/>"
      "<v k=\"Delay\" t=\"i\" v=\"5\"/><v k=\"Mode\" t=\"i\" v=\"1\"/></i></i>"
      "<i k=\"Statistics\"><v k=\"Count\" t=\"u\" v=\"1\"/></i></i><v k=\"LastVersion\" t=\"s\" v=\"1.9\"/>"
      "<i k=\"Mine\"><v k=\"Only\" t=\"s\" v=\"here\"/></i>";
static const QByteArray kThere
    = "<i k=\"Global\"><i k=\"Preferences\"><i k=\"Process\"><v k=\"MaxProcessors\" t=\"i\" v=\"16\"/>"
      "<v k=\"Delay\" t=\"i\" v=\"5\"/><v k=\"Mode\" t=\"u\" v=\"1\"/><v k=\"Extra\" t=\"b\" v=\"true\"/></i></i>"
      "<i k=\"Statistics\"><v k=\"Count\" t=\"u\" v=\"99\"/></i></i><v k=\"LastVersion\" t=\"s\" v=\"1.8\"/>";

void TestCompareView::initTestCase()
{
    QString error;
    QVERIFY(m_policy.loadBuiltIn(&error));
    m_model.setPolicy(&m_policy);
}

QString TestCompareView::write(const QString &name, const QByteArray &body)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("<xsdt>" + body + "</xsdt>");
    return path;
}

void TestCompareView::init()
{
    m_view.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_herePath = write(QStringLiteral("core-001-pxi.settings"), kHere);
    QVERIFY(m_here.parse("<xsdt>" + kHere + "</xsdt>"));
    m_model.setDocument(&m_here);
    m_view = std::make_unique<CompareView>(&m_model);
    HostEnvironment env;
    env.flavour = PlatformFlavour::Linux;
    env.home = m_dir->path();
    m_view->setEnvironment(env);
    m_view->setDocument(&m_here, m_herePath);
}

QTreeWidgetItem *TestCompareView::row(const QString &leaf) const
{
    // Rows show labels; their tooltip starts with the path.
    for (QTreeWidgetItemIterator it(m_view->tree()); *it; ++it) {
        const QString path = (*it)->toolTip(0).section(u'\n', 0, 0);
        if ((*it)->parent() && (path == leaf || path.endsWith(u'/' + leaf)))
            return *it;
    }
    return nullptr;
}

void TestCompareView::groups_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("leaf");
    QTest::newRow("preference") << "Global/Preferences/Process/MaxProcessors"
                                << "Global/Preferences/Process"
                                << "MaxProcessors";
    QTest::newRow("deeper") << "ModuleData/A/Interfaces/B"
                            << "ModuleData/A"
                            << "Interfaces/B";
    QTest::newRow("short preference") << "Global/Preferences/X"
                                      << "Global/Preferences"
                                      << "X";
    QTest::newRow("top level") << "LastVersion"
                               << "(top level)"
                               << "LastVersion";
}

void TestCompareView::groups()
{
    QFETCH(QString, path);
    QFETCH(QString, group);
    QFETCH(QString, leaf);
    QString g, l;
    compareGroup(path, &g, &l);
    QCOMPARE(g, group);
    QCOMPARE(l, leaf);
}

void TestCompareView::differences_data()
{
    QTest::addColumn<QByteArray>("there");
    QTest::addColumn<QByteArray>("here");
    QTest::addColumn<QStringList>("rows");
    const QByteArray block = "<v k=\"B\" t=\"B\" c=\"zlib\"><s u=\"10\">QUJDRA==</s></v>";
    const QByteArray sameSize = "<v k=\"B\" t=\"B\" c=\"zlib\"><s u=\"10\">WFlaVw==</s></v>";
    QTest::newRow("the demo's cases") << kThere + "<v k=\"LastVersion\" t=\"s\" v=\"1.9\"/>" << kHere
                                      << QStringList({QStringLiteral("0 Global/Preferences/Process/MaxProcessors"),
                                                      QStringLiteral("0 Global/Preferences/Process/Mode"),
                                                      QStringLiteral("0 Global/Statistics/Count"),
                                                      QStringLiteral("0 LastVersion"), QStringLiteral("1 Mine/Only"),
                                                      QStringLiteral("2 Global/Preferences/Process/Extra"),
                                                      QStringLiteral("2 LastVersion")});
    // Duplicates are paired by order: an identical copy has no difference.
    const QByteArray twice = "<i k=\"M\"><v k=\"P\" t=\"s\" v=\"a\"/><v k=\"P\" t=\"s\" v=\"b\"/></i>";
    QTest::newRow("identical with a duplicate key") << twice << twice << QStringList();
    QTest::newRow("second occurrence differs")
        << QByteArray("<i k=\"M\"><v k=\"P\" t=\"s\" v=\"a\"/><v k=\"P\" t=\"s\" v=\"c\"/></i>") << twice
        << QStringList{QStringLiteral("0 M/P")};
    QTest::newRow("one occurrence more here")
        << QByteArray("<i k=\"M\"><v k=\"P\" t=\"s\" v=\"a\"/></i>") << twice << QStringList{QStringLiteral("1 M/P")};
    QTest::newRow("one occurrence more there")
        << twice + "" << QByteArray("<i k=\"M\"><v k=\"P\" t=\"s\" v=\"a\"/></i>")
        << QStringList{QStringLiteral("2 M/P")};
    QTest::newRow("same compressed block") << block << block << QStringList();
    QTest::newRow("blocks of one size, other data") << sameSize << block << QStringList{QStringLiteral("0 B")};
}

void TestCompareView::differences()
{
    QFETCH(QByteArray, there);
    QFETCH(QByteArray, here);
    QFETCH(QStringList, rows);
    XsdtFile mine, theirs;
    QVERIFY(mine.parse("<xsdt>" + here + "</xsdt>"));
    QVERIFY(theirs.parse("<xsdt>" + there + "</xsdt>"));
    QStringList found;
    for (const DiffEntry &entry : diffTrees(mine.root, theirs.root))
        found << QStringLiteral("%1 %2").arg(entry.status).arg(entry.path);
    QCOMPARE(found, rows);
}

void TestCompareView::openFileIsRefused()
{
    for (int i = 0; i < m_view->fileBox()->count(); ++i)
        QVERIFY(m_view->fileBox()->itemData(i).toString() != m_herePath);
    QString error;
    QVERIFY(!m_view->loadOther(m_herePath, &error));
    QCOMPARE(error, QStringLiteral("That is the file being edited."));
    QCOMPARE(m_view->summaryLabel()->text(),
             QStringLiteral("Pick another settings file to see how it differs from this one."));
}

void TestCompareView::loadErrors()
{
    QString error;
    const QString missing = m_dir->filePath(QStringLiteral("gone.settings"));
    QVERIFY(!m_view->loadOther(missing, &error));
    QVERIFY(error.startsWith(QStringLiteral("Cannot read %1: ").arg(QDir::toNativeSeparators(missing))));
    const QString bad = m_dir->filePath(QStringLiteral("bad.settings"));
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("nothing");
    file.close();
    QVERIFY(!m_view->loadOther(bad, &error));
    QCOMPARE(error,
             QStringLiteral(
                 "%1 is not a valid PixInsight settings file: Not a PixInsight settings file (no <xsdt> element).")
                 .arg(QDir::toNativeSeparators(bad)));
}

void TestCompareView::noiseIsHiddenAndCounted()
{
    QString error;
    QVERIFY(m_view->loadOther(write(QStringLiteral("other.settings"), kThere), &error));
    // Statistics and the version record are noise.
    QCOMPARE(m_view->summaryLabel()->text(),
             QStringLiteral("2 different, 1 only in this file, 1 only in the other file (2 more hidden as statistics, "
                            "window state or generated lists)"));
    QVERIFY(!row(QStringLiteral("Count")));
    m_view->noiseBox()->setChecked(false);
    QCOMPARE(m_view->summaryLabel()->text(),
             QStringLiteral("4 different, 1 only in this file, 1 only in the other file"));
    QVERIFY(row(QStringLiteral("Count")));
    QVERIFY(m_view->fileBox()->currentText().startsWith(QStringLiteral("other.settings")));
}

void TestCompareView::typeSuffixAndOnlyThere()
{
    QString error;
    QVERIFY(m_view->loadOther(write(QStringLiteral("other.settings"), kThere), &error));
    QCOMPARE(row(QStringLiteral("Mode"))->text(3), QStringLiteral("Different (type i / u)"));
    QVERIFY(!row(QStringLiteral("Extra")));
    m_view->onlyThereBox()->setChecked(true);
    QTreeWidgetItem *extra = row(QStringLiteral("Extra"));
    QVERIFY(extra);
    QVERIFY(
        extra->toolTip(0).endsWith(QStringLiteral("\nDoes not exist in this file; adding entries is not offered.")));
    const int index = extra->data(0, Qt::UserRole).toInt();
    QVERIFY(!m_view->isCopyable(m_view->entries().at(index)));
    // Mode differs by its type only: copying its text would change nothing, so it is not offered.
    QVERIFY(!m_view->isCopyable(m_view->entries().at(row(QStringLiteral("Mode"))->data(0, Qt::UserRole).toInt())));
    QCOMPARE(m_view->copyAllButton()->text(), QStringLiteral("Use the other file's value for all shown (1)"));
}

void TestCompareView::copyThenRevert()
{
    QString error;
    QVERIFY(m_view->loadOther(write(QStringLiteral("other.settings"), kThere), &error));
    QSignalSpy message(m_view.get(), &CompareView::message);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
    row(QStringLiteral("MaxProcessors"))->setSelected(true);
    QVERIFY(m_view->copySelectedButton()->isEnabled());
    m_view->copySelectedButton()->setFocus();
    QTest::keyClick(m_view->copySelectedButton(), Qt::Key_Space);
    QCOMPARE(message.constLast().at(0).toString(),
             QStringLiteral("Copied 1 value into this file. Review and save when ready."));
    XsdtNode *processors = m_here.root.findPath(u"Global/Preferences/Process/MaxProcessors");
    QCOMPARE(processors->value, QStringLiteral("16"));
    QTRY_VERIFY(!row(QStringLiteral("MaxProcessors")));
    // Not on the button that copies everything shown, where one more Space would.
    QVERIFY(m_view->tree()->hasFocus());
    m_model.revertValue(processors);
    QTRY_VERIFY(row(QStringLiteral("MaxProcessors")));

    test::answerNext<QMessageBox>([](QMessageBox *box) {
        QCOMPARE(box->text(),
                 QStringLiteral("Copy 1 value from other.settings into this file?\n\nIt becomes a pending "
                                "change: you can review, revert and save it as usual."));
        box->button(QMessageBox::Yes)->click();
    });
    m_view->copyAllShown();
    QCOMPARE(message.constLast().at(0).toString(),
             QStringLiteral("Copied 1 value into this file. Review and save when ready."));
    QCOMPARE(m_here.root.findPath(u"Global/Preferences/Process/Mode")->value, QStringLiteral("1"));
    m_view->setViewOnly(true);
    QVERIFY(!m_view->copyAllButton()->isEnabled());
}

void TestCompareView::searchMatchesValues()
{
    QString error;
    QVERIFY(m_view->loadOther(write(QStringLiteral("other.settings"), kThere), &error));
    m_view->searchEdit()->setText(QStringLiteral("16"));
    QVERIFY(row(QStringLiteral("MaxProcessors")));
    QVERIFY(!row(QStringLiteral("Mode")));
    // Labels as the user knows them: found by their words, shown under their group's words.
    m_view->searchEdit()->setText(QStringLiteral("max proc"));
    QTreeWidgetItem *processors = row(QStringLiteral("MaxProcessors"));
    QVERIFY(processors);
    QCOMPARE(processors->text(0), QStringLiteral("Max processors"));
    QCOMPARE(processors->parent()->text(0), QStringLiteral("Preferences \u203A Process"));
    QCOMPARE(processors->parent()->toolTip(0), QStringLiteral("Global/Preferences/Process"));
    m_view->searchEdit()->setText(QStringLiteral("zebra"));
    QCOMPARE(m_view->tree()->topLevelItem(0)->text(0), QStringLiteral("Nothing to show with the current filters."));
}

void TestCompareView::manyRowsStartCollapsed()
{
    QByteArray many = "<i k=\"Tool\">";
    for (int i = 0; i < 450; ++i)
        many += "<v k=\"v" + QByteArray::number(i) + "\" t=\"i\" v=\"" + QByteArray::number(i) + "\"/>";
    many += "</i>";
    QString error;
    QVERIFY(m_view->loadOther(write(QStringLiteral("other.settings"), many), &error));
    m_view->onlyThereBox()->setChecked(true);
    QTreeWidgetItem *tool = m_view->tree()->findItems(QStringLiteral("Tool"), Qt::MatchExactly).value(0);
    QVERIFY(tool);
    QCOMPARE(tool->childCount(), 450);
    QVERIFY(!tool->isExpanded());
}

void TestCompareView::queuedHereIsAbsent()
{
    QString error;
    QVERIFY(m_view->loadOther(write(QStringLiteral("other.settings"), kHere), &error));
    QCOMPARE(m_view->summaryLabel()->text(),
             QStringLiteral("0 different, 0 only in this file, 0 only in the other file"));
    QVERIFY(m_model.requestDeletion(m_here.root.findPath(u"Mine")));
    QTRY_COMPARE(m_view->summaryLabel()->text(),
                 QStringLiteral("0 different, 0 only in this file, 1 only in the other file"));
}

QTEST_MAIN(TestCompareView)
#include "tst_compareview.moc"
