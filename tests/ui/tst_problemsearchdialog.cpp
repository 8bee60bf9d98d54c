#include "core/problemsearch.h"
#include "core/settingsdocument.h"
#include "model/settingsmodel.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/privatehome.h"
#include "tests/support/searchfixture.h"
#include "tests/support/testservices.h"
#include "ui/dialogs/problemsearchdialog.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace pfw;
using pfw::test::SearchFixture;

// The whole search through the window: File > Find a problem setting, a fake PixInsight that
// runs, counts its launch and rewrites the file as it exits, and a user who says the problem
// occurred exactly when the planted value is bad.
class TestProblemSearchDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void findsTheProblemAndEndsAsChosen_data();
    void findsTheProblemAndEndsAsChosen();
    void goesOnAfterTheProgramWasKilled();
    void answersFromATerminalAreNotAppliedTwice();
    void whatPixInsightChangedBetweenRoundsIsKeptAndSaid();
    void aDamagedStateStillPutsTheFileBack();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("core-001-pxi.settings")); }
    QByteArray onDisk() const;
    // One round: PixInsight starts, is judged, rewrites the file and exits; then the answer.
    void launchAndAnswer(ProblemSearchDialog *dialog, int culprit);
    // Runs rounds until the search names what it found; returns the rounds it took.
    int searchToTheEnd(ProblemSearchDialog *dialog, int culprit);

    std::unique_ptr<test::PrivateHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    bool m_running = false;
};

QByteArray TestProblemSearchDialog::onDisk() const
{
    QFile file(path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestProblemSearchDialog::init()
{
    m_home = std::make_unique<test::PrivateHome>();
    m_dir = std::make_unique<QTemporaryDir>();
    m_running = false;
    QFile good(path() + QLatin1String(".bak-20260101-000000"));
    QVERIFY(good.open(QIODevice::WriteOnly));
    good.write(SearchFixture::file(false));
    good.close();
    QFile bad(path());
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(SearchFixture::file(true));
    bad.close();
    m_window = std::make_unique<MainWindow>(test::servicesIn(m_home->path(), [this] { return m_running; }));
    QVERIFY(m_window->openFile(path()));
}

void TestProblemSearchDialog::cleanup()
{
    m_window.reset();
}

void TestProblemSearchDialog::launchAndAnswer(ProblemSearchDialog *dialog, int culprit)
{
    m_running = true;
    m_window->pollEnvironment();
    QVERIFY(!dialog->yesButton()->isEnabled());
    QVERIFY(dialog->statusLabel()->text().startsWith(QLatin1String("PixInsight is running.")));
    const bool occurs = SearchFixture::problemOccurs(onDisk(), culprit);
    QFile file(path());
    const QByteArray rewritten = SearchFixture::pixInsightExit(onDisk());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(rewritten) == rewritten.size());
    file.close();
    m_running = false;
    m_window->pollEnvironment();
    QCOMPARE(dialog->statusLabel()->text(), QStringLiteral("PixInsight has exited."));
    QVERIFY(dialog->yesButton()->isEnabled());
    (occurs ? dialog->yesButton() : dialog->noButton())->click();
}

int TestProblemSearchDialog::searchToTheEnd(ProblemSearchDialog *dialog, int culprit)
{
    int rounds = 0;
    while (dialog->page() == ProblemSearchDialog::RoundPage && rounds < 10) {
        launchAndAnswer(dialog, culprit);
        ++rounds;
    }
    return rounds;
}

void TestProblemSearchDialog::findsTheProblemAndEndsAsChosen_data()
{
    QTest::addColumn<QString>("ending");
    QTest::newRow("use the good value") << "use";
    QTest::newRow("put back") << "back";
    QTest::newRow("keep as it is") << "keep";
    QTest::newRow("cancelled in the middle") << "cancel";
}

void TestProblemSearchDialog::findsTheProblemAndEndsAsChosen()
{
    QFETCH(QString, ending);
    const int culprit = 26;
    const QByteArray bad = SearchFixture::file(true);
    QByteArray last;
    bool checked = false;
    test::answerNext<ProblemSearchDialog>([&](ProblemSearchDialog *dialog) {
        QCOMPARE(dialog->page(), ProblemSearchDialog::ChoosePage);
        QVERIFY(
            dialog->stateBox()->currentText().startsWith(QLatin1String("core-001-pxi.settings.bak-20260101-000000")));
        // The whole label shows: its date and size were cut off.
        QComboBox *box = dialog->stateBox();
        QVERIFY(box->sizeHint().width() > box->fontMetrics().horizontalAdvance(box->currentText()));
        const QString summary = dialog->summaryLabel()->text();
        QVERIFY2(summary.contains(QLatin1String("about 6 launches")), qPrintable(summary));
        QVERIFY2(summary.contains(QLatin1String("1 entry exists only in the good state and is not tested")),
                 qPrintable(summary));
        // The differences by label and group, not by a path cut at the column's edge.
        const QTreeWidgetItem *first = dialog->differenceTree()->topLevelItem(0)->child(0);
        QVERIFY2(!first->text(0).contains(u'/') && first->text(0).contains(QChar(0x2014)), qPrintable(first->text(0)));
        QVERIFY(first->toolTip(0).contains(u'/'));
        dialog->startButton()->click();
        QCOMPARE(dialog->page(), ProblemSearchDialog::RoundPage);
        QCOMPARE(dialog->roundList()->count(), 20);
        if (ending == u"cancel") {
            launchAndAnswer(dialog, culprit);
            launchAndAnswer(dialog, culprit);
            test::answerNext<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
            dialog->cancelSearchButton()->click();
            checked = true;
            return;
        }
        const int rounds = searchToTheEnd(dialog, culprit);
        QVERIFY2(rounds <= 7, qPrintable(QString::number(rounds)));
        QCOMPARE(dialog->page(), ProblemSearchDialog::FoundPage);
        QCOMPARE(dialog->foundTree()->topLevelItemCount(), 1);
        const QTreeWidgetItem *found = dialog->foundTree()->topLevelItem(0);
        QCOMPARE(found->text(1), SearchFixture::differencePath(culprit));
        QCOMPARE(found->text(2), QStringLiteral("after & Value26"));
        QCOMPARE(found->text(3), QStringLiteral("before Value26"));
        QCOMPARE(dialog->useGoodButton()->text(),
                 QStringLiteral("Keep everything and use the good value for this setting"));
        last = onDisk();
        (ending == u"use"        ? dialog->useGoodButton()
             : ending == u"back" ? dialog->putBackButton()
                                 : dialog->keepButton())
            ->click();
        checked = true;
    });
    m_window->findProblemAction()->trigger();
    QVERIFY(checked);
    QVERIFY(!ProblemSearch(path()).hasState());
    const QByteArray now = onDisk();
    if (ending == u"keep") {
        QCOMPARE(now, last);
    } else if (ending == u"use") {
        XsdtFile expected;
        QVERIFY(expected.parse(bad));
        expected.root.findPath(SearchFixture::differencePath(culprit))->value = QStringLiteral("before Value26");
        QCOMPARE(now, expected.serialize());
    } else {
        QCOMPARE(now, bad);
    }
    // The window shows the file as the search left it, with nothing pending.
    QCOMPARE(m_window->document().fingerprint(), SafeWrite::sha256(now));
    QCOMPARE(m_window->unsavedCount(), 0);
}

// Killed in the middle of a step: the state says this round's file was never written. The next
// start offers to go on, writes that file once PixInsight is closed, and the search ends where
// it would have.
void TestProblemSearchDialog::goesOnAfterTheProgramWasKilled()
{
    const int culprit = 35;
    test::answerNext<ProblemSearchDialog>([&](ProblemSearchDialog *dialog) {
        dialog->startButton()->click();
        launchAndAnswer(dialog, culprit);
        launchAndAnswer(dialog, culprit);
    });
    m_window->findProblemAction()->trigger();
    m_window.reset();

    const QString statePath = ProblemSearch::statePathFor(path());
    QFile state(statePath);
    QVERIFY(state.open(QIODevice::ReadOnly));
    QByteArray json = state.readAll();
    state.close();
    QVERIFY(json.contains("\"written\": true"));
    json.replace("\"written\": true", "\"written\": false");
    QVERIFY(state.open(QIODevice::WriteOnly | QIODevice::Truncate));
    state.write(json);
    state.close();
    const QByteArray before = SearchFixture::pixInsightExit(onDisk());
    QFile file(path());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
    file.close();

    m_running = true;
    m_window = std::make_unique<MainWindow>(test::servicesIn(m_home->path(), [this] { return m_running; }));
    QVERIFY(m_window->openFile(path()));
    bool finished = false;
    test::answerNext<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    test::answerNext<ProblemSearchDialog>([&](ProblemSearchDialog *dialog) {
        QCOMPARE(dialog->page(), ProblemSearchDialog::RoundPage);
        QVERIFY(dialog->roundLabel()->text().startsWith(QLatin1String("Round 3:")));
        // Nothing is written while PixInsight runs, and no answer is taken for an unwritten file.
        m_window->pollEnvironment();
        QVERIFY(!dialog->yesButton()->isEnabled());
        QCOMPARE(onDisk(), before);
        m_running = false;
        m_window->pollEnvironment();
        ProblemSearch search(path());
        QString error;
        QVERIFY(search.read(&error) && search.isCandidateWritten());
        QByteArray candidate, original;
        QVERIFY(search.readBadBytes(&original, &error));
        QVERIFY(SearchPlan::buildCandidate(original, search.suspects(), search.search().testing(), &candidate, &error));
        QCOMPARE(onDisk(), candidate);
        searchToTheEnd(dialog, culprit);
        QCOMPARE(dialog->foundTree()->topLevelItem(0)->text(1), SearchFixture::differencePath(culprit));
        dialog->putBackButton()->click();
        finished = true;
    });
    m_window->offerUnfinishedSearch();
    QVERIFY(finished);
    QCOMPARE(onDisk(), SearchFixture::file(true));
}

// The same search answered from a terminal while the dialog is open: the dialog follows it,
// and an answer given to a round the terminal already answered is refused, not applied again.
void TestProblemSearchDialog::answersFromATerminalAreNotAppliedTwice()
{
    // Pending edits would be lost to the search's files: it is not offered then.
    XsdtNode *value = m_window->document().file().root.findPath(SearchFixture::changedPath(0));
    QVERIFY(m_window->model()->setData(m_window->model()->indexFor(value, SettingsModel::ValueColumn),
                                       QStringLiteral("5")));
    bool refused = false;
    test::answerNext<QMessageBox>([&](QMessageBox *box) {
        refused = box->text().startsWith(QLatin1String("Save or revert your pending changes"));
        box->accept();
    });
    m_window->findProblemAction()->trigger();
    QVERIFY(refused);
    m_window->model()->revertAll();

    bool done = false;
    test::answerNext<ProblemSearchDialog>([&](ProblemSearchDialog *dialog) {
        dialog->startButton()->click();
        ProblemSearch terminal(path());
        terminal.setRunningCheck([] { return false; });
        QString error;
        QVERIFY(terminal.answer(ProblemSearchRounds::Answer::Bad, -1, &error));
        m_window->pollEnvironment();
        QVERIFY(dialog->roundLabel()->text().startsWith(QLatin1String("Round 2:")));
        QVERIFY(terminal.answer(ProblemSearchRounds::Answer::Good, -1, &error));
        // No poll in between: the dialog still shows round 2.
        dialog->yesButton()->click();
        QVERIFY(terminal.read(&error));
        QCOMPARE(terminal.search().rounds(), 2);
        QVERIFY(dialog->roundLabel()->text().startsWith(QLatin1String("Round 3:")));
        done = true;
    });
    m_window->findProblemAction()->trigger();
    QVERIFY(done);
    QVERIFY(ProblemSearch(path()).hasState());
}

// The user changed a preference while testing a round: the next round's file would throw it
// away, so it is kept in a backup first, and the dialog says where.
void TestProblemSearchDialog::whatPixInsightChangedBetweenRoundsIsKeptAndSaid()
{
    QByteArray changed;
    QString notice;
    QString kept;
    test::answerNext<ProblemSearchDialog>([&](ProblemSearchDialog *dialog) {
        dialog->startButton()->click();
        m_running = true;
        m_window->pollEnvironment();
        changed = SearchFixture::pixInsightExit(onDisk());
        changed.replace("<v k=\"Steady\" t=\"i\" v=\"7\"/>", "<v k=\"Steady\" t=\"i\" v=\"8\"/>");
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(changed) == changed.size());
        file.close();
        m_running = false;
        m_window->pollEnvironment();
        dialog->noButton()->click();
        QVERIFY(dialog->noticeLabel()->isVisible());
        notice = dialog->noticeLabel()->text();
        ProblemSearch search(path());
        QString error;
        QVERIFY2(search.read(&error), qPrintable(error));
        QCOMPARE(search.duringSearchBackups().size(), 1);
        kept = search.duringSearchBackups().constFirst();
        test::answerNext<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
        dialog->cancelSearchButton()->click();
    });
    m_window->findProblemAction()->trigger();
    QCOMPARE(notice,
             QStringLiteral("PixInsight changed 1 setting while it ran; the file as it was then is kept in %1.")
                 .arg(QFileInfo(kept).fileName()));
    QFile backup(kept);
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), changed);
    // The end of the search names it too.
    QVERIFY2(m_window->statusBar()->currentMessage().contains(QFileInfo(kept).fileName()),
             qPrintable(m_window->statusBar()->currentMessage()));
}

// The state was cut short (a full disk, an editor): the dialog still offers the file as it was.
void TestProblemSearchDialog::aDamagedStateStillPutsTheFileBack()
{
    test::answerNext<ProblemSearchDialog>([&](ProblemSearchDialog *dialog) {
        dialog->startButton()->click();
        launchAndAnswer(dialog, 3);
        dialog->reject();
    });
    m_window->findProblemAction()->trigger();
    const QString statePath = ProblemSearch::statePathFor(path());
    QFile state(statePath);
    QVERIFY(state.open(QIODevice::ReadWrite));
    QVERIFY(state.resize(40));
    state.close();
    bool checked = false;
    test::answerNext<ProblemSearchDialog>([&](ProblemSearchDialog *dialog) {
        QCOMPARE(dialog->page(), ProblemSearchDialog::FoundPage);
        QVERIFY2(dialog->foundLabel()->text().contains(QLatin1String("cannot be used")),
                 qPrintable(dialog->foundLabel()->text()));
        QCOMPARE(dialog->putBackButton()->text(),
                 QStringLiteral("Put back the file as it was when the search started"));
        QVERIFY(dialog->putBackButton()->isEnabled());
        dialog->putBackButton()->click();
        checked = true;
    });
    m_window->findProblemAction()->trigger();
    QVERIFY(checked);
    QCOMPARE(onDisk(), SearchFixture::file(true));
    QVERIFY(!QFileInfo::exists(statePath));
}

QTEST_MAIN(TestProblemSearchDialog)
#include "tst_problemsearchdialog.moc"
