// Starts reading the history of a value over the backups of a settings file and quits the
// program after the given number of milliseconds, whatever is still being read.
#include "core/settinghistory.h"
#include "ui/historyreader.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 4)
        return 2;
    pfw::HistoryReader reader;
    reader.start(pfw::SettingHistory::backupsNewestFirst(arguments.at(1)), arguments.at(2), 0);
    QTimer::singleShot(arguments.at(3).toInt(), &app, &QCoreApplication::quit);
    return app.exec();
}
