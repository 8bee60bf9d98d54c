#include "modules/moduleregistry.h"

#include "modules/standardprocesses.h"

#include "core/xsdtfile.h"
#include "schema/deletionpolicy.h"

#include <QRegularExpression>

#include <algorithm>

namespace pfw {

namespace {

XsdtNode *itemChild(const XsdtNode *parent, QStringView key)
{
    XsdtNode *child = parent ? parent->childByKey(key) : nullptr;
    return child && child->kind == XsdtNode::Item ? child : nullptr;
}

QStringList sortedIgnoringCase(QStringList names)
{
    std::stable_sort(names.begin(), names.end(),
                     [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

void appendUnique(QStringList &list, const QString &name)
{
    if (!list.contains(name))
        list.append(name);
}

// The keys below a module's "Interfaces" item name more of its data.
void followInterfaces(const XsdtNode &data, QStringList &names)
{
    if (const XsdtNode *interfaces = itemChild(&data, u"Interfaces")) {
        for (const auto &child : interfaces->children)
            names.append(child->key);
    }
}

} // namespace

QString registryModuleName(const QString &value)
{
    static const QRegularExpression name(QStringLiteral("([^/\\\\]+?)-pxm\\.(?:dll|so|dylib)$"));
    return name.match(value).captured(1);
}

QStringList registeredModuleNames(const XsdtFile &file)
{
    QStringList names;
    if (const XsdtNode *modules = itemChild(&file.root, u"Modules")) {
        for (const auto &entry : modules->children) {
            if (entry->kind != XsdtNode::Value)
                continue;
            const QString name = registryModuleName(entry->value);
            if (!name.isEmpty())
                appendUnique(names, name);
        }
    }
    return sortedIgnoringCase(names);
}

bool isCoreGroupName(const QString &key)
{
    static const QStringList core = {QStringLiteral("Global"),
                                     QStringLiteral("MainWindow"),
                                     QStringLiteral("Modules"),
                                     QStringLiteral("ModuleData"),
                                     QStringLiteral("ModuleDataAccess"),
                                     QStringLiteral("ScriptData"),
                                     QStringLiteral("LastVersion"),
                                     QStringLiteral("PixInsight"),
                                     QStringLiteral("CentralWidgetClients"),
                                     QStringLiteral("CommandHistory"),
                                     QStringLiteral("DontShowAgain"),
                                     QStringLiteral("ExtensibleWidgets"),
                                     QStringLiteral("FileExplorer"),
                                     QStringLiteral("FloatingInstanceInfoViewer"),
                                     QStringLiteral("FloatingSourceEditor"),
                                     QStringLiteral("ThreadPerformanceOptimization")};
    return core.contains(key);
}

QStringList moduleDataNames(const XsdtFile &file)
{
    QStringList names;
    for (const char16_t *container : {u"ModuleData", u"ModuleDataAccess"}) {
        if (const XsdtNode *data = itemChild(&file.root, container)) {
            for (const auto &child : data->children) {
                if (child->kind == XsdtNode::Item && child->key != u"0")
                    appendUnique(names, child->key);
            }
        }
    }
    for (const auto &child : file.root.children) {
        if (child->kind == XsdtNode::Item && !isCoreGroupName(child->key))
            appendUnique(names, child->key);
    }
    return sortedIgnoringCase(names);
}

ModuleInfo moduleInfo(const XsdtFile &file, const QString &name)
{
    ModuleInfo info;
    info.name = name;
    if (const XsdtNode *modules = itemChild(&file.root, u"Modules")) {
        for (const auto &entry : modules->children) {
            if (entry->kind == XsdtNode::Value && registryModuleName(entry->value) == name) {
                info.registered = true;
                info.registryEntry = entry.get();
                break;
            }
        }
    }
    QStringList follow{name};
    if (const XsdtNode *data = itemChild(&file.root, u"ModuleData")) {
        for (const auto &child : data->children) {
            if (child->kind == XsdtNode::Item && child->key == name) {
                info.dataNodes.append(child.get());
                followInterfaces(*child, follow);
            }
        }
    }
    if (const XsdtNode *access = itemChild(&file.root, u"ModuleDataAccess")) {
        for (const auto &child : access->children) {
            if (child->kind == XsdtNode::Item && child->key == name)
                info.dataNodes.append(child.get());
        }
    }
    if (!isCoreGroupName(name)) {
        for (const auto &child : file.root.children) {
            if (child->kind == XsdtNode::Item && child->key == name) {
                info.dataNodes.append(child.get());
                followInterfaces(*child, follow);
            }
        }
    }
    follow.removeDuplicates();
    const XsdtNode *global = itemChild(&file.root, u"Global");
    const XsdtNode *interfaces = itemChild(itemChild(global, u"Preferences"), u"ProcessInterface");
    const XsdtNode *statistics = itemChild(itemChild(global, u"Statistics"), u"Process");
    for (const QString &key : std::as_const(follow)) {
        if (XsdtNode *preferences = itemChild(interfaces, key))
            info.dataNodes.append(preferences);
        if (XsdtNode *counters = itemChild(statistics, key))
            info.dataNodes.append(counters);
    }
    return info;
}

QList<ModuleInfo> unusedModules(const XsdtFile &file, const DeletionPolicy *policy)
{
    const QStringList registered = registeredModuleNames(file);
    // Data of a module is what it saved: something in it, and not a core group of PixInsight's own.
    const auto isModuleData = [&file, policy](const XsdtNode *node) {
        if (node->children.empty())
            return false;
        return !(policy && node->parent == &file.root && policy->verdict(node).level == DeletionLevel::Safe);
    };
    QList<ModuleInfo> unused;
    for (const QString &name : moduleDataNames(file)) {
        // PixInsight's own tools are no uninstalled module, whatever the module list says.
        if (registered.contains(name) || StandardProcesses::contains(name))
            continue;
        const ModuleInfo info = moduleInfo(file, name);
        if (std::any_of(info.dataNodes.cbegin(), info.dataNodes.cend(), isModuleData))
            unused.append(info);
    }
    return unused;
}

QList<ModuleInfo> findModules(const XsdtFile &file, const QString &text, bool *exact)
{
    const QString wanted = text.trimmed();
    QStringList candidates = registeredModuleNames(file) + moduleDataNames(file);
    candidates.removeDuplicates();
    QStringList chosen;
    for (const QString &candidate : std::as_const(candidates)) {
        if (candidate.compare(wanted, Qt::CaseInsensitive) == 0)
            chosen.append(candidate);
    }
    if (exact)
        *exact = !chosen.isEmpty();
    if (chosen.isEmpty() && !wanted.isEmpty()) {
        for (const QString &candidate : std::as_const(candidates)) {
            if (candidate.contains(wanted, Qt::CaseInsensitive))
                chosen.append(candidate);
        }
    }
    QList<ModuleInfo> result;
    for (const QString &name : sortedIgnoringCase(chosen))
        result.append(moduleInfo(file, name));
    return result;
}

qsizetype moduleValueCount(const ModuleInfo &info)
{
    qsizetype count = info.registryEntry ? 1 : 0;
    for (const XsdtNode *node : info.dataNodes)
        count += node->valueCount();
    return count;
}

QList<XsdtNode *> moduleValueNodes(const ModuleInfo &info)
{
    QList<XsdtNode *> nodes;
    if (info.registryEntry)
        nodes.append(info.registryEntry);
    for (const XsdtNode *node : info.dataNodes)
        nodes += node->valueNodes();
    return nodes;
}

} // namespace pfw
