#pragma once

#include <functional>

#include "core/settingsdocument.h"
#include "modules/leftovers.h"
#include "platform/hostservices.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"
#include "ui/dialogs/problemsearchdialog.h"
#include "ui/mainmenus.h"

#include <QMainWindow>
#include <QMap>
#include <QTimer>

#include <utility>

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QToolBar;
class QUndoStack;

namespace pfw {

class AdBanner;
class EnvironmentWatcher;
class AllSettingsPage;
class CleanupView;
class CompareView;
class DeletionFlow;
class DiskChangeMonitor;
class HealthView;
class MainTabs;
class MainToolbar;
class PreferencesView;
class SearchView;
class SettingHistoryDialog;
class UnusedModulesView;
class SettingsFilterProxy;
class SettingsModel;
struct XsdtNode;

// The program's one window: owns the open document, the schema, the policy, the model and
// every view, and keeps them in step with PixInsight running, the file changing on disk and
// the count of pending changes.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(const HostServices &services = HostServices::system(), QWidget *parent = nullptr);
    ~MainWindow() override;

    bool openFile(const QString &path);
    // Where a file that cannot be opened is reported instead of a message box: in screenshot
    // mode nobody is there to close one.
    static void reportOpenErrorsTo(std::function<void(const QString &)> sink);
    int unsavedCount() const;

    // For tests and the views that come with later features.
    SettingsDocument &document() { return m_document; }
    SettingsModel *model() const { return m_model; }
    AllSettingsPage *allSettingsPage() const;
    PreferencesView *preferencesView() const;
    SearchView *searchView() const;
    HealthView *healthView() const;
    CleanupView *cleanupView() const;
    CompareView *compareView() const;
    UnusedModulesView *unusedModulesView() const;
    DeletionFlow *deletionFlow() const { return m_deletion; }
    QComboBox *fileBox() const { return m_fileBox; }
    QLabel *bannerLabel() const { return m_banner; }
    QPushButton *reloadButton() const { return m_reloadButton; }
    QTabWidget *tabs() const;
    QAction *saveAction() const { return m_menus.save; }
    QAction *restoreAction() const { return m_menus.restore; }
    QAction *reloadAction() const { return m_menus.reload; }
    QAction *installedUpdatesAction() const { return m_menus.installedUpdates; }
    QAction *findProblemAction() const { return m_menus.findProblem; }
    QToolBar *toolbar() const;
    AdBanner *adBanner() const { return m_adBanner; }
    QAction *revertAllAction() const { return m_menus.revertAll; }
    QAction *undoAction() const { return m_menus.undo; }
    QAction *redoAction() const { return m_menus.redo; }
    QAction *themeAction(int mode) const { return m_menus.themes.value(mode); }
    bool isHostRunning() const { return m_running; }
    const HostServices &services() const { return m_services; }
    const QStringList &foundFiles() const { return m_foundFiles; }
    QString installedRecordPath() const;
    bool isChangedOnDisk() const { return m_changedOnDisk; }
    // The file's identity changed and it is being read to see whether its content did.
    bool isCheckingDisk() const;

public slots:
    void onOpen();
    void onReload();
    bool onSave();
    void onRevertAll();
    void updateUndoActions();
    void onFindModule();
    void onUnusedModules();
    void onHealthCheck();
    void onInstalledUpdates();
    void onAbout();
    // Walks every page, view and dialog and saves each as a PNG in folder; never saves the file.
    // inspector: called with each window or dialog before its picture is taken (tests walk them).
    // Empty when every picture was written, otherwise why not.
    QString renderScreenshots(const QString &folder, const QString &searchText,
                           const std::function<void(QWidget *, const QString &)> &inspector = {});
    void onRestoreBackup();
    void onManageBackups();
    void onFindProblemSetting();
    // What the Find a problem setting dialog works on: the open file, the rules, the running check.
    ProblemSearchDialog::Context problemSearchContext();
    // Offers to go on with a search for a problem setting left unfinished in the open file.
    void offerUnfinishedSearch();
    // Opens the history of a value beside the window; it closes itself.
    SettingHistoryDialog *showHistory(pfw::XsdtNode *node);
    void onEdited();
    void pollEnvironment();
    // A dialog, menu or in-place editor is open, or window code is running below: the tree
    // must not be replaced now.
    bool isBusy() const;
    // Commits what is typed into the focused field, so that counts and reviews include it.
    void commitTyping();
    void updateMinimumWidth();
    void ensureOnScreen();
    void updateStatusBarStyle();
    void onThemeChanged();

signals:
    // A save added a backup, or backups were deleted.
    void backupsChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    static std::function<void(const QString &)> s_errorSink;

    void buildActions();
    void buildCentralWidget();
    void buildToolbar();
    void refreshState();
    void onEnvironmentPolled();
    void refreshFileBox();
    void fileChosen(int index);
    bool confirmDiscard(const QString &reason);
    void detachViews(bool keepHistory = false);
    void attachViews(bool keepHistory = false);
    void showMessage(const QString &text, int timeoutMs);

    HostServices m_services;
    SettingsDocument m_document;
    SettingsSchema m_schema;
    DeletionPolicy m_policy;
    SettingsModel *m_model = nullptr;
    QUndoStack *m_undoStack = nullptr;
    SettingsFilterProxy *m_proxy = nullptr;
    DeletionFlow *m_deletion = nullptr;

    MainMenus m_menus;
    MainToolbar *m_toolbar = nullptr;
    AdBanner *m_adBanner = nullptr;
    double m_lastScale = 0;

    QComboBox *m_fileBox = nullptr;
    QLabel *m_banner = nullptr;
    QPushButton *m_reloadButton = nullptr;
    MainTabs *m_tabs = nullptr;

    EnvironmentWatcher *m_watcher = nullptr;
    DiskChangeMonitor *m_diskMonitor = nullptr;
    QStringList m_foundFiles;
    bool m_loaded = false;
    bool m_running = false;
    bool m_changedOnDisk = false;
    bool m_firstShow = true;
    mutable qsizetype m_pendingCount = 0;
    mutable std::pair<quint64, quint64> m_countedAt{~quint64(0), ~quint64(0)};
};

} // namespace pfw
