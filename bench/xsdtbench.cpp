// Reader and writer throughput on generated files of 1, 5 and 20 MB, against a bare
// QXmlStreamReader pass over the same bytes, and the memory the parsed tree occupies.
#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr int kRuns = 11;

double medianSeconds(const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * 4096 : -1;
}

int measureMemory(int megabytes)
{
    const QByteArray bytes = pfw::SettingsGenerator::sized(qsizetype(megabytes) * 1024 * 1024);
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    const qint64 before = residentBytes();
    pfw::XsdtFile file;
    if (!file.parse(bytes))
        return 1;
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    const qint64 after = residentBytes();
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

    std::printf("%-6s %12s %12s %12s %8s %12s %10s\n", "size", "parse MB/s", "QXml MB/s", "write MB/s",
                "ratio", "tree memory", "x file");
    for (const int megabytes : {1, 5, 20}) {
        const QByteArray bytes = pfw::SettingsGenerator::sized(qsizetype(megabytes) * 1024 * 1024);
        const double mb = double(bytes.size()) / (1024.0 * 1024.0);

        // Each parse fills a fresh file; freeing the previous tree is not the reader's time.
        std::vector<std::unique_ptr<pfw::XsdtFile>> files;
        const double parse = medianSeconds([&] {
            files.push_back(std::make_unique<pfw::XsdtFile>());
            if (!files.back()->parse(bytes))
                std::abort();
        });
        const pfw::XsdtFile &file = *files.back();
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

        std::printf("%-6s %12.1f %12.1f %12.1f %8.2f %10.1f MB %10.2f%s\n",
                    qPrintable(QString::number(megabytes) + QStringLiteral(" MB")), mb / parse, mb / qxml,
                    mb / write, parse / qxml, treeBytes / (1024.0 * 1024.0), treeBytes / double(bytes.size()),
                    compact ? "" : "  (not compact!)");
    }
    std::printf("ratio = parse time / QXmlStreamReader time (lower is faster); medians of %d runs\n", kRuns);
    return 0;
}
