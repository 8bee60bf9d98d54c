#include "platform/hostservices.h"

#include "platform/hostprocesses.h"

namespace pfw {

HostServices HostServices::system()
{
    HostServices services;
    services.environment = HostEnvironment::system();
    services.isHostRunning = [] { return pfw::isHostRunning(); };
    return services;
}

} // namespace pfw
