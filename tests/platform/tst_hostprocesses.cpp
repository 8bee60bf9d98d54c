#include "platform/hostprocesses.h"
#include "tests/support/fakehost.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace pfw;

class TestHostProcesses : public QObject
{
    Q_OBJECT

private slots:
    void realProcesses_data();
    void realProcesses();
    void fakeProcFolder();
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
    QCOMPARE(processesNamedInProc(proc.path(), QStringLiteral("PixInsight")), QList<qint64>({123, 456}));
    QVERIFY(processesNamedInProc(proc.filePath(QStringLiteral("missing")), QStringLiteral("PixInsight")).isEmpty());
}

QTEST_GUILESS_MAIN(TestHostProcesses)
#include "tst_hostprocesses.moc"
