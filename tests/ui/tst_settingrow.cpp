#include "core/displaytext.h"
#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "ui/widgets/colorbutton.h"
#include "ui/widgets/nodemenu.h"
#include "ui/widgets/settingrow.h"
#include "model/settingsmodel.h"
#include "ui/widgets/valuedelegate.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"
#include "tests/support/modalanswerer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <functional>

using namespace pfw;

class TestSettingRow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void realBeyondRange();
    void textCommitsOnFinish();
    void aDigitTheRangeRefusesSaysWhy();
    void spinBoxWidensToStoredValue();
    void unsignedWithoutRange();
    void unknownChoice();
    void wheelOverUnfocusedEditor();
    void checkBoxCommits();
    void rowInsideDeletedGroup();
    void revertButton();
    void lockedAndProtectedRows_data();
    void lockedAndProtectedRows();
    void pathLineAndMatching();
    void colorButton();
    void menus_data();
    void menus();
    void menuCallbacks();
    void whyNotBox();
    void booleanDelegate();

private:
    SettingRow *row(const char *path);
    XsdtNode *node(const char *path) const { return m_file.root.findPath(QString::fromLatin1(path)); }

    SettingsSchema m_schema;
    DeletionPolicy m_policy;
    XsdtFile m_file;
    SettingsModel m_model;
    std::unique_ptr<QWidget> m_host;
};

void TestSettingRow::initTestCase()
{
    QString error;
    QVERIFY(m_schema.loadBuiltIn(&error));
    QVERIFY(m_policy.loadBuiltIn(&error));
    m_model.setPolicy(&m_policy);
    m_model.setSchema(&m_schema);
}

void TestSettingRow::init()
{
    QVERIFY(m_file.parse(SettingsGenerator::demo()));
    m_model.setDocument(&m_file);
    m_host = std::make_unique<QWidget>();
}

void TestSettingRow::cleanup()
{
    m_host.reset();
}

SettingRow *TestSettingRow::row(const char *path)
{
    XsdtNode *target = node(path);
    auto *row = new SettingRow(target, m_schema.spec(*target), &m_model, m_host.get());
    connect(&m_model, &SettingsModel::edited, row, &SettingRow::refresh);
    return row;
}

void TestSettingRow::realBeyondRange()
{
    SettingRow *gamma = row("Global/RGBWorkingSpace/Gamma");
    auto *line = qobject_cast<QLineEdit *>(gamma->editor());
    QVERIFY(line);
    QSignalSpy rejected(gamma, &SettingRow::rejected);
    line->setText(QStringLiteral("1e3"));
    emit line->editingFinished();
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(rejected.at(0).at(0).toString(), QStringLiteral("Gamma: 1000 is outside the allowed range 0.1 to 10"));
    QCOMPARE(node("Global/RGBWorkingSpace/Gamma")->value, QStringLiteral("2.2"));
    QCOMPARE(line->text(), QStringLiteral("2.2"));
}

// Typing 9 into a field of 0 to 7: the spin box drops the key, and the row says why.
void TestSettingRow::aDigitTheRangeRefusesSaysWhy()
{
    SettingRow *priority = row("Global/Preferences/Process/MaxModuleThreadPriority");
    auto *spin = qobject_cast<QSpinBox *>(priority->editor());
    QVERIFY(spin);
    QCOMPARE(spin->maximum(), 7);
    auto *field = spin->findChild<QLineEdit *>();
    QVERIFY(field);
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("9"));
    QVERIFY(!priority->messageLine()->isHidden());
    QCOMPARE(priority->messageLine()->text(),
             QStringLiteral("Max module thread priority takes a whole number from 0 to 7."));
    QCOMPARE(node("Global/Preferences/Process/MaxModuleThreadPriority")->value, QStringLiteral("4"));
    // A digit in range is taken, and the message goes once it is applied.
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("3"));
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(node("Global/Preferences/Process/MaxModuleThreadPriority")->value, QStringLiteral("3"));
    QVERIFY(priority->messageLine()->isHidden());
}

void TestSettingRow::textCommitsOnFinish()
{
    SettingRow *gamma = row("Global/RGBWorkingSpace/Gamma");
    auto *line = qobject_cast<QLineEdit *>(gamma->editor());
    QSignalSpy rejected(&m_model, &SettingsModel::editRejected);
    line->setText(QStringLiteral("1.80"));
    emit line->editingFinished();
    QCOMPARE(node("Global/RGBWorkingSpace/Gamma")->value, QStringLiteral("1.8"));
    QCOMPARE(line->text(), QStringLiteral("1.8"));
    QVERIFY(gamma->labelLine()->font().bold());
    QVERIFY(gamma->autoFillBackground());
    line->setText(QStringLiteral("soft"));
    emit line->editingFinished();
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(node("Global/RGBWorkingSpace/Gamma")->value, QStringLiteral("1.8"));
}

void TestSettingRow::spinBoxWidensToStoredValue()
{
    XsdtNode *period = node("Global/Preferences/Application/AutoSaveSettingsPeriod");
    period->value = period->savedValue = QStringLiteral("0");
    auto *spin = qobject_cast<QSpinBox *>(row("Global/Preferences/Application/AutoSaveSettingsPeriod")->editor());
    QVERIFY(spin);
    QCOMPARE(spin->minimum(), 0);
    QCOMPARE(spin->maximum(), 86400);
    QCOMPARE(spin->value(), 0);
    QCOMPARE(period->value, QStringLiteral("0"));
    QVERIFY(!spin->keyboardTracking());
    spin->setValue(60);
    QCOMPARE(period->value, QStringLiteral("60"));
}

void TestSettingRow::unsignedWithoutRange()
{
    auto *spin = qobject_cast<QDoubleSpinBox *>(row("Global/Preferences/ImageWindow/WheelStepAngle")->editor());
    QVERIFY(spin);
    QCOMPARE(spin->minimum(), 0.0);
    QCOMPARE(spin->maximum(), 4294967295.0);
    QCOMPARE(spin->decimals(), 0);
    spin->setValue(3000000000.0);
    QCOMPARE(node("Global/Preferences/ImageWindow/WheelStepAngle")->value, QStringLiteral("3000000000"));
}

void TestSettingRow::unknownChoice()
{
    XsdtNode *mask = node("Global/Preferences/ImageWindow/DefaultMaskMode");
    mask->value = mask->savedValue = QStringLiteral("12");
    auto *combo = qobject_cast<QComboBox *>(row("Global/Preferences/ImageWindow/DefaultMaskMode")->editor());
    QVERIFY(combo);
    QCOMPARE(combo->count(), 11);
    QCOMPARE(combo->currentIndex(), 10);
    QCOMPARE(combo->currentText(), QStringLiteral("Other (12)"));
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    QCOMPARE(mask->value, QStringLiteral("1"));
    QCOMPARE(combo->count(), 10);
    QCOMPARE(combo->currentText(), QStringLiteral("Multiply"));
}

void TestSettingRow::wheelOverUnfocusedEditor()
{
    auto *combo = qobject_cast<QComboBox *>(row("Global/Preferences/ImageWindow/DefaultMaskMode")->editor());
    QCOMPARE(combo->focusPolicy(), Qt::StrongFocus);
    const int before = combo->currentIndex();
    const QPointF at(5, 5);
    QWheelEvent wheel(at, combo->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(combo, &wheel);
    QCOMPARE(combo->currentIndex(), before);
    QCOMPARE(node("Global/Preferences/ImageWindow/DefaultMaskMode")->value, QStringLiteral("2"));
}

void TestSettingRow::checkBoxCommits()
{
    auto *check = qobject_cast<QCheckBox *>(row("Global/Preferences/Security/AllowUnsignedScriptExecution")->editor());
    QVERIFY(check);
    QVERIFY(check->isChecked());
    check->click();
    QCOMPARE(node("Global/Preferences/Security/AllowUnsignedScriptExecution")->value, QStringLiteral("false"));
}

void TestSettingRow::rowInsideDeletedGroup()
{
    SettingRow *strength = row("ModuleData/Mirelux/Strength");
    auto *line = qobject_cast<QLineEdit *>(strength->editor());
    line->setText(QStringLiteral("0.9"));
    emit line->editingFinished();
    QVERIFY(strength->revertButton()->isEnabled());
    QVERIFY(m_model.requestDeletion(node("ModuleData/Mirelux")));
    QVERIFY(strength->labelLine()->font().strikeOut());
    QVERIFY(!strength->editorContainer()->isEnabled());
    QVERIFY(!strength->revertButton()->isEnabled());
}

void TestSettingRow::revertButton()
{
    SettingRow *gamma = row("Global/RGBWorkingSpace/Gamma");
    QCOMPARE(gamma->revertButton()->text(), QString(QChar(0x21BA)));
    QVERIFY(!gamma->revertButton()->isEnabled());
    QCOMPARE(gamma->revertButton()->toolTip(), QStringLiteral("Unchanged"));
    auto *line = qobject_cast<QLineEdit *>(gamma->editor());
    line->setText(QStringLiteral("1.5"));
    emit line->editingFinished();
    QCOMPARE(gamma->revertButton()->toolTip(), QStringLiteral("Revert to the value on disk: 2.2"));
    gamma->setViewOnly(true);
    QVERIFY(!gamma->revertButton()->isEnabled());
    QVERIFY(!gamma->editorContainer()->isEnabled());
    gamma->setViewOnly(false);
    gamma->revertButton()->click();
    QCOMPARE(node("Global/RGBWorkingSpace/Gamma")->value, QStringLiteral("2.2"));
    QVERIFY(!gamma->labelLine()->font().bold());
}

void TestSettingRow::lockedAndProtectedRows_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("tip");
    QTest::newRow("read-only") << "Global/System/NumberOfProcessors"
                               << "Documented by PixInsight as read-only or write-only.";
    QTest::newRow("protected") << "MainWindow/Layout"
                               << "Protected value type: shown for reference only.";
    QTest::newRow("locked") << "LastVersion"
                            << "Module registry and version records are locked against editing.";
}

void TestSettingRow::lockedAndProtectedRows()
{
    QFETCH(QString, path);
    QFETCH(QString, tip);
    SettingRow *locked = row(path.toLatin1().constData());
    QVERIFY(!locked->editorContainer()->isEnabled());
    QCOMPARE(locked->editorContainer()->toolTip(), tip);
    if (path == u"MainWindow/Layout") {
        auto *line = qobject_cast<QLineEdit *>(locked->editor());
        QVERIFY(line->isReadOnly());
        QCOMPARE(line->text(), DisplayText::value(*node("MainWindow/Layout"), DisplayText::kLineLength));
    }
}

void TestSettingRow::pathLineAndMatching()
{
    SettingRow *strength = row("ModuleData/Mirelux/Strength");
    QVERIFY(strength->pathLine()->isHidden());
    strength->setShowPath(true);
    QCOMPARE(strength->pathLine()->text(), QString::fromUtf8("ModuleData \xE2\x80\xBA Mirelux"));
    QVERIFY(!strength->pathLine()->isHidden());
    SettingRow *top = row("LastVersion");
    top->setShowPath(true);
    QVERIFY(top->pathLine()->isHidden());
    QVERIFY(strength->toolTip().endsWith(QStringLiteral("\n(not documented by PixInsight)")));

    SettingRow *prefix = row("Global/Preview/Prefix");
    QVERIFY(prefix->matches(QString()));
    QVERIFY(prefix->matches(QStringLiteral("PREFIX")));
    QVERIFY(prefix->matches(QStringLiteral("new preview"))); // description
    QVERIFY(prefix->matches(QStringLiteral("previ"))); // value of a string
    QVERIFY(!prefix->matches(QStringLiteral("gamma")));
    QVERIFY(!row("Global/Preferences/Process/MaxProcessors")->matches(QStringLiteral("64")));
}

void TestSettingRow::colorButton()
{
    ColorButton button;
    button.setColor(0xFF2080C0u);
    QCOMPARE(button.text(), QStringLiteral("#FF2080C0"));
    QCOMPARE(button.iconSize(), QSize(36, 16));
    const QImage opaque = ColorButton::swatch(0xFF2080C0u).toImage();
    QCOMPARE(opaque.size(), QSize(36, 16));
    QCOMPARE(opaque.pixelColor(5, 5), QColor(0x20, 0x80, 0xC0));
    QCOMPARE(opaque.pixelColor(0, 0), QColor(90, 90, 90));
    const QImage clear = ColorButton::swatch(0x00000000u).toImage();
    QCOMPARE(clear.pixelColor(5, 5), QColor(250, 250, 250));
    QCOMPARE(clear.pixelColor(25, 5), QColor(200, 200, 200));
    QCOMPARE(clear.pixelColor(25, 12), QColor(250, 250, 250));

    SettingRow *colour = row("Global/ColorManagement/GamutWarningColor");
    auto *rowButton = qobject_cast<ColorButton *>(colour->editor());
    QVERIFY(rowButton);
    QCOMPARE(rowButton->text(), QStringLiteral("#FFFF00FF"));
    emit rowButton->colorPicked(0x80102030u);
    QCOMPARE(node("Global/ColorManagement/GamutWarningColor")->value, QString::number(0x80102030u));
    QCOMPARE(rowButton->text(), QStringLiteral("#80102030"));
}

void TestSettingRow::menus_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("deleteParent");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("warn value") << "ModuleData/Mirelux/Strength" << false
                                << QStringList{QStringLiteral("Revert this value"), QString(),
                                               QStringLiteral("Delete this setting...")};
    QTest::newRow("warn group") << "ModuleData/Mirelux" << false << QStringList{QStringLiteral("Delete this group...")};
    QTest::newRow("safe group") << "CommandHistory" << false << QStringList{QStringLiteral("Delete this group")};
    QTest::newRow("never group") << "Modules" << false << QStringList{QStringLiteral("Why can't this be deleted?")};
    QTest::newRow("deleted") << "CommandHistory" << true << QStringList{QStringLiteral("Undo deletion")};
    QTest::newRow("inside deletion") << "ModuleData/Mirelux/Strength" << true
                                     << QStringList{QStringLiteral("Revert this value"), QString(),
                                                    QStringLiteral("Inside a group marked for deletion")};
}

void TestSettingRow::menus()
{
    QFETCH(QString, path);
    QFETCH(bool, deleteParent);
    QFETCH(QStringList, entries);
    XsdtNode *target = m_file.root.findPath(path);
    if (deleteParent)
        QVERIFY(m_model.requestDeletion(path == u"CommandHistory" ? target : target->parent));
    std::unique_ptr<QMenu> menu(buildNodeMenu(m_host.get(), &m_model, target, false, {}));
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << (action->isSeparator() ? QString() : action->text());
    QCOMPARE(texts, entries);
    if (path == u"ModuleData/Mirelux/Strength" && deleteParent)
        QVERIFY(!menu->actions().constLast()->isEnabled());
}

void TestSettingRow::menuCallbacks()
{
    XsdtNode *history = node("CommandHistory");
    XsdtNode *chosen = nullptr;
    NodeMenuCallbacks callbacks;
    callbacks.deleteNode = [&chosen](XsdtNode *n) { chosen = n; };
    callbacks.reveal = [](XsdtNode *) {};
    callbacks.showHistory = [&chosen](XsdtNode *n) { chosen = n; };
    // A group has no history of its own; a value has.
    std::unique_ptr<QMenu> menu(buildNodeMenu(m_host.get(), &m_model, history, false, callbacks));
    QCOMPARE(menu->actions().size(), 3);
    XsdtNode *command = node("CommandHistory/Command01");
    std::unique_ptr<QMenu> valueMenu(buildNodeMenu(m_host.get(), &m_model, command, false, callbacks));
    QCOMPARE(valueMenu->actions().at(1)->text(), QStringLiteral("Show &history..."));
    valueMenu->actions().at(1)->trigger();
    QCOMPARE(chosen, command);
    QCOMPARE(menu->actions().at(2)->text(), QStringLiteral("Show in All settings"));
    QCOMPARE(menu->actions().at(0)->toolTip(),
             QStringLiteral("Process Console command history. Deleting clears the history."));
    menu->actions().at(0)->trigger();
    QCOMPARE(chosen, history);

    std::unique_ptr<QMenu> viewOnly(buildNodeMenu(m_host.get(), &m_model, history, true, callbacks));
    QVERIFY(!viewOnly->actions().at(0)->isEnabled());
    // Without a callback the entry does nothing.
    std::unique_ptr<QMenu> bare(buildNodeMenu(m_host.get(), &m_model, history, false, {}));
    bare->actions().at(0)->trigger();
    QVERIFY(!history->deleted);
}

void TestSettingRow::whyNotBox()
{
    std::unique_ptr<QMenu> menu(buildNodeMenu(m_host.get(), &m_model, node("Modules"), false, {}));
    QString title, text;
    test::answerNextModal([&title, &text](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
    });
    menu->actions().constFirst()->trigger();
    QCOMPARE(title, QStringLiteral("Cannot delete"));
    QCOMPARE(text, QStringLiteral("Modules\n\nModule registry. Deleting it can stop modules from loading."));
}

void TestSettingRow::booleanDelegate()
{
    ValueDelegate delegate;
    const QModelIndex flag = m_model.indexFor(node("Global/Preferences/Security/AllowUnsignedScriptExecution"), 1);
    QStyleOptionViewItem option;
    std::unique_ptr<QWidget> editor(delegate.createEditor(m_host.get(), option, flag));
    auto *combo = qobject_cast<QComboBox *>(editor.get());
    QVERIFY(combo);
    delegate.setEditorData(combo, flag);
    QCOMPARE(combo->currentText(), QStringLiteral("true"));
    combo->setCurrentIndex(1);
    delegate.setModelData(combo, &m_model, flag);
    QCOMPARE(node("Global/Preferences/Security/AllowUnsignedScriptExecution")->value, QStringLiteral("false"));

    const QModelIndex text = m_model.indexFor(node("Global/Preview/Prefix"), 1);
    std::unique_ptr<QWidget> line(delegate.createEditor(m_host.get(), option, text));
    QVERIFY(qobject_cast<QLineEdit *>(line.get()));
}

QTEST_MAIN(TestSettingRow)
#include "tst_settingrow.moc"
