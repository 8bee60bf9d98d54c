#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "ui/widgets/settingrow.h"
#include "model/settingsfilterproxy.h"
#include "model/settingsmodel.h"
#include "ui/dialogs/aboutdialog.h"
#include "ui/views/allsettingspage.h"
#include "ui/dialogs/backupsdialog.h"
#include "ui/views/cleanupview.h"
#include "ui/views/compareview.h"
#include "ui/dialogs/installedupdatesdialog.h"
#include "ui/keyboardconventions.h"
#include "tests/support/testservices.h"
#include "ui/mainwindow.h"
#include "ui/dialogs/modulesearchdialog.h"
#include "ui/views/preferencesview.h"
#include "ui/dialogs/reviewdialog.h"
#include "ui/views/searchview.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

using namespace pfw;

// The keyboard conventions of every window: Undo aside, which the main window tests cover.
class TestKeyboard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void escapeClearsSearchBoxes_data();
    void escapeClearsSearchBoxes();
    void escapeInADialogClearsBeforeClosing();
    void editKeyEditsTheValue();
    void copyPathKey();
    void shiftF10OpensTheContextMenu();
    void walkThroughPreferences();
    void accessKeysOfTheMainWindow();
    void accessKeysOfTheDialogs();
    void accessKeysAct();

private:
    QWidget *activate(QWidget *window);
    QModelIndex proxyIndex(const char *path, int column = 0) const;
    static QStringList clashesAndMissing(QWidget *window);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    HostServices m_services;
};

void TestKeyboard::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestKeyboard::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString folder = m_dir->filePath(QStringLiteral("home/.PixInsight"));
    QVERIFY(QDir().mkpath(folder));
    QFile file(folder + QLatin1String("/core-001-pxi.settings"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(SettingsGenerator::demo());
    file.close();
    m_services = test::servicesIn(m_dir->filePath(QStringLiteral("home")), [] { return false; });
    m_window = std::make_unique<MainWindow>(m_services);
    activate(m_window.get());
}

void TestKeyboard::cleanup()
{
    m_window.reset();
}

QWidget *TestKeyboard::activate(QWidget *window)
{
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        qWarning("window not active");
    return window;
}

QModelIndex TestKeyboard::proxyIndex(const char *path, int column) const
{
    SettingsModel *model = m_window->model();
    const QModelIndex source = model->indexFor(model->file()->root.findPath(QString::fromLatin1(path)), column);
    return static_cast<const QAbstractProxyModel *>(m_window->tabs()->allSettings()->tree()->model())
        ->mapFromSource(source);
}

void TestKeyboard::escapeClearsSearchBoxes_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("box");
    QTest::newRow("preferences filter") << 0 << "preferences";
    QTest::newRow("search") << 1 << "search";
    QTest::newRow("compare search") << 5 << "compare";
    QTest::newRow("all settings filter") << 6 << "all";
}

void TestKeyboard::escapeClearsSearchBoxes()
{
    QFETCH(int, tab);
    QFETCH(QString, box);
    m_window->tabs()->setCurrentIndex(tab);
    QLineEdit *edit = box == u"preferences" ? m_window->tabs()->preferences()->filterEdit()
        : box == u"search"                  ? m_window->tabs()->search()->queryEdit()
        : box == u"compare"                 ? m_window->tabs()->compare()->searchEdit()
                                            : m_window->tabs()->allSettings()->filterEdit();
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("gam"));
    QCOMPARE(edit->text(), QStringLiteral("gam"));
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(edit->text(), QString());
    QTest::keyClick(edit, Qt::Key_Escape); // empty: nothing happens, nothing breaks
    QVERIFY(m_window->isVisible());
}

// Esc first empties the filter of a dialog, and only then closes it.
void TestKeyboard::escapeInADialogClearsBeforeClosing()
{
    QDialog dialog;
    auto *layout = new QVBoxLayout(&dialog);
    auto *filter = new QLineEdit(&dialog);
    auto *plain = new QLineEdit(&dialog);
    KeyboardConventions::markSearchBox(filter);
    layout->addWidget(filter);
    layout->addWidget(plain);
    activate(&dialog);
    filter->setFocus();
    filter->setText(QStringLiteral("abc"));
    QTest::keyClick(filter, Qt::Key_Escape);
    QCOMPARE(filter->text(), QString());
    QVERIFY(dialog.isVisible());
    QTest::keyClick(filter, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());

    // A field that is not a search box keeps its text: Esc is the dialog's.
    activate(&dialog);
    plain->setFocus();
    plain->setText(QStringLiteral("abc"));
    QTest::keyClick(plain, Qt::Key_Escape);
    QCOMPARE(plain->text(), QStringLiteral("abc"));
    QVERIFY(!dialog.isVisible());
}

void TestKeyboard::editKeyEditsTheValue()
{
    m_window->tabs()->setCurrentWidget(m_window->tabs()->allSettings());
    QTreeView *tree = m_window->tabs()->allSettings()->tree();
    tree->setFocus();
    tree->setCurrentIndex(proxyIndex("Global/Preferences/Process/MaxProcessors"));
    // An open editor is a child of the tree that holds the focus.
    const auto editing
        = [tree] { return QApplication::focusWidget() != tree && tree->isAncestorOf(QApplication::focusWidget()); };
    QTest::keyClick(tree, Qt::Key_F2);
    QVERIFY(editing());
    QCOMPARE(tree->currentIndex(), proxyIndex("Global/Preferences/Process/MaxProcessors", 1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!editing());

    // A group has no value to edit.
    tree->setFocus();
    tree->setCurrentIndex(proxyIndex("Global/Preferences"));
    QTest::keyClick(tree, Qt::Key_F2);
    QVERIFY(!editing());
}

void TestKeyboard::copyPathKey()
{
    m_window->tabs()->setCurrentWidget(m_window->tabs()->allSettings());
    QTreeView *tree = m_window->tabs()->allSettings()->tree();
    tree->setFocus();
    tree->setCurrentIndex(proxyIndex("Global/RGBWorkingSpace/Gamma", 1));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Global/RGBWorkingSpace/Gamma"));
    // The menu names the key.
    std::unique_ptr<QMenu> menu(m_window->tabs()->allSettings()->buildContextMenu(
        m_window->model()->file()->root.findPath(u"Global/RGBWorkingSpace/Gamma")));
    const QList<QAction *> actions = menu->actions();
    const auto copy = std::find_if(actions.cbegin(), actions.cend(),
                                   [](QAction *action) { return action->text() == u"Copy setting path"; });
    QVERIFY(copy != actions.cend());
    QCOMPARE((*copy)->shortcut(), AllSettingsPage::copyPathKey());
}

void TestKeyboard::shiftF10OpensTheContextMenu()
{
    m_window->tabs()->setCurrentWidget(m_window->tabs()->allSettings());
    QTreeView *tree = m_window->tabs()->allSettings()->tree();
    tree->setFocus();
    const QModelIndex gamma = proxyIndex("Global/RGBWorkingSpace/Gamma");
    tree->setCurrentIndex(gamma);
    QSignalSpy requests(tree, &QWidget::customContextMenuRequested);
    bool menuShown = false;
    // The menu runs its own loop; close it once it is up.
    std::function<void(int)> closeMenu = [&menuShown, &closeMenu](int attempts) {
        QTimer::singleShot(10, [&menuShown, &closeMenu, attempts] {
            if (QWidget *popup = QApplication::activePopupWidget()) {
                menuShown = true;
                popup->close();
            } else if (attempts > 0) {
                closeMenu(attempts - 1);
            }
        });
    };
    closeMenu(300);
    QTest::keyClick(tree, Qt::Key_F10, Qt::ShiftModifier);
    QVERIFY(menuShown);
    QCOMPARE(requests.size(), 1);
    // The menu is about the current row, wherever the mouse is.
    QCOMPARE(tree->indexAt(requests.at(0).at(0).toPoint()).siblingAtColumn(0), gamma);
}

// Tab goes from the filter to the page list, and from there through every row of the page.
void TestKeyboard::walkThroughPreferences()
{
    PreferencesView *preferences = m_window->tabs()->preferences();
    m_window->tabs()->setCurrentWidget(preferences);
    preferences->filterEdit()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), preferences->pageList());
    QTest::keyClick(preferences->pageList(), Qt::Key_Down);
    QCOMPARE(preferences->pageList()->currentRow(), 1);
    const PreferencesView::Page *page = preferences->pages().at(1).get();
    QCOMPARE(preferences->pageStack()->currentWidget(), page->scroll);

    QSet<QWidget *> reached;
    for (int i = 0; i < 400 && QApplication::focusWidget() != preferences->filterEdit(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.insert(QApplication::focusWidget());
    }
    int editors = 0;
    for (const SettingRow *row : page->rows) {
        QWidget *editor = row->editor();
        if (!editor || !editor->isVisible() || !editor->isEnabled())
            continue;
        ++editors;
        // A spin box takes the focus itself; a composite editor through one of its children.
        const bool focused = std::any_of(reached.cbegin(), reached.cend(), [editor](QWidget *widget) {
            return widget == editor || editor->isAncestorOf(widget);
        });
        QVERIFY2(focused,
                 qPrintable(row->objectName() + u' ' + QString::fromLatin1(editor->metaObject()->className())));
    }
    QVERIFY(editors > 3);
}

// Alt and a letter: every key once per window as it is shown, and every fixed button has one.
// Rows and cards in scroll areas repeat their buttons and are reached with Tab instead.
QStringList TestKeyboard::clashesAndMissing(QWidget *window)
{
    QStringList problems;
    QHash<QKeySequence, QString> owners;
    const auto claim = [&](const QKeySequence &key, const QString &owner) {
        if (key.isEmpty() || !(key[0].keyboardModifiers() & Qt::AltModifier))
            return;
        if (owners.contains(key))
            problems << QStringLiteral("%1: %2 and %3").arg(key.toString(), owners.value(key), owner);
        owners.insert(key, owner);
    };
    for (QMenuBar *bar : window->findChildren<QMenuBar *>()) {
        for (QAction *action : bar->actions())
            claim(QKeySequence::mnemonic(action->text()), action->text());
    }
    const auto inScrollArea = [window](QWidget *widget) {
        for (QWidget *w = widget->parentWidget(); w && w != window; w = w->parentWidget()) {
            if (qobject_cast<QScrollArea *>(w) || qobject_cast<QToolBar *>(w))
                return true;
        }
        return false;
    };
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (button->window() != window || !button->isVisible() || inScrollArea(button))
            continue;
        const bool ownKey = !button->findChildren<QShortcut *>(Qt::FindDirectChildrenOnly).isEmpty();
        if (button->shortcut().isEmpty() && !ownKey && !button->text().isEmpty())
            problems << QStringLiteral("no key: ") + button->text();
        claim(button->shortcut(), button->text());
    }
    for (QShortcut *shortcut : window->findChildren<QShortcut *>()) {
        auto *field = qobject_cast<QWidget *>(shortcut->parent());
        if (field && field->window() == window && field->isVisible() && shortcut->isEnabled())
            claim(shortcut->key(), QString::fromLatin1(field->metaObject()->className()));
    }
    return problems;
}

void TestKeyboard::accessKeysOfTheMainWindow()
{
    for (int tab = 0; tab < m_window->tabs()->count(); ++tab) {
        m_window->tabs()->setCurrentIndex(tab);
        const QStringList problems = clashesAndMissing(m_window.get());
        QVERIFY2(problems.isEmpty(),
                 qPrintable(m_window->tabs()->tabText(tab) + QLatin1String(": ") + problems.join(QLatin1String("; "))));
    }
}

void TestKeyboard::accessKeysOfTheDialogs()
{
    XsdtFile file;
    QVERIFY(file.parse(SettingsGenerator::demo()));
    SettingsModel model;
    model.setDocument(&file);
    QVERIFY(
        model.setData(model.indexFor(file.root.findPath(u"Global/RGBWorkingSpace/Gamma"), SettingsModel::ValueColumn),
                      QStringLiteral("1.8")));
    const QString settings = m_dir->filePath(QStringLiteral("home/.PixInsight/core-001-pxi.settings"));
    QFile::copy(settings, settings + QLatin1String(".bak-20260101-000000"));

    std::vector<std::unique_ptr<QWidget>> dialogs;
    dialogs.push_back(std::make_unique<ReviewDialog>(&model, &file.root));
    dialogs.push_back(std::make_unique<BackupsDialog>(settings));
    dialogs.push_back(std::make_unique<AboutDialog>(settings, QString(), m_services.environment));
    dialogs.push_back(std::make_unique<ModuleSearchDialog>(QStringList{QStringLiteral("Mirelux")}));
    dialogs.push_back(
        std::make_unique<InstalledUpdatesDialog>(m_dir->filePath(QStringLiteral("installed.xri")), m_services));
    for (const auto &dialog : dialogs) {
        activate(dialog.get());
        const QStringList problems = clashesAndMissing(dialog.get());
        QVERIFY2(problems.isEmpty(),
                 qPrintable(QString::fromLatin1(dialog->metaObject()->className()) + QLatin1String(": ")
                            + problems.join(QLatin1String("; "))));
    }
}

void TestKeyboard::accessKeysAct()
{
    m_window->tabs()->setCurrentWidget(m_window->tabs()->compare());
    QTest::keyClick(m_window.get(), Qt::Key_W, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), m_window->tabs()->compare()->fileBox());

    m_window->tabs()->setCurrentWidget(m_window->tabs()->allSettings());
    QCheckBox *changedOnly = m_window->tabs()->allSettings()->changedOnlyBox();
    QVERIFY(!changedOnly->isChecked());
    QTest::keyClick(m_window.get(), Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY(changedOnly->isChecked());
    // Pages have no access keys: Ctrl+Tab moves on, wherever the focus is.
    m_window->tabs()->allSettings()->tree()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(m_window->tabs()->currentIndex(), 0);
    m_window->tabs()->search()->queryEdit()->setFocus();
    m_window->tabs()->setCurrentWidget(m_window->tabs()->search());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(m_window->tabs()->currentIndex(), 2);
    m_window->tabs()->setCurrentWidget(m_window->tabs()->allSettings());
    // A key of a page that is not shown does nothing.
    QTest::keyClick(m_window.get(), Qt::Key_W, Qt::AltModifier);
    QVERIFY(QApplication::focusWidget() != m_window->tabs()->compare()->fileBox());
}

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
