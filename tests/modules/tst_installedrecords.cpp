#include "modules/installedrecords.h"
#include "platform/elevatedlauncher.h"
#include "platform/hostenvironment.h"
#include "tests/support/specialfiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace pfw;

namespace {

const QByteArray kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<xri version=\"1.0\">\r\n";
const QByteArray kCore
    = "   <package fileName=\"core-20260101.zip\" type=\"core\" installDate=\"20260102030405\" repo=\"pi\"/>\r\n";
const QByteArray kTail = "</xri>\r\n";

QByteArray moduleLine(const QByteArray &name, const QByteArray &extra = QByteArray())
{
    return "\t<package fileName=\"" + name + "\" type=\"module\"" + extra + " repo=\"https://x/\"/>  \r\n";
}

} // namespace

class TestInstalledRecords : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void pathTest_data();
    void pathTest();
    void parsing_data();
    void parsing();
    void spans_data();
    void spans();
    void removal_data();
    void removal();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void backupsAreDistinctAndRestorable();
    void backupNamesMatchLiterally_data();
    void backupNamesMatchLiterally();
    void failedWriteLeavesNothingBehind_data();
    void failedWriteLeavesNothingBehind();
    void runningHostStopsEdits();
    void unreadableOrUnwritableTarget();
    void specialFilesAreNotRead_data();
    void specialFilesAreNotRead();
    void helper_data();
    void helper();
    void helperRefusesLinks_data();
    void helperRefusesLinks();
    void concurrentRemovalsLoseNothing();
    void displayDate();

private:
    QString recordPath() const
    {
        return m_dir->filePath(QStringLiteral("Programs/PixInsight/etc/update/installed.xri"));
    }
    void write(const QByteArray &bytes, const QString &path = QString());
    QByteArray read() const;
    RecordEditOptions idle() const;
    HostEnvironment installation() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestInstalledRecords::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("Programs/PixInsight/etc/update"))));
}

void TestInstalledRecords::write(const QByteArray &bytes, const QString &path)
{
    QFile file(path.isEmpty() ? recordPath() : path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray TestInstalledRecords::read() const
{
    QFile file(recordPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

RecordEditOptions TestInstalledRecords::idle() const
{
    RecordEditOptions options;
    options.isHostRunning = [] { return false; };
    return options;
}

HostEnvironment TestInstalledRecords::installation() const
{
    HostEnvironment environment;
    environment.flavour = PlatformFlavour::Windows;
    environment.programFilesFolders = QStringList{m_dir->filePath(QStringLiteral("Programs"))};
    return environment;
}

void TestInstalledRecords::pathTest_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("unix") << "/opt/PixInsight/etc/update/installed.xri" << true;
    QTest::newRow("windows case") << "C:\\Program Files\\pixinsight\\ETC\\update\\Installed.xri" << true;
    QTest::newRow("dot parts") << "/opt/PixInsight/bin/../etc/./update/installed.xri" << true;
    QTest::newRow("other folder") << "/opt/PixInsight2/etc/update/installed.xri" << false;
    QTest::newRow("other name") << "/opt/PixInsight/etc/update/installed.xml" << false;
    QTest::newRow("dot dot escapes") << "/opt/PixInsight/../Other/etc/update/installed.xri" << false;
}

void TestInstalledRecords::pathTest()
{
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    QCOMPARE(isInstalledRecordPath(path), accepted);
}

void TestInstalledRecords::parsing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("error");
    QTest::newRow("records in order, nested and other names ignored")
        << QByteArray("<xri><package fileName=\"b\" type=\"module\"><package fileName=\"inner\"/></package>"
                      "<packages fileName=\"no\"/><package fileName=\"a&amp;c\"/></xri>")
        << QStringList{"b", "a&c"} << QString();
    QTest::newRow("wrong root") << QByteArray("<xsdt><package fileName=\"a\"/></xsdt>") << QStringList()
                                << "Not a PixInsight update record file (no <xri> element).";
    QTest::newRow("empty") << QByteArray() << QStringList() << "Empty file.";
    QTest::newRow("broken") << QByteArray("<xri><package fileName=\"a\"></xri>") << QStringList() << "*";
}

void TestInstalledRecords::parsing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QFETCH(QString, error);
    QString actualError = QStringLiteral("stale");
    QStringList actual;
    for (const PackageRecord &record : parseInstalledRecords(bytes, &actualError))
        actual << record.fileName;
    QCOMPARE(actual, names);
    if (error == u"*")
        QVERIFY(!actualError.isEmpty() && actualError != u"stale");
    else
        QCOMPARE(actualError, error);
}

void TestInstalledRecords::spans_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QByteArray>("firstSpan");
    QTest::newRow("own line with indentation and CRLF")
        << QByteArray("<xri>\r\n  <package fileName=\"a\"/>\t\r\n</xri>") << QStringList{"a"}
        << QByteArray("  <package fileName=\"a\"/>\t\r\n");
    QTest::newRow("over several lines") << QByteArray(
        "<xri>\n <package fileName=\"a\">\n  <x/>\n </package>\n<package fileName=\"b\"/></xri>")
                                        << QStringList{"a", "b"}
                                        << QByteArray(" <package fileName=\"a\">\n  <x/>\n </package>\n");
    QTest::newRow("greater-than in quotes") << QByteArray("<xri><package title='a>b' fileName=\"a\"/></xri>")
                                            << QStringList{"a"} << QByteArray("<package title='a>b' fileName=\"a\"/>");
    QTest::newRow("longer tag name skipped") << QByteArray("<xri><packages/><package fileName=\"a\"/></xri>")
                                             << QStringList{"a"} << QByteArray("<package fileName=\"a\"/>");
    QTest::newRow("unterminated start tag stops the search")
        << QByteArray("<xri><package fileName=\"a\"/><package fileName=\"b\"") << QStringList{"a"}
        << QByteArray("<package fileName=\"a\"/>");
    QTest::newRow("entity kept as written") << QByteArray("<xri><package fileName=\"a&amp;b\"/></xri>")
                                            << QStringList{"a&amp;b"} << QByteArray("<package fileName=\"a&amp;b\"/>");
}

void TestInstalledRecords::spans()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QFETCH(QByteArray, firstSpan);
    const QList<PackageSpan> found = packageSpans(bytes);
    QStringList actual;
    for (const PackageSpan &span : found)
        actual << span.fileName;
    QCOMPARE(actual, names);
    QCOMPARE(bytes.mid(found.first().start, found.first().end - found.first().start), firstSpan);
}

void TestInstalledRecords::removal_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<int>("count");
    const QByteArray multi = " <package fileName=\"m.zip\" type=\"module\">\r\n  <title>T</title>\r\n </package>\r\n";
    QTest::newRow("one line") << kHead + kCore + moduleLine("a.zip") + moduleLine("b.zip", " title=\"x > y\"") + kTail
                              << QStringList{"a.zip"} << kHead + kCore + moduleLine("b.zip", " title=\"x > y\"") + kTail
                              << 1;
    QTest::newRow("multi-line record and duplicate name given twice")
        << kHead + multi + kCore + kTail << QStringList{"m.zip", "m.zip"} << kHead + kCore + kTail << 1;
    QTest::newRow("same name twice removes both")
        << kHead + moduleLine("a.zip") + kCore + moduleLine("a.zip") + moduleLine("c.zip") + kTail
        << QStringList{"a.zip"} << kHead + kCore + moduleLine("c.zip") + kTail << 2;
}

void TestInstalledRecords::removal()
{
    QFETCH(QByteArray, before);
    QFETCH(QStringList, names);
    QFETCH(QByteArray, after);
    QFETCH(int, count);
    write(before);
    const EditResult result = removeInstalledRecords(recordPath(), names, idle());
    QCOMPARE(result.message, QString());
    QCOMPARE(result.status, 0);
    QCOMPARE(result.count, count);
    QCOMPARE(read(), after);
    QFile backup(result.backupPath);
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), before);
}

void TestInstalledRecords::refusalsChangeNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QByteArray good = kHead + kCore + moduleLine("a.zip") + kTail;
    QTest::newRow("no names") << good << QStringList() << 6 << "No records were named.";
    QTest::newRow("unknown name") << good << QStringList{"a.zip", "z.zip"} << 4 << "z.zip is not in the file.";
    QTest::newRow("core package") << good << QStringList{"core-20260101.zip"} << 4
                                  << "core-20260101.zip is not a module package; only modules may be removed.";
    QTest::newRow("same name, one not a module")
        << kHead + moduleLine("a.zip") + "<package fileName=\"a.zip\" type=\"script\"/>\n" + kTail
        << QStringList{"a.zip"} << 4 << "a.zip is not a module package; only modules may be removed.";
    QTest::newRow("entity in the name")
        << kHead + moduleLine("a&amp;b.zip") + kTail << QStringList{"a&b.zip"} << 4
        << "Could not locate the record of a&b.zip in the file text. Nothing was changed.";
    QTest::newRow("not a record file")
        << QByteArray("<xsdt/>") << QStringList{"a.zip"} << 5
        << "The file is not a valid record file: Not a PixInsight update record file (no <xri> element).";
    // The raw cut would take the commented-out record too; the check of the result catches it.
    QTest::newRow("record in a comment")
        << kHead + "<!--\n<package fileName=\"a.zip\" type=\"module\"/>\n-->\n" + moduleLine("a.zip") + kTail
        << QStringList{"a.zip"} << 4 << "Could not locate the record of a.zip in the file text. Nothing was changed.";
}

void TestInstalledRecords::refusalsChangeNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QFETCH(int, status);
    QFETCH(QString, message);
    write(bytes);
    const EditResult result = removeInstalledRecords(recordPath(), names, idle());
    QCOMPARE(result.status, status);
    QCOMPARE(result.message, message);
    QCOMPARE(read(), bytes);
    QVERIFY(installedBackups(recordPath()).isEmpty());
}

void TestInstalledRecords::backupsAreDistinctAndRestorable()
{
    const QByteArray original = kHead + moduleLine("a.zip") + moduleLine("b.zip") + kTail;
    write(original);
    const EditResult first = removeInstalledRecords(recordPath(), {QStringLiteral("a.zip")}, idle());
    const EditResult second = removeInstalledRecords(recordPath(), {QStringLiteral("b.zip")}, idle());
    QCOMPARE(first.status, 0);
    QCOMPARE(second.status, 0);
    QVERIFY(first.backupPath != second.backupPath);
    QCOMPARE(read(), kHead + kTail);
    // Same-millisecond names get a suffix.
    const QString next = makeInstalledBackupPath(recordPath());
    write("x", next);
    QVERIFY(makeInstalledBackupPath(recordPath()) != next);
    QFile::remove(next);

    QCOMPARE(installedBackups(recordPath()).size(), 2);
    QCOMPARE(installedBackups(recordPath()).first(), QFileInfo(second.backupPath).fileName());
    EditResult restored = restoreNewestInstalledBackup(recordPath(), idle());
    QCOMPARE(restored.status, 0);
    QCOMPARE(restored.backupPath, second.backupPath);
    QCOMPARE(read(), kHead + moduleLine("b.zip") + kTail);
    // What the restore replaced (records PixInsight may have added since) is in a backup too.
    const QStringList after = installedBackups(recordPath());
    QCOMPARE(after.size(), 3);
    QFile safety(QFileInfo(recordPath()).absolutePath() + u'/' + after.constFirst());
    QVERIFY(safety.open(QIODevice::ReadOnly));
    QCOMPARE(safety.readAll(), kHead + kTail);
    safety.close();
    QVERIFY(QFile::remove(safety.fileName()));

    // A broken newest backup is not restored.
    write("<xri>", second.backupPath);
    restored = restoreNewestInstalledBackup(recordPath(), idle());
    QCOMPARE(restored.status, 5);
    QVERIFY(restored.message.startsWith(QLatin1String("The newest backup is not a valid record file (")));
    QCOMPARE(read(), kHead + moduleLine("b.zip") + kTail);
}

// Wildcard characters in the file name must not pick up, or miss, backups.
void TestInstalledRecords::backupNamesMatchLiterally_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("lookalike");
    QTest::newRow("brackets") << "in[s]talled.xri"
                              << "installed.xri.bak-20260101-000000-000";
#ifndef Q_OS_WIN
    QTest::newRow("star") << "in*.xri"
                          << "installed.xri.bak-20260101-000000-000";
    QTest::newRow("question mark") << "install?d.xri"
                                   << "installed.xri.bak-20260101-000000-000";
#endif
}

void TestInstalledRecords::backupNamesMatchLiterally()
{
    QFETCH(QString, name);
    QFETCH(QString, lookalike);
    const QString folder = m_dir->filePath(QStringLiteral("Programs/PixInsight/etc/update"));
    const QString own = name + QLatin1String(".bak-20250101-000000-000");
    write("x", folder + u'/' + own);
    write("x", folder + u'/' + lookalike);
    QCOMPARE(installedBackups(folder + u'/' + name), QStringList{own});
}

// A failed edit leaves the file as it was and no backup of it; what another program wrote just
// after the write is never written over, and the file as it was stays in its backup.
void TestInstalledRecords::failedWriteLeavesNothingBehind_data()
{
    QTest::addColumn<bool>("writeFails");
    QTest::addColumn<QString>("message");
    QTest::newRow("write fails") << true << "Error writing %1: ";
    QTest::newRow("read-back differs") << false << "Read-back verification of %1 failed.";
}

void TestInstalledRecords::failedWriteLeavesNothingBehind()
{
    QFETCH(bool, writeFails);
    QFETCH(QString, message);
    const QByteArray original = kHead + moduleLine("a.zip") + kTail;
    write(original);
    RecordEditOptions options = idle();
    if (writeFails) {
        options.operations.steps.writeAll = [](QFileDevice &, const QByteArray &) { return false; };
    } else {
        options.operations.steps.commit = [this](const std::function<bool()> &rename) {
            if (!rename())
                return false;
            write("tampered");
            return true;
        };
    }
    const EditResult result = removeInstalledRecords(recordPath(), {QStringLiteral("a.zip")}, options);
    QCOMPARE(result.status, 5);
    QVERIFY2(result.message.startsWith(message.arg(QDir::toNativeSeparators(recordPath()))),
             qPrintable(result.message));
    const QStringList backups = installedBackups(recordPath());
    if (writeFails) {
        QCOMPARE(read(), original);
        QCOMPARE(backups, QStringList());
        QVERIFY(result.message.endsWith(QLatin1String(" Nothing was written.")));
    } else {
        QCOMPARE(read(), QByteArray("tampered"));
        QCOMPARE(backups.size(), 1);
        QFile backup(QFileInfo(recordPath()).absolutePath() + u'/' + backups.constFirst());
        QVERIFY(backup.open(QIODevice::ReadOnly));
        QCOMPARE(backup.readAll(), original);
    }
}

void TestInstalledRecords::runningHostStopsEdits()
{
    const QByteArray original = kHead + moduleLine("a.zip") + kTail;
    write(original);
    write(original, recordPath() + QLatin1String(".bak-20260101-000000-000"));
    RecordEditOptions running;
    running.isHostRunning = [] { return true; };
    const QString message
        = QStringLiteral("PixInsight is running. Close it first: it rewrites its records from memory.");
    EditResult result = removeInstalledRecords(recordPath(), {QStringLiteral("a.zip")}, running);
    QCOMPARE(result.status, 2);
    QCOMPARE(result.message, message);
    result = restoreNewestInstalledBackup(recordPath(), running);
    QCOMPARE(result.status, 2);
    QCOMPARE(read(), original);

    // Outside a PixInsight folder nothing is touched even with a valid file.
    const QString stray = m_dir->filePath(QStringLiteral("installed.xri"));
    write(original, stray);
    result = removeInstalledRecords(stray, {QStringLiteral("a.zip")}, idle());
    QCOMPARE(result.status, 4);
    QCOMPARE(result.message,
             QStringLiteral("%1 is not PixInsight's installed.xri.").arg(QDir::toNativeSeparators(stray)));
}

// A folder where the record file should be: it cannot be read, nor replaced, even by root.
void TestInstalledRecords::unreadableOrUnwritableTarget()
{
    QVERIFY(QDir().mkpath(recordPath()));
    write(kHead + moduleLine("a.zip") + kTail, recordPath() + QLatin1String(".bak-20260101-000000-000"));
    EditResult result = removeInstalledRecords(recordPath(), {QStringLiteral("a.zip")}, idle());
    QCOMPARE(result.status, 5);
    QVERIFY2(result.message.startsWith(QStringLiteral("Cannot read %1: ").arg(QDir::toNativeSeparators(recordPath()))),
             qPrintable(result.message));
    result = restoreNewestInstalledBackup(recordPath(), idle());
    QCOMPARE(result.status, 5);
    QVERIFY2(result.message.startsWith(QStringLiteral("Cannot read %1: ").arg(QDir::toNativeSeparators(recordPath()))),
             qPrintable(result.message));
    QVERIFY(QFileInfo(recordPath()).isDir());
    QCOMPARE(installedBackups(recordPath()).size(), 1);
}

// A FIFO would hang the read, a link to /dev/zero would fill the memory (as root, in the helper).
void TestInstalledRecords::specialFilesAreNotRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("removeStatus");
    QTest::addColumn<QString>("reason");
    QTest::newRow("larger than 16 MiB") << "large" << 5 << "It is larger than 16 MiB.";
#ifdef Q_OS_UNIX
    QTest::newRow("FIFO") << "fifo" << 5 << "It is not a regular file.";
    // Refused before it is read: the record file may not be a link at all.
    QTest::newRow("link to /dev/zero") << "zero" << 4 << "It is not a regular file.";
#endif
}

void TestInstalledRecords::specialFilesAreNotRead()
{
    QFETCH(QString, kind);
    QFETCH(int, removeStatus);
    QFETCH(QString, reason);
    const auto make = [&](const QString &path) {
        if (kind == u"large") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(16 * 1024 * 1024 + 1));
#ifdef Q_OS_UNIX
        } else if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
#endif
        }
    };
    make(recordPath());
    if (QTest::currentTestFailed())
        return;
    QString error;
    QVERIFY(loadInstalledRecords(recordPath(), &error).isEmpty());
    QCOMPARE(error, QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(recordPath()), reason));
    const EditResult removal = removeInstalledRecords(recordPath(), {QStringLiteral("a.zip")}, idle());
    QCOMPARE(removal.status, removeStatus);
    QVERIFY(installedBackups(recordPath()).isEmpty());

    QFile::remove(recordPath());
    const QByteArray original = kHead + moduleLine("a.zip") + kTail;
    write(original);
    const QString backup = recordPath() + QLatin1String(".bak-20260101-000000-000");
    make(backup);
    if (QTest::currentTestFailed())
        return;
    // Refused, whether as unreadable or as no backup at all.
    QVERIFY(restoreNewestInstalledBackup(recordPath(), idle()).status != 0);
    QCOMPARE(read(), original);
}

void TestInstalledRecords::helper_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("whileRunning");
    const QString selector = QStringLiteral("--installed-updates-helper");
    QTest::newRow("too few") << QStringList{selector} << true << 6 << 6;
    QTest::newRow("wrong selector") << QStringList{QStringLiteral("--leftovers-helper"), QStringLiteral("remove"),
                                                   QStringLiteral("a.zip")}
                                    << true << 6 << 6;
    QTest::newRow("remove without names") << QStringList{selector, QStringLiteral("remove")} << true << 6 << 6;
    QTest::newRow("unknown action") << QStringList{selector, QStringLiteral("erase"), QStringLiteral("a.zip")} << true
                                    << 6 << 6;
    QTest::newRow("no record file") << QStringList{selector, QStringLiteral("remove"), QStringLiteral("a.zip")} << false
                                    << 3 << 3;
    QTest::newRow("restore without backup") << QStringList{selector, QStringLiteral("restore")} << true << 3 << 2;
    QTest::newRow("refused") << QStringList{selector, QStringLiteral("remove"), QStringLiteral("core-20260101.zip")}
                             << true << 4 << 2;
    QTest::newRow("removed") << QStringList{selector, QStringLiteral("remove"), QStringLiteral("a.zip")} << true << 0
                             << 2;
}

void TestInstalledRecords::helper()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, present);
    QFETCH(int, code);
    QFETCH(int, whileRunning);
    const QByteArray original = kHead + kCore + moduleLine("a.zip") + kTail;
    if (present)
        write(original);
    const HostEnvironment environment = installation();
    QCOMPARE(runInstalledUpdatesHelper(arguments, environment, [] { return false; }), code);
    if (present)
        QCOMPARE(read() == original, code != 0);
    if (present)
        write(original);
    QCOMPARE(runInstalledUpdatesHelper(arguments, environment, [] { return true; }), whileRunning);
    if (present)
        QCOMPARE(read(), original);
}

// The helper runs as root: a link must never lead it to rewrite a file elsewhere.
void TestInstalledRecords::helperRefusesLinks_data()
{
    QTest::addColumn<QString>("linked");
    QTest::newRow("record file") << "Programs/PixInsight/etc/update/installed.xri";
    QTest::newRow("etc/update folder") << "Programs/PixInsight/etc/update";
    QTest::newRow("etc folder") << "Programs/PixInsight/etc";
}

void TestInstalledRecords::helperRefusesLinks()
{
#ifndef Q_OS_UNIX
    QSKIP("Needs symbolic links.");
#endif
    QFETCH(QString, linked);
    // The outside tree mirrors the installation, so the link resolves to a valid record file.
    const QString outside = m_dir->filePath(QStringLiteral("outside"));
    const QString outsideTarget = outside + u'/' + linked;
    const QString outsideRecord = outside + QLatin1String("/Programs/PixInsight/etc/update/installed.xri");
    QVERIFY(QDir().mkpath(QFileInfo(outsideRecord).absolutePath()));
    const QByteArray original = kHead + moduleLine("a.zip") + kTail;
    write(original, outsideRecord);
    const QString inside = m_dir->filePath(linked);
    QVERIFY(QDir(inside).removeRecursively());
    PFW_SYMBOLIC_LINK_OR_SKIP(outsideTarget, inside);
    QVERIFY(QFileInfo::exists(recordPath()));

    const QStringList remove{QStringLiteral("--installed-updates-helper"), QStringLiteral("remove"),
                             QStringLiteral("a.zip")};
    QCOMPARE(runInstalledUpdatesHelper(remove, installation(), [] { return false; }), 4);
    write("x", outsideRecord + QLatin1String(".bak-20260101-000000-000"));
    const QStringList restore{QStringLiteral("--installed-updates-helper"), QStringLiteral("restore")};
    QCOMPARE(runInstalledUpdatesHelper(restore, installation(), [] { return false; }), 4);
    QFile record(outsideRecord);
    QVERIFY(record.open(QIODevice::ReadOnly));
    QCOMPARE(record.readAll(), original);
    QCOMPARE(
        QDir(QFileInfo(outsideRecord).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList{QStringLiteral("installed.xri"), QStringLiteral("installed.xri.bak-20260101-000000-000")}));
}

// Two helpers removing different records at once: each either removed its record or was refused
// with nothing written; a removal that reports success is never undone by the other.
void TestInstalledRecords::concurrentRemovalsLoseNothing()
{
    // Enough records that reading, checking and writing take a while, so the two overlap.
    QByteArray filler;
    for (int i = 0; i < 5000; ++i)
        filler += "   <package fileName=\"core-" + QByteArray::number(i) + ".zip\" type=\"core\" repo=\"pi\"/>\r\n";
    const QByteArray original
        = kHead + filler + moduleLine("a.zip") + moduleLine("b.zip") + moduleLine("c.zip") + kTail;
    const QString folder = QFileInfo(recordPath()).absolutePath();
    const QStringList names{QStringLiteral("a.zip"), QStringLiteral("b.zip")};
    for (int round = 0; round < 50; ++round) {
        write(original);
        for (const QString &backup : installedBackups(recordPath()))
            QVERIFY(QFile::remove(folder + u'/' + backup));
        QProcess helpers[2];
        for (int i = 0; i < 2; ++i) {
            helpers[i].start(QStringLiteral(PFW_RECORDS_DRIVER),
                             {m_dir->filePath(QStringLiteral("Programs")), QStringLiteral("--installed-updates-helper"),
                              QStringLiteral("remove"), names.at(i)});
        }
        for (QProcess &helper : helpers)
            QVERIFY(helper.waitForStarted(10000));
        for (QProcess &helper : helpers)
            helper.write("go\n");
        for (QProcess &helper : helpers)
            QVERIFY(helper.waitForBytesWritten(10000));
        for (QProcess &helper : helpers)
            QVERIFY(helper.waitForFinished(30000));
        const QByteArray after = read();
        QByteArray expected = original;
        int removed = 0;
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(helpers[i].exitStatus(), QProcess::NormalExit);
            const int code = helpers[i].exitCode();
            const bool gone = !after.contains("\"" + names.at(i).toUtf8() + "\"");
            QVERIFY2(gone == (code == 0),
                     qPrintable(QStringLiteral("round %1: removing %2 exited with %3, record %4")
                                    .arg(round)
                                    .arg(names.at(i))
                                    .arg(code)
                                    .arg(gone ? QStringLiteral("gone") : QStringLiteral("kept"))));
            if (code == 0) {
                expected.replace(moduleLine(names.at(i).toUtf8()), QByteArray());
                ++removed;
            }
        }
        QCOMPARE(after, expected);
        QCOMPARE(installedBackups(recordPath()).size(), removed);
    }
    QCOMPARE(QDir(folder).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral("lock")), QStringList());
}

void TestInstalledRecords::displayDate()
{
    PackageRecord record;
    record.installDate = QStringLiteral("20260102030405");
    QCOMPARE(displayInstallDate(record), QStringLiteral("2026-01-02 03:04"));
    record.installDate = QStringLiteral("yesterday");
    QCOMPARE(displayInstallDate(record), QStringLiteral("yesterday"));
}

QTEST_GUILESS_MAIN(TestInstalledRecords)
#include "tst_installedrecords.moc"
