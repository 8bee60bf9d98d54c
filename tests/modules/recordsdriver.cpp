// Runs the installed-updates helper on a test installation: the first argument stands in for
// Program Files, the rest is the helper's command line. Work starts only when a line arrives on
// standard input, so a test can set two of them off at the same moment.
#include "modules/installedrecords.h"
#include "platform/hostenvironment.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3)
        return 64;
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return 65;
    pfw::HostEnvironment environment;
    environment.flavour = pfw::PlatformFlavour::Windows;
    environment.programFilesFolders = QStringList{arguments.at(1)};
    return pfw::runInstalledUpdatesHelper(arguments.mid(2), environment, [] { return false; });
}
