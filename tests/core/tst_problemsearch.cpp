#include "core/backups.h"
#include "core/problemsearch.h"
#include "core/xmlwellformedness.h"
#include "core/settingsdocument.h"
#include "core/writerlock.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"
#include "tests/support/wholefile.h"

#include "../support/searchfixture.h"
#include "../support/specialfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace pfw;
using pfw::test::SearchFixture;

class TestProblemSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void planTestsOnlyWhatACandidateCanUndo();
    void repeatedPathsChangeTheRightOccurrence();
    void refusalsToStartLeaveNothingBehind_data();
    void refusalsToStartLeaveNothingBehind();
    void randomRunsNeverLoseTheFile();
    void theSearchBackupOutlivesBackupPruning();
    void spoiledFilesAreNeverWrittenOver_data();
    void spoiledFilesAreNeverWrittenOver();
    void oneSearchPerFileWhateverItsPath();
    void keysHoldingASlashAreNotTested();
    void goodValuesNoFileCanHoldAreNotTested();
    void damagedStatesCanStillPutTheFileBack_data();
    void damagedStatesCanStillPutTheFileBack();
    void aLostLastStateWriteIsToldAsItIs();
    void changesAfterTheLastRoundAreNamedAtTheEnd();
    void anEndThatFailsLeavesTheSearchAsItWas();

private:
    DeletionPolicy m_policy;
};

using pfw::test::readAll;
using pfw::test::writeAll;

namespace {

// The fixture's file that went bad, and its last good state.
bool plantFixture(const QString &path, const QString &goodPath)
{
    return writeAll(path, SearchFixture::file(true)) && writeAll(goodPath, SearchFixture::file(false));
}

} // namespace

namespace {

int indexOfCulprit(const ProblemSearch &search, int culprit)
{
    for (int i = 0; i < search.suspects().size(); ++i) {
        if (search.suspects().at(i).path == SearchFixture::differencePath(culprit))
            return i;
    }
    return -1;
}

} // namespace

void TestProblemSearch::initTestCase()
{
    QFile overlay(QStringLiteral(":/schema/overlay.json"));
    QVERIFY(overlay.open(QIODevice::ReadOnly));
    QString error;
    QVERIFY2(m_policy.load(overlay.readAll(), &error), qPrintable(error));
}

void TestProblemSearch::planTestsOnlyWhatACandidateCanUndo()
{
    XsdtFile bad, good;
    QVERIFY(bad.parse(SearchFixture::file(true)));
    QVERIFY(good.parse(SearchFixture::file(false)));
    const SearchPlan plan = SearchPlan::make(bad.root, good.root, &m_policy);
    QCOMPARE(plan.suspects.size(), SearchFixture::kDifferences);
    for (int i = 0; i < SearchFixture::kDifferences; ++i)
        QCOMPARE(plan.suspects.at(i).path, SearchFixture::differencePath(i));
    QCOMPARE(plan.suspects.at(30).kind, SearchSuspect::Remove);
    QCOMPARE(plan.onlyInGood, QStringList{QStringLiteral("Global/Preferences/Retired/Gone")});
    QCOMPARE(plan.leftOut, QStringList{QStringLiteral("Global/Preferences/Tuning/Checked")});
    QCOMPARE(plan.hidden, 2); // the launch counter and the version record

    // Putting every suspect back gives the good state, apart from what cannot be tested.
    QList<int> all;
    for (int i = 0; i < plan.suspects.size(); ++i)
        all << i;
    QByteArray candidate;
    QString error;
    QVERIFY2(SearchPlan::buildCandidate(SearchFixture::file(true), plan.suspects, all, &candidate, &error),
             qPrintable(error));
    XsdtFile undone;
    QVERIFY(undone.parse(candidate));
    const SearchPlan left = SearchPlan::make(undone.root, good.root, &m_policy);
    QVERIFY(left.suspects.isEmpty());
    QCOMPARE(left.leftOut, plan.leftOut);
}

// Paths may repeat; the n-th value of a path is paired with the n-th of the other file, and a
// candidate must change that one, not the first.
void TestProblemSearch::repeatedPathsChangeTheRightOccurrence()
{
    const QByteArray bad
        = "<xsdt version=\"1.0\"><i k=\"Tool\"><v k=\"A\" t=\"i\" v=\"1\"/><v k=\"A\" t=\"i\" v=\"5\"/>"
          "</i></xsdt>";
    const QByteArray good
        = "<xsdt version=\"1.0\"><i k=\"Tool\"><v k=\"A\" t=\"i\" v=\"1\"/><v k=\"A\" t=\"i\" v=\"2\"/>"
          "</i></xsdt>";
    XsdtFile badFile, goodFile;
    QVERIFY(badFile.parse(bad) && goodFile.parse(good));
    const SearchPlan plan = SearchPlan::make(badFile.root, goodFile.root, &m_policy);
    QCOMPARE(plan.suspects.size(), 1);
    QCOMPARE(plan.suspects.at(0).occurrence, 1);
    QByteArray candidate;
    QVERIFY(SearchPlan::buildCandidate(bad, plan.suspects, {0}, &candidate, nullptr));
    QCOMPARE(candidate, goodFile.serialize());
}

void TestProblemSearch::refusalsToStartLeaveNothingBehind_data()
{
    QTest::addColumn<QString>("case_");
    QTest::addColumn<QString>("message");
    QTest::newRow("PixInsight running") << "running"
                                        << "PixInsight is running.";
    QTest::newRow("good state is the file") << "self"
                                            << "not the file itself";
    QTest::newRow("nothing to test") << "same"
                                     << "Nothing can be tested";
    QTest::newRow("changed since loaded") << "changed"
                                          << "changed on disk since it was loaded";
    QTest::newRow("good state not a settings file") << "broken"
                                                    << "is not a valid PixInsight settings file";
    QTest::newRow("search already running") << "twice"
                                            << "already in progress";
    QTest::newRow("not valid UTF-8") << "utf8"
                                     << "not valid UTF-8 (first at line 2";
    QTest::newRow("another name for the file") << "hardlink"
                                               << "This file has another name (a hard link)";
}

void TestProblemSearch::refusalsToStartLeaveNothingBehind()
{
    QFETCH(QString, case_);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QString goodPath = dir.filePath(QStringLiteral("good.settings"));
    QByteArray bad = SearchFixture::file(true);
    if (case_ == u"utf8")
        bad.replace("after &amp; Value02", "caf\xe9");
    QVERIFY(writeAll(path, bad));
    QVERIFY(writeAll(goodPath,
                     case_ == u"same"         ? SearchFixture::file(true)
                         : case_ == u"broken" ? QByteArray("<xsdt><i k=\"x\">")
                                              : SearchFixture::file(false)));
    ProblemSearch search(path);
    search.setRunningCheck([&] { return case_ == u"running"; });
    QByteArray expected = SafeWrite::sha256(bad);
    if (case_ == u"changed")
        expected = SafeWrite::sha256("something else");
    QString error;
    if (case_ == u"twice")
        QVERIFY2(search.start(goodPath, &m_policy, expected, &error), qPrintable(error));
    if (case_ == u"hardlink") {
        QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("other"))));
        QVERIFY(pfw::test::makeHardLink(path, dir.filePath(QStringLiteral("other/same.settings"))));
    }
    const QStringList before = QDir(dir.path()).entryList(QDir::Files);
    const QByteArray fileBefore = readAll(path);
    QVERIFY(!search.start(case_ == u"self" ? path : goodPath, &m_policy, expected, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), before);
    QCOMPARE(readAll(path), fileBefore);
}

// A search driven at random: launches where PixInsight rewrites the file on exit, answers of
// every kind, answers refused while PixInsight runs, PixInsight starting in the middle of a step,
// and a fresh program for every step. The file as it was must always be in the backup the state
// names, every candidate must be the bad file with exactly the tested half put back, the culprit
// must be found, and every way of ending must leave the file as promised.
void TestProblemSearch::randomRunsNeverLoseTheFile()
{
    QRandomGenerator random(4242);
    const QByteArray bad = SearchFixture::file(true);
    for (int trial = 0; trial < 40; ++trial) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
        const QString goodPath = dir.filePath(QStringLiteral("core-001-pxi.settings.bak-20260101-000000"));
        QVERIFY(writeAll(path, bad));
        QVERIFY(writeAll(goodPath, SearchFixture::file(false)));
        const int culprit = int(random.bounded(SearchFixture::kDifferences));
        // Calls to the running check that answer "running", counted down; -1: never.
        int runningAfter = -1;
        const auto runningCheck = [&runningAfter] { return runningAfter >= 0 && runningAfter-- == 0; };
        QString error;
        {
            ProblemSearch search(path);
            search.setRunningCheck(runningCheck);
            QVERIFY2(search.start(goodPath, &m_policy, {}, &error), qPrintable(error));
        }
        bool skipped = false;
        bool cancelled = false;
        for (int step = 0; step < 60; ++step) {
            ProblemSearch search(path);
            search.setRunningCheck(runningCheck);
            QVERIFY2(search.read(&error), qPrintable(error));
            QCOMPARE(readAll(search.backupPath()), bad);
            QCOMPARE(search.badFingerprint(), SafeWrite::sha256(bad));
            if (search.search().isFinished())
                break;
            QByteArray candidate;
            QVERIFY(SearchPlan::buildCandidate(bad, search.suspects(), search.search().testing(), &candidate, &error));
            if (!search.isCandidateWritten()) {
                QVERIFY2(search.writePendingCandidate(&error), qPrintable(error));
                continue;
            }
            QCOMPARE(readAll(path), candidate);
            const quint32 action = random.bounded(100);
            if (action < 5) {
                QVERIFY2(search.end(ProblemSearch::End::PutBack, &error), qPrintable(error));
                cancelled = true;
                break;
            }
            if (action < 12) {
                // Answered while PixInsight still runs: refused, nothing changes.
                const QByteArray state = readAll(search.statePath());
                runningAfter = 0;
                QVERIFY(!search.answer(ProblemSearchRounds::Answer::Bad, -1, &error));
                QVERIFY2(error.contains(QLatin1String("PixInsight is running")), qPrintable(error));
                QCOMPARE(readAll(search.statePath()), state);
                QCOMPARE(readAll(path), candidate);
                runningAfter = -1;
                continue;
            }
            const bool occurs = SearchFixture::problemOccurs(readAll(path), culprit);
            QByteArray exited = SearchFixture::pixInsightExit(readAll(path));
            // Now and then the user changes a preference while testing: that must outlive the next round.
            const bool realChange = action >= 22 && action < 34;
            if (realChange)
                exited.replace("<v k=\"Steady\" t=\"i\" v=\"7\"/>", "<v k=\"Steady\" t=\"i\" v=\"8\"/>");
            QVERIFY(writeAll(path, exited));
            const qsizetype keptBefore = search.duringSearchBackups().size();
            search.setPolicy(&m_policy);
            ProblemSearchRounds::Answer answer
                = occurs ? ProblemSearchRounds::Answer::Bad : ProblemSearchRounds::Answer::Good;
            if (action < 22) {
                answer = ProblemSearchRounds::Answer::Skip;
                skipped = true;
            }
            // PixInsight started again between the answer and the next candidate: the third look.
            if (action >= 90)
                runningAfter = 2;
            const int round = search.search().rounds();
            const bool answered = search.answer(answer, round, &error);
            QVERIFY2(answered || action >= 90, qPrintable(error));
            runningAfter = -1;
            ProblemSearch after(path);
            QVERIFY2(after.read(&error), qPrintable(error));
            // Only a file the search writes over needs keeping; statistics alone are not kept.
            if (answered && !after.search().isFinished()) {
                QCOMPARE(after.duringSearchBackups().size(), keptBefore + (realChange ? 1 : 0));
                if (realChange) {
                    QCOMPARE(readAll(after.duringSearchBackups().constLast()), exited);
                    QVERIFY2(search.notice().startsWith(QLatin1String("PixInsight changed 1 setting while it ran")),
                             qPrintable(search.notice()));
                }
                QVERIFY(ProblemSearch::protectedBackups(path, after.duringSearchBackups())
                        == after.duringSearchBackups());
            }
        }
        ProblemSearch search(path);
        search.setRunningCheck([] { return false; });
        if (cancelled) {
            QVERIFY(!search.hasState());
            QCOMPARE(readAll(path), bad);
            continue;
        }
        QVERIFY2(search.read(&error), qPrintable(error));
        QVERIFY(search.search().isFinished());
        const int index = indexOfCulprit(search, culprit);
        QVERIFY(search.search().remaining().contains(index));
        if (!skipped) {
            QCOMPARE(search.search().remaining(), QList<int>{index});
            QVERIFY(search.search().rounds() <= ProblemSearchRounds::expectedRounds(SearchFixture::kDifferences));
        }
        const QByteArray lastFile = readAll(path);
        QByteArray useGood;
        QVERIFY(SearchPlan::buildCandidate(bad, search.suspects(), search.search().remaining(), &useGood, &error));
        const auto end = ProblemSearch::End(random.bounded(4));
        QString backup;
        QVERIFY2(search.end(end, &error, &backup), qPrintable(error));
        QVERIFY(!search.hasState());
        QVERIFY(QFile::exists(search.backupPath()));
        switch (end) {
        case ProblemSearch::End::PutBack:
        case ProblemSearch::End::FromBackup:
            QCOMPARE(readAll(path), bad);
            break;
        case ProblemSearch::End::UseGoodValue:
            QCOMPARE(readAll(path), useGood);
            QVERIFY(!SearchFixture::problemOccurs(useGood, culprit));
            QCOMPARE(readAll(backup), lastFile);
            break;
        case ProblemSearch::End::KeepCurrent:
            QCOMPARE(readAll(path), lastFile);
            break;
        }
    }
}

// Pruning backups while a search is unfinished must not take the one copy of the file as it was.
void TestProblemSearch::theSearchBackupOutlivesBackupPruning()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QString goodPath = dir.filePath(QStringLiteral("good.settings"));
    QVERIFY(plantFixture(path, goodPath));
    ProblemSearch search(path);
    search.setRunningCheck([] { return false; });
    QString error;
    QVERIFY2(search.start(goodPath, &m_policy, {}, &error), qPrintable(error));
    QVERIFY(search.read(&error));
    const BackupRemoval removal = removeBackups(path, listBackups(path), false);
    QCOMPARE(removal.keptForSearch, QStringList{search.backupPath()});
    QVERIFY(search.end(ProblemSearch::End::PutBack, &error));
    QCOMPARE(readAll(path), SearchFixture::file(true));

    // A state that names some other file as the file's backup is not trusted.
    QVERIFY(writeAll(goodPath, SearchFixture::file(true)));
    QVERIFY(search.start(goodPath, &m_policy, {}, &error) == false);
    QVERIFY(writeAll(goodPath, SearchFixture::file(false)));
    QVERIFY(search.start(goodPath, &m_policy, {}, &error));
    QByteArray state = readAll(search.statePath());
    state.replace(QFile::encodeName(QFileInfo(search.backupPath()).fileName()), "good.settings");
    QVERIFY(writeAll(search.statePath(), state));
    QVERIFY(!search.read(&error));
    QVERIFY2(error.contains(QLatin1String("is not a backup of this file")), qPrintable(error));
    QVERIFY(!search.end(ProblemSearch::End::PutBack, &error));
    QVERIFY(search.end(ProblemSearch::End::KeepCurrent, &error));
    QVERIFY(!search.hasState());
}

void TestProblemSearch::spoiledFilesAreNeverWrittenOver_data()
{
    QTest::addColumn<QString>("spoil");
    QTest::addColumn<QString>("message");
    QTest::newRow("PixInsight running") << "running"
                                        << "PixInsight is running";
    QTest::newRow("a link to some other file") << "link"
                                               << "has been replaced by a link";
    QTest::newRow("a named pipe") << "fifo"
                                  << "It is not a regular file. Prefwright does not write over it.";
    QTest::newRow("a folder") << "folder"
                              << "Prefwright does not write over it.";
    QTest::newRow("something in the way of the lock") << "lock"
                                                      << "is in the way of Prefwright's lock file";
    QTest::newRow("deleted to reset PixInsight") << "deleted"
                                                 << "";
}

// What stands at the file's path mid-search is written over only when it is a settings file,
// or when nothing is there. A refused step changes nothing at all, not even the state.
void TestProblemSearch::spoiledFilesAreNeverWrittenOver()
{
    QFETCH(QString, spoil);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QString goodPath = dir.filePath(QStringLiteral("good.settings"));
    const QString other = dir.filePath(QStringLiteral("notes.txt"));
    QVERIFY(writeAll(path, SearchFixture::file(true)));
    QVERIFY(writeAll(goodPath, SearchFixture::file(false)));
    QVERIFY(writeAll(other, "my notes"));
    bool running = false;
    ProblemSearch search(path);
    search.setRunningCheck([&running] { return running; });
    QString error;
    QVERIFY2(search.start(goodPath, &m_policy, {}, &error), qPrintable(error));
    QVERIFY(QFile::remove(path));
    if (spoil == u"running" || spoil == u"lock")
        QVERIFY(writeAll(path, SearchFixture::file(true)));
    if (spoil == u"lock")
        QVERIFY(QDir().mkdir(WriterLock::lockPathFor(path)));
    if (spoil == u"link")
        PFW_SYMBOLIC_LINK_OR_SKIP(other, path);
    if (spoil == u"fifo" && !pfw::test::makeFifo(path))
        QSKIP("this system has no named pipes");
    if (spoil == u"folder")
        QVERIFY(QDir().mkdir(path));
    running = spoil == u"running";
    const QByteArray state = readAll(search.statePath());
    const bool answered = search.answer(ProblemSearchRounds::Answer::Bad, -1, &error);
    const bool ended = answered || search.end(ProblemSearch::End::PutBack, &error);
    if (message.isEmpty()) {
        QVERIFY2(answered, qPrintable(error));
        QVERIFY2(search.end(ProblemSearch::End::PutBack, &error), qPrintable(error));
        QCOMPARE(readAll(path), SearchFixture::file(true));
        return;
    }
    QVERIFY(!ended);
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(readAll(search.statePath()), state);
    QCOMPARE(readAll(other), QByteArray("my notes"));
    QCOMPARE(QFileInfo(path).isDir(), spoil == u"folder");
    QCOMPARE(QFileInfo(path).isSymLink(), spoil == u"link");
    // Whatever took the file's place, the search and its backup are still the file's.
    QVERIFY(ProblemSearch::inProgress(path));
    QCOMPARE(ProblemSearch::protectedBackups(path, {search.backupPath()}), QStringList{search.backupPath()});
    // Once the way is clear the same search goes on where it was.
    running = false;
    QDir().rmdir(WriterLock::lockPathFor(path));
    QVERIFY(QFile::remove(path) || QDir().rmdir(path));
    QVERIFY2(search.answer(ProblemSearchRounds::Answer::Bad, 0, &error), qPrintable(error));
}

// A search is the file's, whether it is reached through a link or its own name, and while it
// runs no save or restore can slip a change in that the next round would throw away.
void TestProblemSearch::oneSearchPerFileWhateverItsPath()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QString link = dir.filePath(QStringLiteral("link-pxi.settings"));
    const QString goodPath = dir.filePath(QStringLiteral("good.settings"));
    QVERIFY(writeAll(path, SearchFixture::file(true)));
    QVERIFY(writeAll(goodPath, SearchFixture::file(false)));
    PFW_SYMBOLIC_LINK_OR_SKIP(path, link);
    ProblemSearch throughLink(link);
    throughLink.setRunningCheck([] { return false; });
    QString error;
    QVERIFY2(throughLink.start(goodPath, &m_policy, {}, &error), qPrintable(error));
    QVERIFY(ProblemSearch::inProgress(path));
    ProblemSearch direct(path);
    direct.setRunningCheck([] { return false; });
    QVERIFY(!direct.start(goodPath, &m_policy, {}, &error));
    QVERIFY2(error.contains(QLatin1String("already in progress")), qPrintable(error));

    SettingsDocument document;
    document.setRunningCheck([] { return false; });
    QVERIFY(document.load(link, &error));
    document.file().root.findPath(SearchFixture::changedPath(0))->value = QStringLiteral("1");
    QVERIFY(!document.save(&error, nullptr));
    QVERIFY2(error.startsWith(QLatin1String("A search for a problem setting is in progress")), qPrintable(error));
    QVERIFY(!document.restoreBackup(goodPath, &error));

    // A state that cannot be read any more still keeps the backups it may name.
    QVERIFY(writeAll(direct.statePath(), "{\"format\": 1, \"sea"));
    const BackupRemoval removal = removeBackups(path, listBackups(path), false);
    QCOMPARE(removal.removed, 0);
    QVERIFY(direct.end(ProblemSearch::End::KeepCurrent, &error));
    QVERIFY(!ProblemSearch::inProgress(link));

    // The folder moved (or reached through another mount): the search and its backup move along.
    const QByteArray before = readAll(path);
    QVERIFY(throughLink.start(goodPath, &m_policy, {}, &error));
    const QString moved = dir.filePath(QStringLiteral("moved"));
    QVERIFY(QDir().mkdir(moved));
    for (const QString &name : QDir(dir.path()).entryList({QStringLiteral("core-001-pxi.settings*")}, QDir::Files))
        QVERIFY(QFile::rename(dir.filePath(name), moved + u'/' + name));
    ProblemSearch there(moved + QLatin1String("/core-001-pxi.settings"));
    there.setRunningCheck([] { return false; });
    QVERIFY2(there.read(&error), qPrintable(error));
    QCOMPARE(ProblemSearch::protectedBackups(there.settingsPath(), {there.backupPath()}),
             QStringList{there.backupPath()});
    QVERIFY2(there.end(ProblemSearch::End::PutBack, &error), qPrintable(error));
    QCOMPARE(readAll(there.settingsPath()), before);
}

// A key with "/" in it has the path of a deeper value: pairing by path would put a value
// back at the wrong place and make a file neither state ever was.
void TestProblemSearch::keysHoldingASlashAreNotTested()
{
    XsdtFile bad, good;
    QVERIFY(bad.parse("<xsdt version=\"1.0\"><i k=\"P\"><v k=\"x/y\" t=\"i\" v=\"1\"/><i k=\"x\"><v k=\"y\" t=\"i\" "
                      "v=\"2\"/></i><v k=\"z\" t=\"i\" v=\"3\"/></i></xsdt>"));
    QVERIFY(good.parse("<xsdt version=\"1.0\"><i k=\"P\"><i k=\"x\"><v k=\"y\" t=\"i\" v=\"20\"/></i><v k=\"z\" "
                       "t=\"i\" v=\"30\"/></i></xsdt>"));
    const SearchPlan plan = SearchPlan::make(bad.root, good.root, &m_policy);
    QCOMPARE(plan.suspects.size(), 1);
    QCOMPARE(plan.suspects.at(0).path, QStringLiteral("P/z"));
    QCOMPARE(plan.leftOut, (QStringList{QStringLiteral("P/x/y"), QStringLiteral("P/x/y")}));
}

// A round's file may keep what the bad file held, but never gain a character a strict reader refuses.
void TestProblemSearch::goodValuesNoFileCanHoldAreNotTested()
{
    const QByteArray badBytes = "<xsdt version=\"1.0\"><i k=\"P\"><v k=\"a\" t=\"s\" v=\"bad\x1B\"/>"
                                "<v k=\"b\" t=\"s\" v=\"bad\"/><v k=\"c\" t=\"i\" v=\"1\"/></i></xsdt>";
    XsdtFile bad, good;
    QVERIFY(bad.parse(badBytes));
    QVERIFY(good.parse("<xsdt version=\"1.0\"><i k=\"P\"><v k=\"a\" t=\"s\" v=\"good\"/>"
                       "<v k=\"b\" t=\"s\" v=\"good&#27;\"/><v k=\"c\" t=\"i\" v=\"2\"/></i></xsdt>"));
    const SearchPlan plan = SearchPlan::make(bad.root, good.root, &m_policy);
    QCOMPARE(plan.leftOut, QStringList{QStringLiteral("P/b")});
    QCOMPARE(plan.suspects.size(), 2);
    for (const QList<int> &putBack : {QList<int>{}, QList<int>{0}, QList<int>{1}, QList<int>{0, 1}}) {
        QByteArray candidate;
        QVERIFY(SearchPlan::buildCandidate(badBytes, plan.suspects, putBack, &candidate, nullptr));
        const QByteArrayView from(badBytes);
        QString error;
        QVERIFY2(XmlWellFormedness::keepsWellFormed(candidate, &from, &error), qPrintable(error));
    }
}

void TestProblemSearch::damagedStatesCanStillPutTheFileBack_data()
{
    QTest::addColumn<QString>("damage");
    for (const char *damage : {"truncated", "emptied", "newer format", "link", "pipe", "folder"})
        QTest::newRow(damage) << QString::fromLatin1(damage);
}

// Whatever happened to the state, the file as it was before the search can be had back, and
// stays safe from pruning until then; nothing is ever written through what stands in its place.
void TestProblemSearch::damagedStatesCanStillPutTheFileBack()
{
    QFETCH(QString, damage);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QString goodPath = dir.filePath(QStringLiteral("good.settings"));
    const QByteArray bad = SearchFixture::file(true);
    QVERIFY(writeAll(path, bad));
    QVERIFY(writeAll(goodPath, SearchFixture::file(false)));
    QString error;
    {
        ProblemSearch search(path);
        search.setRunningCheck([] { return false; });
        QVERIFY2(search.start(goodPath, &m_policy, {}, &error), qPrintable(error));
        QVERIFY2(search.answer(ProblemSearchRounds::Answer::Bad, -1, &error), qPrintable(error));
    }
    const QByteArray round = readAll(path);
    QVERIFY(round != bad);
    ProblemSearch search(path);
    search.setRunningCheck([] { return false; });
    const QString state = search.statePath();
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere.json"));
    const QByteArray whole = readAll(state);
    QVERIFY(QFile::remove(state));
    if (damage == u"truncated") {
        QVERIFY(writeAll(state, whole.left(whole.size() / 2)));
    } else if (damage == u"emptied") {
        QVERIFY(writeAll(state, QByteArray()));
    } else if (damage == u"newer format") {
        QByteArray newer = whole;
        newer.replace("\"format\": 1", "\"format\": 2");
        QVERIFY(writeAll(state, newer));
    } else if (damage == u"link") {
        QVERIFY(writeAll(elsewhere, whole));
        PFW_SYMBOLIC_LINK_OR_SKIP(elsewhere, state);
    } else if (damage == u"pipe") {
        if (!pfw::test::makeFifo(state))
            QSKIP("this system has no named pipes");
    } else {
        QVERIFY(QDir().mkdir(state));
    }
    QVERIFY(search.hasState());
    QVERIFY(!search.read(&error));
    QVERIFY2(error.contains(QLatin1String("--from-backup")), qPrintable(error));
    const QString kept = search.startBackup();
    QCOMPARE(readAll(kept), bad);
    QCOMPARE(ProblemSearch::protectedBackups(path, listBackups(path)), QStringList{kept});
    // Saves stay refused: the search may still be going on as far as anyone knows.
    QVERIFY(ProblemSearch::inProgress(path));

    QString backup;
    const bool ended = search.end(ProblemSearch::End::FromBackup, &error, &backup);
    if (damage == u"folder") {
        // Not Prefwright's to remove: nothing changes until it is moved away.
        QVERIFY(!ended);
        QCOMPARE(readAll(path), round);
        QVERIFY(QDir().rmdir(state));
        // With it gone the search is over, and its backup is an ordinary one to restore.
        SettingsDocument document;
        document.setRunningCheck([] { return false; });
        QVERIFY2(document.restoreFile(path, kept, &error, &backup), qPrintable(error));
    } else {
        QVERIFY2(ended, qPrintable(error));
    }
    QCOMPARE(readAll(path), bad);
    QCOMPARE(readAll(backup), round);
    QVERIFY(!search.hasState());
    if (damage == u"link")
        QCOMPARE(readAll(elsewhere), whole);
}

// The state says what is true even when its last write is lost: the round's file is known as written.
void TestProblemSearch::aLostLastStateWriteIsToldAsItIs()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QString goodPath = dir.filePath(QStringLiteral("good.settings"));
    QVERIFY(plantFixture(path, goodPath));
    ProblemSearch search(path);
    search.setRunningCheck([] { return false; });
    int writes = 0;
    const QString statePath = search.statePath();
    search.setStateWriter([&writes, statePath](const QByteArray &bytes, QString *reason) {
        if (++writes == 2) {
            *reason = QStringLiteral("No space left on device");
            return false;
        }
        QFile file(statePath);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    });
    QString error;
    QVERIFY(!search.start(goodPath, &m_policy, {}, &error));
    QCOMPARE(error,
             QStringLiteral("The search started and this round's file is written, but its state could not be "
                            "saved: Cannot write the search state %1: No space left on device")
                 .arg(QDir::toNativeSeparators(statePath)));
    ProblemSearch later(path);
    QVERIFY2(later.read(&error), qPrintable(error));
    QVERIFY(later.isCandidateWritten());
    QByteArray candidate;
    QVERIFY(SearchPlan::buildCandidate(SearchFixture::file(true), later.suspects(), later.search().testing(),
                                       &candidate, nullptr));
    QCOMPARE(readAll(path), candidate);
}

// The last answer writes no file, so what PixInsight changed then is in the backup the end makes:
// the end says so, and names that backup.
void TestProblemSearch::changesAfterTheLastRoundAreNamedAtTheEnd()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QString goodPath = dir.filePath(QStringLiteral("good.settings"));
    QVERIFY(plantFixture(path, goodPath));
    ProblemSearch search(path);
    search.setRunningCheck([] { return false; });
    search.setPolicy(&m_policy);
    QString error;
    QVERIFY2(search.start(goodPath, &m_policy, {}, &error), qPrintable(error));
    for (int round = 0; round < 20 && !search.search().isFinished(); ++round) {
        QVERIFY2(search.answer(ProblemSearchRounds::Answer::Bad, -1, &error), qPrintable(error));
        QVERIFY(search.read(&error));
    }
    QVERIFY(search.search().isFinished());
    QByteArray changed = readAll(path);
    QVERIFY(changed.contains("<v k=\"Steady\" t=\"i\" v=\"7\"/>"));
    changed.replace("<v k=\"Steady\" t=\"i\" v=\"7\"/>", "<v k=\"Steady\" t=\"i\" v=\"9\"/>");
    QVERIFY(writeAll(path, changed));
    QString backup;
    QVERIFY2(search.end(ProblemSearch::End::UseGoodValue, &error, &backup), qPrintable(error));
    QCOMPARE(readAll(backup), changed);
    QCOMPARE(search.notice(),
             QStringLiteral("PixInsight changed 1 setting after the last round's file was written; the "
                            "file as it was then is kept in %1.")
                 .arg(QFileInfo(backup).fileName()));
}

// PixInsight starts between the last check and the write: the end fails, and the round's file
// must still count as written, or the next answer would be thrown away.
void TestProblemSearch::anEndThatFailsLeavesTheSearchAsItWas()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QString goodPath = dir.filePath(QStringLiteral("good.settings"));
    QVERIFY(plantFixture(path, goodPath));
    int checks = 0;
    bool startsLate = false;
    ProblemSearch search(path);
    search.setRunningCheck([&] { return startsLate && ++checks > 1; });
    QString error;
    QVERIFY2(search.start(goodPath, &m_policy, {}, &error), qPrintable(error));
    const QByteArray state = readAll(search.statePath());
    const QByteArray round = readAll(path);
    startsLate = true;
    QVERIFY(!search.end(ProblemSearch::End::PutBack, &error));
    QVERIFY2(error.contains(QLatin1String("PixInsight is running")), qPrintable(error));
    QCOMPARE(readAll(path), round);
    QCOMPARE(readAll(search.statePath()), state);
    ProblemSearch later(path);
    QVERIFY(later.read(&error));
    QVERIFY(later.isCandidateWritten());
}

QTEST_GUILESS_MAIN(TestProblemSearch)
#include "tst_problemsearch.moc"
