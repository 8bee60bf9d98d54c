#include "platform/hostservices.h"

#include "platform/hostlocations.h"
#include "platform/hostprocesses.h"

namespace pfw {

HostServices HostServices::system()
{
    HostServices services;
    services.environment = HostEnvironment::system();
    services.isHostRunning = [] { return checkHostRunning(); };
    return services;
}

bool HostServices::writableBeside(const QString &path) const
{
    return canWriteBeside ? canWriteBeside(path) : pfw::canWriteBeside(path);
}

} // namespace pfw
