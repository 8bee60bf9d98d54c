#include "core/displaytext.h"
#include "core/problemsearch.h"
#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "model/settingsfilterproxy.h"
#include "model/settingsmodel.h"
#include "platform/hostprocesses.h"
#include "tests/support/fakehost.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/privatehome.h"
#include "tests/support/testservices.h"
#include "ui/views/allsettingspage.h"
#include "ui/deletionflow.h"
#include "ui/mainwindow.h"
#include "ui/dialogs/modulesearchdialog.h"
#include "ui/dialogs/reviewdialog.h"
#include "ui/views/searchview.h"
#include "ui/views/unusedmodulesview.h"
#include "session/editingsession.h"
#include "session/pendingfiles.h"
#include "ui/views/healthview.h"
#include "ui/views/preferencesview.h"
#include "ui/dialogs/backupsdialog.h"
#include "ui/views/collapsiblesection.h"
#include "ui/views/compareview.h"
#include "ui/screenplacement.h"
#include "ui/thememanager.h"
#include "ui/widgets/settingrow.h"
#include "ui/maintabs.h"

#include <QCheckBox>
#include <QCursor>
#include <QLocale>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QInputDialog>
#include <QListWidget>
#include <QSpinBox>
#include <QScopeGuard>
#include <QScreen>
#include <QSettings>
#include <QProcess>
#include <QDialogButtonBox>
#include <QRadioButton>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

using namespace pfw;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void whatPixInsightChangedWhileItRan();
    void startsOnTheFirstInstance();
    void startsWithoutAnyFile();
    void editDeleteReviewAndSave();
    void dontAskAgainLastsTheRun();
    void cancelledWarnQueuesNothing();
    void contextMenuEntries();
    void revealClearsTheFilter();
    void filterExpandsAndClearingCollapses();
    void filterOnALargeTreeOpensABudget();
    void hostStartingMakesItViewOnly();
    void changedOnDiskAndAutomaticReload();
    void aSearchInProgressIsSaidInsteadOfChangedOnDisk();
    void closingWithPendingChanges();
    void choosingAnotherFileAsks();
    void invalidUtf8Banner();
    void moduleSearch_data();
    void moduleSearch();
    void moduleSearchNameNeedsText();
    void findKeyGoesToSearch();
    void keyboardMovesBetweenTabsAndResults();
    void queuedLeftoverGoesWithTheSave();
    void healthCheckRunsLazilyAndTitlesItsTab();
    void restoreThroughTheChooser();
    void manageBackups();
    void dialogsGrowWithTheText();
    void placement_data();
    void placement();
    void sizeAndMaximisedStateAreKept();
    void undoAndRedoAcrossViews();
    void undoAfterReloadDoesNothing();
    void undoKeyInALineEditUndoesTyping();
    void undoOfRevertAllBringsBackTheQueuedFiles();
    void failedRestoreKeepsTheQueuedFiles();
    void vanishedQueuedFileLeavesTheQueue();
    void refusedSaveKeepsTheUndoHistory();

private:
    QString settingsFile(const char *name) const
    {
        return m_dir->filePath(QStringLiteral("home/.PixInsight/") + QLatin1String(name));
    }
    void writeFile(const QString &path, const QByteArray &bytes);
    QModelIndex proxyIndex(const char *path, int column = 0) const;
    XsdtNode *node(const char *path) const;
    QStringList pendingRequests() const { return m_window->session()->pendingFiles()->requests(); }
    void startFakeHost();
    // A poll, and the file's verdict when it has to be read to find out.
    void settledPoll();
    // The title as shown, without the program's name the system adds.
    QString title() const
    {
        return m_window->windowTitle().replace(QStringLiteral("[*]"), m_window->isWindowModified() ? "*" : "");
    }
    void queueMireluxLibrary(const QString &install);

    // Settings and the trash of deleted backups stay in here.
    std::unique_ptr<test::PrivateHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    HostServices m_services;
    QByteArray m_original;
    std::unique_ptr<test::FakeHost> m_host;
    qint64 m_hostPid = 0;
};

void TestMainWindow::initTestCase()
{
    // Sizes are shown in the user's locale; the expected texts are written in one.
    QLocale::setDefault(QLocale::c());
    m_home = std::make_unique<test::PrivateHome>();
    QVERIFY(m_home->isValid());
}

void TestMainWindow::writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void TestMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_original = SettingsGenerator::demo();
    writeFile(settingsFile("core-002-pxi.settings"), m_original);
    writeFile(settingsFile("core-001-pxi.settings"), m_original);
    m_hostPid = 0;
    m_services = test::servicesIn(m_dir->filePath(QStringLiteral("home")),
                                  [this] { return m_hostPid != 0 && runningHostProcesses().contains(m_hostPid); });
    QSettings().remove(QStringLiteral("Window/Geometry"));
    m_window = std::make_unique<MainWindow>(m_services);
    m_window->show();
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_host.reset();
}

// PixInsight runs while the window is open and changes three values and its module list: once it
// has exited, the banner says so, Compare shows those changes against the file as it found it,
// and taking one back is one pending edit.
void TestMainWindow::whatPixInsightChangedWhileItRan()
{
    startFakeHost();
    m_window->pollEnvironment();
    QVERIFY(m_window->isHostRunning());
    XsdtFile changed;
    QVERIFY(changed.parse(m_original));
    for (const char *path : {"Global/Preferences/Process/MaxProcessors", "Global/Preferences/Process/MaxConsoleLines",
                             "Global/RGBWorkingSpace/Gamma"}) {
        XsdtNode *value = changed.root.findPath(QString::fromLatin1(path));
        QVERIFY2(value, path);
        value->value = value->savedValue = QStringLiteral("3");
    }
    XsdtNode *modules = changed.root.findPath(QStringLiteral("Modules"));
    QVERIFY(modules);
    auto module = std::make_unique<XsdtNode>();
    module->kind = XsdtNode::Value;
    module->type = u's';
    module->key = QStringLiteral("Module99");
    module->value = module->savedValue = QStringLiteral("@pxi_bin_dir/Lumen-pxm.dll");
    modules->appendChild(std::move(module));
    writeFile(settingsFile("core-001-pxi.settings"), changed.serialize());
    m_host->stop();
    settledPoll();
    QTRY_VERIFY(m_window->bannerLabel()->text().contains(QLatin1String("PixInsight changed 3 settings while it ran.")));
    QVERIFY2(m_window->bannerLabel()->text().contains(QLatin1String("Its module list changed: added Lumen.")),
             qPrintable(m_window->bannerLabel()->text()));
    QVERIFY(!m_window->showHostChangesButton()->isHidden());
    QCOMPARE(m_window->unsavedCount(), 0);

    m_window->showHostChangesButton()->click();
    CompareView *compare = m_window->tabs()->compare();
    QCOMPARE(m_window->tabs()->currentWidget(), compare);
    int different = 0;
    for (const DiffEntry &entry : compare->entries())
        different += entry.status == DiffEntry::Different && !m_window->model()->policy()->isCompareNoise(entry.here);
    QCOMPARE(different, 3);
    const int entry = int(std::find_if(compare->entries().cbegin(), compare->entries().cend(),
                                       [](const DiffEntry &e) { return e.path.endsWith(u"MaxProcessors"); })
                          - compare->entries().cbegin());
    QVERIFY(entry < compare->entries().size());
    compare->copyEntries({entry});
    QCOMPARE(m_window->unsavedCount(), 1);
    XsdtFile before;
    QVERIFY(before.parse(m_original));
    QCOMPARE(node("Global/Preferences/Process/MaxProcessors")->value,
             before.root.findPath(QStringLiteral("Global/Preferences/Process/MaxProcessors"))->value);
}

void TestMainWindow::startFakeHost()
{
    m_host = std::make_unique<test::FakeHost>();
    QVERIFY(m_host->start(m_dir->path()));
    m_hostPid = m_host->pid();
}

XsdtNode *TestMainWindow::node(const char *path) const
{
    return m_window->document().file().root.findPath(QString::fromLatin1(path));
}

QModelIndex TestMainWindow::proxyIndex(const char *path, int column) const
{
    const SettingsModel *model = m_window->model();
    const auto *proxy = m_window->tabs()->allSettings()->tree()->model();
    return static_cast<const SettingsFilterProxy *>(proxy)->mapFromSource(model->indexFor(node(path), column));
}

void TestMainWindow::startsOnTheFirstInstance()
{
    QCOMPARE(m_window->document().path(), settingsFile("core-001-pxi.settings"));
    QComboBox *box = m_window->fileBox();
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->currentIndex(), 0);
    QVERIFY(box->currentText().startsWith(QStringLiteral("core-001-pxi.settings [.PixInsight] - instance 1, ")));
    QVERIFY(box->itemText(1).startsWith(QStringLiteral("core-002-pxi.settings [.PixInsight] - instance 2, ")));
    QCOMPARE(title(), QStringLiteral("core-001-pxi.settings"));
    QCOMPARE(m_window->saveAction()->toolTip(), QStringLiteral("Nothing to save."));
    QVERIFY(m_window->bannerLabel()->isHidden());
    QVERIFY(!m_window->saveAction()->isEnabled());
    // Global/Preferences is open, the rest closed.
    QTreeView *tree = m_window->tabs()->allSettings()->tree();
    QVERIFY(tree->isExpanded(proxyIndex("Global/Preferences")));
    QVERIFY(!tree->isExpanded(proxyIndex("ModuleData")));
    // A file named relative to the working folder is known by its whole path.
    const QString working = QDir::currentPath();
    QDir::setCurrent(QFileInfo(settingsFile("core-002-pxi.settings")).absolutePath());
    const bool opened = m_window->openFile(QStringLiteral("core-002-pxi.settings"));
    QDir::setCurrent(working);
    QVERIFY(opened);
    QCOMPARE(m_window->document().path(), settingsFile("core-002-pxi.settings"));
}

void TestMainWindow::startsWithoutAnyFile()
{
    QVERIFY(QDir(m_dir->filePath(QStringLiteral("home"))).removeRecursively());
    MainWindow empty(m_services);
    QCOMPARE(empty.fileBox()->count(), 1);
    QCOMPARE(empty.fileBox()->itemText(0), QStringLiteral("No settings file found - use Browse..."));
    QCOMPARE(empty.fileBox()->currentIndex(), -1);
    QCOMPARE(empty.fileBox()->toolTip(), QStringLiteral("No settings file loaded."));
    QVERIFY(empty.statusBar()->currentMessage().startsWith(QStringLiteral("No PixInsight settings file found in ")));
    QVERIFY(empty.statusBar()->currentMessage().contains(
        QDir::toNativeSeparators(m_dir->filePath(QStringLiteral("home/.PixInsight")))));
    QVERIFY(!empty.reloadAction()->isEnabled());
    // The first page says what to do, rather than that nothing matched.
    QStringList said;
    for (const QLabel *label : empty.tabs()->preferences()->findChildren<QLabel *>()) {
        if (label->isVisibleTo(&empty))
            said << label->text();
    }
    QVERIFY2(said.contains(QStringLiteral("No PixInsight settings file was found. Open one with File > Open, or start "
                                          "PixInsight once to create it.")),
             qPrintable(said.join(u'|')));
    QVERIFY(empty.onSave());
}

void TestMainWindow::editDeleteReviewAndSave()
{
    QTreeView *tree = m_window->tabs()->allSettings()->tree();
    QVERIFY(tree->model()->setData(proxyIndex("Global/Preferences/Process/MaxProcessors", 1), QStringLiteral("8")));
    QVERIFY(tree->model()->setData(proxyIndex("Global/RGBWorkingSpace/Gamma", 1), QStringLiteral("1.8")));
    QCOMPARE(title(), QStringLiteral("core-001-pxi.settings*"));
    QVERIFY(m_window->bannerLabel()->isHidden());
    QVERIFY(m_window->saveAction()->isEnabled());

    // A Safe entry goes with the Delete key, at once.
    m_window->activateWindow();
    tree->setFocus();
    tree->setCurrentIndex(proxyIndex("CommandHistory"));
    QTest::keyClick(tree, Qt::Key_Delete);
    QVERIFY(node("CommandHistory")->deleted);
    QVERIFY(m_window->statusBar()->currentMessage().startsWith(
        QStringLiteral("CommandHistory queued for deletion (2 values).")));
    QTest::keyClick(tree, Qt::Key_Delete); // again: nothing more
    QCOMPARE(m_window->unsavedCount(), 3);

    // A Warn entry asks first.
    tree->setCurrentIndex(proxyIndex("ModuleData/Mirelux"));
    QString question;
    test::answerNextModal([&question](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        question = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    QTest::keyClick(tree, Qt::Key_Delete);
    QVERIFY2(question.startsWith(QStringLiteral("Delete ModuleData/Mirelux?\n(")), qPrintable(question));
    QVERIFY(node("ModuleData/Mirelux")->deleted);
    QCOMPARE(title(), QStringLiteral("core-001-pxi.settings*"));

    // The review: take the Gamma edit back, then save.
    QStringList rows;
    test::answerNextModal([&rows](QWidget *modal) {
        auto *review = qobject_cast<ReviewDialog *>(modal);
        QVERIFY(review);
        QTreeWidget *changes = review->changeTree();
        for (int i = 0; i < changes->topLevelItemCount(); ++i)
            rows << changes->topLevelItem(i)->text(0) + u' ' + changes->topLevelItem(i)->toolTip(1);
        for (int i = 0; i < changes->topLevelItemCount(); ++i) {
            if (changes->topLevelItem(i)->toolTip(1) == u"Global/RGBWorkingSpace/Gamma")
                changes->topLevelItem(i)->setSelected(true);
        }
        review->revertButton()->click();
        review->saveButton()->click();
    });
    // While the file is written, the window says so.
    QString seenWhileWriting;
    SettingsDocument::FileOperations operations = SettingsDocument::defaultFileOperations();
    operations.writeBackup = [&seenWhileWriting, this](const QByteArray &bytes, const QString &to, QString *error) {
        const QCursor *cursor = QApplication::overrideCursor();
        seenWhileWriting = m_window->statusBar()->currentMessage()
            + (cursor && cursor->shape() == Qt::WaitCursor ? QStringLiteral(" (busy)") : QString());
        return SettingsDocument::defaultFileOperations().writeBackup(bytes, to, error);
    };
    m_window->session()->document().setFileOperations(operations);
    QVERIFY(m_window->onSave());
    QCOMPARE(seenWhileWriting, QStringLiteral("Saving\u2026 (busy)"));
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(rows,
             QStringList({QStringLiteral("Delete CommandHistory"), QStringLiteral("Delete ModuleData/Mirelux"),
                          QStringLiteral("Edit Global/Preferences/Process/MaxProcessors"),
                          QStringLiteral("Edit Global/RGBWorkingSpace/Gamma")}));
    QVERIFY(m_window->statusBar()->currentMessage().startsWith(
        QStringLiteral("Saved. Backup: core-001-pxi.settings.bak-")));
    QCOMPARE(title(), QStringLiteral("core-001-pxi.settings"));

    // What the file must hold: the loaded bytes with exactly the remaining changes applied.
    XsdtFile expected;
    QVERIFY(expected.parse(m_original));
    expected.root.findPath(u"Global/Preferences/Process/MaxProcessors")->value = QStringLiteral("8");
    expected.root.findPath(u"CommandHistory")->deleted = true;
    expected.root.findPath(u"ModuleData/Mirelux")->deleted = true;
    QFile saved(settingsFile("core-001-pxi.settings"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray written = saved.readAll();
    QCOMPARE(written, expected.serialize());
    QVERIFY(!written.contains("CommandHistory") && written.contains("v=\"8\"")
            && written.contains("<v k=\"Gamma\" t=\"F\" v=\"2.2\"/>"));
    const QStringList backups
        = QDir(QFileInfo(saved).absolutePath()).entryList({QStringLiteral("core-001-pxi.settings.bak-*")});
    QCOMPARE(backups.size(), 1);
    QVERIFY(!node("CommandHistory"));
    QVERIFY(m_window->tabs()->allSettings()->tree()->isExpanded(proxyIndex("Global/Preferences")));
}

void TestMainWindow::dontAskAgainLastsTheRun()
{
    QTreeView *tree = m_window->tabs()->allSettings()->tree();
    test::answerNextModal([](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        QCOMPARE(box->checkBox()->text(), QStringLiteral("Don't ask again until I close the program"));
        box->checkBox()->setChecked(true);
        box->button(QMessageBox::Yes)->click();
    });
    m_window->deletionFlow()->confirmAndQueueDeletion(node("ModuleData/Mirelux"));
    QVERIFY(m_window->deletionFlow()->dontAskAgain());
    // No question any more, from any view.
    tree->setCurrentIndex(proxyIndex("ModuleData/ImageCalibration"));
    m_window->tabs()->allSettings()->deleteSelected();
    QVERIFY(node("ModuleData/ImageCalibration")->deleted);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void TestMainWindow::cancelledWarnQueuesNothing()
{
    test::answerNextModal([](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        box->checkBox()->setChecked(true);
        box->button(QMessageBox::Cancel)->click();
    });
    m_window->deletionFlow()->confirmAndQueueDeletion(node("ModuleData/Mirelux"));
    QVERIFY(!node("ModuleData/Mirelux")->deleted);
    QVERIFY(!m_window->deletionFlow()->dontAskAgain());

    QString refusal;
    test::answerNextModal([&refusal](QWidget *modal) { refusal = qobject_cast<QMessageBox *>(modal)->text(); });
    m_window->deletionFlow()->confirmAndQueueDeletion(node("Modules"));
    QCOMPARE(refusal, QStringLiteral("Modules\n\nModule registry. Deleting it can stop modules from loading."));
}

void TestMainWindow::settledPoll()
{
    m_window->pollEnvironment();
    QTRY_VERIFY(!m_window->isCheckingDisk());
}

void TestMainWindow::contextMenuEntries()
{
    AllSettingsPage *page = m_window->tabs()->allSettings();
    QVERIFY(m_window->model()->requestDeletion(node("CommandHistory")));
    const auto texts = [page](XsdtNode *target) {
        std::unique_ptr<QMenu> menu(page->buildContextMenu(target));
        QStringList entries;
        for (QAction *action : menu->actions())
            entries << (action->isSeparator()
                            ? QStringLiteral("-")
                            : action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)")));
        return entries;
    };
    QCOMPARE(texts(node("CommandHistory/Command01")),
             QStringList({QStringLiteral("Revert this value (off)"), QStringLiteral("Copy setting path"),
                          QStringLiteral("Copy value"), QStringLiteral("Show &history..."),
                          QStringLiteral("E&xport... (off)"), QStringLiteral("Copy to other &instances... (off)"),
                          QStringLiteral("-"), QStringLiteral("Inside an entry marked for deletion (off)")}));
    QCOMPARE(texts(node("CommandHistory")).constLast(), QStringLiteral("Undo deletion"));
    QCOMPARE(texts(node("ModuleData/Mirelux")).constLast(), QStringLiteral("Delete this entry..."));
    QCOMPARE(texts(node("Modules")).constLast(), QStringLiteral("Why can't this be deleted?"));
    QCOMPARE(texts(node("Global")).at(2), QStringLiteral("Copy value (off)"));

    startFakeHost();
    m_window->pollEnvironment();
    QCOMPARE(texts(node("FileExplorer")).constLast(), QStringLiteral("Delete this entry (off)"));
}

void TestMainWindow::revealClearsTheFilter()
{
    AllSettingsPage *page = m_window->tabs()->allSettings();
    page->filterEdit()->setText(QStringLiteral("gamma"));
    page->changedOnlyBox()->setChecked(true);
    QVERIFY(!proxyIndex("ModuleData/Mirelux/Strength").isValid());
    page->revealNode(node("ModuleData/Mirelux/Strength"));
    QVERIFY(page->filterEdit()->text().isEmpty());
    QVERIFY(!page->changedOnlyBox()->isChecked());
    QCOMPARE(page->tree()->currentIndex(), proxyIndex("ModuleData/Mirelux/Strength"));
    QVERIFY(page->tree()->isExpanded(proxyIndex("ModuleData/Mirelux")));
}

void TestMainWindow::filterExpandsAndClearingCollapses()
{
    AllSettingsPage *page = m_window->tabs()->allSettings();
    // "Expand all" opens the groups. Had the tree also kept each value as open, the next keystroke
    // would have to let go of every one of them: seconds on a large file.
    const QList<QAction *> actions = m_window->menuBar()->findChildren<QAction *>();
    const auto expandAll = std::find_if(actions.cbegin(), actions.cend(),
                                        [](const QAction *action) { return action->text() == u"&Expand all"; });
    QVERIFY(expandAll != actions.cend());
    (*expandAll)->trigger();
    QVERIFY(page->tree()->isExpanded(proxyIndex("ModuleData/Mirelux")));
    QVERIFY(!page->tree()->isExpanded(proxyIndex("ModuleData/Mirelux/Strength")));
    page->filterEdit()->setText(QStringLiteral("  strength "));
    QVERIFY(page->tree()->isExpanded(proxyIndex("ModuleData/Mirelux")));
    QVERIFY(!proxyIndex("Global/Preferences/Process/MaxProcessors").isValid());
    page->filterEdit()->clear();
    QVERIFY(!page->tree()->isExpanded(proxyIndex("ModuleData/Mirelux")));
    QVERIFY(page->tree()->isExpanded(proxyIndex("Global/Preferences")));

    // The row the user is on stays current through filters that show it.
    page->tree()->setCurrentIndex(proxyIndex("ModuleData/Mirelux/Strength"));
    page->filterEdit()->setText(QStringLiteral("stren"));
    QCOMPARE(page->tree()->currentIndex(), proxyIndex("ModuleData/Mirelux/Strength"));
    page->filterEdit()->clear();
    QCOMPARE(page->tree()->currentIndex(), proxyIndex("ModuleData/Mirelux/Strength"));

    // A reload under a filter opens the matches again, on the current row.
    page->filterEdit()->setText(QStringLiteral("stren"));
    m_window->onReload();
    QVERIFY(page->tree()->isExpanded(proxyIndex("ModuleData/Mirelux")));
    QCOMPARE(page->tree()->currentIndex(), proxyIndex("ModuleData/Mirelux/Strength"));
}

void TestMainWindow::filterOnALargeTreeOpensABudget()
{
    // A short text matches nearly all of a large file; opening it all would stall every keystroke.
    const QString large = settingsFile("core-002-pxi.settings");
    writeFile(large, SettingsGenerator::withValues(30000));
    QVERIFY(m_window->openFile(large));
    AllSettingsPage *page = m_window->tabs()->allSettings();
    page->filterEdit()->setText(QStringLiteral("e"));
    const QAbstractItemModel *proxy = page->tree()->model();
    int visible = 0;
    int matches = 0;
    const std::function<void(const QModelIndex &, bool)> walk = [&](const QModelIndex &parent, bool open) {
        for (int row = 0; row < proxy->rowCount(parent); ++row) {
            const QModelIndex index = proxy->index(row, 0, parent);
            ++matches;
            visible += open ? 1 : 0;
            walk(index, open && page->tree()->isExpanded(index));
        }
    };
    walk(QModelIndex(), true);
    QVERIFY2(matches > 3 * AllSettingsPage::kExpandedRows, qPrintable(QString::number(matches)));
    QVERIFY2(visible > AllSettingsPage::kExpandedRows / 4 && visible <= AllSettingsPage::kExpandedRows,
             qPrintable(QString::number(visible)));
}

void TestMainWindow::hostStartingMakesItViewOnly()
{
    SettingsModel *model = m_window->model();
    QVERIFY(model->setData(model->indexFor(node("Global/Preferences/Process/MaxProcessors"), 1), QStringLiteral("8")));
    QVERIFY(model->setData(model->indexFor(node("Global/RGBWorkingSpace/Gamma"), 1), QStringLiteral("2")));
    startFakeHost();
    m_window->pollEnvironment();
    QVERIFY(m_window->isHostRunning());
    QVERIFY(model->isReadOnly());
    QVERIFY(!m_window->saveAction()->isEnabled());
    QVERIFY(!m_window->undoAction()->isEnabled());
    QVERIFY(m_window->bannerLabel()->text().startsWith(QStringLiteral("<b>PixInsight is running - view only.</b>")));
    QCOMPARE(m_window->saveAction()->toolTip(), QStringLiteral("PixInsight is running: close it to save."));
    QCOMPARE(title(), QStringLiteral("core-001-pxi.settings*"));

    // A save attempted anyway (the review was already open) is refused by the document.
    QString failure;
    test::answerNextModal([](QWidget *modal) { qobject_cast<ReviewDialog *>(modal)->saveButton()->click(); });
    QTimer::singleShot(300, [&failure] {
        test::answerNextModal([&failure](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            failure = box->windowTitle() + u'|' + box->text();
        });
    });
    QVERIFY(!m_window->onSave());
    QVERIFY(failure.startsWith(QStringLiteral("Save failed|PixInsight is running.")));

    // PixInsight exits after rewriting the file: with edits pending, nothing is reloaded.
    writeFile(settingsFile("core-001-pxi.settings"), m_original + "\n");
    m_host->stop();
    settledPoll();
    QVERIFY(!m_window->isHostRunning());
    QVERIFY(m_window->isChangedOnDisk());
    QCOMPARE(
        m_window->bannerLabel()->text(),
        QStringLiteral("<b>The file changed on disk since it was loaded.</b> Saving is blocked. Reload to put your "
                       "2 unsaved changes back on it, or to discard them."));
    QVERIFY(!m_window->reloadButton()->isHidden());
    QCOMPARE(m_window->unsavedCount(), 2);
    QVERIFY(m_window->undoAction()->isEnabled());
    QCOMPARE(m_window->saveAction()->toolTip(), QStringLiteral("The file changed on disk: reload it to save."));

    // Reload offers to put the changes back on PixInsight's file, and does so by default.
    QString offered;
    test::answerNextModal([&offered](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        offered = box->defaultButton()->text();
        box->defaultButton()->click();
    });
    m_window->reloadButton()->click();
    QCOMPARE(offered, QStringLiteral("&Reload and re-apply my 2 changes"));
    QVERIFY(!m_window->isChangedOnDisk());
    QCOMPARE(m_window->unsavedCount(), 2);
    QCOMPARE(node("Global/Preferences/Process/MaxProcessors")->value, QStringLiteral("8"));
    QVERIFY(m_window->bannerLabel()->isHidden());
    QVERIFY(m_window->saveAction()->isEnabled());
    QVERIFY(m_window->model()->undo());
    QCOMPARE(m_window->unsavedCount(), 0);
}

void TestMainWindow::changedOnDiskAndAutomaticReload()
{
    startFakeHost();
    m_window->pollEnvironment();
    QByteArray rewritten = m_original;
    rewritten.replace("v=\"64\"", "v=\"12\"");
    writeFile(settingsFile("core-001-pxi.settings"), rewritten);
    settledPoll();
    QVERIFY(m_window->isChangedOnDisk());
    m_host->stop();
    settledPoll();
    // Nothing pending: the new file is taken over by itself.
    QVERIFY(!m_window->isChangedOnDisk());
    QCOMPARE(node("Global/Preferences/Process/MaxProcessors")->value, QStringLiteral("12"));
    QVERIFY(m_window->statusBar()->currentMessage().startsWith(QStringLiteral("Loaded ")));
    // What PixInsight changed is told, not the orange "changed on disk".
    QVERIFY(m_window->bannerLabel()->text().contains(QStringLiteral("PixInsight changed 1 setting while it ran.")));
}

// Each round of a problem search rewrites the file: the banner says a search is under way, not
// that the file changed, while its state is kept beside the file.
void TestMainWindow::aSearchInProgressIsSaidInsteadOfChangedOnDisk()
{
    SettingsModel *model = m_window->model();
    QVERIFY(model->setData(model->indexFor(node("Global/RGBWorkingSpace/Gamma"), 1), QStringLiteral("2")));
    const QString path = settingsFile("core-001-pxi.settings");
    writeFile(ProblemSearch::statePathFor(path), "{}");
    writeFile(path, m_original + "\n");
    settledPoll();
    QVERIFY(m_window->isChangedOnDisk());
    QCOMPARE(m_window->bannerLabel()->text(),
             QStringLiteral("<b>A problem search is in progress: the file is rewritten each round.</b>"));
    QVERIFY(m_window->reloadButton()->isHidden());
    QVERIFY(!m_window->saveAction()->isEnabled());
    QCOMPARE(m_window->saveAction()->toolTip(),
             QStringLiteral("A problem search is in progress: finish or stop it to save."));
    QVERIFY(QFile::remove(ProblemSearch::statePathFor(path)));
    settledPoll();
    QVERIFY(m_window->bannerLabel()->text().startsWith(QStringLiteral("<b>The file changed on disk")));
}

void TestMainWindow::closingWithPendingChanges()
{
    SettingsModel *model = m_window->model();
    QVERIFY(model->setData(model->indexFor(node("Global/RGBWorkingSpace/Gamma"), 1), QStringLiteral("2")));
    // Save, then Cancel in the review: the window stays open.
    test::answerNextModal([](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QCOMPARE(box->text(), QStringLiteral("You have 1 unsaved change."));
        // Alt+S, Alt+D and Alt+C answer it from the keyboard.
        QCOMPARE(box->button(QMessageBox::Save)->text(), QStringLiteral("&Save"));
        QCOMPARE(box->button(QMessageBox::Discard)->text(), QStringLiteral("&Discard"));
        QCOMPARE(box->button(QMessageBox::Cancel)->text(), QStringLiteral("&Cancel"));
        box->button(QMessageBox::Save)->click();
    });
    QTimer::singleShot(300,
                       [] { test::answerNextModal([](QWidget *modal) { qobject_cast<QDialog *>(modal)->reject(); }); });
    QVERIFY(!m_window->close());
    QVERIFY(m_window->isVisible());
    test::answerNextModal(
        [](QWidget *modal) { qobject_cast<QMessageBox *>(modal)->button(QMessageBox::Cancel)->click(); });
    QVERIFY(!m_window->close());
    test::answerNextModal(
        [](QWidget *modal) { qobject_cast<QMessageBox *>(modal)->button(QMessageBox::Discard)->click(); });
    QVERIFY(m_window->close());
}

void TestMainWindow::choosingAnotherFileAsks()
{
    QComboBox *box = m_window->fileBox();
    emit box->activated(0); // the open file: nothing, no question
    QCOMPARE(m_window->document().path(), settingsFile("core-001-pxi.settings"));
    SettingsModel *model = m_window->model();
    QVERIFY(model->setData(model->indexFor(node("Global/RGBWorkingSpace/Gamma"), 1), QStringLiteral("2")));
    test::answerNextModal(
        [](QWidget *modal) { qobject_cast<QMessageBox *>(modal)->button(QMessageBox::Cancel)->click(); });
    box->setCurrentIndex(1);
    emit box->activated(1);
    QCOMPARE(m_window->document().path(), settingsFile("core-001-pxi.settings"));
    QCOMPARE(box->currentIndex(), 0);
    test::answerNextModal(
        [](QWidget *modal) { qobject_cast<QMessageBox *>(modal)->button(QMessageBox::Discard)->click(); });
    emit box->activated(1);
    QCOMPARE(m_window->document().path(), settingsFile("core-002-pxi.settings"));
    QCOMPARE(m_window->unsavedCount(), 0);
}

void TestMainWindow::invalidUtf8Banner()
{
    const QString path = m_dir->filePath(QStringLiteral("odd/core-001-pxi.settings"));
    writeFile(path, QByteArray("<xsdt>\n  <v k=\"a\" t=\"s\" v=\"\xFF\"/></xsdt>"));
    QVERIFY(m_window->openFile(path));
    QCOMPARE(m_window->bannerLabel()->text(),
             QStringLiteral("This file contains bytes that are not valid UTF-8 (first at line 2, column 21). Saving "
                            "would replace them with the Unicode replacement character."));
    QCOMPARE(m_window->fileBox()->count(), 3);
    QCOMPARE(m_window->fileBox()->currentIndex(), 2);

    writeFile(path, QByteArray("<xsdt>\n  <v k=\"a\" t=\"s\" v=\"x\"/>\n</xsdt>"));
    QVERIFY(m_window->openFile(path));
    QVERIFY(m_window->bannerLabel()->text().startsWith(QStringLiteral("This file uses a non-default layout")));

    QString error;
    test::answerNextModal([&error](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        error = box->windowTitle() + u'|' + box->text();
    });
    writeFile(path, QByteArray("not settings"));
    QVERIFY(!m_window->openFile(path));
    QCOMPARE(error,
             QStringLiteral("Cannot open file|%1 is not a valid PixInsight settings file: Not a PixInsight "
                            "settings file (no <xsdt> element).")
                 .arg(QDir::toNativeSeparators(path)));
    QVERIFY(!m_window->reloadAction()->isEnabled());
}

void TestMainWindow::moduleSearch_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("full");
    QTest::addColumn<QString>("heading"); // empty: the full-search question, answered No
    QTest::newRow("exact, installed")
        << "noiseweave" << false
        << "Module search for \"noiseweave\": registry entry, module data, module settings and process entries - "
           "NoiseWeave (installed), 3 values. Type words below to narrow them.";
    QTest::newRow("exact, not in the list")
        << "MIRELUX" << false
        << "Module search for \"MIRELUX\": registry entry, module data, module settings and process entries - "
           "Mirelux (not in the module list), 13 values. Type words below to narrow them.";
    QTest::newRow("partial")
        << "relu" << false
        << "No module is called exactly \"relu\"; showing modules whose name contains it: Mirelux (not in the module "
           "list) - 13 values.";
    QTest::newRow("nothing") << "zzzz" << false << "";
    QTest::newRow("full search") << "Mirelux" << true << "(full)";
}

void TestMainWindow::moduleSearch()
{
    QFETCH(QString, name);
    QFETCH(bool, full);
    QFETCH(QString, heading);
    QString question;
    test::answerNext<ModuleSearchDialog>([name, full](ModuleSearchDialog *dialog) {
        dialog->nameEdit()->setText(name);
        if (full)
            dialog->fullButton()->setChecked(true);
        dialog->buttons()->button(QDialogButtonBox::Ok)->click();
    });
    if (heading.isEmpty()) {
        test::answerNext<QMessageBox>([&question](QMessageBox *box) {
            question = box->text();
            box->button(QMessageBox::No)->click();
        });
    }
    const int tabBefore = m_window->tabs()->currentIndex();
    m_window->onFindModule();
    SearchView *search = m_window->tabs()->search();
    if (heading.isEmpty()) {
        QTRY_VERIFY(!question.isEmpty());
        QCOMPARE(question,
                 QStringLiteral("Nothing recorded for \"zzzz\" in the places module names usually go.\n\n"
                                "Run a full search instead?"));
        QCOMPARE(m_window->tabs()->currentIndex(), tabBefore);
        return;
    }
    QCOMPARE(m_window->tabs()->currentWidget(), search);
    if (full) {
        QVERIFY(search->restrictionBanner()->isHidden());
        QCOMPARE(search->queryEdit()->text(), QStringLiteral("Mirelux"));
        QVERIFY(search->rows().size() > 3);
        return;
    }
    QVERIFY(!search->restrictionBanner()->isHidden());
    QCOMPARE(search->restrictionLabel()->text(), heading);
}

void TestMainWindow::moduleSearchNameNeedsText()
{
    ModuleSearchDialog dialog({QStringLiteral("Mirelux"), QStringLiteral("NoiseWeave")});
    QPushButton *search = dialog.buttons()->button(QDialogButtonBox::Ok);
    QCOMPARE(search->text(), QStringLiteral("Search"));
    QVERIFY(!search->isEnabled());
    dialog.nameEdit()->setText(QStringLiteral("   "));
    QVERIFY(!search->isEnabled());
    dialog.nameEdit()->setText(QStringLiteral(" weave "));
    QVERIFY(search->isEnabled());
    QCOMPARE(dialog.name(), QStringLiteral("weave"));
    QCompleter *completer = dialog.nameEdit()->completer();
    completer->setCompletionPrefix(QStringLiteral("EAV"));
    QCOMPARE(completer->currentCompletion(), QStringLiteral("NoiseWeave"));
}

void TestMainWindow::findKeyGoesToSearch()
{
    m_window->activateWindow();
    m_window->tabs()->search()->queryEdit()->setText(QStringLiteral("gamma"));
    m_window->tabs()->setCurrentIndex(0);
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keySequence(m_window.get(), QKeySequence::Find);
    QCOMPARE(m_window->tabs()->currentWidget(), m_window->tabs()->search());
    QVERIFY(m_window->tabs()->search()->queryEdit()->hasSelectedText());
    QCOMPARE(m_window->tabs()->search()->queryEdit()->selectedText(), QStringLiteral("gamma"));
}

void TestMainWindow::keyboardMovesBetweenTabsAndResults()
{
    MainTabs *tabs = m_window->tabs();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    // From the File box, where the focus lands after Save and Reload.
    tabs->setCurrentIndex(0);
    m_window->fileBox()->setFocus();
    QTest::keyClick(m_window->fileBox(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(tabs->currentWidget(), tabs->search());
    // The Search tab, however reached, has its box ready for typing.
    QVERIFY(tabs->search()->queryEdit()->hasFocus());
    QTest::keyClick(tabs->search()->queryEdit(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(tabs->currentIndex(), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(tabs->currentIndex(), tabs->count() - 1);
    tabs->setCurrentWidget(tabs->search());
    QVERIFY(tabs->search()->queryEdit()->hasFocus());

    // Down or Enter right after typing goes into the results, without waiting for the pause.
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Return}) {
        QLineEdit *query = tabs->search()->queryEdit();
        query->setFocus();
        query->clear();
        QTest::keyClicks(query, QStringLiteral("gamma"));
        QTest::keyClick(query, key);
        QVERIFY(!tabs->search()->rows().isEmpty());
        QWidget *focused = QApplication::focusWidget();
        QVERIFY(focused);
        QVERIFY(tabs->search()->rows().constFirst()->isAncestorOf(focused));
    }
}

// A window on an installation with Mirelux's library folder left behind, queued for deletion.
void TestMainWindow::queueMireluxLibrary(const QString &install)
{
    QVERIFY(QDir().mkpath(install + QLatin1String("/bin")));
    writeFile(install + QLatin1String("/lib/Mirelux/module.so"), QByteArray(100, 'm'));
    m_services.environment.variables.insert(QStringLiteral("PIXINSIGHT_DIR"), install);
    m_window = std::make_unique<MainWindow>(m_services);
    UnusedModulesView *unused = m_window->tabs()->unused();
    unused->expandModule(QStringLiteral("Mirelux"));
    UnusedModulesView::Card *mirelux = nullptr;
    for (const auto &card : unused->cards()) {
        if (card->info.name == u"Mirelux")
            mirelux = card.get();
    }
    QVERIFY(mirelux);
    QCOMPARE(mirelux->leftoverRows.size(), 1);
    mirelux->leftoverRows.at(0).tick->setChecked(true);
    test::answerNext<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    unused->queueTicked();
}

void TestMainWindow::queuedLeftoverGoesWithTheSave()
{
    const QString install = m_dir->filePath(QStringLiteral("PixInsight"));
    queueMireluxLibrary(install);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(title(), QStringLiteral("core-001-pxi.settings*"));
    // A queued file is a step of the history like any change in the tree.
    QCOMPARE(m_window->undoAction()->text(), QStringLiteral("&Undo deletion of 1 entry"));
    m_window->undoAction()->trigger();
    QVERIFY(pendingRequests().isEmpty());
    QCOMPARE(title(), QStringLiteral("core-001-pxi.settings"));
    m_window->redoAction()->trigger();
    QCOMPARE(pendingRequests().size(), 1);
    QCOMPARE(title(), QStringLiteral("core-001-pxi.settings*"));

    QString summary;
    test::answerNext<ReviewDialog>([&summary](ReviewDialog *review) {
        summary = review->summaryLabel()->text();
        QVERIFY(!review->leftoversBox()->isHidden());
        review->saveButton()->click();
    });
    QVERIFY(m_window->onSave());
    QCOMPARE(summary, QStringLiteral("The settings file itself is not changed."));
    QVERIFY(!QFileInfo::exists(install + QLatin1String("/lib/Mirelux")));
    QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("Deleted 1 file or folder from disk."));
    QCOMPARE(title(), QStringLiteral("core-001-pxi.settings"));
    QVERIFY(pendingRequests().isEmpty());
    QVERIFY(QDir(QFileInfo(settingsFile("core-001-pxi.settings")).absolutePath())
                .entryList({QStringLiteral("*.bak-*")})
                .isEmpty()); // no backup: the file was not written
}

void TestMainWindow::healthCheckRunsLazilyAndTitlesItsTab()
{
    QTabWidget *tabs = m_window->tabs();
    QVERIFY(!m_window->tabs()->health()->hasRun());
    QCOMPARE(tabs->tabText(tabs->indexOf(m_window->tabs()->health())), QStringLiteral("Health check"));
    m_window->onHealthCheck();
    QVERIFY(m_window->tabs()->health()->hasRun());
    QCOMPARE(tabs->currentWidget(), m_window->tabs()->health());
    // The demo holds a duplicated key, so there is at least one warning.
    QVERIFY(tabs->tabText(tabs->indexOf(m_window->tabs()->health())).startsWith(QStringLiteral("Health check (")));
    QStringList order;
    for (int i = 0; i < tabs->count(); ++i)
        order << tabs->tabText(i).section(u' ', 0, 0);
    QCOMPARE(order,
             QStringList({QStringLiteral("Preferences"), QStringLiteral("Search"), QStringLiteral("Cleanup"),
                          QStringLiteral("Unused"), QStringLiteral("Health"), QStringLiteral("Compare"),
                          QStringLiteral("All")}));
}

void TestMainWindow::restoreThroughTheChooser()
{
    SettingsModel *model = m_window->model();
    QVERIFY(model->setData(model->indexFor(node("Global/RGBWorkingSpace/Gamma"), 1), QStringLiteral("2")));
    test::answerNext<ReviewDialog>([](ReviewDialog *review) { review->saveButton()->click(); });
    QVERIFY(m_window->onSave());
    QVERIFY(model->setData(model->indexFor(node("Global/RGBWorkingSpace/Gamma"), 1), QStringLiteral("3")));

    QStringList items;
    test::answerNext<QInputDialog>([&items](QInputDialog *chooser) {
        items = chooser->comboBoxItems();
        chooser->accept();
        test::answerNext<QMessageBox>([](QMessageBox *discard) {
            QCOMPARE(discard->text(),
                     QStringLiteral("You have 1 unsaved change. Restoring the backup discards what is not saved."));
            discard->button(QMessageBox::Discard)->click();
            test::answerNext<QMessageBox>([](QMessageBox *question) {
                QVERIFY(question->text().startsWith(
                    QStringLiteral("Replace the current settings file with\ncore-001-pxi.settings.bak-")));
                // What it would change is shown before the answer: the file on disk, not the
                // discarded edit, against the backup.
                QCOMPARE(question->informativeText(), QStringLiteral("Restoring changes 1 setting."));
                QCOMPARE(question->detailedText(), QStringLiteral("Gamma \u2014 RGB working space: 2 \u2192 2.2"));
                question->button(QMessageBox::Yes)->click();
            });
        });
    });
    m_window->onRestoreBackup();
    QCOMPARE(items.size(), 1);
    QVERIFY(items.constFirst().startsWith(QStringLiteral("core-001-pxi.settings.bak-")));
    QVERIFY(m_window->statusBar()->currentMessage().startsWith(QStringLiteral("Restored core-001-pxi.settings.bak-")));
    QCOMPARE(m_window->unsavedCount(), 0);
    QCOMPARE(node("Global/RGBWorkingSpace/Gamma")->value, QStringLiteral("2.2"));
    const QStringList safety = QDir(QFileInfo(settingsFile("core-001-pxi.settings")).absolutePath())
                                   .entryList({QStringLiteral("core-001-pxi.settings.bak-*-before-restore")});
    QCOMPARE(safety.size(), 1);
}

// At text size 1.6 nothing important is cut: a backup's tag, the Compare search box.
void TestMainWindow::dialogsGrowWithTheText()
{
    ThemeManager &theme = ThemeManager::instance();
    const double before = theme.scale();
    const auto restore = qScopeGuard([&theme, before] { theme.setScale(before, false); });
    theme.setScale(1.6, false);
    const QString folder = QFileInfo(settingsFile("core-001-pxi.settings")).absolutePath();
    for (const char *name : {"core-001-pxi.settings.bak-20260101-000000-before-restore",
                             "core-001-pxi.settings.bak-20260102-000000-before-search"}) {
        QFile backup(folder + u'/' + QLatin1String(name));
        QVERIFY(backup.open(QIODevice::WriteOnly));
        backup.write(m_original);
    }
    BackupsDialog dialog(m_window->document().path());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // As wide as the names, or as the screen allows.
    const int room = dialog.screen()->availableGeometry().width() - 80;
    QVERIFY2(dialog.list()->viewport()->width() >= dialog.list()->sizeHintForColumn(0) || dialog.width() >= room,
             qPrintable(QStringLiteral("%1 < %2, dialog %3 of %4")
                            .arg(dialog.list()->viewport()->width())
                            .arg(dialog.list()->sizeHintForColumn(0))
                            .arg(dialog.width())
                            .arg(room)));

    m_window->tabs()->setCurrentWidget(m_window->tabs()->compare());
    m_window->resize(m_window->minimumSizeHint());
    QLineEdit *search = m_window->tabs()->compare()->searchEdit();
    QTRY_VERIFY(search->width() >= search->fontMetrics().horizontalAdvance(QStringLiteral("Search")) * 2);
}

void TestMainWindow::manageBackups()
{
    QSettings().setValue(QStringLiteral("Backups/Keep"), 1);
    const QString folder = QFileInfo(settingsFile("core-001-pxi.settings")).absolutePath();
    for (int i = 0; i < 3; ++i) {
        QFile backup(folder + QStringLiteral("/core-001-pxi.settings.bak-2026010%1-000000").arg(i + 1));
        QVERIFY(backup.open(QIODevice::WriteOnly));
        backup.write("<xsdt></xsdt>" + QByteArray(1600 - 13, '\n'));
        backup.flush();
        QVERIFY(
            backup.setFileTime(QDateTime::currentDateTime().addSecs(-60 * (3 - i)), QFileDevice::FileModificationTime));
    }
    BackupsDialog dialog(m_window->document().path());
    QCOMPARE(dialog.summaryLabel()->text(),
             QStringLiteral("3 backups of core-001-pxi.settings, 4.7 KiB in total (newest first):"));
    // Named as the restore chooser and the problem search name it.
    const QString newest = folder + QStringLiteral("/core-001-pxi.settings.bak-20260103-000000");
    QCOMPARE(dialog.list()->item(0)->text(), DisplayText::backup(newest));
    QVERIFY(dialog.list()->item(0)->text().endsWith(QStringLiteral(", 1.6 KiB)")));
    QCOMPARE(dialog.keepBox()->value(), 1);
    QCOMPARE(dialog.olderButton()->text(), QStringLiteral("Delete the 2 older backups (3.1 KiB)"));
    QVERIFY(!dialog.selectedButton()->isEnabled());
    dialog.keepBox()->setValue(7);
    QCOMPARE(QSettings().value(QStringLiteral("Backups/Keep")).toInt(), 7);
    QCOMPARE(dialog.olderButton()->text(), QStringLiteral("Delete older backups"));
    QVERIFY(!dialog.olderButton()->isEnabled());
    dialog.list()->item(2)->setSelected(true);
    QCOMPARE(dialog.selectedButton()->text(), QStringLiteral("Delete selected (1)"));
    QSignalSpy message(&dialog, &BackupsDialog::message);
    test::answerNext<QMessageBox>([](QMessageBox *box) {
        QCOMPARE(box->text(),
                 QStringLiteral("Delete the 1 selected backup (1.6 KiB)?\n\nThey are moved to the Recycle "
                                "Bin where the system has one, otherwise deleted."));
        box->button(QMessageBox::Yes)->click();
    });
    dialog.deleteSelected();
    QCOMPARE(message.size(), 1);
    QVERIFY(message.constFirst().at(0).toString().contains(QStringLiteral("1 backup ")));
    QCOMPARE(dialog.list()->count(), 2);
    dialog.keepBox()->setValue(0);
    QCOMPARE(dialog.olderButton()->text(), QStringLiteral("Delete the 2 older backups (3.1 KiB)"));
    test::answerNext<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::No)->click(); });
    dialog.deleteAll();
    QCOMPARE(dialog.list()->count(), 2);
}

void TestMainWindow::placement_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<bool>("moved");
    QTest::addColumn<QRect>("placed");
    const QRect primary(0, 0, 1920, 1040);
    QTest::newRow("on screen") << QRect(100, 100, 1100, 760) << false << QRect(100, 100, 1100, 760);
    QTest::newRow("title mostly off") << QRect(1850, 100, 1100, 760) << true << QRect(410, 140, 1100, 760);
    QTest::newRow("above the screen") << QRect(100, -500, 1100, 760) << true << QRect(410, 140, 1100, 760);
    QTest::newRow("larger than the screen") << QRect(-3000, 0, 2500, 1400) << true << QRect(0, 30, 1920, 980);
    QTest::newRow("barely on") << QRect(1800, 0, 1100, 760) << false << QRect(1800, 0, 1100, 760);
}

void TestMainWindow::placement()
{
    QFETCH(QRect, frame);
    QFETCH(bool, moved);
    QFETCH(QRect, placed);
    bool wasMoved = !moved;
    QCOMPARE(placeOnScreen(frame, {QRect(0, 0, 1920, 1040)}, QRect(0, 0, 1920, 1040), &wasMoved), placed);
    QCOMPARE(wasMoved, moved);
}

void TestMainWindow::sizeAndMaximisedStateAreKept()
{
    // No smaller than the window's minimum, which depends on the system's fonts.
    m_window->resize(m_window->width() + 37, 600);
    const QSize kept = m_window->size();
    QVERIFY(m_window->close());
    MainWindow second(m_services);
    second.show();
    QCOMPARE(second.size(), kept);
    second.showMaximized();
    QTRY_VERIFY(second.isMaximized());
    QVERIFY(second.close());
    MainWindow third(m_services);
    third.show();
    QVERIFY(third.isMaximized());

    // Appearance lives in the View menu.
    QMenu *view = nullptr;
    for (QAction *menu : third.menuBar()->actions())
        view = menu->text() == u"&View" ? menu->menu() : view;
    QVERIFY(view);
    const QList<QAction *> entries = view->actions();
    QVERIFY(std::any_of(entries.cbegin(), entries.cend(),
                        [](const QAction *entry) { return entry->menu() && entry->text() == u"&Theme"; }));
}

void TestMainWindow::undoAndRedoAcrossViews()
{
    QAction *undo = m_window->undoAction();
    QAction *redo = m_window->redoAction();
    QVERIFY(!undo->isEnabled() && !redo->isEnabled());
    QCOMPARE(undo->text(), QStringLiteral("&Undo"));
    QList<QByteArray> states{m_window->document().file().serialize()};
    QStringList titles{title()};
    const auto remember = [&] {
        states << m_window->document().file().serialize();
        titles << title();
    };

    QVERIFY(m_window->tabs()->allSettings()->tree()->model()->setData(
        proxyIndex("Global/Preferences/Process/MaxProcessors", 1), QStringLiteral("8")));
    QCOMPARE(undo->text(), QStringLiteral("&Undo edit of Max processors"));
    remember();

    test::answerNext<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    m_window->deletionFlow()->confirmAndQueueDeletion(node("ModuleData/Mirelux"));
    QCOMPARE(undo->text(), QStringLiteral("&Undo deletion of Mirelux"));
    remember();

    // The compared file agrees on the edited value and differs in two others: one step copies both.
    QByteArray other = m_original;
    other.replace("<v k=\"MaxProcessors\" t=\"i\" v=\"64\"/>", "<v k=\"MaxProcessors\" t=\"i\" v=\"8\"/>");
    other.replace("<v k=\"Gamma\" t=\"F\" v=\"2.2\"/>", "<v k=\"Gamma\" t=\"F\" v=\"1.8\"/>");
    other.replace("<v k=\"MaxModuleThreadPriority\" t=\"i\" v=\"4\"/>",
                  "<v k=\"MaxModuleThreadPriority\" t=\"i\" v=\"2\"/>");
    const QString otherPath = m_dir->filePath(QStringLiteral("other.settings"));
    writeFile(otherPath, other);
    QString error;
    QVERIFY2(m_window->tabs()->compare()->loadOther(otherPath, &error), qPrintable(error));
    test::answerNext<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    m_window->tabs()->compare()->copyAllShown();
    QCOMPARE(node("Global/RGBWorkingSpace/Gamma")->value, QStringLiteral("1.8"));
    QCOMPARE(undo->text(), QStringLiteral("&Undo edit of 2 values"));
    remember();
    QCOMPARE(titles.constLast(), QStringLiteral("core-001-pxi.settings*"));

    // Undo from the keyboard, with the focus in the tree.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_window->tabs()->allSettings()->tree()->setFocus();
    for (int step = 2; step >= 0; --step) {
        QTest::keySequence(m_window->tabs()->allSettings()->tree(), QKeySequence::Undo);
        QCOMPARE(m_window->document().file().serialize(), states.at(step));
        QCOMPARE(title(), titles.at(step));
    }
    QVERIFY(!undo->isEnabled());
    QCOMPARE(redo->text(), QStringLiteral("&Redo edit of Max processors"));
    redo->trigger();
    QCOMPARE(title(), titles.at(1));
    redo->trigger();
    QCOMPARE(m_window->document().file().serialize(), states.at(2));
    QCOMPARE(redo->text(), QStringLiteral("&Redo edit of 2 values"));

    test::answerNext<ReviewDialog>([](ReviewDialog *review) { review->saveButton()->click(); });
    QVERIFY(m_window->onSave());
    QFile saved(settingsFile("core-001-pxi.settings"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), states.at(2));
    QVERIFY(!undo->isEnabled() && !redo->isEnabled());
    QVERIFY(!m_window->model()->undo());
}

void TestMainWindow::undoAfterReloadDoesNothing()
{
    QVERIFY(m_window->model()->setData(
        m_window->model()->indexFor(node("Global/RGBWorkingSpace/Gamma"), SettingsModel::ValueColumn),
        QStringLiteral("1.8")));
    QVERIFY(m_window->undoAction()->isEnabled());
    test::answerNext<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Discard)->click(); });
    m_window->reloadAction()->trigger();
    QCOMPARE(node("Global/RGBWorkingSpace/Gamma")->value, QStringLiteral("2.2"));
    QVERIFY(!m_window->undoAction()->isEnabled());
    m_window->undoAction()->trigger();
    QVERIFY(!m_window->model()->undo());
    QCOMPARE(m_window->unsavedCount(), 0);
    QCOMPARE(m_window->document().file().serialize(), m_original);
}

// The window's Undo must not take the key from a text field: there it undoes the typing.
void TestMainWindow::undoKeyInALineEditUndoesTyping()
{
    QVERIFY(m_window->model()->setData(
        m_window->model()->indexFor(node("Global/RGBWorkingSpace/Gamma"), SettingsModel::ValueColumn),
        QStringLiteral("1.8")));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QLineEdit *filter = m_window->tabs()->allSettings()->filterEdit();
    filter->setFocus();
    QTest::keyClicks(filter, QStringLiteral("gam"));
    QCOMPARE(filter->text(), QStringLiteral("gam"));
    QTest::keySequence(filter, QKeySequence::Undo);
    QVERIFY(filter->text() != QLatin1String("gam"));
    QCOMPARE(node("Global/RGBWorkingSpace/Gamma")->value, QStringLiteral("1.8"));
    QVERIFY(m_window->undoAction()->isEnabled());
}

void TestMainWindow::undoOfRevertAllBringsBackTheQueuedFiles()
{
    queueMireluxLibrary(m_dir->filePath(QStringLiteral("PixInsight")));
    if (QTest::currentTestFailed())
        return;
    QVERIFY(m_window->model()->setData(
        m_window->model()->indexFor(node("Global/RGBWorkingSpace/Gamma"), SettingsModel::ValueColumn),
        QStringLiteral("1.8")));
    QCOMPARE(m_window->unsavedCount(), 2);

    test::answerNext<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    m_window->onRevertAll();
    QCOMPARE(m_window->unsavedCount(), 0);
    QVERIFY(pendingRequests().isEmpty());
    QCOMPARE(m_window->undoAction()->text(), QStringLiteral("&Undo revert of all changes"));
    m_window->undoAction()->trigger();
    QCOMPARE(m_window->unsavedCount(), 2);
    QCOMPARE(pendingRequests().size(), 1);
    QCOMPARE(node("Global/RGBWorkingSpace/Gamma")->value, QStringLiteral("1.8"));
    m_window->redoAction()->trigger();
    QCOMPARE(m_window->unsavedCount(), 0);
    QVERIFY(pendingRequests().isEmpty());
}

void TestMainWindow::failedRestoreKeepsTheQueuedFiles()
{
    queueMireluxLibrary(m_dir->filePath(QStringLiteral("PixInsight")));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_window->unsavedCount(), 1);
    writeFile(settingsFile("core-001-pxi.settings.bak-20260101-000000"), "not a settings file");
    QString failure;
    test::answerNext<QInputDialog>([&failure](QInputDialog *chooser) {
        chooser->accept();
        test::answerNext<QMessageBox>([&failure](QMessageBox *discard) {
            discard->button(QMessageBox::Discard)->click();
            test::answerNext<QMessageBox>([&failure](QMessageBox *question) {
                question->button(QMessageBox::Yes)->click();
                test::answerNext<QMessageBox>([&failure](QMessageBox *critical) {
                    failure = critical->windowTitle();
                    critical->accept();
                });
            });
        });
    });
    m_window->onRestoreBackup();
    QCOMPARE(failure, QStringLiteral("Restore failed"));
    QCOMPARE(pendingRequests().size(), 1);
    QCOMPARE(m_window->unsavedCount(), 1);
}

void TestMainWindow::vanishedQueuedFileLeavesTheQueue()
{
    const QString install = m_dir->filePath(QStringLiteral("PixInsight"));
    queueMireluxLibrary(install);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_window->unsavedCount(), 1);
    QVERIFY(QDir(install + QLatin1String("/lib/Mirelux")).removeRecursively());
    m_window->pollEnvironment();
    QCOMPARE(m_window->unsavedCount(), 0);
    QCOMPARE(title(), QStringLiteral("core-001-pxi.settings"));
    QVERIFY(!m_window->saveAction()->isEnabled());
}

// A save refused after the review (here: a read-only file) keeps what can be undone.
void TestMainWindow::refusedSaveKeepsTheUndoHistory()
{
    QVERIFY(m_window->model()->requestDeletion(node("CommandHistory")));
    QVERIFY(QFile::setPermissions(settingsFile("core-001-pxi.settings"), QFile::ReadOwner));
    test::answerNext<ReviewDialog>([](ReviewDialog *review) {
        review->saveButton()->click();
        test::answerNext<QMessageBox>([](QMessageBox *box) { box->accept(); });
    });
    QVERIFY(!m_window->onSave());
    QVERIFY(QFile::setPermissions(settingsFile("core-001-pxi.settings"), QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(m_window->undoAction()->isEnabled());
    m_window->undoAction()->trigger();
    QVERIFY(!node("CommandHistory")->deleted);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
