#include "core/xsdtfile.h"
#include "ui/widgets/settingrow.h"
#include "model/settingsmodel.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"
#include "ui/views/healthview.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace pfw;

class TestHealthView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void runsWhenFirstShown();
    void cardsShowTwelveNodes();
    void staleNoteOnce();
    void viewOnly();
    void noFindings();

private:
    std::unique_ptr<HealthView> makeView();

    SettingsSchema m_schema;
    DeletionPolicy m_policy;
    XsdtFile m_file;
    SettingsModel m_model;
};

void TestHealthView::initTestCase()
{
    QString error;
    QVERIFY(m_schema.loadBuiltIn(&error));
    QVERIFY(m_policy.loadBuiltIn(&error));
    m_model.setPolicy(&m_policy);
}

void TestHealthView::init()
{
    QByteArray bytes = "<xsdt><i k=\"Global\"><i k=\"Preferences\"><i k=\"MainWindow\">"
                       "<v k=\"ActiveWindowOpacity\" t=\"F\" v=\"3\"/></i></i></i><i k=\"Dup\">";
    for (int i = 0; i < 20; ++i)
        bytes += "<v k=\"K\" t=\"s\" v=\"" + QByteArray::number(i) + "\"/>";
    bytes += "</i><i k=\"Twice\"/><i k=\"Twice\"/></xsdt>";
    QVERIFY(m_file.parse(bytes));
    m_model.setDocument(&m_file);
}

std::unique_ptr<HealthView> TestHealthView::makeView()
{
    auto view = std::make_unique<HealthView>(&m_model, &m_schema);
    HealthEnv env;
    env.windows = true;
    view->setEnvironment(env);
    return view;
}

void TestHealthView::runsWhenFirstShown()
{
    auto view = makeView();
    QSignalSpy summary(view.get(), &HealthView::summaryChanged);
    view->setFile(&m_file);
    QVERIFY(!view->hasRun());
    view->show();
    QVERIFY(view->hasRun());
    QCOMPARE(summary.constLast(), QVariantList({1, 2}));
    QCOMPARE(view->summaryLabel()->text(), QStringLiteral("1 problem, 2 warnings, 1 note"));
}

void TestHealthView::cardsShowTwelveNodes()
{
    auto view = makeView();
    view->setFile(&m_file);
    view->run();
    QCOMPARE(view->cards().size(), 4);
    QWidget *duplicates = view->cards().at(2);
    QCOMPARE(duplicates->findChildren<SettingRow *>().size(), 12);
    bool more = false;
    for (const QLabel *label : duplicates->findChildren<QLabel *>())
        more = more || label->text() == u"...and 8 more.";
    QVERIFY(more);
    // Groups show as a line with their two buttons.
    const QList<QPushButton *> buttons = view->cards().at(1)->findChildren<QPushButton *>();
    QCOMPARE(buttons.size(), 4);
    QSignalSpy reveal(view.get(), &HealthView::revealRequested);
    buttons.at(0)->click();
    QCOMPARE(reveal.count(), 1);
    QSignalSpy openUnused(view.get(), &HealthView::openUnusedModules);
    view->cards().at(3)->findChildren<QPushButton *>().constFirst()->click();
    QCOMPARE(openUnused.count(), 1);
}

void TestHealthView::staleNoteOnce()
{
    auto view = makeView();
    view->setFile(&m_file);
    view->run();
    const QString fresh = view->summaryLabel()->text();
    XsdtNode *opacity = m_file.root.findPath(u"Global/Preferences/MainWindow/ActiveWindowOpacity");
    QVERIFY(m_model.setData(m_model.indexFor(opacity, 1), QStringLiteral("0.5")));
    QVERIFY(m_model.setData(m_model.indexFor(opacity, 1), QStringLiteral("0.6")));
    QCOMPARE(view->summaryLabel()->text(),
             fresh + QStringLiteral("   (You changed settings: run the check again to re-check.)"));
    view->run();
    QCOMPARE(view->summaryLabel()->text(), QStringLiteral("0 problems, 2 warnings, 1 note"));
}

void TestHealthView::viewOnly()
{
    auto view = makeView();
    view->setFile(&m_file);
    view->run();
    view->setViewOnly(true);
    for (const SettingRow *row : view->findChildren<SettingRow *>())
        QVERIFY(!row->editorContainer()->isEnabled());
    for (const QPushButton *button : view->cards().at(1)->findChildren<QPushButton *>()) {
        if (button->text() == u"Delete this one...")
            QVERIFY(!button->isEnabled());
    }
    view->setViewOnly(false);
    for (const QPushButton *button : view->cards().at(1)->findChildren<QPushButton *>()) {
        if (button->text() == u"Delete this one...")
            QVERIFY(button->isEnabled()); // a top-level tool group is Warn
    }
}

void TestHealthView::noFindings()
{
    XsdtFile clean;
    QVERIFY(clean.parse("<xsdt><i k=\"Global\"/></xsdt>"));
    auto view = makeView();
    QSignalSpy summary(view.get(), &HealthView::summaryChanged);
    view->setFile(&clean);
    view->run();
    QCOMPARE(view->summaryLabel()->text(), QStringLiteral("No problems found."));
    QCOMPARE(summary.constLast(), QVariantList({0, 0}));
}

QTEST_MAIN(TestHealthView)
#include "tst_healthview.moc"
