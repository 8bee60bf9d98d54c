// Resident memory of the window with a 20 MB file open and every tab visited once, and whether
// it grows over 100 environment polls and over 100 edit and undo cycles.
#include "bench/benchtimer.h"
#include "bench/settingsgenerator.h"
#include "core/xsdtnode.h"
#include "model/settingsmodel.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double residentMb()
{
    return double(pfw::bench::residentBytes()) / (1024 * 1024);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral(".PixInsight")));
    QFile file(dir.filePath(QStringLiteral(".PixInsight/core-001-pxi.settings")));
    const QByteArray bytes = pfw::SettingsGenerator::sized(qsizetype(20) * 1024 * 1024);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return 1;
    file.close();
    const double before = residentMb();

    pfw::HostServices services;
    services.environment.flavour = pfw::PlatformFlavour::Linux;
    services.environment.home = dir.path();
    services.isHostRunning = [] { return false; };
    pfw::MainWindow window(services);
    window.show();
    QApplication::processEvents();
    for (int tab = 0; tab < window.tabs()->count(); ++tab) {
        window.tabs()->setCurrentIndex(tab);
        QApplication::processEvents();
    }
    const double open = residentMb();

    for (int i = 0; i < 100; ++i) {
        window.pollEnvironment();
        QApplication::processEvents();
    }
    const double polled = residentMb();

    pfw::SettingsModel *model = window.model();
    pfw::XsdtNode *node = window.document().file().root.findPath(u"Global/Preferences/Process/MaxProcessors");
    if (!node)
        return 1;
    for (int i = 0; i < 100; ++i) {
        model->setData(model->indexFor(node, pfw::SettingsModel::ValueColumn), QString::number(2 + i % 50));
        QApplication::processEvents();
        model->undo();
        QApplication::processEvents();
    }
    const double edited = residentMb();

    std::printf("Window with a %.1f MB file, every tab visited: %.1f MB resident (%.1f MB before, %.1fx the file)\n",
                double(bytes.size()) / (1024 * 1024), open, before,
                (open - before) / (double(bytes.size()) / (1024 * 1024)));
    std::printf("  after 100 polls:              %+.1f MB\n", polled - open);
    std::printf("  after 100 edit/undo cycles:   %+.1f MB\n", edited - polled);
    return 0;
}
