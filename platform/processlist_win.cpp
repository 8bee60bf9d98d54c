#include "platform/hostprocesses.h"

#include "platform/winapi.h"

#include <vector>

namespace pfw {

QString hostExecutableName()
{
    return QStringLiteral("PixInsight.exe");
}

// The Toolhelp snapshot of the system's processes.
HostProcessList listHostProcesses()
{
    HostProcessList list;
    std::vector<unsigned long long> ids;
    if (win::processIdsNamed(hostExecutableName().toStdWString(), &ids)) {
        for (const unsigned long long id : ids)
            list.ids.append(qint64(id));
    } else {
        list.error = QStringLiteral("the system gave no list of processes");
    }
    return list;
}

} // namespace pfw
