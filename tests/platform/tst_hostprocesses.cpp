#include "platform/hostprocesses.h"
#include "tests/support/fakehost.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pfw;

class TestHostProcesses : public QObject
{
    Q_OBJECT

private slots:
    void realProcesses_data();
    void realProcesses();
    void fakeProcFolder();
    void zombieDoesNotCount();
};

void TestHostProcesses::realProcesses_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("counts");
    QTest::newRow("exact") << "PixInsight" << true;
    QTest::newRow("other case") << "pixinsight" << true;
    QTest::newRow("longer name") << "PixInsight64" << false;
    QTest::newRow("with extension") << "PixInsight.exe" << false;
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
    host.stop();
    QCOMPARE(listed, counts);
    QVERIFY(!runningHostProcesses().contains(pid));
}

// Entries without a readable link fall back to the short command name; vanished or
// unreadable entries are skipped.
void TestHostProcesses::fakeProcFolder()
{
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
    QList<qint64> found = processesNamedInProc(proc.path(), QStringLiteral("PixInsight"));
    std::sort(found.begin(), found.end());
    QCOMPARE(found, QList<qint64>({123, 125, 126, 128, 129, 456}));
    QVERIFY(processesNamedInProc(proc.filePath(QStringLiteral("missing")), QStringLiteral("PixInsight")).isEmpty());
}

// A real child that exited and was not waited for.
void TestHostProcesses::zombieDoesNotCount()
{
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
}

QTEST_GUILESS_MAIN(TestHostProcesses)
#include "tst_hostprocesses.moc"
