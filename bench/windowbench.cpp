// The main window on large generated files: from construction to shown with the file loaded,
// and one keystroke in the All settings filter.
#include "bench/settingsgenerator.h"
#include "ui/views/allsettingspage.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes{5, 20};
    if (argc > 1)
        sizes = {QByteArray(argv[1]).toInt()};
    for (const int megabytes : sizes) {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath(QStringLiteral(".PixInsight")));
        QFile file(dir.filePath(QStringLiteral(".PixInsight/core-001-pxi.settings")));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(pfw::SettingsGenerator::sized(qsizetype(megabytes) * 1024 * 1024));
        file.close();

        pfw::HostServices services;
        services.environment.flavour = pfw::PlatformFlavour::Linux;
        services.environment.home = dir.path();
        services.isHostRunning = [] { return false; };

        QElapsedTimer timer;
        timer.start();
        pfw::MainWindow window(services);
        window.show();
        QApplication::processEvents();
        const double shown = double(timer.nsecsElapsed()) / 1e6;

        QLineEdit *filter = window.allSettingsPage()->filterEdit();
        timer.restart();
        filter->setText(QStringLiteral("t"));
        QApplication::processEvents();
        const double first = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        filter->setText(QStringLiteral("th"));
        QApplication::processEvents();
        const double second = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        filter->clear();
        QApplication::processEvents();
        const double cleared = double(timer.nsecsElapsed()) / 1e6;
        std::printf("%2d MB: window shown with the file loaded %8.1f ms; filter keystrokes: \"t\" %7.1f ms, "
                    "\"th\" %7.1f ms, cleared %7.1f ms\n",
                    megabytes, shown, first, second, cleared);
    }
    return 0;
}
