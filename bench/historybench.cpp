// The history of one value over 25 backups of a 5 MB file, through the real dialog: how long
// until every backup is read, and the longest the GUI thread went without an event-loop turn.
#include "bench/settingsgenerator.h"
#include "core/settingsdocument.h"
#include "core/settinghistory.h"
#include "core/xsdtfile.h"
#include "model/settingsmodel.h"
#include "ui/dialogs/settinghistorydialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

struct Run
{
    double total = 0;
    double longestGap = 0;
};

// Opens the history and waits for it, timing the gaps between turns of the event loop.
Run measure(pfw::SettingsModel &model, pfw::SettingsDocument &document, pfw::XsdtNode *node)
{
    Run run;
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    // Every 2 ms, not 0: a timer that fires at once keeps the GUI thread busy and takes one of
    // the cores the readers would have, which an idle window does not.
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(2);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        run.longestGap = std::max(run.longestGap, double(now - last) / 1e6);
        last = now;
    });
    ticker.start();
    auto *dialog = new pfw::SettingHistoryDialog(&model, &document, node);
    dialog->show();
    QEventLoop wait;
    QObject::connect(dialog, &pfw::SettingHistoryDialog::readingFinished, &wait, &QEventLoop::quit);
    if (dialog->isReading())
        wait.exec();
    run.total = double(clock.nsecsElapsed()) / 1e6;
    const qint64 now = clock.nsecsElapsed();
    run.longestGap = std::max(run.longestGap, double(now - last) / 1e6);
    delete dialog;
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kBackups = 25;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QByteArray bytes = pfw::SettingsGenerator::sized(qsizetype(5) * 1024 * 1024);
    const QByteArray needle("k=\"MaxProcessors\" t=\"i\" v=\"64\"");
    for (int i = 0; i <= kBackups; ++i) {
        QByteArray content = bytes;
        content.replace(needle, QByteArray("k=\"MaxProcessors\" t=\"i\" v=\"") + QByteArray::number(1 + i % 7) + '"');
        const QString target = i == kBackups
            ? path
            : pfw::SafeWrite::makeBackupPath(path, QString(), QDateTime(QDate(2026, 1, 1), QTime(8, 0)).addDays(i));
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return 1;
    }

    pfw::SettingsDocument document;
    QString error;
    if (!document.load(path, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    pfw::SettingsModel model;
    model.setDocument(&document.file());
    pfw::XsdtNode *node = document.file().root.findPath(u"Global/Preferences/Process/MaxProcessors");
    if (!node)
        return 1;

    const Run first = measure(model, document, node);
    const Run second = measure(model, document, node);
    std::printf("History of one value over %d backups of %.1f MB: complete in %7.1f ms (target 1500 ms, %.2fx), "
                "longest GUI gap %5.1f ms (target 50 ms)\n",
                kBackups, double(bytes.size()) / (1024 * 1024), first.total, first.total / 1500, first.longestGap);
    std::printf("The same history again, from what was read:     %7.1f ms, longest GUI gap %5.1f ms\n", second.total,
                second.longestGap);
    return 0;
}
