// The settings model over a large file: resets, whole-subtree refreshes and a filter proxy on
// top, timed. Every operation must stay a single walk of the tree, never a walk per row.
#include "bench/benchtimer.h"
#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "model/settingsfilterproxy.h"
#include "model/settingsmodel.h"
#include "schema/deletionpolicy.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <functional>

namespace {

qsizetype nodeCount(const pfw::XsdtNode &node)
{
    qsizetype count = 1;
    for (const auto &child : node.children)
        count += nodeCount(*child);
    return count;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    pfw::DeletionPolicy policy;
    QString error;
    if (!policy.loadBuiltIn(&error))
        return 1;
    pfw::XsdtFile file;
    if (!file.parse(pfw::SettingsGenerator::sized(20 * 1024 * 1024)))
        return 1;
    pfw::XsdtNode *moduleData = file.root.childByKey(u"ModuleData");
    std::printf("file: 20 MB, %lld nodes, ModuleData holds %lld values in %zu groups\n",
                static_cast<long long>(nodeCount(file.root)), static_cast<long long>(moduleData->valueCount()),
                moduleData->children.size());

    pfw::SettingsModel model;
    model.setPolicy(&policy);
    long long changed = 0;
    long long resets = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&changed] { ++changed; });
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&resets] { ++resets; });

    std::printf("%-44s %10.2f ms\n", "setDocument", pfw::bench::milliseconds([&] { model.setDocument(&file); }));
    for (const auto &module : moduleData->children) {
        if (!module->children.empty() && module->children.front()->isEditableValue())
            module->children.front()->value += QLatin1String("0");
    }
    std::printf("%-44s %10.2f ms\n", "revertAll after edits in every module",
                pfw::bench::milliseconds([&] { model.revertAll(); }));
    double took = pfw::bench::milliseconds([&] { model.notifySubtree(moduleData); });
    std::printf("%-44s %10.2f ms  (%lld signals)\n", "notifySubtree(ModuleData)", took, changed);
    changed = 0;
    took = pfw::bench::milliseconds([&] { model.refreshAll(); });
    std::printf("%-44s %10.2f ms  (%lld signals)\n", "refreshAll", took, changed);
    std::printf("%-44s %10.2f ms\n", "requestDeletion(ModuleData group)",
                pfw::bench::milliseconds([&] { model.requestDeletion(moduleData->children.back().get()); }));
    std::printf("resets: %lld (setDocument and revertAll, one each)\n", resets);

    pfw::SettingsFilterProxy proxy;
    std::printf("%-44s %10.2f ms\n", "proxy: attach", pfw::bench::milliseconds([&] { proxy.setSourceModel(&model); }));
    std::printf("%-44s %10.2f ms\n", "proxy: filter text \"threshold\"",
                pfw::bench::milliseconds([&] { proxy.setFilterText(QStringLiteral("threshold")); }));
    std::printf("%-44s %10.2f ms\n", "proxy: changed only", pfw::bench::milliseconds([&] {
                    proxy.setFilterText(QString());
                    proxy.setChangedOnly(true);
                }));
    std::printf("%-44s %10.2f ms\n", "proxy: notifySubtree(ModuleData)",
                pfw::bench::milliseconds([&] { model.notifySubtree(moduleData); }));
    proxy.setChangedOnly(false);
    // A view maps the rows it shows; map them all, as if every group were expanded.
    const std::function<void(const QModelIndex &)> mapAll = [&](const QModelIndex &parent) {
        for (int row = 0; row < proxy.rowCount(parent); ++row)
            mapAll(proxy.index(row, 0, parent));
    };
    std::printf("%-44s %10.2f ms\n", "proxy: map every row", pfw::bench::milliseconds([&] { mapAll(QModelIndex()); }));
    std::printf("%-44s %10.2f ms\n", "proxy, all mapped: notifySubtree(ModuleData)",
                pfw::bench::milliseconds([&] { model.notifySubtree(moduleData); }));
    std::printf("%-44s %10.2f ms\n", "proxy, all mapped: refilter",
                pfw::bench::milliseconds([&] { proxy.refilter(); }));
    return 0;
}
