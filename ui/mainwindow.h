#pragma once

#include <functional>

#include "platform/hostservices.h"
#include "session/editingsession.h"
#include "ui/dialogs/problemsearchdialog.h"
#include "ui/mainmenus.h"

#include <QMainWindow>
#include <QMap>
#include <QTimer>

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QToolBar;

namespace pfw {

class AdBanner;
class AllSettingsPage;
class CleanupView;
class CompareView;
class DeletionFlow;
class FileRow;
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

// The program's one window: the editing session's menus, toolbar, banner and tabs, wired to
// it, and the dialogs its menus open.
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
    EditingSession *session() const { return m_session; }
    SettingsDocument &document() { return m_session->document(); }
    SettingsModel *model() const { return m_session->model(); }
    AllSettingsPage *allSettingsPage() const;
    PreferencesView *preferencesView() const;
    SearchView *searchView() const;
    HealthView *healthView() const;
    CleanupView *cleanupView() const;
    CompareView *compareView() const;
    UnusedModulesView *unusedModulesView() const;
    DeletionFlow *deletionFlow() const { return m_deletion; }
    QComboBox *fileBox() const;
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
    bool isHostRunning() const { return m_session->isHostRunning(); }
    const HostServices &services() const { return m_session->services(); }
    const QStringList &foundFiles() const { return m_foundFiles; }
    QString installedRecordPath() const;
    bool isChangedOnDisk() const { return m_session->isChangedOnDisk(); }
    // The file's identity changed and it is being read to see whether its content did.
    bool isCheckingDisk() const { return m_session->isCheckingDisk(); }

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
    void fileChosen(const QString &path);
    bool confirmDiscard(const QString &reason);
    void showMessage(const QString &text, int timeoutMs);
    void reportOpenError(const QString &error);

    EditingSession *m_session;
    SettingsFilterProxy *m_proxy = nullptr;
    DeletionFlow *m_deletion = nullptr;

    MainMenus m_menus;
    MainToolbar *m_toolbar = nullptr;
    AdBanner *m_adBanner = nullptr;
    double m_lastScale = 0;

    FileRow *m_fileRow = nullptr;
    QLabel *m_banner = nullptr;
    QPushButton *m_reloadButton = nullptr;
    MainTabs *m_tabs = nullptr;

    QStringList m_foundFiles;
    bool m_firstShow = true;
};

} // namespace pfw
