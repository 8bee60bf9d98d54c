#pragma once

#include "platform/hostservices.h"

#include <QString>

#include <functional>

namespace pfw::test {

// What a window under test asks of the machine: Linux folders under home, the running check
// given, and no elevation.
inline HostServices servicesIn(const QString &home, std::function<bool()> isHostRunning)
{
    HostServices services;
    services.environment.flavour = PlatformFlavour::Linux;
    services.environment.home = home;
    services.isHostRunning = std::move(isHostRunning);
    services.launcher.setAuthenticationProgram(QString());
    return services;
}

} // namespace pfw::test
