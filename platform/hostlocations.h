#pragma once

#include "platform/hostenvironment.h"

#include <QStringList>

#include <functional>

namespace pfw {

// Where PixInsight keeps its settings files and where it is installed. Every call looks again;
// nothing is cached. Paths use forward slashes.

QStringList settingsFolders(PlatformFlavour flavour, const QString &home, const QString &appData,
                            const QString &genericConfig);
QStringList defaultSettingsFolders(const HostEnvironment &environment);
QStringList findSettingsFiles(const HostEnvironment &environment);
int settingsInstance(const QString &path);
QString describeSettingsFile(const QString &path);

QStringList installFolderCandidates(const HostEnvironment &environment);
// The first candidate holding a "bin" folder; no candidates means the environment's own.
QString findInstallFolder(const QStringList &candidates, const HostEnvironment &environment);
QString userDataFolderFor(const QString &settingsPath);

// Whether a new file can be created in the folder that holds path. The probe is created
// exclusively under a random name, so nothing already there is followed or touched, and it
// never remains.
bool canWriteBeside(const QString &path);
// The same, taking the probe's file names from probeNames in turn; an empty name ends the tries.
bool canWriteBeside(const QString &path, const std::function<QString()> &probeNames);

// Empty when the elevated helper, which ignores PIXINSIGHT_DIR, would find installFolder by
// itself; otherwise the message to show instead of starting it.
QString helperInstallFolderProblem(const QString &installFolder, const HostEnvironment &environment);

} // namespace pfw
