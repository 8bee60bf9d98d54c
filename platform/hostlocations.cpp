#include "platform/hostlocations.h"
#include "core/displaytext.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <limits>

namespace pfw {

namespace {

struct HostLocations
{
    Q_DECLARE_TR_FUNCTIONS(HostLocations)
};

// Backslashes separate folders only on Windows; elsewhere they may be part of a name.
QString forwardSlashes(const QString &path, PlatformFlavour flavour)
{
    if (flavour != PlatformFlavour::Windows)
        return path;
    QString converted = path;
    converted.replace(u'\\', u'/');
    return converted;
}

QStringList withoutDuplicates(const QStringList &paths)
{
    QStringList unique;
    for (const QString &path : paths) {
        if (!unique.contains(path))
            unique.append(path);
    }
    return unique;
}

} // namespace

QStringList settingsFolders(PlatformFlavour flavour, const QString &home, const QString &appData,
                            const QString &genericConfig)
{
    QStringList folders;
    switch (flavour) {
    case PlatformFlavour::Windows:
        if (!appData.isEmpty())
            folders << appData + QLatin1String("/Pleiades");
        break;
    case PlatformFlavour::MacOS:
        folders << home + QLatin1String("/Library/PixInsight") << home + QLatin1String("/Library/PixInsight-x64")
                << home + QLatin1String("/Library/Application Support/Pleiades")
                << QStringLiteral("/Library/Application Support/Pleiades") << home + QLatin1String("/.config/Pleiades");
        break;
    case PlatformFlavour::Linux:
        folders << home + QLatin1String("/.PixInsight");
        if (!genericConfig.isEmpty())
            folders << genericConfig + QLatin1String("/Pleiades");
        folders << home + QLatin1String("/.config/Pleiades");
        break;
    }
    for (QString &folder : folders)
        folder = forwardSlashes(folder, flavour);
    return withoutDuplicates(folders);
}

QStringList defaultSettingsFolders(const HostEnvironment &environment)
{
    return settingsFolders(environment.flavour, environment.home, environment.variable(QStringLiteral("APPDATA")),
                           environment.genericConfig);
}

QStringList findSettingsFiles(const HostEnvironment &environment)
{
    QStringList files;
    for (const QString &folder : defaultSettingsFolders(environment)) {
        const QDir dir(folder);
        const QStringList names = dir.entryList({QStringLiteral("core-*-pxi.settings")}, QDir::Files, QDir::Name);
        for (const QString &name : names)
            files << QDir::fromNativeSeparators(dir.absoluteFilePath(name));
    }
    return withoutDuplicates(files);
}

int settingsInstance(const QString &path)
{
    static const QRegularExpression instance(QStringLiteral("^core-(\\d+)-pxi\\.settings$"));
    const QRegularExpressionMatch match = instance.match(QFileInfo(path).fileName());
    if (!match.hasMatch())
        return 0;
    bool ok = false;
    const qulonglong number = match.captured(1).toULongLong(&ok);
    // An instance number too long for an int is no instance PixInsight would write.
    return ok && number <= qulonglong(std::numeric_limits<int>::max()) ? int(number) : 0;
}

QString describeSettingsFile(const QString &path)
{
    const QFileInfo info(path);
    QStringList details;
    const int instance = settingsInstance(path);
    if (instance > 0)
        details << HostLocations::tr("instance %1").arg(instance);
    else if (info.fileName().contains(QLatin1String(".bak-")))
        details << HostLocations::tr("backup");
    details << DisplayText::size(info.exists() ? info.size() : 0);
    details << DisplayText::dateTime(info.lastModified().toLocalTime());
    const QString folderName = info.absoluteDir().dirName();
    const QString displayName = folderName.isEmpty() || folderName == QLatin1String("Pleiades")
        ? info.fileName()
        : QStringLiteral("%1 [%2]").arg(info.fileName(), folderName);
    return QStringLiteral("%1 - %2").arg(displayName, details.join(QLatin1String(", ")));
}

QStringList installFolderCandidates(const HostEnvironment &environment)
{
    QStringList candidates;
    switch (environment.flavour) {
    case PlatformFlavour::Windows: {
        // An elevated helper that followed the user's variables would work wherever they point.
        QStringList programFiles = environment.programFilesFolders;
        if (!environment.elevatedHelper) {
            programFiles.clear();
            for (const char *name : {"ProgramFiles", "ProgramW6432", "ProgramFiles(x86)"})
                programFiles << environment.variable(QLatin1String(name));
        }
        for (const QString &folder : std::as_const(programFiles)) {
            if (!folder.isEmpty())
                candidates << forwardSlashes(folder, PlatformFlavour::Windows) + QLatin1String("/PixInsight");
        }
        candidates << QStringLiteral("C:/Program Files/PixInsight");
        break;
    }
    case PlatformFlavour::MacOS:
    case PlatformFlavour::Linux: {
        const QString chosen = environment.variable(QStringLiteral("PIXINSIGHT_DIR"));
        if (!chosen.isEmpty() && !environment.elevatedHelper)
            candidates << chosen;
        candidates << (environment.flavour == PlatformFlavour::Linux ? QStringLiteral("/opt/PixInsight")
                                                                     : QStringLiteral("/Applications/PixInsight"));
        break;
    }
    }
    return withoutDuplicates(candidates);
}

QString findInstallFolder(const QStringList &candidates, const HostEnvironment &environment)
{
    const QStringList tried = candidates.isEmpty() ? installFolderCandidates(environment) : candidates;
    for (const QString &candidate : tried) {
        if (candidate.isEmpty())
            continue;
        if (QFileInfo(candidate + QLatin1String("/bin")).isDir())
            return QDir::cleanPath(forwardSlashes(candidate, environment.flavour));
    }
    return QString();
}

QString userDataFolderFor(const QString &settingsPath)
{
    if (settingsPath.isEmpty())
        return QString();
    const QDir folder = QFileInfo(settingsPath).absoluteDir();
    if (folder.dirName().compare(QLatin1String("Pleiades"), Qt::CaseInsensitive) != 0)
        return QString();
    return QDir::cleanPath(folder.absolutePath());
}

bool canWriteBeside(const QString &path)
{
    return canWriteBeside(path, [] {
        return QLatin1String(".prefw-write-test-") + QString::number(QRandomGenerator::global()->generate64(), 16);
    });
}

bool canWriteBeside(const QString &path, const std::function<QString()> &probeNames)
{
    const QString folder = QFileInfo(path).absolutePath();
    // A few names, in case one is taken; a folder that refuses new files fails at once.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const QString name = probeNames();
        if (name.isEmpty())
            return false;
        QFile probe(folder + u'/' + name);
        // NewOnly creates exclusively: a link planted at the name is neither followed nor
        // truncated, so whatever is removed afterwards is the probe made here.
        if (probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            probe.close();
            return probe.remove();
        }
        const QFileInfo taken(probe.fileName());
        if (!taken.exists() && !taken.isSymLink())
            return false;
    }
    return false;
}

QString helperInstallFolderProblem(const QString &installFolder, const HostEnvironment &environment)
{
    HostEnvironment helper = environment;
    helper.elevatedHelper = true;
    const QString helperFolder = findInstallFolder({}, helper);
    if (helperFolder == QDir::cleanPath(installFolder))
        return QString();
    const QString where
        = helperFolder.isEmpty() ? installFolderCandidates(helper).join(QLatin1String(", ")) : helperFolder;
    return HostLocations::tr("PixInsight was found in %1 through PIXINSIGHT_DIR, but the administrator helper does "
                             "not follow that variable and would look in %2 instead, so it was not started. Nothing "
                             "was changed.")
        .arg(QDir::toNativeSeparators(installFolder), QDir::toNativeSeparators(where));
}

} // namespace pfw
