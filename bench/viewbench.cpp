// The Search view on a file with 200 000 values (index, one two-term search, 100 rows, and
// queries typed into the real field), the Preferences view building every page of the demo file,
// and the Cleanup view ticking and queueing the saved settings of many tools.
#include "bench/benchtimer.h"
#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "model/settingsmodel.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"
#include "ui/views/cleanupview.h"
#include "ui/views/preferencesview.h"
#include "ui/views/searchindex.h"
#include "ui/views/searchview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>

#include <algorithm>
#include <cstdio>
#include <functional>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pfw::SettingsSchema schema;
    pfw::DeletionPolicy policy;
    QString error;
    if (!schema.loadBuiltIn(&error) || !policy.loadBuiltIn(&error))
        return 1;
    pfw::XsdtFile file;
    if (!file.parse(pfw::SettingsGenerator::withValues(200000)))
        return 1;
    pfw::SettingsModel model;
    model.setPolicy(&policy);
    model.setDocument(&file);
    std::printf("file with %lld values\n", static_cast<long long>(file.root.valueCount()));

    pfw::SearchIndex index;
    std::printf("%-40s %8.1f ms\n", "build the search index",
                pfw::bench::milliseconds([&] { index.build(file, schema); }));
    QList<pfw::SearchIndex::Result> results;
    const QStringList terms = pfw::SearchIndex::splitTerms(QStringLiteral("amount 3"));
    const double searched = pfw::bench::milliseconds([&] { results = index.search(terms, {}, nullptr); });
    std::printf("%-40s %8.1f ms (%lld results)\n", "search with two terms", searched,
                static_cast<long long>(results.size()));

    pfw::SearchView view(&model, &schema);
    view.setDocument(&file);
    view.buildIndex();
    view.setQuery(QStringLiteral("amount"));
    const auto allRows = [&view] {
        while (view.rows().size() < pfw::SearchView::kPageSize)
            QApplication::processEvents();
    };
    const double populated = pfw::bench::milliseconds([&] {
        view.populate();
        allRows();
    });
    std::printf("%-40s %8.1f ms (%lld rows)\n", "populate 100 rows", populated,
                static_cast<long long>(view.rows().size()));
    std::printf("%-40s %8.1f ms\n", "search and populate (typed query)",
                pfw::bench::milliseconds([&] { view.setQuery(QStringLiteral("amount 3")); }));
    // Typed into the field: each keystroke's search until its first screenful is painted (the
    // pause before the search costs nothing), and until its whole page of rows is there.
    view.setQuery(QString());
    view.resize(1000, 800);
    view.show();
    QApplication::processEvents();
    QString typed;
    double longest = 0;
    double longestPage = 0;
    QString each;
    for (const QChar c : QStringLiteral("amount")) {
        typed += c;
        QElapsedTimer timer;
        timer.start();
        view.setQuery(typed);
        QApplication::processEvents();
        const double first = double(timer.nsecsElapsed()) / 1e6;
        allRows(); // every query here has more than a page of results
        const double page = double(timer.nsecsElapsed()) / 1e6;
        longest = std::max(longest, first);
        longestPage = std::max(longestPage, page);
        each += QStringLiteral(" %1:%2/%3").arg(typed).arg(first, 0, 'f', 1).arg(page, 0, 'f', 1);
    }
    std::printf("%-40s %8.1f ms (target 50 ms)\n", "typed query, slowest keystroke to results", longest);
    std::printf("%-40s %8.1f ms\n   each (first screen/page):%s\n", "  ... to its whole page of rows", longestPage,
                qPrintable(each));

    pfw::XsdtFile demo;
    if (!demo.parse(pfw::SettingsGenerator::demo()))
        return 1;
    model.setDocument(&demo);
    pfw::PreferencesView preferences(&model, &schema);
    const double built = pfw::bench::milliseconds([&] { preferences.setDocument(&demo); });
    std::printf("%-40s %8.1f ms (%zu pages)\n", "Preferences: build every demo page", built,
                preferences.pages().size());

    // Years of scripts leave the saved settings of hundreds of tools, each ticked on its own row.
    for (const int tools : {100, 400}) {
        QByteArray xml = "<xsdt version=\"1.0\"><i k=\"ModuleData\">";
        for (int t = 0; t < tools; ++t) {
            xml += "<i k=\"Tool" + QByteArray::number(t) + "\">";
            for (int v = 0; v < 10; ++v)
                xml += "<v k=\"Option" + QByteArray::number(v) + "\" t=\"i\" v=\"" + QByteArray::number(v) + "\"/>";
            xml += "</i>";
        }
        xml += "</i></xsdt>";
        pfw::XsdtFile modules;
        if (!modules.parse(xml))
            return 1;
        model.setDocument(&modules);
        pfw::CleanupView cleanup(&model);
        cleanup.setConfirmWarn(false);
        const double listed = pfw::bench::milliseconds([&] { cleanup.refresh(&modules); });
        const double ticked = pfw::bench::milliseconds([&] { cleanup.tickAll(false); });
        const double queued = pfw::bench::milliseconds([&] { cleanup.queueTicked(); });
        std::printf("Cleanup, %d tools: list %.1f ms, tick all %.1f ms, queue %.1f ms (%lld rows)\n", tools, listed,
                    ticked, queued, static_cast<long long>(cleanup.entries().size()));
    }
    return 0;
}
