// Reader and writer throughput on generated files of 1, 5 and 20 MB, against a bare
// QXmlStreamReader pass over the same bytes (and an expat SAX pass and a pugixml DOM load where
// those libraries are installed), and the memory the parsed tree occupies.
#include "bench/benchtimer.h"
#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#ifdef PFW_BENCH_EXPAT
#include <expat.h>
#endif
#ifdef PFW_BENCH_PUGIXML
#include <pugixml.hpp>
#endif

namespace {

constexpr int kRuns = 11;

double medianSeconds(const std::function<void()> &work)
{
    return pfw::bench::medianMilliseconds(kRuns, work) / 1000;
}

#ifdef PFW_BENCH_EXPAT
// The whole buffer through XML_Parse, with handlers that touch every attribute and every run
// of character data, as a reader building anything would have to.
double expatSeconds(const QByteArray &bytes)
{
    return medianSeconds([&bytes] {
        struct Counts
        {
            std::size_t attributeBytes = 0;
            std::size_t text = 0;
        } counts;
        XML_Parser parser = XML_ParserCreate("UTF-8");
        XML_SetUserData(parser, &counts);
        XML_SetElementHandler(
            parser,
            [](void *data, const XML_Char *, const XML_Char **attributes) {
                auto *c = static_cast<Counts *>(data);
                for (int i = 0; attributes[i]; ++i)
                    c->attributeBytes += std::strlen(attributes[i]);
            },
            [](void *, const XML_Char *) {});
        XML_SetCharacterDataHandler(parser, [](void *data, const XML_Char *, int length) {
            static_cast<Counts *>(data)->text += std::size_t(length);
        });
        const bool ok = XML_Parse(parser, bytes.constData(), int(bytes.size()), 1) == XML_STATUS_OK;
        XML_ParserFree(parser);
        if (!ok || counts.attributeBytes == 0)
            std::abort();
    });
}
#endif

#ifdef PFW_BENCH_PUGIXML
double pugixmlSeconds(const QByteArray &bytes)
{
    return medianSeconds([&bytes] {
        pugi::xml_document document;
        if (!document.load_buffer(bytes.constData(), std::size_t(bytes.size())))
            std::abort();
    });
}
#endif

int measureMemory(int megabytes)
{
    const QByteArray bytes = pfw::SettingsGenerator::sized(qsizetype(megabytes) * 1024 * 1024);
    const qint64 before = pfw::bench::residentBytes();
    pfw::XsdtFile file;
    if (!file.parse(bytes))
        return 1;
    const qint64 after = pfw::bench::residentBytes();
    std::printf("%lld\n", static_cast<long long>(after - before));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--memory-mb"))
        return measureMemory(args.at(2).toInt());

    std::printf("%-6s %10s %10s %10s %10s %10s %10s %8s %12s %8s\n", "size", "parse ms", "fresh ms", "QXml ms",
                "expat ms", "pugixml ms", "write MB/s", "/expat", "tree memory", "x file");
    for (const int megabytes : {1, 5, 20}) {
        const QByteArray bytes = pfw::SettingsGenerator::sized(qsizetype(megabytes) * 1024 * 1024);
        const double mb = double(bytes.size()) / (1024.0 * 1024.0);

        // As a reload does: the previous tree is freed first (untimed), and its memory may be
        // used again, as expat's pass uses its own again.
        std::unique_ptr<pfw::XsdtFile> reused;
        const double parse = pfw::bench::medianMilliseconds(
                                 kRuns,
                                 [&] {
                                     if (!reused->parse(bytes))
                                         std::abort();
                                 },
                                 [&] { reused = std::make_unique<pfw::XsdtFile>(); })
            / 1000;
        // As the first open does: every tree kept, so each one is built in memory new to the process.
        std::vector<std::unique_ptr<pfw::XsdtFile>> files;
        const double fresh = medianSeconds([&] {
            files.push_back(std::make_unique<pfw::XsdtFile>());
            if (!files.back()->parse(bytes))
                std::abort();
        });
        files.clear();
        const pfw::XsdtFile &file = *reused;
        const bool compact = file.compactLayout;
        const double write = medianSeconds([&] {
            if (file.serialize().size() != bytes.size())
                std::abort();
        });
        const double qxml = medianSeconds([&] {
            QXmlStreamReader reader(bytes);
            qsizetype attributes = 0;
            while (!reader.atEnd()) {
                if (reader.readNext() == QXmlStreamReader::StartElement)
                    attributes += reader.attributes().size();
            }
            if (reader.hasError() || attributes == 0)
                std::abort();
        });

        QProcess child;
        child.start(app.applicationFilePath(), {QStringLiteral("--memory-mb"), QString::number(megabytes)});
        child.waitForFinished(-1);
        const double treeBytes = child.readAllStandardOutput().trimmed().toDouble();

        double expat = 0;
        double pugixml = 0;
#ifdef PFW_BENCH_EXPAT
        expat = expatSeconds(bytes);
#endif
#ifdef PFW_BENCH_PUGIXML
        pugixml = pugixmlSeconds(bytes);
#endif
        const auto shown = [](double seconds) {
            return seconds > 0 ? QString::number(seconds * 1000, 'f', 1) : QStringLiteral("-");
        };
        std::printf("%-6s %10.1f %10.1f %10.1f %10s %10s %10.1f %8s %10.1f MB %8.2f%s\n",
                    qPrintable(QString::number(megabytes) + QStringLiteral(" MB")), parse * 1000, fresh * 1000,
                    qxml * 1000, qPrintable(shown(expat)), qPrintable(shown(pugixml)), mb / write,
                    expat > 0 ? qPrintable(QString::number(parse / expat, 'f', 2)) : "-", treeBytes / (1024.0 * 1024.0),
                    treeBytes / double(bytes.size()), compact ? "" : "  (not compact!)");
    }
    std::printf("/expat = parse time / expat time (target 1.00 or less); fresh: parsed into memory the process\n"
                "had not used (the kernel's first touch of each page included); \"-\": library not installed;\n"
                "medians of %d runs\n",
                kRuns);
    return 0;
}
