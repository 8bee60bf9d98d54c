#include "ui/banner/admanifest.h"

#include <QCryptographicHash>
#include <QTest>

using namespace pfw;

class TestAdManifest : public QObject
{
    Q_OBJECT

private slots:
    void timeToLive_data();
    void timeToLive();
    void parsing();
    void invalidManifests_data();
    void invalidManifests();
    void versions_data();
    void versions();
    void eligibility_data();
    void eligibility();
    void weightedChoiceAvoidsTheShownRecord();
    void imageNames_data();
    void imageNames();
};

void TestAdManifest::timeToLive_data()
{
    QTest::addColumn<QByteArray>("root");
    QTest::addColumn<double>("hours");
    QTest::newRow("days") << QByteArray("<ads ttl=\"2d\"/>") << 48.0;
    QTest::newRow("minutes") << QByteArray("<ads ttl=\" 90m \"/>") << 1.5;
    QTest::newRow("weeks, capital") << QByteArray("<ads ttl=\"1W\"/>") << 168.0;
    QTest::newRow("plain hours") << QByteArray("<ads ttl=\"12\"/>") << 12.0;
    QTest::newRow("negative") << QByteArray("<ads ttl=\"-5\"/>") << 24.0;
    QTest::newRow("not a number") << QByteArray("<ads ttl=\"soon\"/>") << 24.0;
    QTest::newRow("ttlHours when ttl is empty") << QByteArray("<ads ttl=\"\" ttlHours=\"6\"/>") << 6.0;
    QTest::newRow("none") << QByteArray("<ads/>") << 24.0;
}

void TestAdManifest::timeToLive()
{
    QFETCH(QByteArray, root);
    QFETCH(double, hours);
    const AdManifest manifest = AdManifest::parse(root);
    QVERIFY(manifest.valid);
    QCOMPARE(manifest.ttlHours, hours);
}

void TestAdManifest::parsing()
{
    const AdManifest manifest = AdManifest::parse(
        "<manifest ttl=\"3h\">"
        "<ad id=\"a\" weight=\"2.5\" start=\"2026-01-01\" minVersion=\"0.1\"><image> https://x/a.png </image>"
        "<click>https://x/a</click><alt>A</alt></ad>"
        "<ad id=\"only-id\"/>"
        "<ad id=\"b\" weight=\"-1\"><alt>B</alt><unknown>x</unknown></ad>"
        "<group><ad id=\"nested\"><alt>N</alt></ad></group>"
        "</manifest>");
    QVERIFY(manifest.valid);
    QCOMPARE(manifest.ttlHours, 3.0);
    QCOMPARE(manifest.records.size(), 2);
    const AdRecord &a = manifest.records.at(0);
    QCOMPARE(a.id, QStringLiteral("a"));
    QCOMPARE(a.image, QStringLiteral("https://x/a.png"));
    QCOMPARE(a.click, QStringLiteral("https://x/a"));
    QCOMPARE(a.weight, 2.5);
    QCOMPARE(a.start, QStringLiteral("2026-01-01"));
    QCOMPARE(a.minVersion, QStringLiteral("0.1"));
    QCOMPARE(manifest.records.at(1).id, QStringLiteral("b"));
    QCOMPARE(manifest.records.at(1).weight, 1.0);
}

void TestAdManifest::invalidManifests_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("broken") << QByteArray("<ads ttl=\"2d\"><ad id=\"a\"><alt>A</alt></ads>");
    QTest::newRow("text") << QByteArray("404 Not Found");
}

void TestAdManifest::invalidManifests()
{
    QFETCH(QByteArray, bytes);
    const AdManifest manifest = AdManifest::parse(bytes);
    QVERIFY(!manifest.valid);
    QVERIFY(manifest.records.isEmpty());
    QCOMPARE(manifest.ttlHours, 24.0);
}

void TestAdManifest::versions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("order");
    QTest::newRow("equal") << "0.1.3"
                           << "0.1.3" << 0;
    QTest::newRow("missing counts as 0") << "0.1"
                                         << "0.1.0" << 0;
    QTest::newRow("numeric, not text") << "0.10"
                                       << "0.9" << 1;
    QTest::newRow("lower") << "0.1.3"
                           << "0.2" << -1;
    QTest::newRow("non-numeric counts as 0") << "1.x"
                                             << "1.0" << 0;
}

void TestAdManifest::versions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, order);
    QCOMPARE(AdManifest::compareVersions(a, b), order);
    QCOMPARE(AdManifest::compareVersions(b, a), -order);
}

void TestAdManifest::eligibility_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<bool>("shown");
    QTest::newRow("no limits") << "" << true;
    QTest::newRow("window around today") << "start=\"2026-12-01\" end=\"2026-12-08\"" << true;
    QTest::newRow("ended yesterday") << "end=\"2026-12-07\"" << false;
    QTest::newRow("starts tomorrow") << "start=\"2026-12-09\"" << false;
    QTest::newRow("version in range") << "minVersion=\"0.1.3\" maxVersion=\"0.1.3\"" << true;
    QTest::newRow("needs a newer program") << "minVersion=\"0.2\"" << false;
    QTest::newRow("for older programs only") << "maxVersion=\"0.1.2\"" << false;
}

void TestAdManifest::eligibility()
{
    QFETCH(QString, attributes);
    QFETCH(bool, shown);
    const AdManifest manifest
        = AdManifest::parse(QStringLiteral("<ads><ad id=\"x\" %1><alt>X</alt></ad></ads>").arg(attributes).toUtf8());
    AdRecord builtIn;
    builtIn.id = QStringLiteral("built-in");
    const QList<AdRecord> eligible
        = manifest.eligible(QStringLiteral("2026-12-08"), QStringLiteral("0.1.3"), {builtIn});
    QCOMPARE(eligible.size(), 1);
    QCOMPARE(eligible.first().id, shown ? QStringLiteral("x") : QStringLiteral("built-in"));
}

void TestAdManifest::weightedChoiceAvoidsTheShownRecord()
{
    QList<AdRecord> records(3);
    records[0].id = QStringLiteral("a");
    records[1].id = QStringLiteral("b");
    records[1].weight = 3;
    records[2].id = QStringLiteral("c");
    // Without a: b has weight 3 of 4.
    QCOMPARE(AdManifest::choose(records, QStringLiteral("a"), [] { return 0.0; }).id, QStringLiteral("b"));
    QCOMPARE(AdManifest::choose(records, QStringLiteral("a"), [] { return 0.74; }).id, QStringLiteral("b"));
    QCOMPARE(AdManifest::choose(records, QStringLiteral("a"), [] { return 0.76; }).id, QStringLiteral("c"));
    // With all three the total is 5: a covers up to 1 inclusive.
    QCOMPARE(AdManifest::choose(records, QString(), [] { return 0.2; }).id, QStringLiteral("a"));
    QCOMPARE(AdManifest::choose(records, QString(), [] { return 0.21; }).id, QStringLiteral("b"));
    // Only the shown one is eligible: it is shown again rather than nothing.
    QCOMPARE(AdManifest::choose(records.mid(0, 1), QStringLiteral("a"), [] { return 0.5; }).id, QStringLiteral("a"));
}

void TestAdManifest::imageNames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("extension");
    QTest::newRow("png") << QByteArray("\x89PNG\r\n\x1a\n", 8) << ".png";
    QTest::newRow("jpeg") << QByteArray("\xFF\xD8\xFF\xE0", 4) << ".jpg";
    QTest::newRow("other") << QByteArray("GIF89a") << ".img";
    QTest::newRow("empty") << QByteArray() << ".img";
}

void TestAdManifest::imageNames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, extension);
    QCOMPARE(AdManifest::imageExtension(bytes), extension);
    // SHA-1 of "https://x/a.png", first 16 hex digits.
    QCOMPARE(AdManifest::imageCacheBaseName(QStringLiteral("https://x/a.png")),
             QStringLiteral("img_")
                 + QString::fromLatin1(
                     QCryptographicHash::hash("https://x/a.png", QCryptographicHash::Sha1).toHex().left(16)));
}

QTEST_GUILESS_MAIN(TestAdManifest)
#include "tst_admanifest.moc"
