#include "core/settingsdocument.h"
#include "session/environmentwatcher.h"
#include "tests/support/specialfiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace pfw;

// When PixInsight exits having rewritten the file, a reload falls due; it is asked for only
// when nothing is open and still only if nothing changed meanwhile.
class TestEnvironmentWatcher : public QObject
{
    Q_OBJECT

private slots:
    void reloadWhenDue_data();
    void reloadWhenDue();
    void exitWithoutNewFileIsForgotten();
    void aFailedRunningCheckKeepsItsReason();
    void diskVerdicts_data();
    void diskVerdicts();
};

using Disk = EnvironmentWatcher::Disk;

void TestEnvironmentWatcher::reloadWhenDue_data()
{
    QTest::addColumn<bool>("busyAtExit");
    QTest::addColumn<int>("unsavedAfterwards");
    QTest::addColumn<bool>("runningAgain");
    QTest::addColumn<int>("reloads");
    QTest::addColumn<bool>("checkingAtExit");
    QTest::newRow("nothing open") << false << 0 << false << 1 << false;
    QTest::newRow("dialog open, then closed") << true << 0 << false << 1 << false;
    QTest::newRow("dialog answered with a change") << true << 1 << false << 0 << false;
    QTest::newRow("PixInsight started again meanwhile") << true << 0 << true << 0 << false;
    QTest::newRow("file still being checked at the exit") << false << 0 << false << 1 << true;
    QTest::newRow("still being checked, dialog open") << true << 0 << false << 1 << true;
}

void TestEnvironmentWatcher::reloadWhenDue()
{
    QFETCH(bool, busyAtExit);
    QFETCH(int, unsavedAfterwards);
    QFETCH(bool, runningAgain);
    QFETCH(int, reloads);
    QFETCH(bool, checkingAtExit);
    bool running = true;
    Disk disk = Disk::Same;
    bool busy = false;
    int unsaved = 0;
    EnvironmentWatcher watcher({[&running] { return running; }, [&disk] { return disk; },
                                [&unsaved] { return unsaved; }, [&busy] { return busy; }});
    QSignalSpy reload(&watcher, &EnvironmentWatcher::reloadRequested);
    QSignalSpy polled(&watcher, &EnvironmentWatcher::polled);
    watcher.poll();
    QVERIFY(watcher.isHostRunning());

    running = false;
    disk = checkingAtExit ? Disk::Checking : Disk::Changed;
    busy = busyAtExit;
    watcher.poll();
    if (checkingAtExit) {
        // The exit is kept in mind until the file's verdict is in.
        QVERIFY(!watcher.isChangedOnDisk());
        QCOMPARE(reload.size(), 0);
        disk = Disk::Changed;
        watcher.poll();
    }
    QVERIFY(!watcher.isHostRunning());
    QVERIFY(watcher.isChangedOnDisk());
    QCOMPARE(reload.size(), busyAtExit ? 0 : 1);
    QCOMPARE(watcher.isReloadDue(), busyAtExit);

    busy = false;
    unsaved = unsavedAfterwards;
    running = runningAgain;
    watcher.poll();
    watcher.poll();
    QCOMPARE(reload.size(), reloads);
    QVERIFY(!watcher.isReloadDue());
    // The banners follow every poll, busy or not.
    QCOMPARE(polled.size(), checkingAtExit ? 5 : 4);
}

void TestEnvironmentWatcher::exitWithoutNewFileIsForgotten()
{
    bool running = true;
    Disk disk = Disk::Same;
    EnvironmentWatcher watcher(
        {[&running] { return running; }, [&disk] { return disk; }, [] { return 0; }, [] { return false; }});
    QSignalSpy reload(&watcher, &EnvironmentWatcher::reloadRequested);
    watcher.poll();
    running = false;
    disk = Disk::Checking;
    watcher.poll();
    disk = Disk::Same;
    watcher.poll();
    // Written later by something else: shown, never taken over by itself.
    disk = Disk::Changed;
    watcher.poll();
    QVERIFY(watcher.isChangedOnDisk());
    QCOMPARE(reload.size(), 0);
}

// The banner says why the check failed, for that poll only.
void TestEnvironmentWatcher::aFailedRunningCheckKeepsItsReason()
{
    HostRunningCheck check(true);
    check.error = QStringLiteral("the system gave no list of processes");
    EnvironmentWatcher watcher({[&check] { return check; }, {}, {}, {}});
    watcher.poll();
    QVERIFY(watcher.isHostRunning());
    QCOMPARE(watcher.runningCheckError(), QStringLiteral("the system gave no list of processes"));
    check = HostRunningCheck(true);
    watcher.poll();
    QVERIFY(watcher.isHostRunning());
    QVERIFY(watcher.runningCheckError().isEmpty());
}

void TestEnvironmentWatcher::diskVerdicts_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("changed");
    QTest::newRow("same bytes written again") << "rewrite-same" << false;
    QTest::newRow("one byte changed, same size") << "edit" << true;
    QTest::newRow("same size, modification time put back") << "edit-keep-time" << true;
    QTest::newRow("another file renamed over it") << "rename" << true;
    // Only the file's identity (device and inode, volume and file index) tells this one apart.
    QTest::newRow("another file of the same size and time renamed over it") << "rename-same-time" << true;
    QTest::newRow("removed") << "remove" << true;
    QTest::newRow("replaced by a FIFO") << "fifo" << true;
}

// A poll costs a stat while the file keeps its identity; a new identity is read and hashed
// away from the caller, and identical bytes under a new identity are not a change.
void TestEnvironmentWatcher::diskVerdicts()
{
    QFETCH(QString, change);
    QFETCH(bool, changed);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QByteArray bytes
        = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\"><v k=\"A\" t=\"i\" v=\"1\"/></xsdt>";
    const auto write = [](const QString &target, const QByteArray &content) {
        QFile file(target);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    QVERIFY(write(path, bytes));
    // A time both files can be given to the full resolution of any file system.
    const QDateTime whole = QDateTime(QDate(2026, 1, 1), QTime(12, 0));
    if (change == u"rename-same-time") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(whole, QFileDevice::FileModificationTime));
    }
    SettingsDocument document;
    QString error;
    QVERIFY2(document.load(path, &error), qPrintable(error));
    DiskChangeMonitor monitor;
    QCOMPARE(monitor.check(document), Disk::Same);
    QVERIFY(!monitor.isChecking());

    QTest::qWait(20); // a new modification time, even on coarse clocks
    if (change == u"rewrite-same") {
        QVERIFY(write(path, bytes));
    } else if (change.startsWith(u"edit")) {
        const QDateTime modified = QFileInfo(path).lastModified();
        QByteArray edited = bytes;
        edited.replace("v=\"1\"", "v=\"2\"");
        QVERIFY(write(path, edited));
        if (change == u"edit-keep-time") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
        }
    } else if (change.startsWith(u"rename")) {
        QVERIFY(write(path + QLatin1String(".new"), QByteArray(bytes).replace("v=\"1\"", "v=\"3\"")));
        if (change == u"rename-same-time") {
            QFile file(path + QLatin1String(".new"));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(whole, QFileDevice::FileModificationTime));
        }
#ifdef Q_OS_WIN
        // The C library's rename does not replace an existing file there; a save replaces it so.
        QVERIFY(MoveFileExW(
                    reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path + QLatin1String(".new")).utf16()),
                    reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                    MOVEFILE_REPLACE_EXISTING)
                != FALSE);
#else
        QVERIFY(
            ::rename(QFile::encodeName(path + QLatin1String(".new")).constData(), QFile::encodeName(path).constData())
            == 0);
#endif
    } else if (change == u"remove") {
        QVERIFY(QFile::remove(path));
    } else {
        QVERIFY(QFile::remove(path));
        if (!pfw::test::makeFifo(path))
            QSKIP("this system has no named pipes");
    }
    QSignalSpy settled(&monitor, &DiskChangeMonitor::settled);
    Disk first = monitor.check(document);
    if (first == Disk::Checking) {
        QVERIFY(settled.wait(5000));
        first = monitor.check(document);
    }
    QCOMPARE(first, changed ? Disk::Changed : Disk::Same);
    // The verdict is remembered for that identity: no second read.
    QCOMPARE(monitor.check(document), first);
    QVERIFY(!monitor.isChecking());
}

QTEST_GUILESS_MAIN(TestEnvironmentWatcher)
#include "tst_environmentwatcher.moc"
