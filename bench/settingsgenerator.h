#pragma once

#include <QByteArray>
#include <QString>

namespace pfw {

// Writes realistic PixInsight settings files in the compact layout: the bundled demo file,
// and larger files of any size for benchmarks and tests. Output is deterministic.
class SettingsGenerator final
{
public:
    // The demo file shipped in examples/.
    static QByteArray demo();
    // The demo content followed by generated module data until about targetBytes.
    static QByteArray sized(qsizetype targetBytes, quint32 seed = 1);
    // A file with roughly the given number of values, for views that must stay fast.
    static QByteArray withValues(int valueCount, quint32 seed = 1);
};

} // namespace pfw
