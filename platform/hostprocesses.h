#pragma once

#include <QList>
#include <QString>

namespace pfw {

// PixInsight's executable file name on the platform the program was built for.
QString hostExecutableName();

// Identifiers of the running PixInsight processes; an empty list when none runs or the
// process list cannot be read.
QList<qint64> runningHostProcesses();
bool isHostRunning();

// The processes below a /proc-style folder whose executable file name equals name, ignoring
// case. Entries that vanish or cannot be read are skipped.
QList<qint64> processesNamedInProc(const QString &procRoot, const QString &name);

} // namespace pfw
