// Writes the demo settings file (or a larger generated one) to a path or standard output.
#include "bench/settingsgenerator.h"
#include "core/atomicfile.h"

#include <QCoreApplication>
#include <QCommandLineParser>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes a generated PixInsight settings file."));
    parser.addHelpOption();
    const QCommandLineOption sizeOption(QStringLiteral("size-mb"),
                                        QStringLiteral("Write a file of about <mb> megabytes instead of the demo."),
                                        QStringLiteral("mb"));
    parser.addOption(sizeOption);
    parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("Output file; standard output if absent."));
    parser.process(app);

    QByteArray bytes = pfw::SettingsGenerator::demo();
    if (parser.isSet(sizeOption)) {
        bool ok = false;
        const double megabytes = parser.value(sizeOption).toDouble(&ok);
        if (!ok || megabytes <= 0 || megabytes > 2000) {
            std::fprintf(stderr, "--size-mb takes a number of megabytes from 0 to 2000.\n");
            return 2;
        }
        bytes = pfw::SettingsGenerator::sized(qsizetype(megabytes * 1024 * 1024));
    }
    const QStringList outputs = parser.positionalArguments();
    if (outputs.isEmpty()) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        return 0;
    }
    const pfw::AtomicFile::Result written = pfw::AtomicFile::write(outputs.first(), bytes);
    if (!written.ok()) {
        std::fprintf(stderr, "Could not write %s: %s\n", qPrintable(outputs.first()), qPrintable(written.reason));
        return 1;
    }
    return 0;
}
