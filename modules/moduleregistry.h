#pragma once

#include <QList>
#include <QStringList>

namespace pfw {

class DeletionPolicy;

class XsdtFile;
struct XsdtNode;

// What the settings file records about one module name. Nodes belong to the tree.
struct ModuleInfo
{
    QString name;
    bool registered = false;
    XsdtNode *registryEntry = nullptr;
    QList<XsdtNode *> dataNodes;
};

// The module name of a registry value ("C:/x/bin/Mirelux-pxm.dll" gives "Mirelux"), or empty.
QString registryModuleName(const QString &value);
QStringList registeredModuleNames(const XsdtFile &file);
QStringList moduleDataNames(const XsdtFile &file);
bool isCoreGroupName(const QString &key);
ModuleInfo moduleInfo(const XsdtFile &file, const QString &name);
// Groups that can be a module's data while the module is not registered. With a policy, a
// top-level group PixInsight itself recreates (a Safe verdict: the pixel clipboard) is not one,
// and neither is a group that holds nothing at all.
QList<ModuleInfo> unusedModules(const XsdtFile &file, const DeletionPolicy *policy = nullptr);
QList<ModuleInfo> findModules(const XsdtFile &file, const QString &text, bool *exact);
qsizetype moduleValueCount(const ModuleInfo &info);
QList<XsdtNode *> moduleValueNodes(const ModuleInfo &info);

} // namespace pfw
