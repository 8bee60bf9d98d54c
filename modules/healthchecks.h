#pragma once

#include <QCoreApplication>
#include <QList>
#include <QStringList>

#include <functional>

namespace pfw {

class DeletionPolicy;

class SettingsSchema;
class XsdtFile;
struct XsdtNode;

// One thing that looks wrong in a settings file, with the nodes it is about.
struct Finding
{
    enum Severity : quint32 { Note = 0, Warning = 1, Problem = 2 };

    QString id;
    Severity severity = Note;
    QString title;
    QString detail;
    QList<XsdtNode *> nodes;
    bool offersUnusedModules = false;
};

// What the checks know of the computer; tests hand in their own.
struct HealthEnv
{
    std::function<bool(const QString &)> pathExists;
    int logicalProcessors = 0;
    bool windows = false;
    QStringList installCandidates;
    // Tells PixInsight's own groups from module data; without it every unregistered group counts.
    const DeletionPolicy *policy = nullptr;

    static HealthEnv system();
};

class HealthChecks final
{
    Q_DECLARE_TR_FUNCTIONS(HealthChecks)

public:
    static QString severityName(Finding::Severity severity);
    static bool isAbsolutePath(const QString &text, bool windows);
    // A path only the other kind of system has: a drive or share on Linux and macOS, a home
    // folder of Linux or macOS on Windows.
    static bool isForeignPath(const QString &text, bool windows);
};

// Every check on the tree, Problems first, then Warnings, then Notes, each in the order found.
// Reads only; nothing in the tree changes.
QList<Finding> runHealthChecks(const XsdtFile &file, const SettingsSchema &schema, const HealthEnv &env);

} // namespace pfw
