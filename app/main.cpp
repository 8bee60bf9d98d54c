// Decides the process's role from the raw first argument: an elevated helper runs without any
// window; everything else is the editor.
#include "core/terminaltext.h"
#include "core/translations.h"
#include "modules/installedrecords.h"
#include "modules/leftovers.h"
#include "platform/hostenvironment.h"
#include "platform/interrupthold.h"
#include "platform/rawarguments.h"
#include "ui/dialogs/aboutdialog.h"
#include "ui/banner/adbanner.h"
#include "ui/mainwindow.h"
#include "ui/thememanager.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace {

int runHelper(int argc, char *argv[], int (*helper)(const QStringList &))
{
    QCoreApplication app(argc, argv);
    pfw::Translations::install();
    return helper(app.arguments().mid(1));
}

int leftoversHelper(const QStringList &arguments)
{
    // The helper runs with administrator rights: it finds PixInsight by itself and never
    // follows directions from the user's environment.
    return pfw::runLeftoversHelper(arguments, pfw::HostEnvironment::system(true));
}

int installedUpdatesHelper(const QStringList &arguments)
{
    return pfw::runInstalledUpdatesHelper(arguments, pfw::HostEnvironment::system(true));
}

// Names and keys in a message come from files: no control character reaches the terminal raw.
void printError(const QString &error)
{
    std::fprintf(stderr, "%s\n", pfw::TerminalText::printable(error).toLocal8Bit().constData());
}

// Help and the version need no display: they are answered before any window system is asked for.
bool asksOnlyForText(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        for (const char *option : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    pfw::reportFileSizeLimitsAsErrors();
    if (argc >= 2 && std::strcmp(argv[1], "--leftovers-helper") == 0)
        return runHelper(argc, argv, leftoversHelper);
    if (argc >= 2 && std::strcmp(argv[1], "--installed-updates-helper") == 0)
        return runHelper(argc, argv, installedUpdatesHelper);

    std::unique_ptr<QCoreApplication> textOnly;
    if (asksOnlyForText(argc, argv))
        textOnly = std::make_unique<QCoreApplication>(argc, argv);
    std::optional<QApplication> app;
    if (!textOnly)
        app.emplace(argc, argv);
    pfw::Translations::install();
    QCoreApplication::setOrganizationName(QStringLiteral("Brightquill"));
    QCoreApplication::setApplicationName(QStringLiteral("Brightquill"));
    QCoreApplication::setApplicationVersion(pfw::AboutDialog::version());

    QCommandLineParser parser;
    parser.setApplicationDescription(QApplication::translate("main", "Edit PixInsight settings safely."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QApplication::translate("main",
                                "Settings file to open (default: the one found in the PixInsight config directory)."),
        QString());
    const QCommandLineOption themeOption(
        QStringLiteral("theme"),
        QApplication::translate("main", "Use this theme for this run only: light, dark or system."),
        QStringLiteral("name"));
    const QCommandLineOption scaleOption(
        QStringLiteral("font-scale"),
        QApplication::translate("main", "Use this text size scale for this run only (default 1.25)."),
        QStringLiteral("factor"));
    const QCommandLineOption screenshotsOption(
        QStringLiteral("screenshots"),
        QApplication::translate("main", "Render the pages to PNG files in <dir> and exit (for layout checks)."),
        QStringLiteral("dir"));
    const QCommandLineOption screenshotSearchOption(
        QStringLiteral("screenshot-search"),
        QApplication::translate("main", "Search text applied before rendering the Preferences pages."),
        QStringLiteral("text"));
    parser.addOption(screenshotsOption);
    parser.addOption(screenshotSearchOption);
    parser.addOption(themeOption);
    parser.addOption(scaleOption);
    parser.process(QCoreApplication::arguments());
    if (textOnly) {
        // Only when Qt's own help and version did not end the process (a misspelt option).
        return 0;
    }
    QApplication::setApplicationDisplayName(QStringLiteral("Prefwright"));
    // Lets the desktop match the window to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.prefwright.prefwright"));
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256, 512})
        icon.addFile(QStringLiteral(":/icons/prefw-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    pfw::ThemeManager &theme = pfw::ThemeManager::instance();
    theme.init(true);
    if (parser.isSet(themeOption)) {
        const QString name = parser.value(themeOption).toLower();
        theme.setMode(name == u"dark"        ? pfw::ThemeManager::Dark
                          : name == u"light" ? pfw::ThemeManager::Light
                                             : pfw::ThemeManager::System,
                      false);
    }
    if (parser.isSet(scaleOption)) {
        bool ok = false;
        const double factor = parser.value(scaleOption).toDouble(&ok);
        if (ok)
            theme.setScale(factor, false);
    }

    const bool screenshots = parser.isSet(screenshotsOption);
    bool openFailed = false;
    if (screenshots) {
        pfw::MainWindow::reportOpenErrorsTo([&openFailed](const QString &error) {
            printError(error);
            openFailed = true;
        });
    }
    pfw::MainWindow window;
    const QStringList files = parser.positionalArguments();
    pfw::RawArgument unusable;
    const int unusableAt = pfw::firstUnencodableArgument(argc, argv, &unusable);
    if (!files.isEmpty() && unusableAt > 0 && QFile::decodeName(unusable.bytes) == files.constFirst()) {
        // Opened as Qt spells it, it would be another file, or none.
        const QString error = QApplication::translate("main",
                                                      "The file name %1 is not valid UTF-8, the encoding of file "
                                                      "names here, so Prefwright cannot open that file.")
                                  .arg(unusable.shown());
        if (screenshots)
            printError(error);
        else
            QMessageBox::critical(&window, QApplication::translate("main", "Cannot open file"), error);
        openFailed = true;
    } else if (!files.isEmpty()) {
        openFailed = !window.openFile(files.constFirst());
    }
    if (screenshots) {
        // Pictures of another file, or of none, would pass for pictures of the file asked for.
        if (openFailed)
            return 1;
        window.adBanner()->start(false, 0);
        const QString error
            = window.renderScreenshots(parser.value(screenshotsOption), parser.value(screenshotSearchOption));
        if (!error.isEmpty()) {
            printError(error);
            return 1;
        }
        return 0;
    }
    window.adBanner()->start(true, 100);
    window.show();
    // A search for a problem setting survives the program being closed.
    QTimer::singleShot(0, &window, &pfw::MainWindow::offerUnfinishedSearch);
    return app->exec();
}
