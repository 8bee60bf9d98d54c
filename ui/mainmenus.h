#pragma once

#include <QCoreApplication>
#include <QMap>

class QAction;
class QMenu;
class QUndoStack;

namespace pfw {

class MainToolbar;
class MainWindow;
class SettingsModel;

// The main window's menu bar and the actions the toolbar shares with it. Their slots are the
// window's; the window enables them as its state changes.
class MainMenus final
{
    Q_DECLARE_TR_FUNCTIONS(MainMenus)

public:
    void build(MainWindow *window, QUndoStack *undoStack, SettingsModel *model);
    // The toolbar's entries: the actions most used, in the menus' order.
    void fillToolbar();

    QAction *open = nullptr;
    QAction *reload = nullptr;
    QAction *findModule = nullptr;
    QAction *installedUpdates = nullptr;
    QAction *findProblem = nullptr;
    QMenu *reset = nullptr;
    QAction *exportSettings = nullptr;
    QAction *importSettings = nullptr;
    QAction *save = nullptr;
    QAction *restore = nullptr;
    QAction *backups = nullptr;
    QAction *quit = nullptr;
    QAction *undo = nullptr;
    QAction *redo = nullptr;
    QAction *revertAll = nullptr;
    QAction *toggleTheme = nullptr;
    QAction *about = nullptr;
    QMap<int, QAction *> themes;
    MainToolbar *toolbar = nullptr;
};

} // namespace pfw
