#pragma once

#include "platform/elevatedlauncher.h"
#include "platform/hostenvironment.h"
#include "platform/hostprocesses.h"

#include <functional>

namespace pfw {

// Everything the windows ask of the machine, in one place so tests can hand in temporary
// folders, a fake running check and a fake elevation.
struct HostServices
{
    HostEnvironment environment;
    std::function<HostRunningCheck()> isHostRunning;
    // Whether a file can be created beside a path; empty means the real test.
    std::function<bool(const QString &)> canWriteBeside;
    ElevatedLauncher launcher;

    static HostServices system();
    bool writableBeside(const QString &path) const;
};

} // namespace pfw
