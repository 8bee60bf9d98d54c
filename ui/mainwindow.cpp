#include "ui/mainwindow.h"

#include "session/busyscope.h"
#include "model/settingsfilterproxy.h"
#include "model/settingsmodel.h"
#include "platform/hostlocations.h"
#include "ui/banner/adbanner.h"
#include "ui/bannerrow.h"
#include "ui/busycheck.h"
#include "ui/views/allsettingspage.h"
#include "modules/settingsexport.h"
#include "ui/views/compareview.h"
#include "ui/dialogs/settinghistorydialog.h"
#include "ui/filerow.h"
#include "ui/deletionflow.h"
#include "session/diskchangemonitor.h"
#include "session/environmentwatcher.h"
#include "ui/views/healthview.h"
#include "ui/dialogs/problemsearchdialog.h"
#include "ui/keyboardconventions.h"
#include "core/backups.h"
#include "ui/mainmenus.h"
#include "ui/maintabs.h"
#include "ui/maintoolbar.h"
#include "ui/modulefinder.h"
#include "ui/windowdialogs.h"
#include "ui/openflow.h"
#include "ui/problemsearchflow.h"
#include "ui/restoreflow.h"
#include "ui/saveflow.h"
#include "ui/screenplacement.h"
#include "ui/screenshotrenderer.h"
#include "ui/thememanager.h"
#include "ui/views/unusedmodulesview.h"

#include <QApplication>
#include <QDir>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QStandardPaths>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QStatusBar>
#include <QUndoStack>
#include <QSettings>
#include <QVBoxLayout>

namespace pfw {

namespace {
constexpr char kGeometryKey[] = "Window/Geometry";
} // namespace

MainWindow::MainWindow(const HostServices &services, QWidget *parent)
    : QMainWindow(parent)
    , m_session(new EditingSession(services, this))
{
    WindowDialogs(*m_session, this).warnAboutBuiltIns();

    resize(1100, 760);
    // Size, place and maximised state as the last run left them; still brought on screen
    // when first shown, should that screen be gone.
    restoreGeometry(QSettings().value(QLatin1String(kGeometryKey)).toByteArray());
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
    connect(m_session, &EditingSession::reloadFailed, this,
            [this](const QString &error) { OpenFlow(*m_session, this).reportError(error); });
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

    m_bannerRow = new BannerRow(central);
    layout->addWidget(m_bannerRow);
    connect(m_bannerRow, &BannerRow::reloadRequested, this, &MainWindow::onReload);
    connect(m_bannerRow, &BannerRow::showHostChangesRequested, this, [this] {
        if (const HostRunReport *report = m_session->hostRunReport())
            m_tabs->showHostChanges(report->before());
    });
    connect(m_bannerRow, &BannerRow::dismissHostChangesRequested, this, [this] {
        m_session->dismissHostRunReport();
        refreshState();
    });

    m_tabs = new MainTabs(m_session, m_proxy, m_deletion, central);
    connect(m_tabs, &MainTabs::message, this, &MainWindow::showMessage);
    connect(m_tabs, &MainTabs::unusedModulesRequested, this, &MainWindow::onUnusedModules);
    connect(m_tabs, &MainTabs::historyRequested, this, &MainWindow::showHistory);
    connect(m_tabs, &MainTabs::exportRequested, this, &MainWindow::exportEntries);
    connect(m_tabs, &MainTabs::copyRequested, this, &MainWindow::copyToInstances);
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

bool MainWindow::needsFile(const QString &title)
{
    if (m_session->isLoaded())
        return true;
    QMessageBox::information(this, title, tr("Open a settings file first."));
    return false;
}

void MainWindow::onFindModule()
{
    const BusyScope busy;
    if (!needsFile(tr("Find module data")))
        return;
    const ModuleFinder::Result found = ModuleFinder::ask(m_session->document().file(), this);
    if (found.kind == ModuleFinder::Result::FullSearch)
        m_tabs->searchFor(found.name);
    else if (found.kind == ModuleFinder::Result::Found)
        m_tabs->showInSearch(found.nodes, found.heading);
}

bool MainWindow::openFile(const QString &path)
{
    return OpenFlow(*m_session, this).open(path);
}

void MainWindow::refreshState()
{
    const int n = unsavedCount();
    const bool loaded = m_session->isLoaded();
    const bool running = m_session->isHostRunning();
    m_bannerRow->showFor(*m_session);
    m_menus.reload->setEnabled(loaded);
    // A disabled Save says why, in its tooltip.
    QString noSave;
    if (!loaded)
        noSave = tr("No settings file is open.");
    else if (running)
        noSave = tr("PixInsight is running: close it to save.");
    else if (m_session->isSearchInProgress())
        noSave = tr("A problem search is in progress: finish or stop it to save.");
    else if (m_session->isChangedOnDisk())
        noSave = tr("The file changed on disk: reload it to save.");
    else if (n == 0)
        noSave = tr("Nothing to save.");
    m_menus.save->setEnabled(noSave.isEmpty());
    m_menus.save->setToolTip(noSave.isEmpty() ? tr("Review the pending changes, then save") : noSave);
    m_menus.revertAll->setEnabled(n > 0);
    m_menus.restore->setEnabled(loaded && !running);
    m_menus.reset->setEnabled(loaded && !m_session->model()->isReadOnly());
    m_menus.exportSettings->setEnabled(loaded);
    m_menus.importSettings->setEnabled(loaded && !m_session->model()->isReadOnly());
    m_menus.backups->setEnabled(loaded);
    // The file and the unsaved marker, the Qt way; the system adds the program's name.
    setWindowFilePath(loaded ? m_session->path() : QString());
    setWindowTitle(loaded ? QFileInfo(m_session->path()).fileName() + QStringLiteral("[*]") : tr("Prefwright"));
    setWindowModified(loaded && n > 0);
}

void MainWindow::refreshFileBox()
{
    m_foundFiles = findSettingsFiles(services().environment);
    m_fileRow->show(m_foundFiles, m_session->isLoaded() ? m_session->path() : QString());
}

void MainWindow::fileChosen(const QString &path)
{
    const BusyScope busy;
    if (!OpenFlow(*m_session, this).confirmDiscard(tr("Opening another file discards what is not saved.")))
        refreshFileBox();
    else if (openFile(path))
        offerUnfinishedSearch();
}

void MainWindow::onOpen()
{
    const BusyScope busy;
    OpenFlow flow(*m_session, this);
    if (!flow.confirmDiscard(tr("Opening another file discards what is not saved.")))
        return;
    const QString path = flow.askForFile();
    if (!path.isEmpty() && flow.open(path))
        offerUnfinishedSearch();
}

void MainWindow::onReload()
{
    const BusyScope busy;
    if (!m_session->isLoaded())
        return;
    OpenFlow flow(*m_session, this);
    if (flow.reload() && !flow.message().isEmpty())
        showMessage(flow.message(), 8000);
}

void MainWindow::onRevertAll()
{
    const BusyScope busy;
    commitTyping();
    const int n = unsavedCount();
    if (n == 0)
        return;
    if (QMessageBox::question(this, tr("Revert all changes"), tr("Discard all %n unsaved changes?", nullptr, n),
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
    const RestoreFlow::Outcome outcome
        = flow.run([this](const QString &reason) { return OpenFlow(*m_session, this).confirmDiscard(reason); });
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
    if (WindowDialogs(*m_session, this).manageBackups([this](const QString &text) { showMessage(text, 10000); }))
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
        OpenFlow(*m_session, this).reportError(flow.reopenError());
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
    if (!needsFile(tr("Unused module data")))
        return;
    m_tabs->showUnused();
}

QString MainWindow::installedRecordPath() const
{
    return WindowDialogs(*m_session, nullptr).installedRecordPath();
}

void MainWindow::onInstalledUpdates()
{
    const BusyScope busy;
    WindowDialogs(*m_session, this).installedUpdates();
}

void MainWindow::onAbout()
{
    const BusyScope busy;
    WindowDialogs(*m_session, this).about();
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
    if (!needsFile(tr("Health check")))
        return;
    m_tabs->runHealthCheck();
}

void MainWindow::onEnvironmentPolled()
{
    m_tabs->setViewOnly(m_session->isHostRunning());
    if (!isBusy() && findSettingsFiles(services().environment) != m_foundFiles)
        refreshFileBox();
}

void MainWindow::onReset(ResetFlow::Preset preset)
{
    const BusyScope busy;
    commitTyping();
    ResetFlow flow(*m_session, this);
    const bool queued = flow.queue(preset);
    if (!flow.message().isEmpty())
        showMessage(flow.message(), 10000);
    if (queued && m_menus.save->isEnabled())
        onSave();
}

void MainWindow::onExportSettings()
{
    if (!needsFile(tr("Export settings")))
        return;
    exportChoices(TransferFlow::wholeFileChoices(*m_session));
}

void MainWindow::exportEntries(const QList<XsdtNode *> &nodes, const QString &title)
{
    if (needsFile(tr("Export settings")))
        exportChoices(TransferFlow::choicesFor(*m_session, {nodes.cbegin(), nodes.cend()}, title));
}

void MainWindow::copyToInstances(const QList<XsdtNode *> &nodes)
{
    if (!needsFile(tr("Copy to other instances")))
        return;
    commitTyping();
    TransferFlow flow(*m_session, this);
    const QStringList written = flow.copyToInstances({nodes.cbegin(), nodes.cend()});
    if (!flow.message().isEmpty())
        showMessage(flow.message(), 10000);
    // Compare shows what it read before: read again what was just written.
    CompareView *compare = m_tabs->compare();
    for (const QString &path : written) {
        if (!compare->otherPath().isEmpty() && SettingsExport::isSameFile(path, compare->otherPath())) {
            compare->showFile(compare->otherPath());
            break;
        }
    }
}

void MainWindow::exportChoices(const QList<ExportDialog::Choice> &choices)
{
    TransferFlow flow(*m_session, this);
    flow.exportChoices(choices);
    if (!flow.message().isEmpty())
        showMessage(flow.message(), 10000);
}

void MainWindow::onImportSettings(const QString &path)
{
    if (!needsFile(tr("Import settings")))
        return;
    commitTyping();
    TransferFlow flow(*m_session, this);
    flow.importSnippet(path);
    if (!flow.message().isEmpty())
        showMessage(flow.message(), 10000);
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
    // The File box shows the file's size and date, which the save changed.
    refreshFileBox();
    refreshState();
    emit backupsChanged();
    return true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const BusyScope busy;
    commitTyping();
    const int n = unsavedCount();
    const int answer = n == 0 ? QMessageBox::Discard : SaveFlow::askBeforeClosing(n, this);
    if (answer == QMessageBox::Discard || (answer == QMessageBox::Save && onSave())) {
        QSettings().setValue(QLatin1String(kGeometryKey), saveGeometry());
        event->accept();
    } else {
        event->ignore();
    }
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
    m_menus.fillToolbar();
    addToolBar(Qt::TopToolBarArea, m_toolbar);
    m_toolbar->restoreVisibility();
    connect(m_toolbar, &MainToolbar::sizeChanged, this, &MainWindow::updateMinimumWidth);
    m_toolbar->refreshIcons();
}

void MainWindow::updateMinimumWidth()
{
    int width = centralWidget()->minimumSizeHint().width();
    if (m_toolbar && m_toolbar->isVisible())
        width = std::max(width, m_toolbar->sizeHint().width());
    setMinimumWidth(width);
}

} // namespace pfw
