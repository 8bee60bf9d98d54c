#include "platform/hostservices.h"
#include "tests/support/modalanswerer.h"
#include "ui/dialogs/installedupdatesdialog.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace pfw;

class TestInstalledUpdatesDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void listsAndLocksPackages();
    void tickingFollowsNameAndFilter();
    void removesTickedEvenWhenHidden();
    void question_data();
    void question();
    void runningHostDisablesActions();
    void elevation_data();
    void elevation();
    void declinedElevationIsInformation();
    void noElevationForAFileFoundThroughPixInsightDir();
    void unreadableFileKeepsRestore();
    void mainWindowEntryFollowsTheFile();

private:
    QString recordPath() const
    {
        return m_dir->filePath(QStringLiteral("Programs/PixInsight/etc/update/installed.xri"));
    }
    void writeRecords(const QByteArray &bytes);
    QByteArray records() const;
    HostServices services(bool writable, const QByteArray &elevatedBody = QByteArray());
    static QPushButton *button(QWidget *dialog, const QString &prefix);
    static QTreeWidget *tree(QWidget *dialog) { return dialog->findChild<QTreeWidget *>(); }
    static QString status(QWidget *dialog) { return dialog->findChild<QLabel *>(QStringLiteral("status"))->text(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    bool m_running = false;
};

static const QByteArray kRecords = "<xri version=\"1.0\">\n"
                                   "  <package fileName=\"core.zip\" type=\"core\" installDate=\"20260102030405\"/>\n"
                                   "  <package fileName=\"Orbitdeck.zip\" type=\"module\" repo=\"https://a/\"/>\n"
                                   "  <package fileName=\"Lumen.zip\" type=\"module\"/>\n"
                                   "  <package fileName=\"Orbitdeck.zip\" type=\"module\"/>\n"
                                   "</xri>\n";

void TestInstalledUpdatesDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(QFileInfo(recordPath()).absolutePath()));
    writeRecords(kRecords);
    m_running = false;
}

void TestInstalledUpdatesDialog::writeRecords(const QByteArray &bytes)
{
    QFile file(recordPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray TestInstalledUpdatesDialog::records() const
{
    QFile file(recordPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The write test and the elevation prompt are faked: tests run as root in CI, where no folder
// is ever read-only.
HostServices TestInstalledUpdatesDialog::services(bool writable, const QByteArray &elevatedBody)
{
    HostServices services;
    services.environment.flavour = PlatformFlavour::Windows;
    services.environment.variables.insert(QStringLiteral("ProgramFiles"), m_dir->filePath(QStringLiteral("Programs")));
    services.environment.programFilesFolders = QStringList{m_dir->filePath(QStringLiteral("Programs"))};
    services.isHostRunning = [this] { return m_running; };
    services.canWriteBeside = [writable](const QString &) { return writable; };
    services.launcher.setAuthenticationProgram(QString());
    if (!elevatedBody.isEmpty()) {
        const QString script = m_dir->filePath(QStringLiteral("pkexec"));
        QFile file(script);
        if (file.open(QIODevice::WriteOnly)) {
            file.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + m_dir->filePath(QStringLiteral("args")).toUtf8() + "'\n"
                       + elevatedBody + "\n");
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        services.launcher.setAuthenticationProgram(script);
    }
    return services;
}

QPushButton *TestInstalledUpdatesDialog::button(QWidget *dialog, const QString &prefix)
{
    for (QPushButton *candidate : dialog->findChildren<QPushButton *>()) {
        if (candidate->text().startsWith(prefix))
            return candidate;
    }
    return nullptr;
}

void TestInstalledUpdatesDialog::listsAndLocksPackages()
{
    InstalledUpdatesDialog dialog(recordPath(), services(true));
    QTreeWidget *list = tree(&dialog);
    QCOMPARE(list->topLevelItemCount(), 4);
    QTreeWidgetItem *core = list->topLevelItem(0);
    QCOMPARE(core->text(2), QStringLiteral("2026-01-02 03:04"));
    QVERIFY(!(core->flags() & Qt::ItemIsUserCheckable));
    QCOMPARE(core->data(0, Qt::CheckStateRole), QVariant());
    QCOMPARE(core->toolTip(0), QStringLiteral("A PixInsight package (not a module): shown, but locked."));
    QCOMPARE(list->topLevelItem(1)->checkState(0), Qt::Unchecked);
    QCOMPARE(list->topLevelItem(1)->text(3), QStringLiteral("https://a/"));
    QVERIFY(!button(&dialog, QStringLiteral("Remove"))->isEnabled());
    QVERIFY(!button(&dialog, QStringLiteral("Restore"))->isEnabled());
    QCOMPARE(status(&dialog), QString());
}

void TestInstalledUpdatesDialog::tickingFollowsNameAndFilter()
{
    InstalledUpdatesDialog dialog(recordPath(), services(true));
    QTreeWidget *list = tree(&dialog);
    list->topLevelItem(1)->setCheckState(0, Qt::Checked);
    QCOMPARE(dialog.tickedNames(), (QStringList{QStringLiteral("Orbitdeck.zip"), QStringLiteral("Orbitdeck.zip")}));
    QCOMPARE(button(&dialog, QStringLiteral("Remove"))->text(), QStringLiteral("Remove 2 ticked..."));
    QVERIFY(button(&dialog, QStringLiteral("Remove"))->isEnabled());

    button(&dialog, QStringLiteral("Untick all"))->click();
    QVERIFY(dialog.tickedNames().isEmpty());
    dialog.findChild<QLineEdit *>()->setText(QStringLiteral("  lumen "));
    QVERIFY(list->topLevelItem(1)->isHidden());
    QVERIFY(!list->topLevelItem(2)->isHidden());
    button(&dialog, QStringLiteral("Tick all shown"))->click();
    QCOMPARE(dialog.tickedNames(), QStringList{QStringLiteral("Lumen.zip")});
    dialog.findChild<QLineEdit *>()->setText(QStringLiteral(".zip"));
    button(&dialog, QStringLiteral("Tick all shown"))->click();
    QCOMPARE(dialog.tickedNames().size(), 3); // the core package never gets a box
}

void TestInstalledUpdatesDialog::removesTickedEvenWhenHidden()
{
    InstalledUpdatesDialog dialog(recordPath(), services(true));
    QTreeWidget *list = tree(&dialog);
    list->topLevelItem(3)->setCheckState(0, Qt::Checked);
    dialog.findChild<QLineEdit *>()->setText(QStringLiteral("Lumen"));
    QVERIFY(list->topLevelItem(3)->isHidden());

    QString question;
    QString answer;
    test::answerNext<QMessageBox>([&](QMessageBox *box) {
        question = box->text();
        test::answerNext<QMessageBox>([&](QMessageBox *result) {
            answer = result->text();
            result->accept();
        });
        box->button(QMessageBox::Yes)->click();
    });
    button(&dialog, QStringLiteral("Remove"))->click();
    QVERIFY(question.startsWith(QLatin1String("Remove 2 records from PixInsight's list of installed updates?")));
    QVERIFY(answer.startsWith(QLatin1String("Removed 2 records.\n\nBackup: ")));
    QVERIFY(answer.endsWith(QLatin1String("\n\nIn PixInsight: Resources > Updates > Check for Updates.")));
    QVERIFY(!records().contains("Orbitdeck"));
    QCOMPARE(list->topLevelItemCount(), 2);
    QVERIFY(dialog.tickedNames().isEmpty());
    QVERIFY(button(&dialog, QStringLiteral("Restore"))->isEnabled());

    test::answerNext<QMessageBox>([&](QMessageBox *box) {
        test::answerNext<QMessageBox>([&](QMessageBox *result) {
            answer = result->text();
            result->accept();
        });
        box->button(QMessageBox::Yes)->click();
    });
    button(&dialog, QStringLiteral("Restore"))->click();
    QVERIFY(answer.startsWith(QLatin1String("The backup was restored.")));
    QCOMPARE(records(), kRecords);
    QCOMPARE(list->topLevelItemCount(), 4);
}

void TestInstalledUpdatesDialog::question_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("listed");
    QTest::addColumn<QString>("more");
    QTest::newRow("one") << 1 << 1 << QString();
    QTest::newRow("twelve") << 12 << 12 << QString();
    QTest::newRow("fifteen") << 15 << 12 << "\n  ... and 3 more";
}

void TestInstalledUpdatesDialog::question()
{
    QFETCH(int, count);
    QFETCH(int, listed);
    QFETCH(QString, more);
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("M%1.zip").arg(i);
    const QString text = InstalledUpdatesDialog::removalQuestion(names);
    QVERIFY(text.startsWith(count == 1 ? QStringLiteral("Remove 1 record from")
                                       : QStringLiteral("Remove %1 records from").arg(count)));
    QCOMPARE(text.count(QLatin1String("\n  - ")), listed);
    QCOMPARE(text.contains(QLatin1String("... and")), !more.isEmpty());
    if (!more.isEmpty())
        QVERIFY(text.contains(more + QLatin1String("\n\nA backup is made first. PixInsight must be closed.")));
}

void TestInstalledUpdatesDialog::runningHostDisablesActions()
{
    writeRecords(kRecords);
    QFile::copy(recordPath(), recordPath() + QLatin1String(".bak-20260101-000000-000"));
    InstalledUpdatesDialog dialog(recordPath(), services(true));
    tree(&dialog)->topLevelItem(2)->setCheckState(0, Qt::Checked);
    QVERIFY(button(&dialog, QStringLiteral("Remove"))->isEnabled());
    QVERIFY(button(&dialog, QStringLiteral("Restore"))->isEnabled());
    m_running = true;
    QTRY_VERIFY_WITH_TIMEOUT(!button(&dialog, QStringLiteral("Remove"))->isEnabled(), 4000);
    QVERIFY(!button(&dialog, QStringLiteral("Restore"))->isEnabled());
    QVERIFY(status(&dialog).startsWith(QLatin1String("<b>PixInsight is running.</b>")));
    // Even when called directly, nothing is written while PixInsight runs.
    const EditResult result = dialog.removeChecked();
    QCOMPARE(result.status, 2);
    QCOMPARE(records(), kRecords);
}

void TestInstalledUpdatesDialog::elevation_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("label");
    QTest::newRow("no way to elevate")
        << QByteArray() << 5
        << "Changing this file needs administrator rights, which cannot be requested on this system yet."
        << "Changing this file needs administrator rights, which this program cannot request on this system yet. The list is shown for reference.";
#ifdef Q_OS_WIN
    const QString ask = QStringLiteral(
        "Changing this file needs administrator rights. Windows will ask for permission when you confirm.");
#else
    const QString ask = QStringLiteral(
        "Changing this file needs administrator rights. You will be asked for an administrator password.");
#endif
    QTest::newRow("done") << QByteArray("exit 0") << 0 << QString() << ask;
    QTest::newRow("running") << QByteArray("exit 2") << 2 << "PixInsight is running. Close it first." << ask;
    QTest::newRow("not found") << QByteArray("exit 3") << 3 << "The record file (or a backup to restore) was not found."
                               << ask;
    QTest::newRow("refused") << QByteArray("exit 4") << 4
                             << "The change was refused: a package was missing or is not a module." << ask;
    QTest::newRow("failed") << QByteArray("exit 5") << 5
                            << "The change failed (code 5). The file was left as it was, or its backup is beside it."
                            << ask;
    QTest::newRow("declined") << QByteArray("exit 126") << 5
                              << "Cancelled: administrator permission was not given, so nothing was changed." << ask;
}

void TestInstalledUpdatesDialog::elevation()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QString, label);
#ifdef Q_OS_WIN
    if (body.isEmpty())
        QSKIP("Windows always has a way to ask for administrator rights (its consent prompt)");
#endif
    InstalledUpdatesDialog dialog(recordPath(), services(false, body));
    QCOMPARE(TestInstalledUpdatesDialog::status(&dialog), label);
    tree(&dialog)->topLevelItem(1)->setCheckState(0, Qt::Checked);
    QCOMPARE(button(&dialog, QStringLiteral("Remove"))->isEnabled(), !body.isEmpty());
#ifdef Q_OS_WIN
    // Going on would start this test program itself elevated, behind a real consent prompt.
    QSKIP("Windows elevates through ShellExecuteEx \"runas\", never through an authentication program: "
          "the faked helper cannot answer there");
#endif
    const EditResult result = dialog.removeChecked();
    QCOMPARE(result.status, status);
    QCOMPARE(result.message, message);
    QCOMPARE(dialog.wasCancelled(), body == "exit 126");
    if (status == 0)
        QCOMPARE(result.count, 2);
    QCOMPARE(records(), kRecords); // the fake helper changes nothing; the dialog never writes itself
    if (!body.isEmpty()) {
        QFile args(m_dir->filePath(QStringLiteral("args")));
        QVERIFY(args.open(QIODevice::ReadOnly));
        QVERIFY(args.readAll().endsWith("--installed-updates-helper\nremove\nOrbitdeck.zip\nOrbitdeck.zip\n"));
    }
}

void TestInstalledUpdatesDialog::declinedElevationIsInformation()
{
#ifdef Q_OS_WIN
    QSKIP("Windows elevates through ShellExecuteEx \"runas\", never through an authentication program: "
          "a declined prompt cannot be faked there");
#endif
    InstalledUpdatesDialog dialog(recordPath(), services(false, "exit 126"));
    tree(&dialog)->topLevelItem(2)->setCheckState(0, Qt::Checked);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    test::answerNext<QMessageBox>([&](QMessageBox *box) {
        test::answerNext<QMessageBox>([&](QMessageBox *result) {
            icon = result->icon();
            result->accept();
        });
        box->button(QMessageBox::Yes)->click();
    });
    button(&dialog, QStringLiteral("Remove"))->click();
    QCOMPARE(icon, QMessageBox::Information);
}

// The elevated helper ignores PIXINSIGHT_DIR: it would edit another installation's file, or none,
// and the dialog would report success.
void TestInstalledUpdatesDialog::noElevationForAFileFoundThroughPixInsightDir()
{
    HostServices chosen = services(false, "exit 0");
    chosen.environment.flavour = PlatformFlavour::Linux;
    chosen.environment.variables.insert(QStringLiteral("PIXINSIGHT_DIR"),
                                        m_dir->filePath(QStringLiteral("Programs/PixInsight")));
    InstalledUpdatesDialog dialog(recordPath(), chosen);
    QVERIFY2(status(&dialog).contains(QLatin1String("through PIXINSIGHT_DIR")), qPrintable(status(&dialog)));
    tree(&dialog)->topLevelItem(1)->setCheckState(0, Qt::Checked);
    QVERIFY(!button(&dialog, QStringLiteral("Remove"))->isEnabled());
    const EditResult result = dialog.removeChecked();
    QVERIFY(result.status != 0);
    QVERIFY2(result.message.contains(QLatin1String("through PIXINSIGHT_DIR")), qPrintable(result.message));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("args")))); // the helper was never started
    QCOMPARE(records(), kRecords);
}

void TestInstalledUpdatesDialog::unreadableFileKeepsRestore()
{
    QFile::copy(recordPath(), recordPath() + QLatin1String(".bak-20260101-000000-000"));
    writeRecords("<xri><package");
    InstalledUpdatesDialog dialog(recordPath(), services(false));
    QCOMPARE(tree(&dialog)->topLevelItemCount(), 0);
    QVERIFY(status(&dialog).startsWith(QLatin1String("Could not read the record file: ")));
    InstalledUpdatesDialog writable(recordPath(), services(true));
    QVERIFY(button(&writable, QStringLiteral("Restore"))->isEnabled());
    const EditResult result = writable.restoreBackup();
    QCOMPARE(result.status, 0);
    QCOMPARE(tree(&writable)->topLevelItemCount(), 4);
    QCOMPARE(status(&writable), QString());
}

void TestInstalledUpdatesDialog::mainWindowEntryFollowsTheFile()
{
    MainWindow window(services(true));
    QAction *action = window.installedUpdatesAction();
    QMenu *file = qobject_cast<QMenu *>(action->associatedObjects().value(0));
    QVERIFY(file);
    emit file->aboutToShow();
    QVERIFY(action->isEnabled());
    const QString notFound = QStringLiteral("PixInsight's installed.xri was not found on this computer.");
    QVERIFY(action->toolTip() != notFound); // an empty tooltip reads back as the action's text

    QFile::remove(recordPath());
    emit file->aboutToShow();
    QVERIFY(!action->isEnabled());
    QCOMPARE(action->toolTip(), notFound);
    QString text;
    test::answerNext<QMessageBox>([&](QMessageBox *box) {
        text = box->windowTitle() + u'|' + box->text();
        box->accept();
    });
    window.onInstalledUpdates();
    QCOMPARE(text, QStringLiteral("Installed updates|") + notFound);
}

QTEST_MAIN(TestInstalledUpdatesDialog)
#include "tst_installedupdatesdialog.moc"
