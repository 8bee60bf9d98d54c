#pragma once

#include "core/settingsdocument.h"
#include "modules/leftovers.h"
#include "platform/hostservices.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QMainWindow>
#include <QMap>
#include <QTimer>

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
class HealthView;
class PreferencesView;
class SearchView;
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
    int unsavedCount() const;

    // For tests and the views that come with later features.
    SettingsDocument &document() { return m_document; }
    SettingsModel *model() const { return m_model; }
    AllSettingsPage *allSettingsPage() const { return m_allSettings; }
    PreferencesView *preferencesView() const { return m_preferences; }
    SearchView *searchView() const { return m_search; }
    HealthView *healthView() const { return m_health; }
    CleanupView *cleanupView() const { return m_cleanup; }
    CompareView *compareView() const { return m_compare; }
    UnusedModulesView *unusedModulesView() const { return m_unused; }
    DeletionFlow *deletionFlow() const { return m_deletion; }
    QComboBox *fileBox() const { return m_fileBox; }
    QLabel *bannerLabel() const { return m_banner; }
    QPushButton *reloadButton() const { return m_reloadButton; }
    QTabWidget *tabs() const { return m_tabs; }
    QAction *saveAction() const { return m_saveAction; }
    QAction *restoreAction() const { return m_restoreAction; }
    QAction *reloadAction() const { return m_reloadAction; }
    QAction *installedUpdatesAction() const { return m_installedUpdatesAction; }
    QToolBar *toolbar() const { return m_toolbar; }
    AdBanner *adBanner() const { return m_adBanner; }
    QAction *revertAllAction() const { return m_revertAllAction; }
    QAction *undoAction() const { return m_undoAction; }
    QAction *redoAction() const { return m_redoAction; }
    QAction *themeAction(int mode) const { return m_themeActions.value(mode); }
    bool isHostRunning() const { return m_running; }
    bool isChangedOnDisk() const { return m_changedOnDisk; }

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
    void renderScreenshots(const QString &folder, const QString &searchText);
    void onRestoreBackup();
    void onManageBackups();
    void onEdited();
    void pollEnvironment();
    // A dialog, menu or in-place editor is open, or window code is running below: the tree
    // must not be replaced now.
    bool isBusy() const;
    void updateMinimumWidth();
    void refreshToolbarIcons();
    void ensureOnScreen();
    void updateStatusBarStyle();
    void onThemeChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildActions();
    void buildCentralWidget();
    void buildToolbar();
    void addToolbarEntry(QAction *action, const QString &iconText, int glyph);
    void refreshState();
    void onEnvironmentPolled();
    void setViewsViewOnly(bool on);
    QString installedRecordPath() const;
    void refreshFileBox();
    void fileChosen(int index);
    bool confirmDiscard(const QString &reason);
    void detachViews(bool keepHistory = false);
    void attachViews(bool keepHistory = false);
    QString deleteLeftoversAfterSave(const QList<Leftover> &items);
    void showMessage(const QString &text, int timeoutMs);
    void revealNode(XsdtNode *node);
    void fullModuleSearch(const QString &name);

    HostServices m_services;
    SettingsDocument m_document;
    SettingsSchema m_schema;
    DeletionPolicy m_policy;
    SettingsModel *m_model = nullptr;
    QUndoStack *m_undoStack = nullptr;
    SettingsFilterProxy *m_proxy = nullptr;
    DeletionFlow *m_deletion = nullptr;

    QAction *m_openAction = nullptr;
    QAction *m_reloadAction = nullptr;
    QAction *m_installedUpdatesAction = nullptr;
    QAction *m_saveAction = nullptr;
    QAction *m_restoreAction = nullptr;
    QAction *m_backupsAction = nullptr;
    QAction *m_quitAction = nullptr;
    QAction *m_revertAllAction = nullptr;
    QAction *m_undoAction = nullptr;
    QAction *m_redoAction = nullptr;
    QMap<int, QAction *> m_themeActions;
    QAction *m_findModuleAction = nullptr;
    QAction *m_toggleThemeAction = nullptr;
    QAction *m_aboutAction = nullptr;
    QToolBar *m_toolbar = nullptr;
    AdBanner *m_adBanner = nullptr;
    QList<QPair<QAction *, int>> m_toolbarEntries;
    double m_lastScale = 0;

    QComboBox *m_fileBox = nullptr;
    QLabel *m_banner = nullptr;
    QPushButton *m_reloadButton = nullptr;
    QTabWidget *m_tabs = nullptr;
    AllSettingsPage *m_allSettings = nullptr;
    PreferencesView *m_preferences = nullptr;
    SearchView *m_search = nullptr;
    CleanupView *m_cleanup = nullptr;
    CompareView *m_compare = nullptr;
    UnusedModulesView *m_unused = nullptr;
    HealthView *m_health = nullptr;

    EnvironmentWatcher *m_watcher = nullptr;
    QStringList m_foundFiles;
    bool m_loaded = false;
    bool m_running = false;
    bool m_changedOnDisk = false;
    bool m_firstShow = true;
};

} // namespace pfw
