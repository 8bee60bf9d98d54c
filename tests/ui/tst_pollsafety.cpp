#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "session/busyscope.h"
#include "session/editingsession.h"
#include "ui/widgets/colorbutton.h"
#include "ui/widgets/settingrow.h"
#include "model/settingsmodel.h"
#include "platform/hostlocations.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/privatehome.h"
#include "tests/support/testservices.h"
#include "ui/views/allsettingspage.h"
#include "ui/deletionflow.h"
#include "ui/dialogs/reviewdialog.h"
#include "ui/views/healthview.h"
#include "ui/mainwindow.h"
#include "ui/views/preferencesview.h"
#include "ui/views/searchview.h"
#include "ui/views/unusedmodulesview.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

using namespace pfw;

// The environment poll runs inside every nested event loop. PixInsight exiting with a
// rewritten file makes a reload due; it must wait until the dialog or menu that holds nodes
// of the tree has closed, and the poll must never take text the user is typing.
class TestPollSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void reloadWaitsForOpenUi_data();
    void reloadWaitsForOpenUi();
    void typingSurvivesPolls_data();
    void typingSurvivesPolls();
    void typedTextIsReviewedAndSaved();
    void dueReloadWaitsForTyping();
    void typingWhenPixInsightStartsIsHeldUntilItExits();
    void filterTextDoesNotHoldTheReload();

private:
    QString settingsPath() const { return m_dir->filePath(QStringLiteral("home/.PixInsight/core-001-pxi.settings")); }
    QString maxProcessors() const;
    // Types into the first editable text row of the Preferences tab without committing it.
    QLineEdit *typeIntoPreferences(const QString &text, SettingRow **row);
    // PixInsight exits having written its settings, and the poll runs.
    void pixInsightExitsAndRewrites();
    // A poll, and the file's verdict when it has to be read to find out.
    void settledPoll();

    std::unique_ptr<test::PrivateHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    bool m_running = false;
};

void TestPollSafety::initTestCase()
{
    m_home = std::make_unique<test::PrivateHome>();
    QVERIFY(m_home->isValid());
}

void TestPollSafety::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(QFileInfo(settingsPath()).absolutePath()));
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(SettingsGenerator::demo());
    file.close();
    m_running = false;
    m_window = std::make_unique<MainWindow>(
        test::servicesIn(m_dir->filePath(QStringLiteral("home")), [this] { return m_running; }));
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(m_window->document().isLoaded());
}

void TestPollSafety::cleanup()
{
    m_window.reset();
}

QString TestPollSafety::maxProcessors() const
{
    const XsdtNode *node = m_window->document().file().root.findPath(u"Global/Preferences/Process/MaxProcessors");
    return node ? node->value : QString();
}

void TestPollSafety::pixInsightExitsAndRewrites()
{
    m_running = false;
    QByteArray rewritten = SettingsGenerator::demo();
    rewritten.replace("k=\"MaxProcessors\" t=\"i\" v=\"64\"", "k=\"MaxProcessors\" t=\"i\" v=\"12\"");
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(rewritten);
    file.close();
    settledPoll();
}

void TestPollSafety::settledPoll()
{
    m_window->pollEnvironment();
    QTRY_VERIFY(!m_window->isCheckingDisk());
}

void TestPollSafety::reloadWaitsForOpenUi_data()
{
    QTest::addColumn<QString>("ui");
    QTest::addColumn<bool>("changes");
    QTest::newRow("deletion question answered Yes") << "question-yes" << true;
    QTest::newRow("deletion question cancelled") << "question-cancel" << false;
    QTest::newRow("colour dialog") << "colour" << false;
    QTest::newRow("file dialog of a path row") << "file" << false;
    QTest::newRow("All settings context menu") << "menu" << false;
}

void TestPollSafety::reloadWaitsForOpenUi()
{
    QFETCH(QString, ui);
    QFETCH(bool, changes);
    QString seenInside;
    bool answered = false;
    // PixInsight starts and exits again while the dialog or menu is open.
    const auto whileOpen = [this, &seenInside, &answered] {
        m_running = true;
        m_window->pollEnvironment();
        QVERIFY(m_window->isHostRunning());
        pixInsightExitsAndRewrites();
        seenInside = maxProcessors();
        answered = true;
    };
    XsdtNode *mirelux = m_window->document().file().root.findPath(u"ModuleData/Mirelux");
    QVERIFY(mirelux);
    if (ui.startsWith(QLatin1String("question"))) {
        const bool yes = ui == u"question-yes";
        test::answerNextModal([&whileOpen, yes](QWidget *modal) {
            whileOpen();
            auto *box = qobject_cast<QMessageBox *>(modal);
            box->button(yes ? QMessageBox::Yes : QMessageBox::Cancel)->click();
        });
        m_window->deletionFlow()->confirmAndQueueDeletion(mirelux);
    } else if (ui == u"colour" || ui == u"file") {
        QWidget *button = nullptr;
        for (SettingRow *row : m_window->tabs()->preferences()->findChildren<SettingRow *>()) {
            QWidget *candidate = ui == u"colour" ? row->findChild<ColorButton *>() : nullptr;
            if (ui == u"file") {
                for (QToolButton *tool : row->editorContainer()->findChildren<QToolButton *>())
                    candidate = tool->text() == QString(QChar(0x2026)) ? tool : candidate;
            }
            if (candidate && candidate->isEnabled() && !button)
                button = candidate;
        }
        QVERIFY(button);
        test::answerNextModal([&whileOpen](QWidget *modal) {
            whileOpen();
            qobject_cast<QDialog *>(modal)->reject();
        });
        qobject_cast<QAbstractButton *>(button)->click();
    } else {
        AllSettingsPage *page = m_window->tabs()->allSettings();
        m_window->tabs()->setCurrentWidget(page);
        QTreeView *tree = page->tree();
        const QModelIndex first = tree->model()->index(0, 0);
        QVERIFY(first.isValid());
        // A menu is a popup, not a modal dialog: answered by hand.
        QTimer::singleShot(50, [&whileOpen] {
            QWidget *popup = QApplication::activePopupWidget();
            QVERIFY(qobject_cast<QMenu *>(popup));
            whileOpen();
            popup->close();
        });
        emit tree->customContextMenuRequested(tree->visualRect(first).center());
    }
    QVERIFY(answered);
    // Nothing was pulled from under the open dialog or menu.
    QCOMPARE(seenInside, QStringLiteral("64"));
    QVERIFY(m_window->isChangedOnDisk());

    settledPoll();
    if (changes) {
        // The answer acted on the tree it was about, and is not dropped by a reload.
        QVERIFY(mirelux->deleted);
        QCOMPARE(m_window->document().pendingChangeCount(), 1);
        QCOMPARE(maxProcessors(), QStringLiteral("64"));
        QVERIFY(m_window->isChangedOnDisk());
    } else {
        QCOMPARE(maxProcessors(), QStringLiteral("12"));
        QVERIFY(!m_window->isChangedOnDisk());
        QCOMPARE(m_window->document().pendingChangeCount(), 0);
    }
}

void TestPollSafety::typingSurvivesPolls_data()
{
    QTest::addColumn<QString>("view");
    QTest::newRow("Preferences") << "preferences";
    QTest::newRow("Search") << "search";
    QTest::newRow("Health check") << "health";
    QTest::newRow("Unused modules") << "unused";
}

void TestPollSafety::typingSurvivesPolls()
{
    QFETCH(QString, view);
    QWidget *host = nullptr;
    if (view == u"preferences") {
        host = m_window->tabs()->preferences();
    } else if (view == u"search") {
        host = m_window->tabs()->search();
        m_window->tabs()->search()->setQuery(QStringLiteral("prefix"));
    } else if (view == u"health") {
        host = m_window->tabs()->health();
        m_window->tabs()->health()->run();
    } else {
        host = m_window->tabs()->unused();
        m_window->tabs()->unused()->refresh();
        for (const auto &card : m_window->tabs()->unused()->cards())
            m_window->tabs()->unused()->expandModule(card->info.name);
    }
    m_window->tabs()->setCurrentWidget(host);
    QLineEdit *edit = nullptr;
    SettingRow *row = nullptr;
    for (SettingRow *candidate : host->findChildren<SettingRow *>()) {
        auto *line = qobject_cast<QLineEdit *>(candidate->editor());
        if (!edit && line && line->isEnabled() && !line->isReadOnly() && candidate->node()->type == u's'
            && candidate->isVisibleTo(host)) {
            edit = line;
            row = candidate;
        }
    }
    QVERIFY2(edit, "no editable text row in this view");
    row->window()->activateWindow();
    edit->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTRY_VERIFY(edit->hasFocus());
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("typed"));
    for (int poll = 0; poll < 3; ++poll)
        m_window->pollEnvironment();
    QCOMPARE(edit->text(), QStringLiteral("typed"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(row->node()->value, QStringLiteral("typed"));
    QCOMPARE(m_window->document().pendingChangeCount(), 1);
    // The field has no typing left to undo: Ctrl+Z there undoes the committed change.
    QVERIFY(edit->hasFocus());
    QTest::keySequence(edit, QKeySequence::Undo);
    QCOMPARE(m_window->document().pendingChangeCount(), 0);
}

QLineEdit *TestPollSafety::typeIntoPreferences(const QString &text, SettingRow **row)
{
    QWidget *host = m_window->tabs()->preferences();
    m_window->tabs()->setCurrentWidget(host);
    for (SettingRow *candidate : host->findChildren<SettingRow *>()) {
        auto *line = qobject_cast<QLineEdit *>(candidate->editor());
        if (line && line->isEnabled() && candidate->node()->type == u's' && candidate->isVisibleTo(host)) {
            m_window->activateWindow();
            line->setFocus();
            if (!QTest::qWaitForWindowActive(m_window.get()) || !line->hasFocus())
                return nullptr;
            line->selectAll();
            QTest::keyClicks(line, text);
            *row = candidate;
            return line;
        }
    }
    return nullptr;
}

// Text typed but not committed when Save is chosen is in the review, and so in the file; it is
// never saved unlisted.
void TestPollSafety::typedTextIsReviewedAndSaved()
{
    // A file last written long ago: the File box must tell the save's date afterwards.
    {
        QFile old(settingsPath());
        QVERIFY(old.open(QIODevice::ReadWrite));
        QVERIFY(old.setFileTime(QDateTime(QDate(2020, 1, 1), QTime(12, 0)), QFileDevice::FileModificationTime));
    }
    QString error;
    QVERIFY2(m_window->session()->open(settingsPath(), &error), qPrintable(error));
    QVERIFY(m_window->fileBox()->currentText().contains(QStringLiteral("2020-01-01")));
    SettingRow *row = nullptr;
    QVERIFY(typeIntoPreferences(QStringLiteral("typed"), &row));
    QStringList listed;
    test::answerNext<ReviewDialog>([&listed](ReviewDialog *review) {
        for (int i = 0; i < review->changeTree()->topLevelItemCount(); ++i)
            listed << review->changeTree()->topLevelItem(i)->toolTip(1);
        review->saveButton()->click();
    });
    QVERIFY(m_window->onSave());
    QCOMPARE(listed, QStringList{row->node()->path()});
    QFile saved(settingsPath());
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll().contains(">") && row->node()->savedValue == u"typed");
    // The File box tells the file's new size and date.
    QCOMPARE(m_window->fileBox()->currentText(), describeSettingsFile(settingsPath()));
    QVERIFY(!m_window->fileBox()->currentText().contains(QStringLiteral("2020-01-01")));
}

// A reload that fell due while a dialog was open waits while the user types after it; the
// typing, once committed, is a change that the reload must not drop.
void TestPollSafety::dueReloadWaitsForTyping()
{
    {
        const BusyScope dialogOpen;
        m_running = true;
        m_window->pollEnvironment();
        pixInsightExitsAndRewrites();
    }
    SettingRow *row = nullptr;
    QLineEdit *edit = typeIntoPreferences(QStringLiteral("typed"), &row);
    QVERIFY(edit);
    m_window->pollEnvironment();
    QCOMPARE(edit->text(), QStringLiteral("typed"));
    QCOMPARE(maxProcessors(), QStringLiteral("64"));
    QTest::keyClick(edit, Qt::Key_Return);
    m_window->pollEnvironment();
    QCOMPARE(row->node()->value, QStringLiteral("typed"));
    QCOMPARE(m_window->document().pendingChangeCount(), 1);
    QVERIFY(m_window->isChangedOnDisk());
}

// PixInsight starts while the user types: the text stays in the field, marked as not applied,
// later keystrokes are kept, and it becomes a change once PixInsight has exited; the file
// PixInsight wrote is then not read over it.
void TestPollSafety::typingWhenPixInsightStartsIsHeldUntilItExits()
{
    SettingRow *row = nullptr;
    QLineEdit *edit = typeIntoPreferences(QStringLiteral("half"), &row);
    QVERIFY(edit);
    const QString before = row->node()->value;
    m_running = true;
    m_window->pollEnvironment();
    QVERIFY(m_window->isHostRunning());
    QCOMPARE(edit->text(), QStringLiteral("half"));
    QVERIFY(edit->isEnabled());
    QVERIFY(row->messageLine()->isVisibleTo(row));
    QVERIFY(row->messageLine()->text().startsWith(QStringLiteral("Not applied yet")));
    QTest::keyClicks(edit, QStringLiteral(" typed"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(edit->text(), QStringLiteral("half typed"));
    QCOMPARE(row->node()->value, before);
    edit->clearFocus();
    // It counts as unsaved, and a row made for the same setting meanwhile shows it too.
    QCOMPARE(m_window->unsavedCount(), 1);
    m_window->tabs()->search()->setQuery(row->node()->key);
    bool shownInSearch = false;
    for (SettingRow *other : m_window->tabs()->search()->findChildren<SettingRow *>()) {
        auto *line = qobject_cast<QLineEdit *>(other->editor());
        shownInSearch |= other->node() == row->node() && line && line->text() == u"half typed";
    }
    QVERIFY(shownInSearch);

    pixInsightExitsAndRewrites();
    QCOMPARE(row->node()->value, QStringLiteral("half typed"));
    QCOMPARE(m_window->document().pendingChangeCount(), 1);
    QVERIFY(!row->messageLine()->isVisibleTo(row));
    QCOMPARE(maxProcessors(), QStringLiteral("64"));
    QVERIFY(m_window->isChangedOnDisk());
}

// Text in a filter box is no value being typed: the reload that fell due goes ahead, and the
// filter stays.
void TestPollSafety::filterTextDoesNotHoldTheReload()
{
    QLineEdit *filter = m_window->tabs()->allSettings()->filterEdit();
    m_window->tabs()->setCurrentWidget(m_window->tabs()->allSettings());
    m_window->activateWindow();
    filter->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClicks(filter, QStringLiteral("processors"));
    QVERIFY(filter->hasFocus() && filter->isModified());
    m_running = true;
    m_window->pollEnvironment();
    pixInsightExitsAndRewrites();
    QCOMPARE(maxProcessors(), QStringLiteral("12"));
    QCOMPARE(filter->text(), QStringLiteral("processors"));
}

QTEST_MAIN(TestPollSafety)
#include "tst_pollsafety.moc"
