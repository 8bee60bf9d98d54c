#include "ui/environmentwatcher.h"

#include <QSignalSpy>
#include <QTest>

using namespace pfw;

// When PixInsight exits having rewritten the file, a reload falls due; it is asked for only
// when nothing is open and still only if nothing changed meanwhile.
class TestEnvironmentWatcher : public QObject
{
    Q_OBJECT

private slots:
    void reloadWhenDue_data();
    void reloadWhenDue();
};

void TestEnvironmentWatcher::reloadWhenDue_data()
{
    QTest::addColumn<bool>("busyAtExit");
    QTest::addColumn<int>("unsavedAfterwards");
    QTest::addColumn<bool>("runningAgain");
    QTest::addColumn<int>("reloads");
    QTest::newRow("nothing open") << false << 0 << false << 1;
    QTest::newRow("dialog open, then closed") << true << 0 << false << 1;
    QTest::newRow("dialog answered with a change") << true << 1 << false << 0;
    QTest::newRow("PixInsight started again meanwhile") << true << 0 << true << 0;
}

void TestEnvironmentWatcher::reloadWhenDue()
{
    QFETCH(bool, busyAtExit);
    QFETCH(int, unsavedAfterwards);
    QFETCH(bool, runningAgain);
    QFETCH(int, reloads);
    bool running = true;
    bool changed = false;
    bool busy = false;
    int unsaved = 0;
    EnvironmentWatcher watcher({[&running] { return running; }, [&changed] { return changed; },
                                [&unsaved] { return unsaved; }, [&busy] { return busy; }});
    QSignalSpy reload(&watcher, &EnvironmentWatcher::reloadRequested);
    QSignalSpy polled(&watcher, &EnvironmentWatcher::polled);
    watcher.poll();
    QVERIFY(watcher.isHostRunning());

    running = false;
    changed = true;
    busy = busyAtExit;
    watcher.poll();
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
    QCOMPARE(polled.size(), 4);
}

QTEST_GUILESS_MAIN(TestEnvironmentWatcher)
#include "tst_environmentwatcher.moc"
