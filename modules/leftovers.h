#pragma once

#include <QCoreApplication>
#include <QStringList>

#include <functional>

namespace pfw {

struct HostEnvironment;

// Files and folders an uninstalled module left behind, in the order they are looked for.
enum LeftoverKind : int {
    ModuleFileLeftover = 0,
    SignatureLeftover = 1,
    BinFolderLeftover = 2,
    LibFolderLeftover = 3,
    ScriptsFolderLeftover = 4,
    ToolDocsFolderLeftover = 5,
    ScriptDocsFolderLeftover = 6,
    UserFolderLeftover = 7,
};
constexpr int kLeftoverKindCount = 8;

struct Leftover
{
    int kind = ModuleFileLeftover;
    QString module;
    QString path;
    bool isFolder = false;
    bool isProtected = false;
    qint64 bytes = 0;
    qint32 files = 0;
};

struct LeftoverResult
{
    int status = 0;
    QStringList removed;
    QStringList failureNotes;
    QStringList failedRequests;
    QString message;
};

class Leftovers final
{
    Q_DECLARE_TR_FUNCTIONS(Leftovers)

public:
    static constexpr qint32 kMeasureLimit = 50000;

    static QString requestKey(int kind);
    static QString label(int kind);
};

bool isSafeModuleName(const QString &name);
QString leftoverPath(int kind, const QString &installFolder, const QString &userFolder, const QString &module);
QList<Leftover> findLeftovers(const QString &installFolder, const QString &userFolder, const QString &module,
                              bool measure);
void measureLeftover(Leftover &leftover);
QString leftoverRequest(const Leftover &leftover);
[[nodiscard]] bool parseLeftoverRequest(const QString &text, int *kind, QString *module);

// Checks every request before anything is deleted, then deletes in request order. The path
// of each item is recomputed from its kind, its name and the two folders, never taken.
LeftoverResult deleteLeftovers(const QString &installFolder, const QString &userFolder, const QStringList &requests,
                               bool checkRunning, const std::function<bool()> &isHostRunning = {});

// The elevated helper's main routine; arguments start with the selector. It finds the
// installation itself and never deletes user data.
int runLeftoversHelper(const QStringList &arguments, const HostEnvironment &environment,
                       const std::function<bool()> &isHostRunning = {});

} // namespace pfw
