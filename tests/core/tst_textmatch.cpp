#include "core/textmatch.h"

#include <QTest>

using namespace pfw;

// The fast case-blind search must say what Qt says, for every text: the filters and the
// search of the window rely on it.
class TestTextMatch : public QObject
{
    Q_OBJECT

private slots:
    void agreesWithQt_data();
    void agreesWithQt();
};

void TestTextMatch::agreesWithQt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("needle");
    QTest::newRow("ASCII, other case") << "MaxProcessors"
                                       << "proc";
    QTest::newRow("needle in upper case") << "maxprocessors"
                                          << "PROC";
    QTest::newRow("at the very end") << "ExpandedSections"
                                     << "ons";
    QTest::newRow("longer than the text") << "ab"
                                          << "abc";
    QTest::newRow("near miss") << "aaab"
                               << "aab";
    QTest::newRow("absent") << "Geometry"
                            << "metric";
    QTest::newRow("empty needle") << "x"
                                  << "";
    QTest::newRow("Kelvin sign folds to k") << QString::fromUtf8("\u212Aey") << "key";
    QTest::newRow("long s folds to s") << QString::fromUtf8("\u017Ftar") << "star";
    QTest::newRow("umlaut in the text") << QString::fromUtf8("Gr\u00D6\u00DFe") << QString::fromUtf8("\u00F6");
    QTest::newRow("non-ASCII after a near miss") << QString::fromUtf8("abx\u212A") << "abk";
    QTest::newRow("non-ASCII needle") << QString::fromUtf8("NGC 7000 \u2013 HOO") << QString::fromUtf8("\u2013 hoo");
    QTest::newRow("long needle") << QString(100, u'a') << QString(80, u'A');
}

void TestTextMatch::agreesWithQt()
{
    QFETCH(QString, text);
    QFETCH(QString, needle);
    QCOMPARE(containsIgnoringCase(text, needle), text.contains(needle, Qt::CaseInsensitive));
}

QTEST_GUILESS_MAIN(TestTextMatch)
#include "tst_textmatch.moc"
