#include "core/valuetypes.h"

#include <QTest>

using namespace pfw;

class TestValueTypes : public QObject
{
    Q_OBJECT

private slots:
    void normalize_data();
    void normalize();
    void normalizedSingleIsStable_data();
    void normalizedSingleIsStable();
    void typeNames();
};

void TestValueTypes::normalize_data()
{
    QTest::addColumn<QChar>("type");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("result"); // normalised text, or the error

    const QString boolError = QStringLiteral("Expected true or false.");
    const QString intError = QStringLiteral("Expected an integer between -2147483648 and 2147483647.");
    const QString uintError = QStringLiteral("Expected an integer between 0 and 4294967295.");
    const QString realError = QStringLiteral("Expected a real number.");
    const QString singleError = QStringLiteral("Expected a real number in single-precision range.");
    const QString protectedError = QStringLiteral("This value type is protected and cannot be edited.");

    QTest::newRow("bool TRUE") << QChar(u'b') << "TRUE" << true << "true";
    QTest::newRow("bool spaced 1") << QChar(u'b') << "  1 " << true << "true";
    QTest::newRow("bool 0") << QChar(u'b') << "0" << true << "false";
    QTest::newRow("bool False") << QChar(u'b') << "False" << true << "false";
    QTest::newRow("bool yes") << QChar(u'b') << "yes" << false << boolError;
    QTest::newRow("bool empty") << QChar(u'b') << "" << false << boolError;

    QTest::newRow("int leading zeros") << QChar(u'i') << "007" << true << "7";
    QTest::newRow("int minimum") << QChar(u'i') << "-2147483648" << true << "-2147483648";
    QTest::newRow("int maximum") << QChar(u'i') << " 2147483647 " << true << "2147483647";
    QTest::newRow("int above") << QChar(u'i') << "2147483648" << false << intError;
    QTest::newRow("int below") << QChar(u'i') << "-2147483649" << false << intError;
    QTest::newRow("int real") << QChar(u'i') << "1.0" << false << intError;
    QTest::newRow("int text") << QChar(u'i') << "twelve" << false << intError;

    QTest::newRow("uint maximum") << QChar(u'u') << "4294967295" << true << "4294967295";
    QTest::newRow("uint zero") << QChar(u'u') << "000" << true << "0";
    QTest::newRow("uint above") << QChar(u'u') << "4294967296" << false << uintError;
    QTest::newRow("uint minus zero") << QChar(u'u') << "-0" << false << uintError;
    QTest::newRow("uint negative") << QChar(u'u') << "-1" << false << uintError;

    // Pasted terminal output: raw, such a character makes the file one a strict XML reader refuses.
    QTest::newRow("string with an escape")
        << QChar(u's') << "DejaVu\x1B[0m Sans" << false
        << "The text contains a control character (U+001B) that a settings file cannot hold.";
    QTest::newRow("string with U+FFFE") << QChar(u's') << QString(QChar(0xFFFE)) << false
                                        << "The text contains a character (U+FFFE) that a settings file cannot hold.";
    QTest::newRow("string with a lone surrogate")
        << QChar(u's') << QString(QChar(0xDC01)) << false
        << "The text contains a character (U+DC01) that a settings file cannot hold.";
    QTest::newRow("string with tab, lines and an emoji")
        << QChar(u's') << QString::fromUtf8(" a\tb\r\nc \xF0\x9F\x98\x80 ") << true
        << QString::fromUtf8(" a\tb\r\nc \xF0\x9F\x98\x80 ");

    QTest::newRow("real trailing zero") << QChar(u'F') << "0.10" << true << "0.1";
    QTest::newRow("real exponent") << QChar(u'F') << "1e20" << true << "1e+20";
    QTest::newRow("real integer") << QChar(u'F') << " 2.50 " << true << "2.5";
    QTest::newRow("real overflow") << QChar(u'F') << "1e400" << false << realError;
    QTest::newRow("real nan") << QChar(u'F') << "nan" << false << realError;
    QTest::newRow("real inf") << QChar(u'F') << "inf" << false << realError;
    QTest::newRow("real comma") << QChar(u'F') << "0,5" << false << realError;

    QTest::newRow("single tenth") << QChar(u'f') << "0.1" << true << "0.1";
    QTest::newRow("single third") << QChar(u'f') << "0.333333333333" << true << "0.33333334";
    QTest::newRow("single underflow") << QChar(u'f') << "1e-50" << true << "0";
    QTest::newRow("single too large") << QChar(u'f') << "3.5e38" << false << singleError;
    QTest::newRow("single largest") << QChar(u'f') << "3.4028234663852886e38" << true << "3.4028235e+38";
    QTest::newRow("single nan") << QChar(u'f') << "nan" << false << singleError;

    QTest::newRow("string keeps spaces") << QChar(u's') << "  padded  " << true << "  padded  ";
    QTest::newRow("string empty") << QChar(u's') << "" << true << "";

    QTest::newRow("time") << QChar(u't') << "2026-01-01" << false << protectedError;
    QTest::newRow("block") << QChar(u'B') << "AAAA" << false << protectedError;
    QTest::newRow("unknown") << QChar(u'x') << "1" << false << protectedError;
}

void TestValueTypes::normalize()
{
    QFETCH(QChar, type);
    QFETCH(QString, input);
    QFETCH(bool, ok);
    QFETCH(QString, result);

    QString normalized = QStringLiteral("untouched");
    QString error;
    QCOMPARE(normalizeValue(type, input, &normalized, &error), ok);
    if (ok) {
        QCOMPARE(normalized, result);
        QVERIFY(error.isEmpty());
    } else {
        QCOMPARE(error, result);
        QCOMPARE(normalized, QStringLiteral("untouched"));
    }
}

void TestValueTypes::normalizedSingleIsStable_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("largest") << "3.4028234663852886e38";
    QTest::newRow("negative largest") << "-3.4028234663852886e38";
    QTest::newRow("smallest normal") << "1.17549435e-38";
    QTest::newRow("denormal") << "1e-45";
    QTest::newRow("pi") << "3.14159265358979";
}

// The normalised text must itself be accepted and normalise to the same text.
void TestValueTypes::normalizedSingleIsStable()
{
    QFETCH(QString, input);
    QString first, second, error;
    QVERIFY2(normalizeValue(u'f', input, &first, &error), qPrintable(error));
    QVERIFY2(normalizeValue(u'f', first, &second, &error), qPrintable(first + QLatin1String(": ") + error));
    QCOMPARE(second, first);
}

void TestValueTypes::typeNames()
{
    QCOMPARE(typeName(u'b'), QStringLiteral("Boolean"));
    QCOMPARE(typeName(u'f'), QStringLiteral("Real (single)"));
    QCOMPARE(typeName(u'B'), QStringLiteral("Block"));
    QCOMPARE(typeName(u'x'), QStringLiteral("Unknown (x)"));
}

QTEST_GUILESS_MAIN(TestValueTypes)
#include "tst_valuetypes.moc"
