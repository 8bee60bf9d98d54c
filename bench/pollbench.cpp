// The environment poll of the main window on large files: what one poll costs the GUI thread
// when the file is unchanged, and when it was rewritten (plus how long until the window knows).
#include "bench/settingsgenerator.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

double pollMs(pfw::MainWindow &window)
{
    QElapsedTimer timer;
    timer.start();
    window.pollEnvironment();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (const int megabytes : {1, 20}) {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath(QStringLiteral(".PixInsight")));
        const QString path = dir.filePath(QStringLiteral(".PixInsight/core-001-pxi.settings"));
        const QByteArray bytes = pfw::SettingsGenerator::sized(qsizetype(megabytes) * 1024 * 1024);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
        file.close();

        // The real running check, as the window uses it.
        pfw::HostServices services = pfw::HostServices::system();
        services.environment.flavour = pfw::PlatformFlavour::Linux;
        services.environment.home = dir.path();
        pfw::MainWindow window(services);
        window.show();
        QApplication::processEvents();

        QList<double> unchanged;
        for (int i = 0; i < 50; ++i)
            unchanged << pollMs(window);
        std::sort(unchanged.begin(), unchanged.end());

        QByteArray rewritten = bytes;
        rewritten.replace("k=\"MaxProcessors\" t=\"i\" v=\"64\"", "k=\"MaxProcessors\" t=\"i\" v=\"12\"");
        if (!file.open(QIODevice::WriteOnly) || file.write(rewritten) != rewritten.size())
            return 1;
        file.close();
        QElapsedTimer known;
        known.start();
        const double changed = pollMs(window);
        while (!window.isChangedOnDisk() && known.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double knownMs = double(known.nsecsElapsed()) / 1e6;
        const double after = pollMs(window);
        std::printf("%2d MB: poll of an unchanged file median %6.2f ms, max %6.2f ms (target 2 ms, %.2fx); "
                    "changed: the poll %6.2f ms, known after %6.1f ms, next poll %6.2f ms\n",
                    megabytes, unchanged.at(unchanged.size() / 2), unchanged.constLast(), unchanged.constLast() / 2,
                    changed, knownMs, after);
    }
    return 0;
}
