#include "ui/mainmenus.h"

#include "model/settingsmodel.h"
#include "ui/dialogs/aboutdialog.h"
#include "ui/views/allsettingspage.h"
#include "ui/glyphicon.h"
#include "ui/mainwindow.h"
#include "ui/maintoolbar.h"
#include "ui/thememanager.h"

#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTreeView>
#include <QUndoStack>

namespace pfw {

void MainMenus::build(MainWindow *window, QUndoStack *undoStack, SettingsModel *model)
{
    QMenu *file = window->menuBar()->addMenu(tr("&File"));
    open = file->addAction(tr("&Open settings file..."), window, &MainWindow::onOpen);
    open->setShortcut(QKeySequence::Open);
    reload = file->addAction(tr("&Reload from disk"), window, &MainWindow::onReload);
    reload->setShortcut(QKeySequence::Refresh);
    file->addSeparator();
    findModule = file->addAction(tr("Find &module data..."), window, &MainWindow::onFindModule);
    findModule->setShortcut(QKeySequence(QStringLiteral("Ctrl+M")));
    findModule->setStatusTip(tr("Look up everything the file records about one module"));
    file->addAction(tr("&Unused module data"), window, &MainWindow::onUnusedModules)
        ->setStatusTip(tr("Modules with saved data that are no longer in PixInsight's module list"));
    file->addAction(tr("Run &health check"), window, &MainWindow::onHealthCheck)
        ->setStatusTip(tr("Look for settings that are probably wrong"));
    findProblem = file->addAction(tr("Find a &problem setting..."), window, &MainWindow::onFindProblemSetting);
    findProblem->setStatusTip(tr("Find the setting that makes PixInsight misbehave, by testing halves of the "
                                 "differences from a backup that worked"));
    file->addSeparator();
    installedUpdates = file->addAction(tr("Installed &updates..."), window, &MainWindow::onInstalledUpdates);
    installedUpdates->setStatusTip(
        tr("PixInsight's own record of installed updates: remove a module's record so PixInsight offers it again"));
    // PixInsight may be installed or removed while the program runs.
    QObject::connect(file, &QMenu::aboutToShow, window, [this, window] {
        const bool found = !window->installedRecordPath().isEmpty();
        installedUpdates->setEnabled(found);
        installedUpdates->setToolTip(found ? QString()
                                           : tr("PixInsight's installed.xri was not found on this computer."));
    });
    reset = file->addMenu(tr("Rese&t"));
    reset->addAction(tr("All &preferences"), window, [window] { window->onReset(ResetFlow::Preset::AllPreferences); })
        ->setStatusTip(tr("Every preference back to PixInsight's default; the module list, repositories and signing "
                          "identity stay"));
    reset
        ->addAction(tr("&Window and workspace layout"), window,
                    [window] { window->onReset(ResetFlow::Preset::WindowLayout); })
        ->setStatusTip(tr("Window positions, sizes and docking, as PixInsight first opens them"));
    reset
        ->addAction(tr("A &module's saved settings..."), window,
                    [window] { window->onReset(ResetFlow::Preset::ModuleSettings); })
        ->setStatusTip(tr("One module starts again with its defaults"));
    exportSettings = file->addAction(tr("E&xport settings..."), window, &MainWindow::onExportSettings);
    exportSettings->setStatusTip(tr("Write chosen pages and groups to a small settings file, for another computer "
                                    "or another instance"));
    importSettings = file->addAction(tr("&Import settings..."), window, [window] { window->onImportSettings(); });
    importSettings->setStatusTip(tr("Bring a settings snippet into this file: see each entry first, then review "
                                    "and save as every change"));
    file->addSeparator();
    save = file->addAction(tr("&Save changes..."), window, [window] { window->onSave(); });
    save->setShortcut(QKeySequence::Save);
    save->setStatusTip(tr("Review the pending changes, then save"));
    restore = file->addAction(tr("Restore &backup..."), window, &MainWindow::onRestoreBackup);
    backups = file->addAction(tr("&Manage backups..."), window, &MainWindow::onManageBackups);
    file->addSeparator();
    quit = file->addAction(tr("&Quit"), window, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    ThemeManager &theme = ThemeManager::instance();
    QMenu *edit = window->menuBar()->addMenu(tr("&Edit"));
    undo = undoStack->createUndoAction(window, tr("&Undo"));
    redo = undoStack->createRedoAction(window, tr("&Redo"));
    // Through the model: a step is signalled as one, and nothing is undone while view only.
    QObject::disconnect(undo, &QAction::triggered, undoStack, &QUndoStack::undo);
    QObject::disconnect(redo, &QAction::triggered, undoStack, &QUndoStack::redo);
    QObject::connect(undo, &QAction::triggered, model, &SettingsModel::undo);
    QObject::connect(redo, &QAction::triggered, model, &SettingsModel::redo);
    undo->setShortcut(QKeySequence::Undo);
    redo->setShortcut(QKeySequence::Redo);
    edit->addAction(undo);
    edit->addAction(redo);
    edit->addSeparator();
    revertAll = edit->addAction(tr("Revert &all changes"), window, &MainWindow::onRevertAll);

    QMenu *view = window->menuBar()->addMenu(tr("&View"));
    view->addAction(tr("&Expand all"), window, [window] { window->tabs()->allSettings()->tree()->expandAll(); });
    view->addAction(tr("&Collapse all"), window, [window] { window->tabs()->allSettings()->collapseToPreferences(); });
    view->addSeparator();
    QAction *larger = view->addAction(tr("&Larger text"), window, [] { ThemeManager::instance().stepScale(+1); });
    larger->setShortcuts({QKeySequence(QKeySequence::ZoomIn), QKeySequence(QStringLiteral("Ctrl+="))});
    QAction *smaller = view->addAction(tr("&Smaller text"), window, [] { ThemeManager::instance().stepScale(-1); });
    smaller->setShortcut(QKeySequence::ZoomOut);
    QAction *defaultSize
        = view->addAction(tr("&Default text size"), window, [] { ThemeManager::instance().resetScale(); });
    defaultSize->setShortcut(QKeySequence(QStringLiteral("Ctrl+0")));
    view->addSeparator();
    QMenu *themeMenu = view->addMenu(tr("&Theme"));
    auto *themeGroup = new QActionGroup(window);
    const std::pair<int, QString> modes[] = {{ThemeManager::Light, tr("&Light")},
                                             {ThemeManager::Dark, tr("&Dark")},
                                             {ThemeManager::System, tr("Follow &system")}};
    for (const auto &[mode, text] : modes) {
        QAction *action
            = themeMenu->addAction(text, window, [mode = mode] { ThemeManager::instance().setMode(mode, true); });
        action->setCheckable(true);
        action->setChecked(theme.mode() == mode);
        themeGroup->addAction(action);
        this->themes.insert(mode, action);
    }
    themeMenu->addSeparator();
    toggleTheme = themeMenu->addAction(tr("Toggle light/dark"), window, [] {
        ThemeManager &manager = ThemeManager::instance();
        manager.setMode(manager.isDark() ? ThemeManager::Light : ThemeManager::Dark, true);
    });
    toggleTheme->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+D")));
    view->addSeparator();
    toolbar = new MainToolbar(window);
    QAction *showToolbar = toolbar->toggleViewAction();
    showToolbar->setText(tr("Tool&bar"));
    view->addAction(showToolbar);

    QMenu *help = window->menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&User Guide"), window, [] { AboutDialog::openUserGuide(); });
    help->addSeparator();
    about = help->addAction(tr("&About Prefwright"), window, &MainWindow::onAbout);
    about->setMenuRole(QAction::AboutRole);
    QAction *aboutQt = help->addAction(tr("About &Qt"), qApp, &QApplication::aboutQt);
    aboutQt->setMenuRole(QAction::AboutQtRole);
}

void MainMenus::fillToolbar()
{
    toolbar->addEntry(open, tr("Open"), FolderGlyph);
    toolbar->addEntry(reload, tr("Reload"), ReloadGlyph);
    toolbar->addEntry(save, tr("Save"), SaveGlyph);
    toolbar->addEntry(revertAll, tr("Revert all"), RevertGlyph);
    toolbar->addEntry(findModule, tr("Find module"), FindGlyph);
    toolbar->addEntry(backups, tr("Backups"), BackupsGlyph);
    toolbar->addEntry(restore, tr("Restore"), RestoreGlyph);
    toolbar->addEntry(toggleTheme, tr("Theme"), ThemeGlyph);
    toolbar->addEntry(about, tr("About"), AboutGlyph);
}

} // namespace pfw
