#include "ui/modulefinder.h"

#include "session/busyscope.h"
#include "modules/moduleregistry.h"
#include "ui/dialogs/modulesearchdialog.h"

#include <QMessageBox>

#include <algorithm>

namespace pfw {

QStringList ModuleFinder::knownNames(const XsdtFile &file)
{
    QStringList names = registeredModuleNames(file) + moduleDataNames(file);
    names.removeDuplicates();
    std::stable_sort(names.begin(), names.end(),
                     [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

ModuleFinder::Result ModuleFinder::lookup(const XsdtFile &file, const QString &name)
{
    Result result;
    result.name = name;
    bool exact = false;
    QStringList labels;
    for (const ModuleInfo &info : findModules(file, name, &exact)) {
        result.nodes += moduleValueNodes(info);
        labels << (info.registered ? tr("%1 (installed)") : tr("%1 (not in the module list)")).arg(info.name);
    }
    if (result.nodes.isEmpty())
        return result;
    result.kind = Result::Found;
    const int count = int(result.nodes.size());
    result.heading = exact
        ? tr("Module search for \"%1\": registry entry, module data, module settings and process entries - %2, %n "
             "values. Type words below to narrow them.",
             nullptr, count)
              .arg(name, labels.join(QLatin1String(", ")))
        : tr("No module is called exactly \"%1\"; showing modules whose name contains it: %2 - %n values.", nullptr,
             count)
              .arg(name, labels.join(QLatin1String(", ")));
    return result;
}

ModuleFinder::Result ModuleFinder::ask(const XsdtFile &file, QWidget *dialogParent)
{
    const BusyScope busy;
    ModuleSearchDialog dialog(knownNames(file), dialogParent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    Result result;
    result.name = dialog.name();
    if (dialog.fullSearch()) {
        result.kind = Result::FullSearch;
        return result;
    }
    result = lookup(file, result.name);
    if (result.kind == Result::Nothing
        && QMessageBox::question(dialogParent, tr("Find module data"),
                                 tr("Nothing recorded for \"%1\" in the places module names usually go.\n\nRun a full "
                                    "search instead?")
                                     .arg(result.name),
                                 QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes)
        result.kind = Result::FullSearch;
    return result;
}

} // namespace pfw
