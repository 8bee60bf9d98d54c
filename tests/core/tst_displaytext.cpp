#include "core/displaytext.h"
#include "core/xsdtfile.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

using namespace pfw;

// Every screen shows values, sizes and backups through one place; these are its promises.
class TestDisplayText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void values_data();
    void values();
    void aCompressedBlockShowsWhatItHolds();
    void sizes_data();
    void sizes();
    void backupsReadAlikeEverywhere();
};

void TestDisplayText::initTestCase()
{
    // The separators are the user's; the tests pin one locale.
    QLocale::setDefault(QLocale::c());
}

void TestDisplayText::values_data()
{
    QTest::addColumn<QChar>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("shown");
    const QString lineFeed = QString::fromUtf8("a\xE2\x8F\x8E"
                                               "b");
    QTest::newRow("line feed") << QChar(u's') << "a\nb" << 120 << lineFeed;
    // A lone carriage return vanished, a tab was a gap, and a line separator hid the rest.
    QTest::newRow("every line break") << QChar(u's')
                                      << QString::fromUtf8("a\r\nb\rc\xE2\x80\xA8"
                                                           "d\xE2\x80\xA9"
                                                           "e\xC2\x85"
                                                           "f")
                                      << 120
                                      << QString::fromUtf8("a\xE2\x8F\x8E"
                                                           "b\xE2\x8F\x8E"
                                                           "c\xE2\x8F\x8E"
                                                           "d\xE2\x8F\x8E"
                                                           "e\xE2\x8F\x8E"
                                                           "f");
    QTest::newRow("tab") << QChar(u's') << "a\tb" << 120
                         << QString::fromUtf8("a\xE2\x87\xA5"
                                              "b");
    QTest::newRow("exactly the length") << QChar(u's') << QString(120, u'x') << 120 << QString(120, u'x');
    QTest::newRow("one past the length") << QChar(u's') << QString(121, u'x') << 120
                                         << QString(120, u'x') + QChar(0x2026);
    QTest::newRow("a line of its own") << QChar(u's') << QString(201, u'x') << 200
                                       << QString(200, u'x') + QChar(0x2026);
    QTest::newRow("encoded data") << QChar(u'B') << "QUJD\nREVG" << 120 << "(9 characters of encoded data)";
    // Line feeds are replaced before the cut, so each counts as one character.
    QTest::newRow("line feed at the cut") << QChar(u's') << QString(119, u'x') + QLatin1String("\n\n") << 120
                                          << QString(119, u'x') + QChar(0x23CE) + QChar(0x2026);
    QTest::newRow("empty") << QChar(u's') << "" << 120 << "";
}

void TestDisplayText::values()
{
    QFETCH(QChar, type);
    QFETCH(QString, text);
    QFETCH(int, length);
    QFETCH(QString, shown);
    QCOMPARE(DisplayText::value(type, text, length), shown);
}

// The review and Compare counted the characters of a compressed block's description as if it
// were encoded data; the tree showed the description.
void TestDisplayText::aCompressedBlockShowsWhatItHolds()
{
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><v k=\"w\" t=\"B\" c=\"zlib\"><s u=\"2048\">QUJD</s></v>"
                       "<v k=\"x\" t=\"B\">QUJD</v></xsdt>"));
    const XsdtNode &block = *file.root.children.front();
    QVERIFY(block.block);
    QCOMPARE(DisplayText::value(block), block.value);
    QCOMPARE(DisplayText::savedValue(block), block.value);
    QCOMPARE(DisplayText::value(*file.root.children.back()), QStringLiteral("(4 characters of encoded data)"));
}

void TestDisplayText::sizes_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing") << qint64(0) << "0 bytes";
    QTest::newRow("bytes") << qint64(1023) << "1023 bytes";
    QTest::newRow("kibibytes") << qint64(2048) << "2.0 KiB";
    QTest::newRow("one and a half") << qint64(1536) << "1.5 KiB";
    QTest::newRow("mebibytes") << qint64(1572864) << "1.5 MiB";
    QTest::newRow("gibibytes") << (qint64(3) << 30) << "3.0 GiB";
}

void TestDisplayText::sizes()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(DisplayText::size(bytes), text);
}

void TestDisplayText::backupsReadAlikeEverywhere()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("core-001-pxi.settings.bak-20260103-101500"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(QByteArray(1536, 'x')), qint64(1536));
    QVERIFY(file.flush());
    const QDateTime when(QDate(2026, 1, 3), QTime(10, 15, 0));
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
    file.close();
    QCOMPARE(DisplayText::backup(path),
             QStringLiteral("core-001-pxi.settings.bak-20260103-101500   (2026-01-03 10:15:00, 1.5 KiB)"));
}

QTEST_GUILESS_MAIN(TestDisplayText)
#include "tst_displaytext.moc"
