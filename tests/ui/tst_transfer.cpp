#include "core/xsdtfile.h"
#include "core/xsdtnode.h"
#include "model/settingsmodel.h"
#include "session/editingsession.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/privatehome.h"
#include "tests/support/testservices.h"
#include "tests/support/wholefile.h"
#include "ui/dialogs/exportdialog.h"
#include "ui/dialogs/importdialog.h"
#include "ui/dialogs/instancecopydialog.h"
#include "ui/dialogs/reviewdialog.h"
#include "ui/transferflow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUndoStack>

#include <memory>

using namespace pfw;

// Export and import in the window, on a session of the bundled example file.
class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void exportThenImportIntoTheSameFileChangesNothing();
    void exportNeverReplacesWithoutAsking();
    void importTakesWhatIsTickedAsOneStep();
    void replaceOffersWhatTheGroupsHoldHere();
    void rewriteIsCheckedAgainstThisComputer();
    void importRefusesWhatItCannotTake_data();
    void importRefusesWhatItCannotTake();
    void copyToInstancesSavesEachOtherFileAfterItsReview();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("core-001-pxi.settings")); }
    QString write(const QString &name, const QByteArray &bytes) const;
    static QByteArray process(const QByteArray &values)
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\"><i k=\"Global\"><i "
               "k=\"Preferences\"><i k=\"Process\">"
            + values + "</i></i></i></xsdt>\n";
    }
    // The rows of the preview whose status starts so.
    static QList<QTreeWidgetItem *> rows(const ImportDialog &dialog, const QString &status);

    std::unique_ptr<test::PrivateHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<EditingSession> m_session;
    bool m_running = false;
};

QString TestTransfer::write(const QString &name, const QByteArray &bytes) const
{
    const QString file = m_dir->filePath(name);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return QString();
    return file;
}

QList<QTreeWidgetItem *> TestTransfer::rows(const ImportDialog &dialog, const QString &status)
{
    QList<QTreeWidgetItem *> found;
    for (int i = 0; i < dialog.entries()->topLevelItemCount(); ++i) {
        if (dialog.entries()->topLevelItem(i)->text(ImportDialog::StatusColumn).startsWith(status))
            found << dialog.entries()->topLevelItem(i);
    }
    return found;
}

void TestTransfer::init()
{
    m_home = std::make_unique<test::PrivateHome>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(QStringLiteral(PFW_SOURCE_DIR "/examples/core-001-pxi.settings"), path()));
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
    m_running = false;
    m_session = std::make_unique<EditingSession>(test::servicesIn(m_home->path(), [this] { return m_running; }));
    QString error;
    QVERIFY2(m_session->open(path(), &error), qPrintable(error));
}

void TestTransfer::cleanup()
{
    m_session.reset();
}

// Every Preferences page and group, exported and brought back into the file it came from: every
// entry is the same, nothing is ticked and nothing becomes pending.
void TestTransfer::exportThenImportIntoTheSameFileChangesNothing()
{
    const QList<ExportDialog::Choice> choices = TransferFlow::wholeFileChoices(*m_session);
    QVERIFY(choices.size() > 5);
    ExportDialog exporting(*m_session, choices, m_dir->path());
    QVERIFY(exporting.target()->text().endsWith(QLatin1String("settings.xsdt")));
    const QString out = m_dir->filePath(QStringLiteral("everything.xsdt"));
    exporting.target()->setText(QDir::toNativeSeparators(out));
    exporting.accept();
    QCOMPARE(exporting.result(), int(QDialog::Accepted));
    QCOMPARE(exporting.written(), out);

    XsdtFile snippet;
    QVERIFY(snippet.parse(test::readAll(out)));
    ImportDialog importing(*m_session, snippet.root, out);
    QVERIFY(!importing.plan().entries().isEmpty());
    QCOMPARE(importing.plan().changeCount(), 0);
    QVERIFY(!importing.importButton()->isEnabled());
    QCOMPARE(m_session->unsavedCount(), 0);
}

// The file the snippet comes from is never its target, and an existing file is replaced only
// when the user says so.
void TestTransfer::exportNeverReplacesWithoutAsking()
{
    XsdtNode *process = m_session->document().file().root.findPath(u"Global/Preferences/Process");
    QVERIFY(process);
    const QByteArray settings = test::readAll(path());
    {
        ExportDialog dialog(*m_session, TransferFlow::choicesFor(*m_session, {process}), m_dir->path());
        dialog.target()->setText(path());
        // Only a refusal: no question whether to replace it.
        test::answerNext<QMessageBox>([](QMessageBox *box) {
            QVERIFY(!box->button(QMessageBox::Yes));
            box->accept();
        });
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(test::readAll(path()), settings);
    }
    const QString kept = write(QStringLiteral("kept.xsdt"), "mine");
    QVERIFY(!kept.isEmpty());
    for (const QMessageBox::StandardButton answer : {QMessageBox::Cancel, QMessageBox::Yes}) {
        ExportDialog dialog(*m_session, TransferFlow::choicesFor(*m_session, {process}), m_dir->path());
        dialog.target()->setText(kept);
        test::answerNext<QMessageBox>([answer](QMessageBox *box) { box->button(answer)->click(); });
        dialog.accept();
        const QByteArray now = test::readAll(kept);
        if (answer == QMessageBox::Cancel) {
            QCOMPARE(now, QByteArray("mine"));
        } else {
            XsdtFile written;
            QVERIFY(written.parse(now));
            QVERIFY(written.root.findPath(u"Global/Preferences/Process/MaxProcessors"));
            QVERIFY(!written.root.findPath(u"Global/Preferences/Application"));
        }
    }
}

// New, different, refused and same entries in one snippet: the ticked ones become pending as
// one step, are listed in the review and go with one undo.
void TestTransfer::importTakesWhatIsTickedAsOneStep()
{
    XsdtFile snippet;
    QVERIFY(snippet.parse(process("<v k=\"MaxProcessors\" t=\"i\" v=\"3\"/><v k=\"MaxConsoleLines\" t=\"i\" v=\"7\"/>"
                                  "<v k=\"MaxModuleThreadPriority\" t=\"i\" v=\"99\"/>"
                                  "<v k=\"FreshOne\" t=\"s\" v=\"brought\"/>")));
    const QByteArray before = m_session->document().file().serialize();
    ImportDialog dialog(*m_session, snippet.root, QStringLiteral("three.xsdt"));
    QCOMPARE(rows(dialog, QStringLiteral("different")).size(), 2);
    QCOMPARE(rows(dialog, QStringLiteral("new")).size(), 1);
    QCOMPARE(rows(dialog, QStringLiteral("refused")).size(), 1);
    QVERIFY(!rows(dialog, QStringLiteral("refused")).constFirst()->data(0, Qt::CheckStateRole).isValid());
    // The user keeps their own console lines.
    for (QTreeWidgetItem *row : rows(dialog, QStringLiteral("different"))) {
        if (row->toolTip(ImportDialog::SettingColumn).endsWith(QLatin1String("MaxConsoleLines")))
            row->setCheckState(ImportDialog::SettingColumn, Qt::Unchecked);
    }
    dialog.accept();
    QCOMPARE(dialog.applied(), 2);
    QCOMPARE(m_session->unsavedCount(), 2);
    QCOMPARE(m_session->undoStack()->count(), 1);
    const XsdtNode &root = m_session->document().file().root;
    QCOMPARE(root.findPath(u"Global/Preferences/Process/MaxProcessors")->value, QStringLiteral("3"));
    QVERIFY(root.findPath(u"Global/Preferences/Process/MaxConsoleLines")->value != QStringLiteral("7"));

    ReviewDialog review(m_session->model(), &m_session->document().file().root);
    QStringList kinds;
    for (int i = 0; i < review.changeTree()->topLevelItemCount(); ++i)
        kinds << review.changeTree()->topLevelItem(i)->text(0);
    QCOMPARE(kinds.size(), 2);
    QVERIFY2(kinds.contains(QStringLiteral("New")) && kinds.contains(QStringLiteral("Edit")),
             qPrintable(kinds.join(u',')));

    QVERIFY(m_session->model()->undo());
    QCOMPARE(m_session->document().file().serialize(), before);
    QCOMPARE(m_session->unsavedCount(), 0);
}

void TestTransfer::replaceOffersWhatTheGroupsHoldHere()
{
    XsdtFile snippet;
    QVERIFY(snippet.parse(process("<v k=\"MaxProcessors\" t=\"i\" v=\"3\"/>")));
    ImportDialog dialog(*m_session, snippet.root, QStringLiteral("one.xsdt"));
    QCOMPARE(dialog.plan().removals().size(), 0);
    dialog.replace()->setChecked(true);
    QVERIFY(!dialog.plan().removals().isEmpty());
    // The user's tick of the one value survives the new comparison.
    QCOMPARE(rows(dialog, QStringLiteral("different")).size(), 1);
    rows(dialog, QStringLiteral("different")).constFirst()->setCheckState(ImportDialog::SettingColumn, Qt::Unchecked);
    dialog.replace()->setChecked(false);
    dialog.replace()->setChecked(true);
    QCOMPARE(rows(dialog, QStringLiteral("different")).constFirst()->checkState(ImportDialog::SettingColumn),
             Qt::Unchecked);
    int queued = 0;
    for (const QTreeWidgetItem *row : rows(dialog, QStringLiteral("removed here")))
        queued += row->checkState(ImportDialog::SettingColumn) == Qt::Checked ? 1 : 0;
    dialog.accept();
    QCOMPARE(dialog.applied(), queued);
    QCOMPARE(m_session->document().file().root.pendingDeletions().size(), queued);
}

// A folder of another computer is rewritten only to a folder that exists here.
void TestTransfer::rewriteIsCheckedAgainstThisComputer()
{
    const QString here = m_dir->filePath(QStringLiteral("Astro"));
    QVERIFY(QDir().mkpath(here));
    XsdtFile snippet;
    QVERIFY(snippet.parse(process("<v k=\"SwapDirectories\" t=\"s\" v=\"Q:/Users/Astro/swap\"/>")));
    ImportDialog dialog(*m_session, snippet.root, QStringLiteral("paths.xsdt"));
    QVERIFY(dialog.rewriteFrom()->isVisibleTo(&dialog));
    QCOMPARE(dialog.rewriteFrom()->text(), QStringLiteral("Q:/Users/Astro"));
    dialog.rewriteTo()->setText(m_dir->filePath(QStringLiteral("nowhere")));
    dialog.rewriteButton()->click();
    QCOMPARE(dialog.plan().entries().constFirst().incoming, QStringLiteral("Q:/Users/Astro/swap"));
    dialog.rewriteTo()->setText(QDir::toNativeSeparators(here));
    dialog.rewriteButton()->click();
    QCOMPARE(dialog.plan().entries().constFirst().incoming, here + QStringLiteral("/swap"));
    QCOMPARE(dialog.plan().entries().constFirst().rewrittenFrom, QStringLiteral("Q:/Users/Astro/swap"));
}

void TestTransfer::importRefusesWhatItCannotTake_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ownFile");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QString>("said");
    QTest::newRow("not a settings file") << QByteArray("hello") << false << false << QString();
    QTest::newRow("not UTF-8") << process("<v k=\"FreshOne\" t=\"s\" v=\"\xff\"/>") << false << false
                               << QStringLiteral("UTF-8");
    QTest::newRow("the open file") << QByteArray() << true << false << QStringLiteral("open settings file");
    QTest::newRow("PixInsight running") << process("<v k=\"MaxProcessors\" t=\"i\" v=\"3\"/>") << false << true
                                        << QStringLiteral("running");
}

// Nothing becomes pending, the file is untouched and the user is told why.
void TestTransfer::importRefusesWhatItCannotTake()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ownFile);
    QFETCH(bool, running);
    QFETCH(QString, said);
    const QByteArray settings = test::readAll(path());
    const QString snippet = ownFile ? path() : write(QStringLiteral("snippet.xsdt"), bytes);
    QVERIFY(!snippet.isEmpty());
    m_running = running;
    m_session->poll();
    QCOMPARE(m_session->isHostRunning(), running);
    bool boxShown = false;
    if (!running)
        test::answerNext<QMessageBox>([&boxShown](QMessageBox *box) {
            boxShown = true;
            box->accept();
        });
    TransferFlow flow(*m_session, nullptr);
    QVERIFY(!flow.importSnippet(snippet));
    QCOMPARE(boxShown, !running);
    QVERIFY(!flow.message().isEmpty());
    QVERIFY2(flow.message().contains(said), qPrintable(flow.message()));
    QCOMPARE(m_session->unsavedCount(), 0);
    QCOMPARE(test::readAll(path()), settings);
}

// The edited value goes into the other instance's file with a backup of its own; the open file
// stays as it is, and PixInsight starting while the review is open stops the copy.
void TestTransfer::copyToInstancesSavesEachOtherFileAfterItsReview()
{
    const QString folder = m_home->path() + QStringLiteral("/.PixInsight");
    QVERIFY(QDir().mkpath(folder));
    const QString other = folder + QStringLiteral("/core-002-pxi.settings");
    const QByteArray otherBytes = process("<v k=\"MaxConsoleLines\" t=\"i\" v=\"20000\"/>");
    {
        QFile out(other);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(otherBytes) == otherBytes.size());
    }
    XsdtNode *lines = m_session->document().file().root.findPath(u"Global/Preferences/Process/MaxConsoleLines");
    QVERIFY(lines);
    SettingsModel *model = m_session->model();
    QVERIFY(model->setData(model->indexFor(lines, SettingsModel::ValueColumn), QStringLiteral("777")));
    const QByteArray settings = test::readAll(path());

    for (const bool startsMeanwhile : {true, false}) {
        m_running = false;
        bool reviewed = false;
        test::answerNext<InstanceCopyDialog>([this, &reviewed, startsMeanwhile](InstanceCopyDialog *dialog) {
            reviewed = dialog->targets()->topLevelItemCount() == 1 && dialog->copyButton()->isEnabled();
            m_running = startsMeanwhile;
            // Either the refusal or, after the copy, its report.
            test::answerNext<QMessageBox>([](QMessageBox *box) { box->accept(); });
            dialog->accept();
        });
        TransferFlow flow(*m_session, nullptr);
        const QStringList written = flow.copyToInstances({lines});
        QVERIFY(reviewed);
        if (startsMeanwhile) {
            QVERIFY(written.isEmpty());
            QCOMPARE(test::readAll(other), otherBytes);
            continue;
        }
        QCOMPARE(written, QStringList{other});
        QCOMPARE(test::readAll(other), process("<v k=\"MaxConsoleLines\" t=\"i\" v=\"777\"/>"));
        QCOMPARE(QDir(folder).entryList({QStringLiteral("core-002-pxi.settings.bak-*")}, QDir::Files).size(), 1);
    }
    QCOMPARE(test::readAll(path()), settings);
    QCOMPARE(m_session->unsavedCount(), 1);
}

QTEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
