#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "ui/widgets/settingrow.h"
#include "model/settingsmodel.h"
#include "platform/hostenvironment.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"
#include "tests/support/modalanswerer.h"
#include "ui/views/cleanupview.h"
#include "ui/views/collapsiblesection.h"
#include "ui/views/unusedmodulesview.h"
#include "session/pendingfiles.h"

#include <QCheckBox>
#include <QLocale>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTest>
#include <QToolButton>

using namespace pfw;

class TestUnusedModulesView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cardsOfTheDemo();
    void leftoversAndQueue();
    void largeModuleShows400Rows();
    void refusedEntriesAreReported();
    void viewOnly();

private:
    UnusedModulesView::Card *card(const QString &name) const;

    SettingsSchema m_schema;
    DeletionPolicy m_policy;
    XsdtFile m_file;
    SettingsModel m_model;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PendingFiles> m_pending;
    std::unique_ptr<UnusedModulesView> m_view;
};

void TestUnusedModulesView::initTestCase()
{
    // Sizes are shown in the user's locale; the expected texts are written in one.
    QLocale::setDefault(QLocale::c());
    QString error;
    QVERIFY(m_schema.loadBuiltIn(&error));
    QVERIFY(m_policy.loadBuiltIn(&error));
    m_model.setPolicy(&m_policy);
}

void TestUnusedModulesView::init()
{
    m_view.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    for (const QString &folder : {QStringLiteral("PixInsight/bin"), QStringLiteral("PixInsight/lib/Mirelux/sub"),
                                  QStringLiteral("Pleiades/Mirelux")})
        QVERIFY(QDir().mkpath(m_dir->filePath(folder)));
    for (const QString &file :
         {QStringLiteral("PixInsight/lib/Mirelux/sub/a.bin"), QStringLiteral("Pleiades/Mirelux/cache")}) {
        QFile out(m_dir->filePath(file));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(2048, 'x'));
    }
    QVERIFY(m_file.parse(SettingsGenerator::demo()));
    m_model.setDocument(&m_file);
    m_pending = std::make_unique<PendingFiles>(&m_model);
    m_view = std::make_unique<UnusedModulesView>(&m_model, m_pending.get(), &m_schema);
    m_view->setFolders(m_dir->filePath(QStringLiteral("PixInsight")), m_dir->filePath(QStringLiteral("Pleiades")));
    m_view->setDocument(&m_file);
}

UnusedModulesView::Card *TestUnusedModulesView::card(const QString &name) const
{
    for (const auto &candidate : m_view->cards()) {
        if (candidate->info.name == name)
            return candidate.get();
    }
    return nullptr;
}

void TestUnusedModulesView::cardsOfTheDemo()
{
    UnusedModulesView::Card *mirelux = card(QStringLiteral("Mirelux"));
    QVERIFY(mirelux);
    QVERIFY(!card(QStringLiteral("NoiseWeave")));
    QCOMPARE(mirelux->leftovers.size(), 2);
    // The values Cleanup lists for the module's saved settings: what deleting them removes. Its
    // protected record is said apart.
    CleanupView cleanup(&m_model);
    cleanup.refresh(&m_file);
    const QList<QTreeWidgetItem *> found
        = cleanup.tree()->findItems(QStringLiteral("Mirelux (unused module)"), Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(found.size(), 1);
    const QString saved = found.constFirst()->text(1);
    QVERIFY2(mirelux->section->header()->text().startsWith(QStringLiteral("Mirelux  -  %1 values, ").arg(saved)),
             qPrintable(mirelux->section->header()->text()));
    QVERIFY(mirelux->section->header()->text().contains(QStringLiteral(" (1 protected value stays)")));
    QVERIFY(mirelux->section->header()->text().endsWith(QStringLiteral("   (contains protected files)")));
    QVERIFY(!mirelux->built);
    QVERIFY(m_view->summaryLabel()->text().endsWith(QStringLiteral(" unused module; 0 queued for deletion")));
    m_view->expandModule(QStringLiteral("Mirelux"));
    QVERIFY(mirelux->built);
    QCOMPARE(mirelux->leftoverRows.size(), 2);
    QCOMPARE(mirelux->leftoverRows.at(0).detail->text(), QStringLiteral("lib folder, 1 file, 2.0 KiB - protected"));
    QCOMPARE(mirelux->leftoverRows.at(1).detail->text(), QStringLiteral("user data folder, 1 file, 2.0 KiB"));
    QCOMPARE(mirelux->section->findChildren<SettingRow *>().size(), 13);
}

void TestUnusedModulesView::leftoversAndQueue()
{
    UnusedModulesView::Card *mirelux = card(QStringLiteral("Mirelux"));
    m_view->expandModule(QStringLiteral("Mirelux"));
    mirelux->tick->setChecked(true);
    mirelux->leftoverRows.at(1).tick->setChecked(true);
    QVERIFY(m_view->queueButton()->isEnabled());
    QSignalSpy queued(m_pending.get(), &PendingFiles::changed);
    QSignalSpy message(m_view.get(), &UnusedModulesView::message);
    int boxes = 0;
    test::answerNext<QMessageBox>([&boxes](QMessageBox *box) {
        ++boxes;
        QCOMPARE(box->windowTitle(), QStringLiteral("Delete unused module data?"));
        box->button(QMessageBox::Yes)->click();
        test::answerNext<QMessageBox>([&boxes](QMessageBox *second) {
            ++boxes;
            QCOMPARE(second->windowTitle(), QStringLiteral("Delete files and folders?"));
            second->button(QMessageBox::Yes)->click();
        });
    });
    m_view->queueTicked();
    QCOMPARE(boxes, 2);
    QCOMPARE(queued.count(), 1);
    QCOMPARE(message.constLast().at(0).toString(),
             QStringLiteral("Queued 3 entries; 1 protected entry was left alone (ModuleDataAccess/Mirelux). Queued 1 "
                            "file or folder for deletion from disk. Save to apply."));
    QVERIFY(m_file.root.findPath(u"ModuleData/Mirelux")->deleted);
    // All that can go is queued: the protected record staying does not make it "partly".
    QVERIFY(mirelux->section->header()->text().endsWith(QStringLiteral("   [queued for deletion]")));
    QCOMPARE(m_pending->requests(), QStringList{QStringLiteral("user:Mirelux")});
    QVERIFY(mirelux->leftoverRows.at(1).detail->text().endsWith(QStringLiteral("   [queued for deletion]")));
    QVERIFY(!mirelux->leftoverRows.at(1).tick->isEnabled());
    QVERIFY(
        m_view->summaryLabel()->text().endsWith(QStringLiteral("; 1 file or folder queued for deletion from disk")));

    const QList<Leftover> items = m_pending->leftovers();
    QCOMPARE(items.size(), 1);
    QVERIFY(!items.constFirst().isProtected);
    QCOMPARE(items.constFirst().files, 1);
    // A queued item that vanished before the save is dropped silently.
    QVERIFY(QDir(m_dir->filePath(QStringLiteral("Pleiades/Mirelux"))).removeRecursively());
    QVERIFY(m_pending->leftovers().isEmpty());
    m_pending->clear();
    QVERIFY(m_pending->requests().isEmpty());
    QCOMPARE(queued.count(), 2);
}

void TestUnusedModulesView::largeModuleShows400Rows()
{
    QByteArray bytes = "<xsdt><i k=\"ModuleData\"><i k=\"Huge\">";
    for (int i = 0; i < 1000; ++i)
        bytes += "<v k=\"v" + QByteArray::number(i) + "\" t=\"i\" v=\"1\"/>";
    bytes += "</i></i></xsdt>";
    XsdtFile huge;
    QVERIFY(huge.parse(bytes));
    m_model.setDocument(&huge);
    m_view->setDocument(&huge);
    m_view->expandModule(QStringLiteral("Huge"));
    UnusedModulesView::Card *card = m_view->cards().front().get();
    QCOMPARE(card->section->findChildren<SettingRow *>().size(), 400);
    bool closing = false;
    for (const QLabel *label : card->section->findChildren<QLabel *>())
        closing = closing
            || label->text()
                == u"...and 600 more values. Use \"Show in All settings\" from the right-click menu to see the rest.";
    QVERIFY(closing);
    m_view->setDocument(nullptr);
    m_model.setDocument(&m_file);
}

void TestUnusedModulesView::refusedEntriesAreReported()
{
    DeletionPolicy empty;
    QString error;
    QVERIFY(empty.load(" ", &error));
    m_model.setPolicy(&empty);
    card(QStringLiteral("Mirelux"))->tick->setChecked(true);
    QSignalSpy message(m_view.get(), &UnusedModulesView::message);
    test::answerNext<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    m_view->queueTicked();
    m_model.setPolicy(&m_policy);
    QVERIFY(message.constLast().at(0).toString().startsWith(
        QStringLiteral("Queued 0 entries; 4 protected entries were left alone (ModuleData/Mirelux, ")));
}

void TestUnusedModulesView::viewOnly()
{
    m_view->expandModule(QStringLiteral("Mirelux"));
    UnusedModulesView::Card *mirelux = card(QStringLiteral("Mirelux"));
    mirelux->tick->setChecked(true);
    m_view->setViewOnly(true);
    QVERIFY(!mirelux->tick->isEnabled());
    QVERIFY(!mirelux->leftoverRows.at(0).tick->isEnabled());
    QVERIFY(!m_view->queueButton()->isEnabled());
    QVERIFY(!m_view->undoButton()->isEnabled());
    for (const SettingRow *row : mirelux->section->findChildren<SettingRow *>())
        QVERIFY(!row->editorContainer()->isEnabled());
    m_view->queueTicked();
    QVERIFY(!m_file.root.findPath(u"ModuleData/Mirelux")->deleted);
}

QTEST_MAIN(TestUnusedModulesView)
#include "tst_unusedmodulesview.moc"
