// The whole save of a 5 MB settings file, and each of its steps timed on its own: the lock,
// reading and hashing the file, serializing, parsing back and comparing, the backup, the
// atomic write with its sync, and the read-back.
#include "bench/benchtimer.h"
#include "bench/settingsgenerator.h"
#include "core/atomicfile.h"
#include "core/backups.h"
#include "core/settingsdocument.h"
#include "core/writerlock.h"
#include "core/xmlwellformedness.h"
#include "core/xsdtfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 9;

double medianMs(const std::function<void()> &work)
{
    return pfw::bench::medianMilliseconds(kRuns, work);
}

void fail(const char *what)
{
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QByteArray bytes = pfw::SettingsGenerator::sized(qsizetype(5) * 1024 * 1024);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            fail("writing the file");
    }
    pfw::SettingsDocument document;
    document.setRunningCheck([] { return false; });
    QString error;
    if (!document.load(path, &error))
        fail("loading");
    pfw::XsdtNode *processors = document.file().root.findPath(u"Global/Preferences/Process/MaxProcessors");
    if (!processors)
        fail("finding the value");

    int round = 0;
    const double whole = medianMs([&] {
        processors->value = QString::number(2 + (++round % 60));
        QString backup;
        if (!document.save(&error, &backup))
            fail("the save");
    });

    const double lock = medianMs([&] {
        pfw::WriterLock writer(path);
        if (!writer.acquire(&error))
            fail("the lock");
    });
    QByteArray current;
    const double read = medianMs([&] {
        if (!pfw::SafeWrite::readFile(path, &current, nullptr) || pfw::SafeWrite::sha256(current).isEmpty())
            fail("reading");
    });
    QByteArray serialized;
    const double serialize = medianMs([&] { serialized = document.file().serialize(); });
    const double check = medianMs([&] {
        pfw::XsdtFile parsed;
        if (!parsed.parse(serialized) || !pfw::sameTree(document.file().root, parsed.root))
            fail("parsing back");
    });
    const double strict = medianMs([&] {
        if (!pfw::XmlWellFormedness::check(serialized).wellFormed)
            fail("the check a strict XML reader makes");
    });
    int backups = 0;
    const double backup = medianMs([&] {
        if (!pfw::writeBackupFile(current, dir.filePath(QStringLiteral("copy-%1").arg(++backups)), path))
            fail("the backup");
    });
    const double write = medianMs([&] {
        if (!pfw::AtomicFile::write(dir.filePath(QStringLiteral("written")), serialized).ok())
            fail("the write");
    });
    QByteArray back;
    const double readBack = medianMs([&] {
        if (!pfw::SafeWrite::readFile(path, &back, nullptr) || back.size() == 0)
            fail("the read-back");
    });

    std::printf("Save of a %.1f MB file: %.1f ms (target 150 ms, %.2fx); medians of %d runs\n",
                double(bytes.size()) / (1024 * 1024), whole, whole / 150, kRuns);
    std::printf("  %-34s %7.1f ms\n", "lock", lock);
    std::printf("  %-34s %7.1f ms\n", "read and hash the file", read);
    std::printf("  %-34s %7.1f ms\n", "serialize", serialize);
    std::printf("  %-34s %7.1f ms\n", "parse back and compare", check);
    std::printf("  %-34s %7.1f ms\n", "well-formed for a strict reader", strict);
    std::printf("  %-34s %7.1f ms\n", "backup (written and synced)", backup);
    std::printf("  %-34s %7.1f ms\n", "atomic write (synced)", write);
    std::printf("  %-34s %7.1f ms\n", "read back", readBack);
    return 0;
}
