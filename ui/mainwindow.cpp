#include "ui/mainwindow.h"

#include "core/backups.h"
#include "model/busyscope.h"
#include "model/settingsfilterproxy.h"
#include "model/settingsmodel.h"
#include "modules/installedrecords.h"
#include "modules/leftoverremoval.h"
#include "modules/moduleregistry.h"
#include "platform/hostlocations.h"
#include "ui/aboutdialog.h"
#include "ui/accesskeys.h"
#include "ui/adbanner.h"
#include "ui/allsettingspage.h"
#include "ui/backupsdialog.h"
#include "ui/cleanupview.h"
#include "ui/compareview.h"
#include "ui/deletionflow.h"
#include "ui/environmentwatcher.h"
#include "ui/glyphicon.h"
#include "ui/healthview.h"
#include "ui/installedupdatesdialog.h"
#include "ui/keyboardconventions.h"
#include "ui/modulesearchdialog.h"
#include "ui/preferencesview.h"
#include "ui/reviewdialog.h"
#include "ui/screenplacement.h"
#include "ui/searchview.h"
#include "ui/thememanager.h"
#include "ui/unusedmodulesview.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QTreeWidget>
#include <QListWidget>
#include <QDir>
#include <QCheckBox>
#include <QCloseEvent>
#include <QActionGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QInputDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QStandardPaths>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeView>
#include <QUndoStack>
#include <QVBoxLayout>

namespace pfw {

namespace {

const QColor kRunningBanner(255, 190, 0, 90);
const QColor kChangedBanner(255, 120, 0, 90);
const QColor kLayoutBanner(80, 160, 255, 70);

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    const QString canonical = first.canonicalFilePath();
    return canonical.isEmpty() ? first.absoluteFilePath() == second.absoluteFilePath()
                               : canonical == second.canonicalFilePath();
}

} // namespace

MainWindow::MainWindow(const HostServices &services, QWidget *parent)
    : QMainWindow(parent)
    , m_services(services)
{
    QString error;
    if (!m_schema.loadBuiltIn(&error))
        QMessageBox::warning(this, tr("Settings schema"),
                             tr("The built-in settings descriptions could not be read (%1). Names and descriptions "
                                "will be limited.")
                                 .arg(error));
    if (!m_policy.loadBuiltIn(&error))
        QMessageBox::warning(this, tr("Deletion rules"),
                             tr("The built-in deletion rules could not be read (%1). Deleting entries is disabled.")
                                 .arg(error));
    m_document.setPolicy(&m_policy);
    m_document.setRunningCheck(m_services.isHostRunning);

    resize(1100, 760);
    updateStatusBarStyle();
    KeyboardConventions::install();
    m_model = new SettingsModel(this);
    m_model->setPolicy(&m_policy);
    m_undoStack = new QUndoStack(this);
    m_model->setUndoStack(m_undoStack);
    m_proxy = new SettingsFilterProxy(this);
    m_proxy->setSourceModel(m_model);
    m_deletion = new DeletionFlow(m_model, this);
    buildActions();
    buildCentralWidget();
    buildToolbar();

    connect(m_model, &SettingsModel::edited, this, &MainWindow::onEdited);
    connect(m_model, &SettingsModel::editRejected, this,
            [this](const QString &reason) { showMessage(tr("Not accepted - %1").arg(reason), 8000); });
    connect(m_deletion, &DeletionFlow::message, this, &MainWindow::showMessage);

    EnvironmentWatcher::Probes probes;
    probes.isHostRunning = m_services.isHostRunning;
    probes.changedOnDisk = [this] { return m_loaded && m_document.changedOnDisk(); };
    probes.unsavedCount = [this] { return unsavedCount(); };
    probes.isBusy = [this] { return isBusy(); };
    m_watcher = new EnvironmentWatcher(probes, this);
    connect(m_watcher, &EnvironmentWatcher::polled, this, &MainWindow::onEnvironmentPolled);
    connect(m_watcher, &EnvironmentWatcher::reloadRequested, this, [this] { openFile(m_document.path()); });
    m_watcher->start(3000);

    const QStringList found = findSettingsFiles(m_services.environment);
    if (!found.isEmpty()) {
        openFile(found.constFirst());
    } else {
        refreshFileBox();
        refreshState();
        QStringList folders;
        for (const QString &folder : defaultSettingsFolders(m_services.environment))
            folders << QDir::toNativeSeparators(folder);
        statusBar()->showMessage(tr("No PixInsight settings file found in %1. Use Browse to open one.")
                                     .arg(folders.join(QLatin1String("; "))));
    }
    pollEnvironment();
}

MainWindow::~MainWindow()
{
    // The views and the model must let go of the tree before the document destroys it.
    detachViews();
}

void MainWindow::buildActions()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    m_openAction = file->addAction(tr("&Open settings file..."), this, &MainWindow::onOpen);
    m_openAction->setShortcut(QKeySequence::Open);
    m_reloadAction = file->addAction(tr("&Reload from disk"), this, &MainWindow::onReload);
    m_reloadAction->setShortcut(QKeySequence::Refresh);
    file->addSeparator();
    m_findModuleAction = file->addAction(tr("Find &module data..."), this, &MainWindow::onFindModule);
    m_findModuleAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+M")));
    m_findModuleAction->setStatusTip(tr("Look up everything the file records about one module"));
    file->addAction(tr("&Unused module data"), this, &MainWindow::onUnusedModules)
        ->setStatusTip(tr("Modules with saved data that are no longer in PixInsight's module list"));
    file->addAction(tr("Run &health check"), this, &MainWindow::onHealthCheck)
        ->setStatusTip(tr("Look for settings that are probably wrong"));
    file->addSeparator();
    m_installedUpdatesAction = file->addAction(tr("Installed &updates..."), this, &MainWindow::onInstalledUpdates);
    m_installedUpdatesAction->setStatusTip(
        tr("PixInsight's own record of installed updates: remove a module's record so PixInsight offers it again"));
    // PixInsight may be installed or removed while the program runs.
    connect(file, &QMenu::aboutToShow, this, [this] {
        const bool found = !installedRecordPath().isEmpty();
        m_installedUpdatesAction->setEnabled(found);
        m_installedUpdatesAction->setToolTip(found ? QString() : tr("PixInsight's installed.xri was not found on this computer."));
    });
    file->addSeparator();
    m_saveAction = file->addAction(tr("&Save changes..."), this, [this] { onSave(); });
    m_saveAction->setShortcut(QKeySequence::Save);
    m_saveAction->setStatusTip(tr("Review the pending changes, then save"));
    m_restoreAction = file->addAction(tr("Restore &backup..."), this, &MainWindow::onRestoreBackup);
    m_backupsAction = file->addAction(tr("&Manage backups..."), this, &MainWindow::onManageBackups);
    file->addSeparator();
    m_quitAction = file->addAction(tr("&Quit"), this, &QWidget::close);
    m_quitAction->setShortcut(QKeySequence::Quit);
    m_quitAction->setMenuRole(QAction::QuitRole);

    ThemeManager &theme = ThemeManager::instance();
    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    m_undoAction = m_undoStack->createUndoAction(this, tr("&Undo"));
    m_redoAction = m_undoStack->createRedoAction(this, tr("&Redo"));
    // Through the model: a step is signalled as one, and nothing is undone while view only.
    disconnect(m_undoAction, &QAction::triggered, m_undoStack, &QUndoStack::undo);
    disconnect(m_redoAction, &QAction::triggered, m_undoStack, &QUndoStack::redo);
    connect(m_undoAction, &QAction::triggered, m_model, &SettingsModel::undo);
    connect(m_redoAction, &QAction::triggered, m_model, &SettingsModel::redo);
    m_undoAction->setShortcut(QKeySequence::Undo);
    m_redoAction->setShortcut(QKeySequence::Redo);
    edit->addAction(m_undoAction);
    edit->addAction(m_redoAction);
    // The stack enables the actions by its own state; view only overrides that afterwards.
    connect(m_undoStack, &QUndoStack::canUndoChanged, this, &MainWindow::updateUndoActions);
    connect(m_undoStack, &QUndoStack::canRedoChanged, this, &MainWindow::updateUndoActions);
    connect(m_model, &SettingsModel::historyChanged, this, &MainWindow::updateUndoActions);
    updateUndoActions();
    edit->addSeparator();
    m_revertAllAction = edit->addAction(tr("Revert &all changes"), this, &MainWindow::onRevertAll);
    edit->addSeparator();
    QMenu *themes = edit->addMenu(tr("&Theme"));
    auto *themeGroup = new QActionGroup(this);
    const std::pair<int, QString> modes[] = {{ThemeManager::Light, tr("&Light")},
                                             {ThemeManager::Dark, tr("&Dark")},
                                             {ThemeManager::System, tr("Follow &system")}};
    for (const auto &[mode, text] : modes) {
        QAction *action = themes->addAction(text, this, [mode = mode] { ThemeManager::instance().setMode(mode, true); });
        action->setCheckable(true);
        action->setChecked(theme.mode() == mode);
        themeGroup->addAction(action);
        m_themeActions.insert(mode, action);
    }
    themes->addSeparator();
    m_toggleThemeAction = themes->addAction(tr("Toggle light/dark"), this, [] {
        ThemeManager &manager = ThemeManager::instance();
        manager.setMode(manager.isDark() ? ThemeManager::Light : ThemeManager::Dark, true);
    });
    m_toggleThemeAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+D")));

    QMenu *view = menuBar()->addMenu(tr("&View"));
    view->addAction(tr("&Expand all"), this, [this] { m_allSettings->tree()->expandAll(); });
    view->addAction(tr("&Collapse all"), this, [this] { m_allSettings->collapseToPreferences(); });
    view->addSeparator();
    QAction *larger = view->addAction(tr("&Larger text"), this, [] { ThemeManager::instance().stepScale(+1); });
    larger->setShortcuts({QKeySequence(QKeySequence::ZoomIn), QKeySequence(QStringLiteral("Ctrl+="))});
    QAction *smaller = view->addAction(tr("&Smaller text"), this, [] { ThemeManager::instance().stepScale(-1); });
    smaller->setShortcut(QKeySequence::ZoomOut);
    QAction *defaultSize = view->addAction(tr("&Default text size"), this, [] { ThemeManager::instance().resetScale(); });
    defaultSize->setShortcut(QKeySequence(QStringLiteral("Ctrl+0")));
    view->addSeparator();
    m_toolbar = new QToolBar(tr("Main toolbar"), this);
    m_toolbar->setObjectName(QStringLiteral("MainToolbar"));
    QAction *showToolbar = m_toolbar->toggleViewAction();
    showToolbar->setText(tr("&Toolbar"));
    view->addAction(showToolbar);
    m_lastScale = theme.scale();
    connect(&theme, &ThemeManager::changed, this, &MainWindow::onThemeChanged);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&User Guide"), this, [] { AboutDialog::openUserGuide(); });
    help->addSeparator();
    m_aboutAction = help->addAction(tr("&About Prefwright"), this, &MainWindow::onAbout);
    m_aboutAction->setMenuRole(QAction::AboutRole);
    QAction *aboutQt = help->addAction(tr("About &Qt"), qApp, &QApplication::aboutQt);
    aboutQt->setMenuRole(QAction::AboutQtRole);
}

void MainWindow::buildCentralWidget()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 8, 8, 8);

    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(new QLabel(tr("File:"), central));
    m_fileBox = new QComboBox(central);
    m_fileBox->setEditable(false);
    m_fileBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    fileRow->addWidget(m_fileBox, 1);
    auto *browse = new QPushButton(tr("Browse..."), central);
    setAccessKey(m_fileBox, u'i');
    setAccessKey(browse, u'b');
    fileRow->addWidget(browse);
    layout->addLayout(fileRow);
    connect(browse, &QPushButton::clicked, this, &MainWindow::onOpen);
    connect(m_fileBox, &QComboBox::activated, this, &MainWindow::fileChosen);

    auto *bannerRow = new QHBoxLayout;
    m_banner = new QLabel(central);
    m_banner->setWordWrap(true);
    m_banner->setMargin(8);
    m_banner->setAutoFillBackground(true);
    m_banner->setTextFormat(Qt::RichText);
    m_banner->hide();
    m_reloadButton = new QPushButton(tr("Reload"), central);
    setAccessKey(m_reloadButton, u'r');
    m_reloadButton->hide();
    bannerRow->addWidget(m_banner, 1);
    bannerRow->addWidget(m_reloadButton);
    layout->addLayout(bannerRow);
    connect(m_reloadButton, &QPushButton::clicked, this, &MainWindow::onReload);

    m_tabs = new QTabWidget(central);
    m_preferences = new PreferencesView(m_model, &m_schema, m_tabs);
    m_search = new SearchView(m_model, &m_schema, m_tabs);
    m_cleanup = new CleanupView(m_model, m_tabs);
    m_unused = new UnusedModulesView(m_model, &m_schema, m_tabs);
    m_health = new HealthView(m_model, &m_schema, m_tabs);
    m_compare = new CompareView(m_model, m_tabs);
    m_compare->setEnvironment(m_services.environment);
    m_allSettings = new AllSettingsPage(m_model, m_proxy, m_deletion, m_tabs);
    m_tabs->addTab(m_preferences, tr("Preferences"));
    m_tabs->addTab(m_search, tr("Search"));
    m_tabs->addTab(m_cleanup, tr("Cleanup"));
    m_tabs->addTab(m_unused, tr("Unused modules"));
    m_tabs->addTab(m_health, tr("Health check"));
    m_tabs->addTab(m_compare, tr("Compare"));
    m_tabs->addTab(m_allSettings, tr("All settings (advanced)"));
    const auto rejected = [this](const QString &reason) { showMessage(tr("Not accepted - %1").arg(reason), 8000); };
    const auto remove = [this](XsdtNode *node) { m_deletion->confirmAndQueueDeletion(node); };
    const auto restore = [this](XsdtNode *node) { m_model->undoDeletion(node); };
    connect(m_preferences, &PreferencesView::message, this, rejected);
    connect(m_preferences, &PreferencesView::deleteRequested, this, remove);
    connect(m_preferences, &PreferencesView::restoreRequested, this, restore);
    connect(m_search, &SearchView::message, this, rejected);
    connect(m_search, &SearchView::deleteRequested, this, remove);
    connect(m_search, &SearchView::restoreRequested, this, restore);
    connect(m_search, &SearchView::revealRequested, this, &MainWindow::revealNode);
    connect(m_compare, &CompareView::message, this, [this](const QString &text) { showMessage(text, 8000); });
    connect(m_compare, &CompareView::revealRequested, this, &MainWindow::revealNode);
    connect(m_cleanup, &CleanupView::message, this, [this](const QString &text) { showMessage(text, 8000); });
    connect(m_unused, &UnusedModulesView::message, this, [this](const QString &text) { showMessage(text, 10000); });
    connect(m_unused, &UnusedModulesView::deleteRequested, this, remove);
    connect(m_unused, &UnusedModulesView::restoreRequested, this, restore);
    connect(m_unused, &UnusedModulesView::revealRequested, this, &MainWindow::revealNode);
    connect(m_unused, &UnusedModulesView::queueChanged, this, &MainWindow::refreshState);
    connect(m_health, &HealthView::message, this, rejected);
    connect(m_health, &HealthView::deleteRequested, this, remove);
    connect(m_health, &HealthView::restoreRequested, this, restore);
    connect(m_health, &HealthView::revealRequested, this, &MainWindow::revealNode);
    connect(m_health, &HealthView::openUnusedModules, this, &MainWindow::onUnusedModules);
    connect(m_health, &HealthView::summaryChanged, this, [this](int problems, int warnings) {
        const int shown = problems + warnings;
        m_tabs->setTabText(m_tabs->indexOf(m_health), shown < 1 ? tr("Health check") : tr("Health check (%1)").arg(shown));
    });
    // The standard Find key, anywhere in the window, goes to the Search tab's query.
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_tabs->setCurrentWidget(m_search);
        m_search->queryEdit()->setFocus();
        m_search->queryEdit()->selectAll();
    });
    layout->addWidget(m_tabs, 1);

    auto *line = new QFrame(central);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    m_adBanner = new AdBanner(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QLatin1String("/ads"), central);
    layout->addWidget(m_adBanner);
    setCentralWidget(central);
}

int MainWindow::unsavedCount() const
{
    return m_loaded ? int(m_document.pendingChangeCount() + m_unused->queuedRequests().size()) : 0;
}

void MainWindow::showMessage(const QString &text, int timeoutMs)
{
    statusBar()->showMessage(text, timeoutMs);
}

void MainWindow::updateStatusBarStyle()
{
    statusBar()->setStyleSheet(
        QStringLiteral("QStatusBar { background: palette(midlight); border-top: 1px solid palette(mid); }"));
}

void MainWindow::onThemeChanged()
{
    updateStatusBarStyle();
    if (QAction *current = m_themeActions.value(ThemeManager::instance().mode()))
        current->setChecked(true);
    refreshState();
    const double scale = ThemeManager::instance().scale();
    if (std::abs(scale - m_lastScale) > 0.000001) {
        m_lastScale = scale;
        showMessage(tr("Text size %1%").arg(qRound(scale * 100 / ThemeManager::kDefaultScale)), 3000);
    }
}

void MainWindow::detachViews(bool keepHistory)
{
    m_preferences->setDocument(nullptr);
    m_search->setDocument(nullptr);
    m_unused->setDocument(nullptr);
    m_health->setFile(nullptr);
    m_cleanup->refresh(nullptr);
    m_compare->setDocument(nullptr, QString());
    m_model->setDocument(nullptr, keepHistory);
}

void MainWindow::attachViews(bool keepHistory)
{
    XsdtFile *file = m_loaded ? &m_document.file() : nullptr;
    m_unused->setFolders(findInstallFolder({}, m_services.environment),
                         m_loaded ? userDataFolderFor(m_document.path()) : QString());
    m_model->setDocument(file, keepHistory);
    m_preferences->setDocument(file);
    m_search->setDocument(file);
    m_unused->setDocument(file);
    m_health->setFile(file);
    m_cleanup->refresh(file);
    m_compare->setDocument(file, m_loaded ? m_document.path() : QString());
    m_model->setReadOnly(m_running);
    setViewsViewOnly(m_running);
    refreshFileBox();
}

void MainWindow::revealNode(XsdtNode *node)
{
    if (!node)
        return;
    m_tabs->setCurrentWidget(m_allSettings);
    m_allSettings->revealNode(node);
}

void MainWindow::fullModuleSearch(const QString &name)
{
    m_tabs->setCurrentWidget(m_search);
    m_search->clearRestriction();
    m_search->setQuery(name);
    m_search->queryEdit()->setFocus();
    m_search->queryEdit()->selectAll();
}

void MainWindow::onFindModule()
{
    const BusyScope busy;
    if (!m_loaded) {
        QMessageBox::information(this, tr("Find module data"), tr("Open a settings file first."));
        return;
    }
    const XsdtFile &file = m_document.file();
    QStringList names = registeredModuleNames(file) + moduleDataNames(file);
    names.removeDuplicates();
    std::stable_sort(names.begin(), names.end(),
                     [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    ModuleSearchDialog dialog(names, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.name();
    if (dialog.fullSearch()) {
        fullModuleSearch(name);
        return;
    }
    bool exact = false;
    QList<XsdtNode *> nodes;
    QStringList labels;
    for (const ModuleInfo &info : findModules(file, name, &exact)) {
        nodes += moduleValueNodes(info);
        labels << (info.registered ? tr("%1 (installed)") : tr("%1 (not in the module list)")).arg(info.name);
    }
    if (nodes.isEmpty()) {
        if (QMessageBox::question(this, tr("Find module data"),
                                  tr("Nothing recorded for \"%1\" in the places module names usually go.\n\nRun a full "
                                     "search instead?")
                                      .arg(name),
                                  QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes)
            fullModuleSearch(name);
        return;
    }
    const int count = int(nodes.size());
    const QString heading = exact
        ? tr("Module search for \"%1\": registry entry, module data, module settings and process entries - %2, %n "
             "value(s). Type words below to narrow them.", nullptr, count)
              .arg(name, labels.join(QLatin1String(", ")))
        : tr("No module is called exactly \"%1\"; showing modules whose name contains it: %2 - %n value(s).", nullptr,
             count)
              .arg(name, labels.join(QLatin1String(", ")));
    m_tabs->setCurrentWidget(m_search);
    m_search->showNodes(nodes, heading);
    m_search->queryEdit()->setFocus();
}

bool MainWindow::openFile(const QString &path)
{
    m_unused->clearQueue();
    detachViews();
    QString error;
    const bool ok = m_document.load(path, &error);
    m_loaded = m_document.isLoaded();
    attachViews();
    if (!ok) {
        QMessageBox::critical(this, tr("Cannot open file"), error);
        refreshState();
        return false;
    }
    m_changedOnDisk = false;
    m_allSettings->collapseToPreferences();
    showMessage(tr("Loaded %1").arg(QDir::toNativeSeparators(path)), 5000);
    refreshState();
    return true;
}

void MainWindow::refreshState()
{
    const int n = unsavedCount();
    m_fileBox->setToolTip(m_loaded ? QDir::toNativeSeparators(m_document.path()) : tr("No settings file loaded."));

    QString text;
    QColor colour;
    if (m_running) {
        text = tr("<b>PixInsight is running - view only.</b> It keeps its settings in memory and overwrites this "
                  "file, so edits made now would be lost. Close PixInsight to edit.");
        colour = kRunningBanner;
    } else if (m_changedOnDisk) {
        text = n == 0 ? tr("<b>The file changed on disk since it was loaded.</b>")
                      : tr("<b>The file changed on disk since it was loaded.</b> Saving is blocked. Reload to continue "
                           "(your %1 unsaved change(s) will be discarded).")
                            .arg(n);
        colour = kChangedBanner;
    } else if (m_loaded && !m_document.file().validUtf8) {
        // Checked before the layout: "values are unaffected" would not be true here.
        text = tr("This file contains bytes that are not valid UTF-8 (first at line %1, column %2). Saving would "
                  "replace them with the Unicode replacement character.")
                   .arg(m_document.file().invalidUtf8Line)
                   .arg(m_document.file().invalidUtf8Column);
        colour = kChangedBanner;
    } else if (m_loaded && !m_document.compactLayout()) {
        text = tr("This file uses a non-default layout (for example indented XML). Values are unaffected; saving "
                  "will rewrite it in PixInsight's compact layout.");
        colour = kLayoutBanner;
    }
    m_banner->setText(text);
    m_banner->setVisible(!text.isEmpty());
    m_reloadButton->setVisible(!m_running && m_changedOnDisk);
    QPalette palette = m_banner->palette();
    palette.setColor(QPalette::Window, colour);
    m_banner->setPalette(palette);

    m_reloadAction->setEnabled(m_loaded);
    m_saveAction->setEnabled(m_loaded && n > 0 && !m_running && !m_changedOnDisk);
    m_revertAllAction->setEnabled(n > 0);
    m_restoreAction->setEnabled(m_loaded && !m_running);
    m_backupsAction->setEnabled(m_loaded);
    setWindowTitle(n == 0 ? tr("Prefwright") : tr("Prefwright - %n unsaved change(s)", nullptr, n));
}

void MainWindow::refreshFileBox()
{
    m_foundFiles = findSettingsFiles(m_services.environment);
    const QSignalBlocker blocker(m_fileBox);
    m_fileBox->clear();
    int current = -1;
    for (const QString &path : std::as_const(m_foundFiles)) {
        m_fileBox->addItem(describeSettingsFile(path), path);
        if (m_loaded && current < 0 && sameFile(path, m_document.path()))
            current = m_fileBox->count() - 1;
    }
    if (m_loaded && current < 0) {
        m_fileBox->addItem(describeSettingsFile(m_document.path()), m_document.path());
        current = m_fileBox->count() - 1;
    }
    if (m_fileBox->count() == 0)
        m_fileBox->addItem(tr("No settings file found - use Browse..."), QString());
    m_fileBox->setCurrentIndex(current);
}

void MainWindow::fileChosen(int index)
{
    const BusyScope busy;
    const QString path = m_fileBox->itemData(index).toString();
    if (path.isEmpty() || (m_loaded && sameFile(path, m_document.path())))
        return;
    if (confirmDiscard(tr("Opening another file discards them.")))
        openFile(path);
    else
        refreshFileBox();
}

bool MainWindow::confirmDiscard(const QString &reason)
{
    const int n = unsavedCount();
    if (n == 0)
        return true;
    QMessageBox box(QMessageBox::Question, tr("Discard changes?"),
                    tr("You have %n unsaved change(s). %1", nullptr, n).arg(reason),
                    QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Discard;
}

void MainWindow::onOpen()
{
    const BusyScope busy;
    if (!confirmDiscard(tr("Opening another file discards them.")))
        return;
    QString start;
    if (m_loaded)
        start = QFileInfo(m_document.path()).absolutePath();
    else if (const QStringList folders = defaultSettingsFolders(m_services.environment); !folders.isEmpty())
        start = folders.constFirst();
    const QString path = QFileDialog::getOpenFileName(this, tr("Open PixInsight settings file"), start,
                                                      tr("PixInsight settings (*.settings);;All files (*)"));
    if (!path.isEmpty())
        openFile(path);
}

void MainWindow::onReload()
{
    const BusyScope busy;
    if (!m_loaded || !confirmDiscard(tr("Reloading discards them.")))
        return;
    openFile(m_document.path());
}

void MainWindow::onEdited()
{
    refreshState();
}

void MainWindow::onRevertAll()
{
    const BusyScope busy;
    const int n = unsavedCount();
    if (n == 0)
        return;
    if (QMessageBox::question(this, tr("Revert all changes"), tr("Discard all %n unsaved change(s)?", nullptr, n),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    const QStringList leftovers = m_unused->queuedRequests();
    m_model->beginBatch();
    m_model->revertAll();
    if (!leftovers.isEmpty())
        m_model->recordExternal(SettingsModel::ExternalChange::Reverted, int(leftovers.size()), [view = QPointer(m_unused), leftovers](bool redo) {
            if (view)
                view->setQueued(leftovers, !redo);
        });
    m_model->endBatch();
    m_unused->clearQueue();
    refreshState();
}

void MainWindow::updateUndoActions()
{
    m_undoAction->setEnabled(m_model->canUndo());
    m_redoAction->setEnabled(m_model->canRedo());
}

void MainWindow::onRestoreBackup()
{
    const BusyScope busy;
    if (!m_loaded)
        return;
    const QStringList backups = listBackups(m_document.path());
    if (backups.isEmpty()) {
        QMessageBox::information(this, tr("Restore backup"), tr("No backups were found next to the settings file."));
        return;
    }
    QStringList choices;
    for (const QString &path : backups) {
        const QFileInfo info(path);
        choices << QStringLiteral("%1   (%2, %3 KiB)")
                       .arg(info.fileName(), info.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            QString::number(info.size() / 1024));
    }
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, tr("Restore backup"), tr("Backup to restore (newest first):"),
                                                 choices, 0, false, &ok);
    if (!ok)
        return;
    const QString backup = backups.at(qMax(0, int(choices.indexOf(chosen))));
    if (!confirmDiscard(tr("Restoring discards them.")))
        return;
    if (QMessageBox::question(this, tr("Restore backup"),
                              tr("Replace the current settings file with\n%1\n\nThe current file is backed up first.")
                                  .arg(QFileInfo(backup).fileName()),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    detachViews();
    QString error;
    const bool restored = m_document.restoreBackup(backup, &error);
    m_loaded = m_document.isLoaded();
    attachViews();
    if (restored) {
        // A failed restore keeps the file as it was, and so the files queued with it.
        m_unused->clearQueue();
        m_changedOnDisk = false;
        showMessage(tr("Restored %1").arg(QFileInfo(backup).fileName()), 8000);
    } else {
        QMessageBox::critical(this, tr("Restore failed"), error);
    }
    m_allSettings->collapseToPreferences();
    refreshState();
}

void MainWindow::onManageBackups()
{
    const BusyScope busy;
    if (!m_loaded)
        return;
    BackupsDialog dialog(m_document.path(), this);
    connect(&dialog, &BackupsDialog::message, this, [this](const QString &text) { showMessage(text, 10000); });
    dialog.exec();
}

void MainWindow::onUnusedModules()
{
    if (!m_loaded) {
        QMessageBox::information(this, tr("Unused module data"), tr("Open a settings file first."));
        return;
    }
    m_unused->refresh();
    m_tabs->setCurrentWidget(m_unused);
}

QString MainWindow::installedRecordPath() const
{
    return findInstalledRecordFile(installFolderCandidates(m_services.environment));
}

void MainWindow::onInstalledUpdates()
{
    const BusyScope busy;
    const QString path = installedRecordPath();
    if (path.isEmpty()) {
        QMessageBox::information(this, tr("Installed updates"), tr("PixInsight's installed.xri was not found on this computer."));
        return;
    }
    InstalledUpdatesDialog dialog(path, m_services, this);
    dialog.exec();
}

void MainWindow::setViewsViewOnly(bool on)
{
    m_preferences->setViewOnly(on);
    m_search->setViewOnly(on);
    m_unused->setViewOnly(on);
    m_health->setViewOnly(on);
    m_cleanup->setViewOnly(on);
    m_compare->setViewOnly(on);
}

void MainWindow::onAbout()
{
    const BusyScope busy;
    const bool loaded = m_document.isLoaded();
    AboutDialog dialog(loaded ? m_document.path() : QString(),
                       loaded ? AboutDialog::recordedVersion(m_document.file().root) : QString(), m_services.environment, this);
    dialog.exec();
}

namespace {

void grabInto(QWidget *widget, const QString &path)
{
    // Layouts settle over a few rounds: a scroll area re-measures its content only after the
    // content itself has been laid out.
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
    widget->grab().save(path, "PNG");
}

} // namespace

void MainWindow::renderScreenshots(const QString &folder, const QString &searchText)
{
    QDir().mkpath(folder);
    const auto picture = [&folder](const char *name) { return folder + u'/' + QLatin1String(name); };
    resize(1200, 820);
    show();
    QCoreApplication::processEvents();

    if (!searchText.isEmpty())
        m_preferences->filterEdit()->setText(searchText);
    m_tabs->setCurrentWidget(m_preferences);
    const int pages = int(std::min<size_t>(m_preferences->pages().size(), 12));
    for (int i = 0; i < pages; ++i) {
        const QListWidgetItem *item = m_preferences->pageList()->item(i);
        if (!item || item->isHidden())
            continue;
        m_preferences->showPage(i);
        grabInto(this, folder + QStringLiteral("/prefs-%1.png").arg(i, 2, 10, QLatin1Char('0')));
    }
    m_preferences->filterEdit()->clear();

    m_tabs->setCurrentWidget(m_search);
    m_search->setQuery(QStringLiteral("thread"));
    grabInto(this, picture("search.png"));
    m_search->setQuery(QStringLiteral("font"));
    grabInto(this, picture("search-font.png"));
    m_search->setQuery(QString());

    if (m_document.isLoaded()) {
        bool exact = false;
        QList<XsdtNode *> nodes;
        for (const ModuleInfo &info : findModules(m_document.file(), QStringLiteral("Mirelux"), &exact))
            nodes += moduleValueNodes(info);
        m_search->showNodes(nodes, tr("Module search for \"%1\" (%2 value(s))").arg(QStringLiteral("Mirelux")).arg(nodes.size()));
        grabInto(this, picture("module-search.png"));
        m_search->clearRestriction();
    }

    m_unused->refresh();
    m_tabs->setCurrentWidget(m_unused);
    if (!m_unused->cards().empty())
        m_unused->expandModule(m_unused->cards().front()->info.name);
    grabInto(this, picture("unused-modules.png"));

    m_tabs->setCurrentWidget(m_cleanup);
    m_cleanup->tickAll(false);
    grabInto(this, picture("cleanup.png"));
    m_cleanup->setConfirmWarn(false);
    m_cleanup->tickAll(true);
    m_cleanup->queueTicked();
    grabInto(this, picture("cleanup-queued.png"));
    m_model->revertAll();

    QString other;
    for (const QString &path : std::as_const(m_foundFiles)) {
        if (!sameFile(path, m_document.path()))
            other = path;
    }
    QString error;
    if (!other.isEmpty() && m_compare->loadOther(other, &error)) {
        m_tabs->setCurrentWidget(m_compare);
        grabInto(this, picture("compare.png"));
        for (QCheckBox *box : {m_compare->differentBox(), m_compare->onlyHereBox(), m_compare->onlyThereBox()})
            box->setChecked(true);
        grabInto(this, picture("compare-all.png"));
    }

    m_tabs->setCurrentWidget(m_health);
    m_health->run();
    grabInto(this, picture("health.png"));

    const bool wasReadOnly = m_model->isReadOnly();
    m_model->setReadOnly(false);
    XsdtNode &root = m_document.file().root;
    if (XsdtNode *animate = root.findPath(u"Global/Preferences/MainWindow/AnimateCombo"))
        m_model->setData(m_model->indexFor(animate, SettingsModel::ValueColumn),
                         animate->value == u"true" ? QStringLiteral("false") : QStringLiteral("true"));
    if (XsdtNode *statistics = root.findPath(u"Global/Statistics"))
        m_model->requestDeletion(statistics);
    {
        ReviewDialog review(m_model, &root, this);
        review.show();
        if (QTreeWidgetItem *first = review.changeTree()->topLevelItem(0))
            first->setExpanded(true);
        grabInto(&review, picture("review.png"));
        m_model->revertAll();
    }
    if (m_document.isLoaded()) {
        BackupsDialog backups(m_document.path(), this);
        backups.show();
        grabInto(&backups, picture("backups.png"));
    }
    {
        AboutDialog about(m_document.path(), tr("PixInsight Core (recorded in the open file)"), m_services.environment, this);
        about.show();
        grabInto(&about, picture("about.png"));
    }
    if (const QString records = installedRecordPath(); !records.isEmpty()) {
        InstalledUpdatesDialog updates(records, m_services, this);
        updates.setFilterText(QStringLiteral("Orbitdeck"));
        updates.tickAllShown();
        updates.show();
        grabInto(&updates, picture("installed-updates.png"));
    }

    m_tabs->setCurrentWidget(m_allSettings);
    m_allSettings->changedOnlyBox()->setChecked(true);
    QCoreApplication::processEvents();
    grabInto(this, picture("advanced-changed.png"));
    m_allSettings->changedOnlyBox()->setChecked(false);
    m_model->revertAll();
    m_allSettings->collapseToPreferences();
    grabInto(this, picture("advanced.png"));
    m_model->setReadOnly(wasReadOnly);
}

void MainWindow::onHealthCheck()
{
    if (!m_loaded) {
        QMessageBox::information(this, tr("Health check"), tr("Open a settings file first."));
        return;
    }
    m_tabs->setCurrentWidget(m_health);
    m_health->run();
}

void MainWindow::pollEnvironment()
{
    m_watcher->poll();
}

bool MainWindow::isBusy() const
{
    if (BusyScope::active() || QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return true;
    // An in-place editor lives in the viewport of its view.
    for (QWidget *widget = QApplication::focusWidget(); widget; widget = widget->parentWidget()) {
        const auto *view = qobject_cast<const QAbstractItemView *>(widget->parentWidget());
        if (view && widget == view->viewport())
            return true;
    }
    return false;
}

void MainWindow::onEnvironmentPolled()
{
    m_running = m_watcher->isHostRunning();
    m_changedOnDisk = m_watcher->isChangedOnDisk();
    if (m_model->isReadOnly() != m_running)
        m_model->setReadOnly(m_running);
    setViewsViewOnly(m_running);
    if (!isBusy()) {
        m_unused->dropVanishedFromQueue();
        if (findSettingsFiles(m_services.environment) != m_foundFiles)
            refreshFileBox();
    }
    refreshState();
}

bool MainWindow::onSave()
{
    const BusyScope busy;
    if (!m_loaded)
        return true;
    const QList<Leftover> leftovers = m_unused->queuedLeftovers();
    if (m_document.pendingChangeCount() == 0 && leftovers.isEmpty())
        return true;
    {
        ReviewDialog review(m_model, &m_document.file().root, this);
        review.setLeftovers(leftovers);
        if (const XsdtFile &file = m_document.file(); !file.validUtf8)
            review.setInvalidUtf8(file.invalidUtf8Line, file.invalidUtf8Column);
        if (review.exec() != QDialog::Accepted)
            return false;
    }
    if (m_document.pendingChangeCount() == 0 && leftovers.isEmpty())
        return true;

    QString message;
    if (m_document.pendingChangeCount() > 0) {
        const bool removesNodes = !m_document.file().root.pendingDeletions().isEmpty();
        // A refused save keeps the tree and so its undo history.
        if (removesNodes)
            detachViews(true);
        QString error, backup;
        const bool saved = m_document.save(&error, &backup);
        if (removesNodes) {
            attachViews(true);
            m_allSettings->collapseToPreferences();
        }
        if (!saved) {
            QMessageBox::critical(this, tr("Save failed"), error);
            pollEnvironment();
            return false;
        }
        m_model->refreshAll();
        message = tr("Saved. Backup: %1").arg(QFileInfo(backup).fileName());
    }
    if (!leftovers.isEmpty()) {
        const QString removal = deleteLeftoversAfterSave(leftovers).section(u'\n', 0, 0);
        message = message.isEmpty() ? removal : message + u' ' + removal;
    }
    // Saved nodes are gone or committed: no step can be undone against them any more.
    m_model->clearHistory();
    showMessage(message, 10000);
    refreshState();
    return true;
}

QString MainWindow::deleteLeftoversAfterSave(const QList<Leftover> &items)
{
    LeftoverRemoval removal;
    removal.run(items, findInstallFolder({}, m_services.environment), userDataFolderFor(m_document.path()), m_services);
    m_unused->clearQueue();
    m_unused->refresh();
    const QString text = removal.text();
    if (!removal.problemLines.isEmpty())
        QMessageBox::warning(this, tr("Some files were not deleted"), text);
    return text;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const BusyScope busy;
    const int n = unsavedCount();
    if (n == 0) {
        event->accept();
        return;
    }
    QMessageBox box(QMessageBox::Question, tr("Unsaved changes"), tr("You have %n unsaved change(s).", nullptr, n),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Save);
    const int answer = box.exec();
    if (answer == QMessageBox::Discard || (answer == QMessageBox::Save && onSave()))
        event->accept();
    else
        event->ignore();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    QTimer::singleShot(0, this, &MainWindow::updateMinimumWidth);
    if (m_firstShow) {
        m_firstShow = false;
        QTimer::singleShot(0, this, &MainWindow::ensureOnScreen);
    }
}

void MainWindow::buildToolbar()
{
    m_toolbar->setMovable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setIconSize(QSize(18, 18));
    addToolbarEntry(m_openAction, tr("Open"), FolderGlyph);
    addToolbarEntry(m_reloadAction, tr("Reload"), ReloadGlyph);
    addToolbarEntry(m_saveAction, tr("Save"), SaveGlyph);
    addToolbarEntry(m_revertAllAction, tr("Revert all"), RevertGlyph);
    addToolbarEntry(m_findModuleAction, tr("Find module"), FindGlyph);
    addToolbarEntry(m_backupsAction, tr("Backups"), BackupsGlyph);
    addToolbarEntry(m_restoreAction, tr("Restore"), RestoreGlyph);
    addToolbarEntry(m_toggleThemeAction, tr("Theme"), ThemeGlyph);
    addToolbarEntry(m_aboutAction, tr("About"), AboutGlyph);
    addToolBar(Qt::TopToolBarArea, m_toolbar);
    m_toolbar->setVisible(QSettings().value(QStringLiteral("Appearance/ToolbarVisible"), true).toBool());
    // Only the user's choice counts: the toolbar also hides when the window closes.
    connect(m_toolbar, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (isVisible())
            QSettings().setValue(QStringLiteral("Appearance/ToolbarVisible"), visible);
        updateMinimumWidth();
    });
    connect(&ThemeManager::instance(), &ThemeManager::changed, this, &MainWindow::refreshToolbarIcons);
    refreshToolbarIcons();
}

void MainWindow::addToolbarEntry(QAction *action, const QString &iconText, int glyph)
{
    action->setIconText(iconText);
    action->setIconVisibleInMenu(false);
    m_toolbar->addAction(action);
    m_toolbarEntries.append({action, glyph});
}

void MainWindow::refreshToolbarIcons()
{
    const QPalette palette = QApplication::palette();
    const QColor colour = palette.color(QPalette::Active, QPalette::ButtonText);
    const QColor disabled = palette.color(QPalette::Disabled, QPalette::ButtonText);
    const int side = 18;
    m_toolbar->setIconSize(QSize(side, side));
    QFont font = this->font();
    font.setPointSizeF(std::max(6.5, font.pointSizeF() * 0.62));
    m_toolbar->setFont(font);
    m_toolbar->setMaximumHeight(QFontMetrics(font).lineSpacing() + 39);
    m_toolbar->setStyleSheet(
        QStringLiteral("QToolBar QToolButton {  border-width: %1px; border-style: solid;  border-top-color: palette(light); "
                       "border-left-color: palette(light);  border-bottom-color: palette(dark); border-right-color: "
                       "palette(dark);  border-radius: 2px; padding: %2px %3px; background: palette(button); }"
                       "QToolBar QToolButton:hover { background: palette(midlight); }"
                       "QToolBar QToolButton:pressed {  border-top-color: palette(dark); border-left-color: palette(dark);  "
                       "border-bottom-color: palette(light); border-right-color: palette(light);  background: "
                       "palette(midlight); }"
                       "QToolBar QToolButton:disabled { border-color: palette(mid); background: transparent; }")
            .arg(1)
            .arg(3)
            .arg(4));
    updateMinimumWidth();
    QTimer::singleShot(0, this, &MainWindow::updateMinimumWidth);
    const qreal ratio = devicePixelRatioF();
    for (const auto &[action, glyph] : std::as_const(m_toolbarEntries))
        action->setIcon(glyphIcon(glyph, colour, disabled, side, ratio));
}

void MainWindow::updateMinimumWidth()
{
    int width = centralWidget()->minimumSizeHint().width();
    if (m_toolbar && m_toolbar->isVisible())
        width = std::max(width, m_toolbar->sizeHint().width());
    setMinimumWidth(width);
}

void MainWindow::ensureOnScreen()
{
    if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        activateWindow();
    }
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    bool moved = false;
    const QRect placed = placeOnScreen(frameGeometry(), areas, primary->availableGeometry(), &moved);
    if (!moved)
        return;
    const QSize frameExtra = frameGeometry().size() - size();
    resize(placed.size() - frameExtra);
    move(placed.topLeft());
}

} // namespace pfw
