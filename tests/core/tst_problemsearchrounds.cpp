#include "core/problemsearchrounds.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>

using namespace pfw;

class TestProblemSearchRounds : public QObject
{
    Q_OBJECT

private slots:
    void findsEveryCulpritWithinItsRounds();
    void skipsStillKeepTheCulprit();
    void stateSurvivesAWriteAndARead();
    void damagedStatesAreRefused_data();
    void damagedStatesAreRefused();
};

namespace {

// What the user sees on a launch: the problem is gone exactly when the culprit was put back.
ProblemSearchRounds::Answer judge(const ProblemSearchRounds &search, int culprit)
{
    return search.testing().contains(culprit) ? ProblemSearchRounds::Answer::Good : ProblemSearchRounds::Answer::Bad;
}

} // namespace

// Every culprit among 1 to 70 suspects is named alone within ceil(log2 n) launches.
void TestProblemSearchRounds::findsEveryCulpritWithinItsRounds()
{
    for (int n = 1; n <= 70; ++n) {
        const int bound = n <= 1 ? 0 : int(std::ceil(std::log2(n)));
        QVERIFY(ProblemSearchRounds::expectedRounds(n) <= bound);
        const int rounds = ProblemSearchRounds::expectedRounds(n);
        QCOMPARE(ProblemSearchRounds::aboutLaunches(n),
                 rounds == 0       ? QStringLiteral("without a launch")
                     : rounds == 1 ? QStringLiteral("about 1 launch")
                                   : QStringLiteral("about %1 launches").arg(rounds));
        for (int culprit = 0; culprit < n; ++culprit) {
            ProblemSearchRounds search(n);
            while (!search.isFinished())
                QVERIFY(search.answer(judge(search, culprit)));
            QCOMPARE(search.remaining(), QList<int>{culprit});
            QVERIFY2(search.rounds() <= bound, qPrintable(QStringLiteral("%1 of %2").arg(search.rounds()).arg(n)));
            QVERIFY(!search.answer(ProblemSearchRounds::Answer::Bad));
        }
    }
}

// "Can't tell" at random never loses the culprit: the search ends on it, or on a set that holds
// it and could not be split; and it ends.
void TestProblemSearchRounds::skipsStillKeepTheCulprit()
{
    QRandomGenerator random(20261208);
    for (int trial = 0; trial < 2000; ++trial) {
        const int n = 1 + int(random.bounded(40));
        const int culprit = int(random.bounded(n));
        ProblemSearchRounds search(n);
        int launches = 0;
        while (!search.isFinished()) {
            QVERIFY(++launches < 10 * n + 10);
            const bool skip = random.bounded(3) == 0;
            search.answer(skip ? ProblemSearchRounds::Answer::Skip : judge(search, culprit));
        }
        QVERIFY(search.remaining().contains(culprit));
    }
}

void TestProblemSearchRounds::stateSurvivesAWriteAndARead()
{
    ProblemSearchRounds search(40);
    search.answer(ProblemSearchRounds::Answer::Bad);
    search.answer(ProblemSearchRounds::Answer::Skip);
    const QByteArray written = QJsonDocument(search.toJson()).toJson();
    ProblemSearchRounds read;
    QVERIFY(ProblemSearchRounds::fromJson(QJsonDocument::fromJson(written).object(), &read));
    QCOMPARE(read.remaining(), search.remaining());
    QCOMPARE(read.testing(), search.testing());
    QCOMPARE(read.rounds(), 2);
    QCOMPARE(read.suspectCount(), 40);
}

void TestProblemSearchRounds::damagedStatesAreRefused_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("empty") << QByteArray("{}");
    QTest::newRow("nothing remains") << QByteArray(R"({"suspects":3,"remaining":[],"skips":0,"rounds":1})");
    QTest::newRow("suspect out of range") << QByteArray(R"({"suspects":3,"remaining":[0,3],"skips":0,"rounds":1})");
    QTest::newRow("negative suspect") << QByteArray(R"({"suspects":3,"remaining":[-1,1],"skips":0,"rounds":1})");
    QTest::newRow("twice the same") << QByteArray(R"({"suspects":3,"remaining":[1,1],"skips":0,"rounds":1})");
    QTest::newRow("fraction") << QByteArray(R"({"suspects":3,"remaining":[0.5,1],"skips":0,"rounds":1})");
    QTest::newRow("text") << QByteArray(R"({"suspects":"3","remaining":[0,1],"skips":0,"rounds":1})");
    QTest::newRow("more skips than halves") << QByteArray(R"({"suspects":3,"remaining":[0,1],"skips":3,"rounds":1})");
    QTest::newRow("negative rounds") << QByteArray(R"({"suspects":3,"remaining":[0,1],"skips":0,"rounds":-2})");
}

void TestProblemSearchRounds::damagedStatesAreRefused()
{
    QFETCH(QByteArray, json);
    ProblemSearchRounds search(5);
    QVERIFY(!ProblemSearchRounds::fromJson(QJsonDocument::fromJson(json).object(), &search));
    QCOMPARE(search.suspectCount(), 5);
}

QTEST_GUILESS_MAIN(TestProblemSearchRounds)
#include "tst_problemsearchrounds.moc"
