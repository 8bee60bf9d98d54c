#include "platform/hostprocesses.h"
#include "tests/support/fakehost.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace pfw;

class TestHostProcesses : public QObject
{
    Q_OBJECT

private slots:
    void realProcesses_data();
    void realProcesses();
    void fakeProcFolder();
    void zombieDoesNotCount();
    void psOutput_data();
    void psOutput();
};

void TestHostProcesses::realProcesses_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("counts");
#ifdef Q_OS_WIN
    QTest::newRow("exact") << "PixInsight.exe" << true;
    QTest::newRow("other case") << "PIXINSIGHT.EXE" << true;
    QTest::newRow("longer name") << "PixInsight64.exe" << false;
    QTest::newRow("another program's extension") << "PixInsight.com" << false;
#else
    QTest::newRow("exact") << "PixInsight" << true;
    QTest::newRow("other case") << "pixinsight" << true;
    QTest::newRow("longer name") << "PixInsight64" << false;
    QTest::newRow("with extension") << "PixInsight.exe" << false;
#endif
}

// A copy of sleep under PixInsight's name stands in for the real program.
void TestHostProcesses::realProcesses()
{
    QFETCH(QString, name);
    QFETCH(bool, counts);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    test::FakeHost host;
    QVERIFY(host.start(dir.path(), name));
    const qint64 pid = host.pid();
    const bool listed = runningHostProcesses().contains(pid);
#ifndef Q_OS_WIN
    // What macOS would be asked, asked of this system's ps.
    QProcess ps;
    ps.start(QStringLiteral("/bin/ps"),
             {QStringLiteral("-A"), QStringLiteral("-o"), QStringLiteral("pid=,stat=,comm=")});
    QVERIFY(ps.waitForFinished(10000));
    const bool listedByPs
        = processesNamedInPsOutput(ps.readAllStandardOutput(), QStringLiteral("PixInsight")).contains(pid);
    QCOMPARE(listedByPs, counts);
#endif
    host.stop();
    QCOMPARE(listed, counts);
    QVERIFY(!runningHostProcesses().contains(pid));
}

// Entries without a readable link fall back to the short command name; vanished or
// unreadable entries are skipped.
void TestHostProcesses::fakeProcFolder()
{
#ifndef Q_OS_LINUX
    QSKIP("/proc is Linux's");
#else
    QTemporaryDir proc;
    QVERIFY(proc.isValid());
    const auto write = [&proc](const QString &relative, const QByteArray &bytes) {
        QDir().mkpath(QFileInfo(proc.filePath(relative)).absolutePath());
        QFile file(proc.filePath(relative));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    QVERIFY(write(QStringLiteral("123/comm"), "PixInsight\n"));
    QVERIFY(QDir().mkpath(proc.filePath(QStringLiteral("456"))));
    QVERIFY(QFile::link(QStringLiteral("/nowhere/PIXINSIGHT (deleted)"), proc.filePath(QStringLiteral("456/exe"))));
    QVERIFY(write(QStringLiteral("789/comm"), "bash\n"));
    QVERIFY(QDir().mkpath(proc.filePath(QStringLiteral("790"))));
    QVERIFY(write(QStringLiteral("self/comm"), "PixInsight\n"));
    // An exited PixInsight that nobody has reaped yet is not running; a command name may hold
    // ") Z", so the state is the field after the last parenthesis.
    QVERIFY(write(QStringLiteral("124/comm"), "PixInsight\n"));
    QVERIFY(write(QStringLiteral("124/stat"), "124 (PixInsight) Z 1 124 124 0 -1 4194316 0\n"));
    QVERIFY(write(QStringLiteral("125/comm"), "PixInsight\n"));
    QVERIFY(write(QStringLiteral("125/stat"), "125 (PixInsight) S 1 125 125 0 -1 4194304 0\n"));
    QVERIFY(write(QStringLiteral("126/comm"), "PixInsight\n"));
    QVERIFY(write(QStringLiteral("126/stat"), "126 (x) Z) R 1 126 126 0 -1 4194304 0\n"));
    QVERIFY(write(QStringLiteral("127/comm"), "PixInsight\n"));
    QVERIFY(write(QStringLiteral("127/stat"), "127 (x) R) Z 1 127 127 0 -1 4194316 0\n"));
    // Nothing in the folder may make the poll wait: a pipe where the state should be is read
    // as no state. Names are trimmed like text; an id too large for a number is no process.
    QVERIFY(write(QStringLiteral("128/comm"), "PixInsight\n"));
    QCOMPARE(mkfifo(QFile::encodeName(proc.filePath(QStringLiteral("128/stat"))).constData(), 0600), 0);
    QVERIFY(write(QStringLiteral("129/comm"), " PixInsight\t\r\n"));
    QVERIFY(write(QStringLiteral("18446744073709551617/comm"), "PixInsight\n"));
    HostProcessList found = processesNamedInProc(proc.path(), QStringLiteral("PixInsight"));
    std::sort(found.ids.begin(), found.ids.end());
    QCOMPARE(found.ids, QList<qint64>({123, 125, 126, 128, 129, 456}));
    QVERIFY(found.error.isEmpty());
    // No list is not a list without PixInsight.
    const HostProcessList missing
        = processesNamedInProc(proc.filePath(QStringLiteral("missing")), QStringLiteral("PixInsight"));
    QVERIFY(missing.ids.isEmpty());
    QVERIFY(!missing.error.isEmpty());
    // Nor is a folder that does not hold the asking process, as where /proc is not mounted.
    const HostProcessList withoutSelf = processesNamedInProc(proc.path(), QStringLiteral("PixInsight"), 99999);
    QVERIFY(withoutSelf.ids.isEmpty());
    QVERIFY(!withoutSelf.error.isEmpty());
    const HostProcessList withSelf = processesNamedInProc(proc.path(), QStringLiteral("PixInsight"), 789);
    QCOMPARE(withSelf.ids.size(), 6);
    QVERIFY(withSelf.error.isEmpty());
#endif
}

// A real child that exited and was not waited for.
void TestHostProcesses::zombieDoesNotCount()
{
#ifndef Q_OS_LINUX
    QSKIP("a zombie is seen in Linux's /proc");
#else
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("PixInsight"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/true"), program));
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QByteArray path = QFile::encodeName(program);
    char *argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    QCOMPARE(posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ), 0);
    const auto reap = qScopeGuard([pid] { waitpid(pid, nullptr, 0); });
    const auto state = [pid] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return '?';
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : '?';
    };
    QTRY_COMPARE(state(), 'Z');
    QVERIFY(!runningHostProcesses().contains(qint64(pid)));
#endif
}

// ps output as macOS prints it: whole paths, spaces in folder and program names, zombies.
void TestHostProcesses::psOutput_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QList<qint64>>("found");
    const QByteArray mac = "    1 Ss   /sbin/launchd\n"
                           "  412 S    /Applications/PixInsight/PixInsight.app/Contents/MacOS/PixInsight\n"
                           "  413 S    /Applications/My Tools/PixInsight Helper.app/Contents/MacOS/PixInsight Helper\n"
                           "  414 Z    /Applications/PixInsight/PixInsight.app/Contents/MacOS/PixInsight\n"
                           " 1999 R+   /Volumes/Astro Disk/PixInsight 1.9/PixInsight.app/Contents/MacOS/pixinsight\n"
                           "77777 S    /Applications/Preview.app/Contents/MacOS/Preview\n";
    QTest::newRow("macOS") << mac << QList<qint64>{412, 1999};
    QTest::newRow("Linux short names") << QByteArray("  1 Ss systemd\n 88 Sl PixInsight\n 89 Z PixInsight\n")
                                       << QList<qint64>{88};
    QTest::newRow("Windows line ends") << QByteArray(" 5 S /a/PixInsight\r\n") << QList<qint64>{5};
    QTest::newRow("nothing usable") << QByteArray("PID STAT COMM\n\n  x S PixInsight\n 0 S PixInsight\n 7 PixInsight\n")
                                    << QList<qint64>{};
}

void TestHostProcesses::psOutput()
{
    QFETCH(QByteArray, output);
    QFETCH(QList<qint64>, found);
    QCOMPARE(processesNamedInPsOutput(output, QStringLiteral("PixInsight")), found);
}

QTEST_GUILESS_MAIN(TestHostProcesses)
#include "tst_hostprocesses.moc"
