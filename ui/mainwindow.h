#pragma once

#include <functional>

#include "platform/hostservices.h"
#include "session/editingsession.h"
#include "ui/dialogs/problemsearchdialog.h"
#include "ui/bannerrow.h"
#include "ui/busycheck.h"
#include "ui/filerow.h"
#include "ui/mainmenus.h"
#include "ui/maintabs.h"
#include "ui/maintoolbar.h"
#include "ui/openflow.h"
#include "ui/resetflow.h"
#include "ui/transferflow.h"
#include "ui/screenplacement.h"

#include <QMainWindow>
#include <QStatusBar>
#include <QMap>
#include <QTimer>

class QComboBox;
class QLabel;
class QPushButton;
class QToolBar;

namespace pfw {

class AdBanner;
class DeletionFlow;
class SettingHistoryDialog;
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
    static void reportOpenErrorsTo(std::function<void(const QString &)> sink)
    {
        OpenFlow::reportErrorsTo(std::move(sink));
    }
    int unsavedCount() const { return m_session->unsavedCount(); }

    // For tests and the views that come with later features.
    EditingSession *session() const { return m_session; }
    SettingsDocument &document() { return m_session->document(); }
    SettingsModel *model() const { return m_session->model(); }
    DeletionFlow *deletionFlow() const { return m_deletion; }
    QComboBox *fileBox() const { return m_fileRow->box(); }
    QLabel *bannerLabel() const { return m_bannerRow->label(); }
    QPushButton *reloadButton() const { return m_bannerRow->reloadButton(); }
    QPushButton *showHostChangesButton() const { return m_bannerRow->showChangesButton(); }
    MainTabs *tabs() const { return m_tabs; }
    QAction *saveAction() const { return m_menus.save; }
    QAction *restoreAction() const { return m_menus.restore; }
    QAction *reloadAction() const { return m_menus.reload; }
    QAction *installedUpdatesAction() const { return m_menus.installedUpdates; }
    QAction *findProblemAction() const { return m_menus.findProblem; }
    QToolBar *toolbar() const { return m_toolbar; }
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
    // Queues a reset preset, then opens the review.
    void onReset(ResetFlow::Preset preset);
    // File > Export settings...: the pages and groups of the file to choose from.
    void onExportSettings();
    // The entries given, from a view's menu or a page's button.
    void exportEntries(const QList<pfw::XsdtNode *> &nodes, const QString &title);
    // The entries' values into PixInsight's other instances' files, each after a review.
    void copyToInstances(const QList<pfw::XsdtNode *> &nodes);
    // Asks for the snippet when path is empty.
    void onImportSettings(const QString &path = QString());
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
    void pollEnvironment() { m_session->poll(); }
    // A dialog, menu or in-place editor is open, or window code is running below: the tree
    // must not be replaced now.
    bool isBusy() const { return BusyCheck::isBusy(); }
    // Commits what is typed into the focused field, so that counts and reviews include it.
    void commitTyping() { BusyCheck::commitTyping(this); }
    void updateMinimumWidth();
    void ensureOnScreen() { bringOnScreen(this); }
    void updateStatusBarStyle();
    void onThemeChanged();

signals:
    // A save added a backup, or backups were deleted.
    void backupsChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildActions();
    void buildCentralWidget();
    void buildToolbar();
    void refreshState();
    void onEnvironmentPolled();
    void refreshFileBox();
    void fileChosen(const QString &path);
    // False, after saying so, when no file is open.
    bool needsFile(const QString &title);
    void exportChoices(const QList<ExportDialog::Choice> &choices);
    void showMessage(const QString &text, int timeoutMs) { statusBar()->showMessage(text, timeoutMs); }

    EditingSession *m_session;
    SettingsFilterProxy *m_proxy = nullptr;
    DeletionFlow *m_deletion = nullptr;

    MainMenus m_menus;
    MainToolbar *m_toolbar = nullptr;
    AdBanner *m_adBanner = nullptr;
    double m_lastScale = 0;

    FileRow *m_fileRow = nullptr;
    BannerRow *m_bannerRow = nullptr;
    MainTabs *m_tabs = nullptr;

    QStringList m_foundFiles;
    bool m_firstShow = true;
};

} // namespace pfw
