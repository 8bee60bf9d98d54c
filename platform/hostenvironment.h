#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace pfw {

enum class PlatformFlavour : quint32 { Windows = 0, MacOS = 1, Linux = 2 };

// What the program knows of the machine: the user's folders and the environment variables
// that locate PixInsight. Tests build their own with temporary folders.
struct HostEnvironment
{
    PlatformFlavour flavour = builtFlavour();
    QString home;
    QString genericConfig;
    QProcessEnvironment variables;
    // The Program Files folders as Windows itself reports them, native one first. The elevated
    // helper uses these: the environment variables are the user's to set, even for it.
    QStringList programFilesFolders;
    // The elevated helper never takes directions from the user's environment (PIXINSIGHT_DIR):
    // a root helper that deletes below a folder the user names invites link races.
    bool elevatedHelper = false;

    QString variable(const QString &name) const { return variables.value(name); }

    // The flavour of the platform the program was built for.
    static PlatformFlavour builtFlavour();
    static HostEnvironment system(bool forElevatedHelper = false);
    // Extension of a module library on the platform the program was built for.
    static QString moduleExtension();
};

} // namespace pfw
