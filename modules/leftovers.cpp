#include "modules/leftovers.h"

#include "platform/treeremover.h"
#include "platform/elevatedlauncher.h"
#include "platform/fileentry.h"
#include "platform/hostenvironment.h"
#include "platform/hostlocations.h"
#include "platform/hostprocesses.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace pfw {

namespace {

const char *const kKeys[kLeftoverKindCount]
    = {"file", "sig", "bin", "lib", "scripts", "tooldocs", "scriptdocs", "user"};

bool isFolderKind(int kind)
{
    return kind >= BinFolderLeftover;
}

QString parentFolder(int kind, const QString &installFolder, const QString &userFolder)
{
    switch (kind) {
    case ModuleFileLeftover:
    case SignatureLeftover:
    case BinFolderLeftover:
        return installFolder + QLatin1String("/bin");
    case LibFolderLeftover:
        return installFolder + QLatin1String("/lib");
    case ScriptsFolderLeftover:
        return installFolder + QLatin1String("/src/scripts");
    case ToolDocsFolderLeftover:
        return installFolder + QLatin1String("/doc/tools");
    case ScriptDocsFolderLeftover:
        return installFolder + QLatin1String("/doc/scripts");
    default:
        return userFolder;
    }
}

bool isLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isSymbolicLink() || info.isShortcut() || info.isJunction()
        || isLinkEntry(info.absoluteFilePath());
}

QString cleaned(const QString &folder)
{
    return folder.isEmpty() ? QString() : QDir::cleanPath(QDir::fromNativeSeparators(folder));
}

// The folders from the installation (or user) folder down to an item's parent, as named: the
// helper runs as root, and a link among them ("lib" pointing elsewhere) would have it delete
// in another place whose path only looks right once resolved. The top folder itself may be a link.
// Returns the first such link, or nothing.
QString linkOnTheWay(int kind, const QString &installFolder, const QString &userFolder)
{
    const QString top = kind == UserFolderLeftover ? userFolder : installFolder;
    const QString parent = parentFolder(kind, installFolder, userFolder);
    QString part = top;
    for (const QString &name : parent.mid(top.size()).split(u'/', Qt::SkipEmptyParts)) {
        part += u'/' + name;
        if (isLink(QFileInfo(part)))
            return part;
    }
    return QString();
}

} // namespace

QString Leftovers::requestKey(int kind)
{
    return kind >= 0 && kind < kLeftoverKindCount ? QString::fromLatin1(kKeys[kind]) : QString();
}

QString Leftovers::label(int kind)
{
    switch (kind) {
    case ModuleFileLeftover:
        return tr("module file");
    case SignatureLeftover:
        return tr("module signature");
    case BinFolderLeftover:
        return tr("bin folder");
    case LibFolderLeftover:
        return tr("lib folder");
    case ScriptsFolderLeftover:
        return tr("scripts folder");
    case ToolDocsFolderLeftover:
        return tr("tool documentation folder");
    case ScriptDocsFolderLeftover:
        return tr("script documentation folder");
    case UserFolderLeftover:
        return tr("user data folder");
    default:
        return QString();
    }
}

bool isSafeModuleName(const QString &name)
{
    // \z, not $: a "$" would also let a name through with a line feed at its end.
    static const QRegularExpression pattern(QStringLiteral("\\A[A-Za-z0-9][A-Za-z0-9_.-]{0,63}\\z"));
    static const QStringList reserved = {QStringLiteral("bin"),
                                         QStringLiteral("lib"),
                                         QStringLiteral("etc"),
                                         QStringLiteral("include"),
                                         QStringLiteral("doc"),
                                         QStringLiteral("src"),
                                         QStringLiteral("rsc"),
                                         QStringLiteral("color"),
                                         QStringLiteral("library"),
                                         QStringLiteral("scripts"),
                                         QStringLiteral("tools"),
                                         QStringLiteral("plugins"),
                                         QStringLiteral("platforms"),
                                         QStringLiteral("imageformats"),
                                         QStringLiteral("styles"),
                                         QStringLiteral("iconengines"),
                                         QStringLiteral("tls"),
                                         QStringLiteral("generic"),
                                         QStringLiteral("networkinformation"),
                                         QStringLiteral("python"),
                                         QStringLiteral("qml"),
                                         QStringLiteral("translations"),
                                         QStringLiteral("sqldrivers"),
                                         QStringLiteral("printsupport"),
                                         QStringLiteral("platformthemes"),
                                         QStringLiteral("resources"),
                                         QStringLiteral("data"),
                                         QStringLiteral("temp"),
                                         QStringLiteral("tmp"),
                                         QStringLiteral("pixinsight"),
                                         QStringLiteral("pleiades"),
                                         QStringLiteral("windows"),
                                         QStringLiteral("system32"),
                                         QStringLiteral("users"),
                                         QStringLiteral("program files"),
                                         QStringLiteral("applications")};
    return pattern.match(name).hasMatch() && !name.contains(QLatin1String("..")) && !reserved.contains(name.toLower());
}

QString leftoverPath(int kind, const QString &installFolder, const QString &userFolder, const QString &module)
{
    if (kind < 0 || kind >= kLeftoverKindCount || !isSafeModuleName(module))
        return QString();
    const QString install = cleaned(installFolder);
    const QString user = cleaned(userFolder);
    if ((kind == UserFolderLeftover && user.isEmpty()) || (kind != UserFolderLeftover && install.isEmpty()))
        return QString();
    QString path = parentFolder(kind, install, user) + u'/' + module;
    if (kind == ModuleFileLeftover)
        path += QLatin1String("-pxm.") + HostEnvironment::moduleExtension();
    else if (kind == SignatureLeftover)
        path += QLatin1String("-pxm.xsgn");
    return path;
}

QList<Leftover> findLeftovers(const QString &installFolder, const QString &userFolder, const QString &module,
                              bool measure)
{
    QList<Leftover> found;
    if (!isSafeModuleName(module))
        return found;
    for (int kind = 0; kind < kLeftoverKindCount; ++kind) {
        const QString path = leftoverPath(kind, installFolder, userFolder, module);
        if (path.isEmpty())
            continue;
        const QFileInfo info(path);
        if (isFolderKind(kind) ? !info.isDir() : !info.isFile())
            continue;
        Leftover leftover;
        leftover.kind = kind;
        leftover.module = module;
        leftover.path = path;
        leftover.isFolder = isFolderKind(kind);
        leftover.isProtected = kind != UserFolderLeftover;
        if (measure)
            measureLeftover(leftover);
        found.append(leftover);
    }
    return found;
}

void measureLeftover(Leftover &leftover)
{
    leftover.bytes = 0;
    leftover.files = 0;
    if (!leftover.isFolder) {
        leftover.bytes = QFileInfo(leftover.path).size();
        leftover.files = 1;
        return;
    }
    QDirIterator it(leftover.path, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (leftover.files < Leftovers::kMeasureLimit && it.hasNext()) {
        it.next();
        leftover.bytes += it.fileInfo().size();
        ++leftover.files;
    }
}

QString leftoverRequest(const Leftover &leftover)
{
    return Leftovers::requestKey(leftover.kind) + u':' + leftover.module;
}

bool parseLeftoverRequest(const QString &text, int *kind, QString *module)
{
    const qsizetype colon = text.indexOf(u':');
    if (colon < 1)
        return false;
    const QStringView key = QStringView(text).first(colon);
    for (int candidate = 0; candidate < kLeftoverKindCount; ++candidate) {
        if (key == QLatin1String(kKeys[candidate])) {
            if (kind)
                *kind = candidate;
            if (module)
                *module = text.mid(colon + 1);
            return true;
        }
    }
    return false;
}

LeftoverResult deleteLeftovers(const QString &installFolder, const QString &userFolder, const QStringList &requests,
                               bool checkRunning, const std::function<bool()> &isHostRunning)
{
    LeftoverResult result;
    const auto refuse = [&result](int status, const QString &message) {
        result.status = status;
        result.message = message;
        return result;
    };
    if (requests.isEmpty())
        return refuse(HelperBadCommandLine, Leftovers::tr("Nothing was named."));
    if (checkRunning && (isHostRunning ? isHostRunning() : pfw::isHostRunning()))
        return refuse(HelperHostRunning, Leftovers::tr("PixInsight is running. Close it first."));

    struct Checked
    {
        QString request;
        QString parent; // resolved at check time; the deletion goes through it and nowhere else
        QString name;
        bool isFolder;
    };
    QList<Checked> checked;
    for (const QString &request : requests) {
        int kind = 0;
        QString module;
        if (!parseLeftoverRequest(request, &kind, &module))
            return refuse(HelperRefused, Leftovers::tr("%1 is not a recognized request.").arg(request));
        const QString path = leftoverPath(kind, installFolder, userFolder, module);
        if (path.isEmpty())
            return refuse(
                HelperRefused,
                Leftovers::tr("%1 is not acceptable (an unsafe name, or a location that is not known).").arg(request));
        const QFileInfo info(path);
        const QString shown = QDir::toNativeSeparators(path);
        // A dangling link does not "exist", but it is still a link and must not count as absent.
        if (!info.exists() && !isLink(info))
            return refuse(HelperNotFound, Leftovers::tr("%1 does not exist.").arg(shown));
        if (info.exists() && (isFolderKind(kind) ? !info.isDir() : !info.isFile()))
            return refuse(HelperRefused, Leftovers::tr("%1 is not the kind of item that was asked for.").arg(shown));
        const QString parent
            = QFileInfo(parentFolder(kind, cleaned(installFolder), cleaned(userFolder))).canonicalFilePath();
        const QString link = linkOnTheWay(kind, cleaned(installFolder), cleaned(userFolder));
        if (!link.isEmpty())
            return refuse(HelperRefused,
                          Leftovers::tr("%1 is reached through the link %2 and is not touched.")
                              .arg(shown, QDir::toNativeSeparators(link)));
        // A file system mounted in the item's place is somewhere else just as a link is.
        if (isLink(info) || parent.isEmpty()
            || info.canonicalFilePath().compare(parent + u'/' + info.fileName(), Qt::CaseInsensitive) != 0
            || isMountPoint(parent, info.fileName()))
            return refuse(HelperRefused,
                          Leftovers::tr("%1 is a link to somewhere else and is not touched.").arg(shown));
        checked.append({request, parent, info.fileName(), isFolderKind(kind)});
    }

    for (const Checked &item : std::as_const(checked)) {
        const bool gone = removeEntryIn(item.parent, item.name, item.isFolder);
        if (gone) {
            result.removed.append(item.request);
        } else {
            result.failureNotes.append(
                Leftovers::tr("%1: could not be removed (in use, or no permission)").arg(item.request));
            result.failedRequests.append(item.request);
        }
    }
    if (!result.failedRequests.isEmpty()) {
        result.status = HelperFailed;
        result.message
            = Leftovers::tr("Some items could not be removed: %1").arg(result.failureNotes.join(QLatin1String("; ")));
    }
    return result;
}

int runLeftoversHelper(const QStringList &arguments, const HostEnvironment &environment,
                       const std::function<bool()> &isHostRunning)
{
    if (arguments.size() < 3 || arguments.at(0) != QLatin1String("--leftovers-helper")
        || arguments.at(1) != QLatin1String("delete"))
        return HelperBadCommandLine;
    const QStringList requests = arguments.mid(2);
    for (const QString &request : requests) {
        int kind = 0;
        if (!parseLeftoverRequest(request, &kind, nullptr) || kind == UserFolderLeftover)
            return HelperRefused;
    }
    HostEnvironment helper = environment;
    helper.elevatedHelper = true;
    const QString installFolder = findInstallFolder({}, helper);
    if (installFolder.isEmpty())
        return HelperNotFound;
    return deleteLeftovers(installFolder, QString(), requests, true, isHostRunning).status;
}

} // namespace pfw
