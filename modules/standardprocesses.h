#pragma once

#include <QSet>
#include <QString>

namespace pfw {

// The processes PixInsight's standard modules provide, by process id (HistogramTransformation,
// PixelMath). The module list names module files, not these, so their saved settings would
// otherwise look like an uninstalled module's.
class StandardProcesses final
{
public:
    static const QSet<QString> &ids();
    static bool contains(const QString &name) { return ids().contains(name); }
};

} // namespace pfw
