#include "ui/mainwindow.h"

#include "session/busyscope.h"
#include "model/settingsfilterproxy.h"
#include "model/settingsmodel.h"
#include "modules/installedrecords.h"
#include "platform/hostlocations.h"
#include "ui/dialogs/aboutdialog.h"
#include "ui/banner/adbanner.h"
#include "ui/accesskeys.h"
#include "ui/busycheck.h"
#include "ui/views/allsettingspage.h"
#include "ui/views/compareview.h"
#include "ui/dialogs/backupsdialog.h"
#include "ui/dialogs/settinghistorydialog.h"
#include "ui/filerow.h"
#include "ui/deletionflow.h"
#include "session/diskchangemonitor.h"
#include "session/environmentwatcher.h"
#include "ui/glyphicon.h"
#include "ui/views/healthview.h"
#include "ui/dialogs/installedupdatesdialog.h"
#include "ui/dialogs/problemsearchdialog.h"
#include "ui/keyboardconventions.h"
#include "core/backups.h"
#include "platform/hostprocesses.h"
#include "ui/mainmenus.h"
#include "ui/maintabs.h"
#include "ui/maintoolbar.h"
#include "ui/modulefinder.h"
#include "ui/problemsearchflow.h"
#include "ui/restoreflow.h"
#include "ui/saveflow.h"
#include "ui/screenplacement.h"
#include "ui/screenshotrenderer.h"
#include "ui/statusbanner.h"
#include "ui/thememanager.h"
#include "ui/views/unusedmodulesview.h"

#include <QApplication>
#include <QDir>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QStandardPaths>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QUndoStack>
#include <QVBoxLayout>

namespace pfw {

MainWindow::MainWindow(const HostServices &services, QWidget *parent)
    : QMainWindow(parent)
    , m_session(new EditingSession(services, this))
{
    if (!m_session->schemaError().isEmpty())
        QMessageBox::warning(this, tr("Settings schema"),
                             tr("The built-in settings descriptions could not be read (%1). Names and descriptions "
                                "will be limited.")
                                 .arg(m_session->schemaError()));
    if (!m_session->policyError().isEmpty())
        QMessageBox::warning(this, tr("Deletion rules"),
                             tr("The built-in deletion rules could not be read (%1). Deleting entries is disabled.")
                                 .arg(m_session->policyError()));

    resize(1100, 760);
    updateStatusBarStyle();
    KeyboardConventions::install();
    SettingsModel *model = m_session->model();
    m_proxy = new SettingsFilterProxy(this);
    m_proxy->setSourceModel(model);
    m_deletion = new DeletionFlow(model, this);
    buildActions();
    buildCentralWidget();
    buildToolbar();

    connect(model, &SettingsModel::editRejected, this,
            [this](const QString &reason) { showMessage(tr("Not accepted - %1").arg(reason), 8000); });
    connect(m_deletion, &DeletionFlow::message, this, &MainWindow::showMessage);
    connect(m_session, &EditingSession::stateChanged, this, &MainWindow::refreshState);
    connect(m_session, &EditingSession::polled, this, &MainWindow::onEnvironmentPolled);
    connect(m_session, &EditingSession::treeShown, this, &MainWindow::refreshFileBox);
    // Opened here or read again after PixInsight rewrote it.
    connect(m_session, &EditingSession::fileOpened, this, [this] {
        m_tabs->allSettings()->collapseToPreferences();
        showMessage(tr("Loaded %1").arg(QDir::toNativeSeparators(m_session->path())), 5000);
    });
    connect(m_session, &EditingSession::reloadFailed, this, [this](const QString &error) { reportOpenError(error); });
    m_session->setBusyCheck([this] { return isBusy(); });
    m_session->startWatching(3000);

    const QStringList found = findSettingsFiles(services.environment);
    if (!found.isEmpty()) {
        openFile(found.constFirst());
    } else {
        refreshFileBox();
        refreshState();
        QStringList folders;
        for (const QString &folder : defaultSettingsFolders(services.environment))
            folders << QDir::toNativeSeparators(folder);
        statusBar()->showMessage(tr("No PixInsight settings file found in %1. Use Browse to open one.")
                                     .arg(folders.join(QLatin1String("; "))));
    }
    pollEnvironment();
}

MainWindow::~MainWindow()
{
    // The views must let go of the tree before the session destroys it, while they still exist.
    delete m_session;
}

void MainWindow::buildActions()
{
    QUndoStack *stack = m_session->undoStack();
    m_menus.build(this, stack, m_session->model());
    m_toolbar = m_menus.toolbar;
    // The stack enables the undo actions by its own state; view only overrides that afterwards.
    connect(stack, &QUndoStack::canUndoChanged, this, &MainWindow::updateUndoActions);
    connect(stack, &QUndoStack::canRedoChanged, this, &MainWindow::updateUndoActions);
    connect(m_session->model(), &SettingsModel::historyChanged, this, &MainWindow::updateUndoActions);
    updateUndoActions();
    ThemeManager &theme = ThemeManager::instance();
    m_lastScale = theme.scale();
    connect(&theme, &ThemeManager::changed, this, &MainWindow::onThemeChanged);
}

void MainWindow::buildCentralWidget()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 8, 8, 8);

    m_fileRow = new FileRow(central);
    layout->addWidget(m_fileRow);
    connect(m_fileRow, &FileRow::browseRequested, this, &MainWindow::onOpen);
    connect(m_fileRow, &FileRow::chosen, this, &MainWindow::fileChosen);

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

    m_tabs = new MainTabs(m_session, m_proxy, m_deletion, central);
    connect(m_tabs, &MainTabs::message, this, &MainWindow::showMessage);
    connect(m_tabs, &MainTabs::unusedModulesRequested, this, &MainWindow::onUnusedModules);
    connect(m_tabs, &MainTabs::historyRequested, this, &MainWindow::showHistory);
    layout->addWidget(m_tabs, 1);

    auto *line = new QFrame(central);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    m_adBanner = new AdBanner(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QLatin1String("/ads"),
                              central);
    layout->addWidget(m_adBanner);
    setCentralWidget(central);
}

int MainWindow::unsavedCount() const
{
    return m_session->unsavedCount();
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
    if (QAction *current = m_menus.themes.value(ThemeManager::instance().mode()))
        current->setChecked(true);
    refreshState();
    const double scale = ThemeManager::instance().scale();
    if (std::abs(scale - m_lastScale) > 0.000001) {
        m_lastScale = scale;
        showMessage(tr("Text size %1%").arg(qRound(scale * 100 / ThemeManager::kDefaultScale)), 3000);
    }
}

void MainWindow::onFindModule()
{
    const BusyScope busy;
    if (!m_session->isLoaded()) {
        QMessageBox::information(this, tr("Find module data"), tr("Open a settings file first."));
        return;
    }
    const ModuleFinder::Result found = ModuleFinder::ask(m_session->document().file(), this);
    if (found.kind == ModuleFinder::Result::FullSearch)
        m_tabs->searchFor(found.name);
    else if (found.kind == ModuleFinder::Result::Found)
        m_tabs->showInSearch(found.nodes, found.heading);
}

std::function<void(const QString &)> MainWindow::s_errorSink;

void MainWindow::reportOpenErrorsTo(std::function<void(const QString &)> sink)
{
    s_errorSink = std::move(sink);
}

void MainWindow::reportOpenError(const QString &error)
{
    if (s_errorSink)
        s_errorSink(error);
    else
        QMessageBox::critical(this, tr("Cannot open file"), error);
}

bool MainWindow::openFile(const QString &named)
{
    // A name relative to the working folder is kept whole: it is shown, reported and watched.
    const QString path = wholeFilePath(named);
    QString error;
    if (!m_session->open(path, &error)) {
        reportOpenError(error);
        return false;
    }
    return true;
}

void MainWindow::refreshState()
{
    const int n = unsavedCount();
    const bool loaded = m_session->isLoaded();
    const bool running = m_session->isHostRunning();
    const bool changedOnDisk = m_session->isChangedOnDisk();
    const SettingsDocument &document = m_session->document();

    StatusBanner::State state;
    state.loaded = loaded;
    state.running = running;
    state.runningCheckError = running ? m_session->runningCheckError() : QString();
    state.changedOnDisk = changedOnDisk;
    state.unsaved = n;
    if (loaded) {
        state.validUtf8 = document.file().validUtf8;
        state.invalidUtf8Line = document.file().invalidUtf8Line;
        state.invalidUtf8Column = document.file().invalidUtf8Column;
        state.compactLayout = document.compactLayout();
    }
    const StatusBanner::Banner banner = StatusBanner::describe(state);
    const QString &text = banner.text;
    const QColor &colour = banner.colour;
    m_banner->setText(text);
    m_banner->setVisible(!text.isEmpty());
    m_reloadButton->setVisible(banner.offersReload);
    QPalette palette = m_banner->palette();
    palette.setColor(QPalette::Window, colour);
    m_banner->setPalette(palette);

    m_menus.reload->setEnabled(loaded);
    m_menus.save->setEnabled(loaded && n > 0 && !running && !changedOnDisk);
    m_menus.revertAll->setEnabled(n > 0);
    m_menus.restore->setEnabled(loaded && !running);
    m_menus.backups->setEnabled(loaded);
    setWindowTitle(n == 0 ? tr("Prefwright") : tr("Prefwright - %n unsaved change(s)", nullptr, n));
}

void MainWindow::refreshFileBox()
{
    m_foundFiles = findSettingsFiles(services().environment);
    m_fileRow->show(m_foundFiles, m_session->isLoaded() ? m_session->path() : QString());
}

void MainWindow::fileChosen(const QString &path)
{
    const BusyScope busy;
    if (!confirmDiscard(tr("Opening another file discards them.")))
        refreshFileBox();
    else if (openFile(path))
        offerUnfinishedSearch();
}

bool MainWindow::confirmDiscard(const QString &reason)
{
    commitTyping();
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
    if (m_session->isLoaded())
        start = QFileInfo(m_session->path()).absolutePath();
    else if (const QStringList folders = defaultSettingsFolders(services().environment); !folders.isEmpty())
        start = folders.constFirst();
    const QString path = QFileDialog::getOpenFileName(this, tr("Open PixInsight settings file"), start,
                                                      tr("PixInsight settings (*.settings);;All files (*)"));
    if (!path.isEmpty() && openFile(path))
        offerUnfinishedSearch();
}

void MainWindow::onReload()
{
    const BusyScope busy;
    if (!m_session->isLoaded() || !confirmDiscard(tr("Reloading discards them.")))
        return;
    openFile(m_session->path());
}

void MainWindow::onRevertAll()
{
    const BusyScope busy;
    commitTyping();
    const int n = unsavedCount();
    if (n == 0)
        return;
    if (QMessageBox::question(this, tr("Revert all changes"), tr("Discard all %n unsaved change(s)?", nullptr, n),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    m_session->revertAll();
}

void MainWindow::updateUndoActions()
{
    m_menus.undo->setEnabled(m_session->model()->canUndo());
    m_menus.redo->setEnabled(m_session->model()->canRedo());
}

void MainWindow::onRestoreBackup()
{
    const BusyScope busy;
    RestoreFlow flow(*m_session, this);
    const RestoreFlow::Outcome outcome = flow.run([this](const QString &reason) { return confirmDiscard(reason); });
    if (outcome == RestoreFlow::NothingDone)
        return;
    if (outcome == RestoreFlow::Restored)
        showMessage(flow.message(), 8000);
    m_tabs->allSettings()->collapseToPreferences();
    refreshState();
}

void MainWindow::onManageBackups()
{
    const BusyScope busy;
    if (!m_session->isLoaded())
        return;
    BackupsDialog dialog(m_session->path(), this);
    connect(&dialog, &BackupsDialog::message, this, [this](const QString &text) { showMessage(text, 10000); });
    dialog.exec();
    emit backupsChanged();
}

void MainWindow::onFindProblemSetting()
{
    commitTyping();
    ProblemSearchFlow flow(*m_session, this);
    if (!flow.run())
        return;
    emit backupsChanged();
    if (!flow.reopenError().isEmpty())
        reportOpenError(flow.reopenError());
    if (!flow.outcome().isEmpty())
        showMessage(flow.outcome(), 10000);
}

ProblemSearchDialog::Context MainWindow::problemSearchContext()
{
    return ProblemSearchFlow(*m_session, this).context();
}

void MainWindow::offerUnfinishedSearch()
{
    if (ProblemSearchFlow(*m_session, this).offerToGoOn())
        onFindProblemSetting();
}

SettingHistoryDialog *MainWindow::showHistory(XsdtNode *node)
{
    if (!m_session->isLoaded() || !node || node->kind != XsdtNode::Value)
        return nullptr;
    auto *dialog = new SettingHistoryDialog(m_session->model(), &m_session->document(), node, this);
    connect(this, &MainWindow::backupsChanged, dialog, &SettingHistoryDialog::reread);
    connect(dialog, &SettingHistoryDialog::compareRequested, this, [this](const QString &backup) {
        m_tabs->setCurrentWidget(m_tabs->compare());
        m_tabs->compare()->showFile(backup);
        activateWindow();
        raise();
    });
    dialog->show();
    return dialog;
}

void MainWindow::onUnusedModules()
{
    if (!m_session->isLoaded()) {
        QMessageBox::information(this, tr("Unused module data"), tr("Open a settings file first."));
        return;
    }
    m_tabs->unused()->refresh();
    m_tabs->setCurrentWidget(m_tabs->unused());
}

QString MainWindow::installedRecordPath() const
{
    return findInstalledRecordFile(installFolderCandidates(services().environment));
}

void MainWindow::onInstalledUpdates()
{
    const BusyScope busy;
    const QString path = installedRecordPath();
    if (path.isEmpty()) {
        QMessageBox::information(this, tr("Installed updates"),
                                 tr("PixInsight's installed.xri was not found on this computer."));
        return;
    }
    InstalledUpdatesDialog dialog(path, services(), this);
    dialog.exec();
}

void MainWindow::onAbout()
{
    const BusyScope busy;
    const bool loaded = m_session->isLoaded();
    AboutDialog dialog(loaded ? m_session->path() : QString(),
                       loaded ? AboutDialog::recordedVersion(m_session->document().file().root) : QString(),
                       services().environment, this);
    dialog.exec();
}

QString MainWindow::renderScreenshots(const QString &folder, const QString &searchText,
                                      const std::function<void(QWidget *, const QString &)> &inspector)
{
    ScreenshotRenderer renderer(*this);
    renderer.setInspector(inspector);
    return renderer.render(folder, searchText);
}

void MainWindow::onHealthCheck()
{
    if (!m_session->isLoaded()) {
        QMessageBox::information(this, tr("Health check"), tr("Open a settings file first."));
        return;
    }
    m_tabs->setCurrentWidget(m_tabs->health());
    m_tabs->health()->run();
}

void MainWindow::pollEnvironment()
{
    m_session->poll();
}

void MainWindow::commitTyping()
{
    BusyCheck::commitTyping(this);
}

bool MainWindow::isBusy() const
{
    return BusyCheck::isBusy();
}

void MainWindow::onEnvironmentPolled()
{
    m_tabs->setViewOnly(m_session->isHostRunning());
    if (!isBusy() && findSettingsFiles(services().environment) != m_foundFiles)
        refreshFileBox();
}

bool MainWindow::onSave()
{
    const BusyScope busy;
    // What is typed but not committed belongs in the review, or not in the file.
    commitTyping();
    SaveFlow flow(*m_session, this);
    const quint64 generation = m_session->model()->generation();
    const bool saved = flow.run();
    if (flow.removedFiles())
        m_tabs->unused()->refresh();
    // A save that removed entries showed the tree again.
    if (m_session->model()->generation() != generation)
        m_tabs->allSettings()->collapseToPreferences();
    if (!saved) {
        pollEnvironment();
        return false;
    }
    if (!flow.message().isEmpty())
        showMessage(flow.message(), 10000);
    refreshState();
    emit backupsChanged();
    return true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const BusyScope busy;
    commitTyping();
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
    m_toolbar->addEntry(m_menus.open, tr("Open"), FolderGlyph);
    m_toolbar->addEntry(m_menus.reload, tr("Reload"), ReloadGlyph);
    m_toolbar->addEntry(m_menus.save, tr("Save"), SaveGlyph);
    m_toolbar->addEntry(m_menus.revertAll, tr("Revert all"), RevertGlyph);
    m_toolbar->addEntry(m_menus.findModule, tr("Find module"), FindGlyph);
    m_toolbar->addEntry(m_menus.backups, tr("Backups"), BackupsGlyph);
    m_toolbar->addEntry(m_menus.restore, tr("Restore"), RestoreGlyph);
    m_toolbar->addEntry(m_menus.toggleTheme, tr("Theme"), ThemeGlyph);
    m_toolbar->addEntry(m_menus.about, tr("About"), AboutGlyph);
    addToolBar(Qt::TopToolBarArea, m_toolbar);
    m_toolbar->restoreVisibility();
    connect(m_toolbar, &MainToolbar::sizeChanged, this, &MainWindow::updateMinimumWidth);
    m_toolbar->refreshIcons();
}

QComboBox *MainWindow::fileBox() const
{
    return m_fileRow->box();
}

QTabWidget *MainWindow::tabs() const
{
    return m_tabs;
}
AllSettingsPage *MainWindow::allSettingsPage() const
{
    return m_tabs->allSettings();
}
PreferencesView *MainWindow::preferencesView() const
{
    return m_tabs->preferences();
}
SearchView *MainWindow::searchView() const
{
    return m_tabs->search();
}
HealthView *MainWindow::healthView() const
{
    return m_tabs->health();
}
CleanupView *MainWindow::cleanupView() const
{
    return m_tabs->cleanup();
}
CompareView *MainWindow::compareView() const
{
    return m_tabs->compare();
}
UnusedModulesView *MainWindow::unusedModulesView() const
{
    return m_tabs->unused();
}

QToolBar *MainWindow::toolbar() const
{
    return m_toolbar;
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
    bringOnScreen(this);
}

} // namespace pfw
