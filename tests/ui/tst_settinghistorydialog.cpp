#include "bench/settingsgenerator.h"
#include "core/settingsdocument.h"
#include "core/xsdtfile.h"
#include "model/settingsmodel.h"
#include "schema/deletionpolicy.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/privatehome.h"
#include "tests/support/testservices.h"
#include "ui/dialogs/reviewdialog.h"
#include "ui/dialogs/settinghistorydialog.h"
#include "ui/mainwindow.h"
#include "ui/views/allsettingspage.h"
#include "ui/views/compareview.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUndoStack>

using namespace pfw;

// The history of a value over backups made by real saves: changed, removed, re-added, next to
// a backup that is no settings file, while the document is reloaded and saved under it.
class TestSettingHistoryDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rowsAcrossRealBackups_data();
    void rowsAcrossRealBackups();
    void useThisValueIsOneUndoableStep();
    void useThisValueRefused_data();
    void useThisValueRefused();
    void treeReplacedUnderTheDialog();
    void closedWhileReading();
    void selectionStaysOnItsRow();
    void duplicateCountChangedLosesTheValue();
    void quittingWhileReadingExitsCleanly();
    void aKeyHoldingASlashKeepsItsOwnHistory();

private:
    QString settingsPath() const { return m_dir->filePath(QStringLiteral("home/.PixInsight/core-001-pxi.settings")); }
    void writeSettings(const QByteArray &bytes);
    // One real save of the file with changes made by change, at minute "minute" of the test day.
    void saveWith(int minute, const std::function<void(XsdtNode &root)> &change);
    XsdtNode *node(const char *path, int occurrence = 0) const;
    SettingHistoryDialog *openHistory(XsdtNode *target);
    static QStringList rowTexts(const SettingHistoryDialog *dialog);
    static void select(SettingHistoryDialog *dialog, const QString &value);

    std::unique_ptr<test::PrivateHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    bool m_running = false;
};

namespace {

const QDateTime kDay(QDate(2026, 11, 2), QTime(9, 0));

QString at(int minute)
{
    return kDay.addSecs(60 * minute).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

void TestSettingHistoryDialog::initTestCase()
{
    m_home = std::make_unique<test::PrivateHome>();
    QVERIFY(m_home->isValid());
}

void TestSettingHistoryDialog::writeSettings(const QByteArray &bytes)
{
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

void TestSettingHistoryDialog::saveWith(int minute, const std::function<void(XsdtNode &root)> &change)
{
    DeletionPolicy policy;
    QString error, backup;
    QVERIFY2(policy.loadBuiltIn(&error), qPrintable(error));
    SettingsDocument document;
    document.setPolicy(&policy);
    document.setRunningCheck([] { return false; });
    document.setClock([minute] { return kDay.addSecs(60 * minute); });
    QVERIFY2(document.load(settingsPath(), &error), qPrintable(error));
    change(document.file().root);
    QVERIFY2(document.save(&error, &backup), qPrintable(error));
}

void TestSettingHistoryDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(QFileInfo(settingsPath()).absolutePath()));
    const QByteArray original = SettingsGenerator::demo();
    writeSettings(original);
    const auto set = [](XsdtNode &root, const char16_t *path, const QString &value, int occurrence = 0) {
        XsdtNode *target
            = const_cast<XsdtNode *>(SettingHistory::findOccurrence(root, QString::fromUtf16(path), occurrence));
        QVERIFY(target);
        target->value = value;
    };
    saveWith(1, [&](XsdtNode &root) { set(root, u"Global/Preferences/Process/MaxProcessors", QStringLiteral("8")); });
    saveWith(2, [](XsdtNode &root) { root.findPath(u"ModuleData/Mirelux/Strength")->deleted = true; });
    saveWith(3, [&](XsdtNode &root) {
        set(root, u"Global/Preferences/Process/MaxProcessors", QStringLiteral("16"));
        set(root, u"ModuleData/Mirelux/LastPreset", QStringLiteral("Comet"), 1);
    });
    // PixInsight writes its own settings back, and the value removed above is there again.
    writeSettings(original);
    saveWith(4, [&](XsdtNode &root) {
        set(root, u"Global/Preferences/Process/MaxProcessors", QStringLiteral("32"));
        set(root, u"ModuleData/Mirelux/LastPreset", QStringLiteral("Comet\nwith a second line"), 1);
    });
    QFile junk(settingsPath() + QLatin1String(".bak-") + kDay.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("<xsdt version=\"1.0\"><i k=\"Global\">");
    junk.close();

    m_running = false;
    m_window = std::make_unique<MainWindow>(
        test::servicesIn(m_dir->filePath(QStringLiteral("home")), [this] { return m_running; }));
    m_window->show();
    QVERIFY(m_window->document().isLoaded());
}

void TestSettingHistoryDialog::cleanup()
{
    m_window.reset();
}

XsdtNode *TestSettingHistoryDialog::node(const char *path, int occurrence) const
{
    return const_cast<XsdtNode *>(
        SettingHistory::findOccurrence(m_window->document().file().root, QString::fromLatin1(path), occurrence));
}

SettingHistoryDialog *TestSettingHistoryDialog::openHistory(XsdtNode *target)
{
    SettingHistoryDialog *dialog = m_window->showHistory(target);
    if (dialog && dialog->isReading()) {
        QSignalSpy finished(dialog, &SettingHistoryDialog::readingFinished);
        finished.wait(10000);
    }
    return dialog;
}

QStringList TestSettingHistoryDialog::rowTexts(const SettingHistoryDialog *dialog)
{
    QStringList texts;
    for (int i = 0; i < dialog->tree()->topLevelItemCount(); ++i)
        texts << dialog->tree()->topLevelItem(i)->text(0) + QLatin1String(" | ")
                + dialog->tree()->topLevelItem(i)->text(1);
    return texts;
}

void TestSettingHistoryDialog::select(SettingHistoryDialog *dialog, const QString &value)
{
    for (int i = 0; i < dialog->tree()->topLevelItemCount(); ++i) {
        if (dialog->tree()->topLevelItem(i)->text(1) == value) {
            dialog->tree()->setCurrentItem(dialog->tree()->topLevelItem(i));
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no row with %1").arg(value)));
}

void TestSettingHistoryDialog::rowsAcrossRealBackups_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QStringList>("rows");
    const QString invalid = at(0) + QLatin1String(" | (not a valid settings file)");
    // Each backup holds the file as it was before its save; equal neighbours fold into one row.
    QTest::newRow("changed") << "Global/Preferences/Process/MaxProcessors" << 0
                             << QStringList{QStringLiteral("Saved file | 32"), at(4) + QLatin1String(" | 64"),
                                            QStringLiteral("2 backups, %1 to %2 | 8").arg(at(2), at(3)),
                                            at(1) + QLatin1String(" | 64"), invalid};
    QTest::newRow("removed and back") << "ModuleData/Mirelux/Strength" << 0
                                      << QStringList{
                                             QStringLiteral("Saved file | 0.65"), at(4) + QLatin1String(" | 0.65"),
                                             at(3) + QLatin1String(" | (absent)"),
                                             QStringLiteral("2 backups, %1 to %2 | 0.65").arg(at(1), at(2)), invalid};
    QTest::newRow("second of a duplicate key")
        << "ModuleData/Mirelux/LastPreset" << 1
        << QStringList{QStringLiteral("Saved file | Comet\u23CEwith a second line"),
                       QStringLiteral("4 backups, %1 to %2 | Nebula").arg(at(1), at(4)), invalid};
    // A colour reads as its editor shows it, not as the number the file stores.
    QTest::newRow("a colour") << "Global/Preferences/TransparencyBrush/BackgroundColor" << 0
                              << QStringList{QStringLiteral("Saved file | #404040"),
                                             QStringLiteral("4 backups, %1 to %2 | #404040").arg(at(1), at(4)),
                                             invalid};
    QTest::newRow("first of a duplicate key")
        << "ModuleData/Mirelux/LastPreset" << 0
        << QStringList{QStringLiteral("Saved file | Galaxy \"soft\" & <faint>"),
                       QStringLiteral("4 backups, %1 to %2 | Galaxy \"soft\" & <faint>").arg(at(1), at(4)), invalid};
}

void TestSettingHistoryDialog::rowsAcrossRealBackups()
{
    QFETCH(QString, path);
    QFETCH(int, occurrence);
    QFETCH(QStringList, rows);
    SettingHistoryDialog *dialog = openHistory(node(path.toLatin1().constData(), occurrence));
    QVERIFY(dialog);
    QVERIFY(!dialog->isReading());
    QCOMPARE(dialog->occurrence(), occurrence);
    QCOMPARE(rowTexts(dialog), rows);
    QCOMPARE(dialog->progressLabel()->text(), QStringLiteral("Backups read: 5"));
    // The full value, line breaks and all, of the row chosen.
    dialog->tree()->setCurrentItem(dialog->tree()->topLevelItem(0));
    QCOMPARE(dialog->valueView()->toPlainText(), node(path.toLatin1().constData(), occurrence)->value);
    // The date and invalid rows can be compared only where there is a file to compare.
    dialog->tree()->setCurrentItem(dialog->tree()->topLevelItem(dialog->tree()->topLevelItemCount() - 1));
    QVERIFY(!dialog->compareButton()->isEnabled());
    QVERIFY(!dialog->useButton()->isEnabled());
    dialog->tree()->setCurrentItem(dialog->tree()->topLevelItem(1));
    QVERIFY(dialog->compareButton()->isEnabled());
    dialog->compareButton()->click();
    QCOMPARE(m_window->tabs()->currentWidget(), static_cast<QWidget *>(m_window->tabs()->compare()));
    QVERIFY(m_window->tabs()->compare()->fileBox()->currentText().startsWith(QLatin1String("Backup: ")));
}

void TestSettingHistoryDialog::useThisValueIsOneUndoableStep()
{
    // Reached the way a user does: the All settings menu of the value.
    XsdtNode *target = node("Global/Preferences/Process/MaxProcessors");
    std::unique_ptr<QMenu> menu(m_window->tabs()->allSettings()->buildContextMenu(target));
    QAction *history = nullptr;
    for (QAction *action : menu->actions())
        history = action->text() == u"Show &history..." ? action : history;
    QVERIFY(history);
    history->trigger();
    auto *dialog = m_window->findChild<SettingHistoryDialog *>();
    QVERIFY(dialog);
    QSignalSpy finished(dialog, &SettingHistoryDialog::readingFinished);
    QVERIFY(finished.wait(10000));

    const int steps = m_window->model()->undoStack()->count();
    select(dialog, QStringLiteral("8"));
    dialog->useButton()->click();
    QCOMPARE(target->value, QStringLiteral("8"));
    QCOMPARE(m_window->model()->undoStack()->count(), steps + 1);
    QCOMPARE(rowTexts(dialog).constFirst(), QStringLiteral("Pending change | 8"));
    QCOMPARE(m_window->unsavedCount(), 1);
    QVERIFY(m_window->model()->undo());
    QCOMPARE(target->value, QStringLiteral("32"));
    QCOMPARE(rowTexts(dialog).constFirst(), QStringLiteral("Saved file | 32"));
}

void TestSettingHistoryDialog::useThisValueRefused_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("message");
    QTest::newRow("PixInsight running") << "Global/Preferences/Process/MaxProcessors"
                                        << "running"
                                        << "PixInsight is running; nothing can be changed.";
    QTest::newRow("marked for deletion") << "ModuleData/Mirelux/Strength"
                                         << "deleted"
                                         << "Strength is marked for deletion; undo the deletion first.";
    QTest::newRow("module registry")
        << "Modules/Module01"
        << ""
        << "Module01 is part of the module registry or version records and is locked against editing.";
    QTest::newRow("compressed block") << "ModuleData/Mirelux/Model"
                                      << ""
                                      << "Protected value type: shown for reference only.";
}

void TestSettingHistoryDialog::useThisValueRefused()
{
    QFETCH(QString, path);
    QFETCH(QString, situation);
    QFETCH(QString, message);
    XsdtNode *target = node(path.toLatin1().constData());
    QVERIFY(target);
    SettingHistoryDialog *dialog = openHistory(target);
    QVERIFY(dialog);
    if (situation == u"running") {
        m_running = true;
        m_window->pollEnvironment();
    } else if (situation == u"deleted") {
        QVERIFY(m_window->model()->requestDeletion(target->parent));
    }
    const QByteArray before = target->value.toUtf8();
    const int steps = m_window->model()->undoStack()->count();
    dialog->tree()->setCurrentItem(dialog->tree()->topLevelItem(dialog->tree()->topLevelItemCount() - 2));
    dialog->useSelectedValue();
    QCOMPARE(dialog->statusLabel()->text(), message);
    QCOMPARE(target->value.toUtf8(), before);
    QCOMPARE(m_window->model()->undoStack()->count(), steps);
}

void TestSettingHistoryDialog::treeReplacedUnderTheDialog()
{
    SettingHistoryDialog *dialog = m_window->showHistory(node("Global/Preferences/Process/MaxProcessors"));
    QVERIFY(dialog);
    QVERIFY(dialog->isReading());
    // PixInsight rewrote the file and it is reloaded before a single backup has arrived: the
    // dialog must let go of the old tree and find the value in the new one.
    QByteArray rewritten = SettingsGenerator::demo();
    rewritten.replace("k=\"MaxProcessors\" t=\"i\" v=\"64\"", "k=\"MaxProcessors\" t=\"i\" v=\"12\"");
    writeSettings(rewritten);
    m_window->onReload();
    QSignalSpy finished(dialog, &SettingHistoryDialog::readingFinished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(rowTexts(dialog).constFirst(), QStringLiteral("Saved file | 12"));
    QCOMPARE(rowTexts(dialog).size(), 5);
    select(dialog, QStringLiteral("8"));
    dialog->useSelectedValue();
    QCOMPARE(node("Global/Preferences/Process/MaxProcessors")->value, QStringLiteral("8"));

    // A save adds a backup, and the history shows it at once.
    test::answerNext<ReviewDialog>([](ReviewDialog *review) { review->saveButton()->click(); });
    QVERIFY(m_window->onSave());
    if (dialog->isReading())
        QVERIFY(finished.wait(10000));
    const QStringList rows = rowTexts(dialog);
    QVERIFY2(rows.at(0) == u"Saved file | 8", qPrintable(rows.join(u'\n') + m_window->statusBar()->currentMessage()));
    QVERIFY2(rows.at(1).endsWith(QLatin1String(" | 12")), qPrintable(rows.join(u'\n')));
    QCOMPARE(rows.size(), 6);
    QCOMPARE(dialog->progressLabel()->text(), QStringLiteral("Backups read: 6"));

    // Another file opened: this history no longer belongs to the open file and changes nothing.
    const QString other = m_dir->filePath(QStringLiteral("home/.PixInsight/core-002-pxi.settings"));
    QVERIFY(QFile::copy(settingsPath(), other));
    QVERIFY(m_window->openFile(other));
    QVERIFY(!dialog->isReading());
    QCOMPARE(dialog->statusLabel()->text(), QStringLiteral("The file this history is for is no longer open."));
    select(dialog, QStringLiteral("8"));
    // Neither may act on the file that is open now.
    QVERIFY(!dialog->useButton()->isEnabled());
    QVERIFY(!dialog->compareButton()->isEnabled());
    dialog->useSelectedValue();
    QCOMPARE(dialog->statusLabel()->text(), QStringLiteral("The file this history is for is no longer open."));
    QCOMPARE(m_window->unsavedCount(), 0);
}

void TestSettingHistoryDialog::selectionStaysOnItsRow()
{
    SettingHistoryDialog *dialog = openHistory(node("Global/Preferences/Process/MaxProcessors"));
    QVERIFY(dialog);
    select(dialog, QStringLiteral("64"));
    const QString chosen = dialog->tree()->currentItem()->text(0);
    // A pending row appears above it, and goes again with Undo.
    dialog->useSelectedValue();
    QCOMPARE(rowTexts(dialog).constFirst(), QStringLiteral("Pending change | 64"));
    QCOMPARE(dialog->tree()->currentItem()->text(0), chosen);
    QVERIFY(m_window->model()->undo());
    QCOMPARE(dialog->tree()->currentItem()->text(0), chosen);
    QVERIFY(dialog->statusLabel()->text().isEmpty());
    select(dialog, QStringLiteral("32"));
    QVERIFY(!dialog->useButton()->isEnabled());
    dialog->useSelectedValue();
    QCOMPARE(dialog->statusLabel()->text(), QStringLiteral("That is already the value."));
}

void TestSettingHistoryDialog::duplicateCountChangedLosesTheValue()
{
    // The second LastPreset; the first is deleted and the deletion saved.
    SettingHistoryDialog *dialog = openHistory(node("ModuleData/Mirelux/LastPreset", 1));
    QVERIFY(dialog);
    QVERIFY(m_window->model()->requestDeletion(node("ModuleData/Mirelux/LastPreset", 0)));
    test::answerNext<ReviewDialog>([](ReviewDialog *review) { review->saveButton()->click(); });
    QVERIFY(m_window->onSave());
    // Its place among the duplicates now names another value: it must not be edited for it.
    QVERIFY(dialog->statusLabel()->text().startsWith(
        QLatin1String("The file now holds a different number of values named LastPreset")));
    QVERIFY(!rowTexts(dialog).constFirst().startsWith(QLatin1String("Saved file")));
    dialog->tree()->setCurrentItem(dialog->tree()->topLevelItem(0));
    QVERIFY(!dialog->useButton()->isEnabled());
    dialog->useSelectedValue();
    QCOMPARE(m_window->unsavedCount(), 0);
}

void TestSettingHistoryDialog::closedWhileReading()
{
    QPointer<SettingHistoryDialog> dialog = m_window->showHistory(node("ModuleData/Mirelux/Strength"));
    QVERIFY(dialog);
    QVERIFY(dialog->isReading());
    dialog->close();
    // The worker may still be busy; nothing of it may reach a dialog that is gone.
    QTRY_VERIFY(dialog.isNull());
    QTest::qWait(200);
    // A second history is served from what the first one read.
    SettingHistoryDialog *again = openHistory(node("ModuleData/Mirelux/Strength"));
    QVERIFY(again);
    QCOMPARE(rowTexts(again).size(), 5);
}

void TestSettingHistoryDialog::quittingWhileReadingExitsCleanly()
{
    // Large backups keep the workers busy past the quit; they must be done before the
    // program's own data is torn down.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QByteArray big = SettingsGenerator::sized(3 * 1024 * 1024);
    for (int i = 0; i <= 6; ++i) {
        QFile file(i == 0 ? path : SafeWrite::makeBackupPath(path, QString(), kDay.addDays(i)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(big), big.size());
    }
    for (int round = 0; round < 8; ++round) {
        QProcess quitter;
        quitter.start(QStringLiteral(PFW_HISTORYQUITTER),
                      {path, QStringLiteral("Global/Preferences/Process/MaxProcessors"), QString::number(round * 10)});
        QVERIFY(quitter.waitForFinished(30000));
        QCOMPARE(quitter.exitStatus(), QProcess::NormalExit);
        QCOMPARE(quitter.exitCode(), 0);
    }
}

// "x/y" beside an item x that holds y: both read as P/x/y, yet each row has its own history, and
// "Use this value" changes the row the history was opened on, also after a reload.
void TestSettingHistoryDialog::aKeyHoldingASlashKeepsItsOwnHistory()
{
    const auto file = [](const char *slash, const char *nested) {
        return QByteArray("<xsdt version=\"1.0\"><i k=\"P\"><v k=\"x/y\" t=\"s\" v=\"") + slash
            + "\"/><i k=\"x\"><v k=\"y\" t=\"s\" v=\"" + nested + "\"/></i></i></xsdt>";
    };
    const QString path = m_dir->filePath(QStringLiteral("home/.PixInsight/core-003-pxi.settings"));
    for (const auto &[name, bytes] :
         {std::pair{path, file("slash now", "nested now")},
          std::pair{path + QLatin1String(".bak-20260101-000000"), file("slash then", "nested then")}}) {
        QFile out(name);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    }
    QVERIFY(m_window->openFile(path));
    const auto slashNode = [this] { return m_window->document().file().root.findPath(u"P")->childByKey(u"x/y"); };
    SettingHistoryDialog *dialog = openHistory(slashNode());
    QVERIFY(dialog);
    QVERIFY2(rowTexts(dialog).join(u'\n').contains(QLatin1String("slash then")),
             qPrintable(rowTexts(dialog).join(u'\n')));
    QVERIFY(!rowTexts(dialog).join(u'\n').contains(QLatin1String("nested")));
    m_window->onReload();
    if (dialog->isReading()) {
        QSignalSpy finished(dialog, &SettingHistoryDialog::readingFinished);
        QVERIFY(finished.wait(10000));
    }
    select(dialog, QStringLiteral("slash then"));
    dialog->useSelectedValue();
    QCOMPARE(slashNode()->value, QStringLiteral("slash then"));
    QCOMPARE(m_window->document().file().root.findPath(u"P/x/y")->value, QStringLiteral("nested now"));
}

QTEST_MAIN(TestSettingHistoryDialog)
#include "tst_settinghistorydialog.moc"
