#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QString>

namespace pfw {

// The one banner above the tabs: what matters most about the open file right now.
class StatusBanner final
{
    Q_DECLARE_TR_FUNCTIONS(StatusBanner)

public:
    struct State
    {
        bool loaded = false;
        bool running = false;
        // Why the running check could not be made; running is then set too.
        QString runningCheckError;
        bool changedOnDisk = false;
        bool searchInProgress = false;
        int unsaved = 0;
        bool validUtf8 = true;
        int invalidUtf8Line = 0;
        int invalidUtf8Column = 0;
        bool compactLayout = true;
        // What PixInsight changed while it ran, and what became of its module list.
        QString hostChanges;
        QString hostModules;
        // PixInsight left the file damaged, and where what it started with is kept.
        QString hostDamage;
    };
    struct Banner
    {
        QString text; // empty: no banner
        QColor colour;
        bool offersReload = false;
        bool offersHostChanges = false;
    };

    static Banner describe(const State &state);
};

} // namespace pfw
