#include "platform/hostenvironment.h"

#include <QDir>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include "platform/winapi.h"
#endif

namespace pfw {

PlatformFlavour HostEnvironment::builtFlavour()
{
#if defined(Q_OS_WIN)
    return PlatformFlavour::Windows;
#elif defined(Q_OS_MACOS)
    return PlatformFlavour::MacOS;
#else
    return PlatformFlavour::Linux;
#endif
}

HostEnvironment HostEnvironment::system(bool forElevatedHelper)
{
    HostEnvironment environment;
    environment.home = QDir::homePath();
    environment.genericConfig = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    environment.variables = QProcessEnvironment::systemEnvironment();
#ifdef Q_OS_WIN
    for (const std::wstring &folder : win::programFilesFolders())
        environment.programFilesFolders << QString::fromStdWString(folder);
#endif
    environment.elevatedHelper = forElevatedHelper;
    return environment;
}

QString HostEnvironment::moduleExtension()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("dll");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("dylib");
#else
    return QStringLiteral("so");
#endif
}

} // namespace pfw
