#include "core/xmlwellformedness.h"

#include <QTest>

using pfw::XmlWellFormedness;

// The check a strict XML reader makes, on documents as PixInsight writes them and as they break.
class TestXmlWellFormedness : public QObject
{
    Q_OBJECT

private slots:
    void documents_data();
    void documents();
    void forbiddenCharactersAreCounted();
    void faultPosition();
    void firstForbidden_data();
    void firstForbidden();
    void writersMayKeepOldFaultsButAddNone_data();
    void writersMayKeepOldFaultsButAddNone();
};

namespace {

const QByteArray kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\">";

QByteArray document(const QByteArray &body)
{
    return kHead + body + "</xsdt>\n";
}

} // namespace

void TestXmlWellFormedness::documents_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("wellFormed");
    QTest::addColumn<bool>("structural");

    QTest::newRow("PixInsight's layout") << document("<i k=\"Global\"><v k=\"a\" t=\"s\" v=\"x &amp; &lt;y&gt;\"/>"
                                                     "<v k=\"b\" t=\"s\">line&#10;two</v></i>")
                                         << true << false;
    QTest::newRow("byte order mark, comments, PI, CDATA")
        << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- a - b --><?pi data?><r a='1' b=\"2\">"
                      "<![CDATA[<&]]>\xC3\xA9\xF0\x9F\x98\x80</r><!-- after -->\n")
        << true << false;
    QTest::newRow("non-ASCII names") << QByteArray("<r\xC3\xA9 \xC3\xA0=\"1\"/>") << true << false;
    QTest::newRow("tab, line feed and return in values")
        << document("<v k=\"a\" t=\"s\" v=\"\t\n\r\"/>") << true << false;
    QTest::newRow("doctype with an internal entity")
        << QByteArray("<!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;</r>") << true << false;

    QTest::newRow("escape character raw") << document("<v k=\"a\" t=\"s\" v=\"\x1B[0m\"/>") << false << false;
    QTest::newRow("control character in text") << document("<v k=\"a\" t=\"s\">\x01</v>") << false << false;
    QTest::newRow("control character as a reference") << document("<v k=\"a\" t=\"s\" v=\"&#1;\"/>") << false << false;
    QTest::newRow("U+FFFE raw") << document("<v k=\"a\" t=\"s\" v=\"\xEF\xBF\xBE\"/>") << false << false;
    QTest::newRow("U+FFFF as a reference") << document("<v k=\"a\" t=\"s\" v=\"&#xFFFF;\"/>") << false << false;
    QTest::newRow("NUL in a key") << document(QByteArray("<v k=\"a\0b\" t=\"s\" v=\"\"/>", 24)) << false << false;

    QTest::newRow("end tag does not match") << document("<i k=\"a\"></v>") << false << true;
    QTest::newRow("element not closed") << QByteArray("<xsdt><i>") << false << true;
    QTest::newRow("attribute twice") << document("<v k=\"a\" k=\"b\"/>") << false << true;
    QTest::newRow("unquoted attribute") << document("<v k=a/>") << false << true;
    QTest::newRow("< inside an attribute") << document("<v k=\"a<b\"/>") << false << true;
    QTest::newRow("bare ampersand") << document("<v k=\"a&b\"/>") << false << true;
    QTest::newRow("unknown entity") << document("<v k=\"&nbsp;\"/>") << false << true;
    QTest::newRow("]]> in text") << document("<v k=\"a\">]]></v>") << false << true;
    QTest::newRow("-- inside a comment") << QByteArray("<r><!-- a -- b --></r>") << false << true;
    QTest::newRow("text after the root") << document("") + "x" << false << true;
    QTest::newRow("second root") << QByteArray("<a/><b/>") << false << true;
    QTest::newRow("no root") << QByteArray("<?xml version=\"1.0\"?>") << false << true;
    QTest::newRow("another encoding declared")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>") << false << true;
    QTest::newRow("declaration not first") << QByteArray(" <?xml version=\"1.0\"?><r/>") << false << true;
    QTest::newRow("invalid UTF-8") << document("<v k=\"\xFF\"/>") << false << true;
    QTest::newRow("overlong UTF-8") << document("<v k=\"\xC0\xAF\"/>") << false << true;
    QTest::newRow("encoded surrogate") << document("<v k=\"\xED\xA0\x80\"/>") << false << true;
    QTest::newRow("cut short") << document("<i k=\"a\"><v k=\"b\" t=\"s\" v=\"1\"/></i>").left(60) << false << true;
    QTest::newRow("empty") << QByteArray() << false << true;
}

void TestXmlWellFormedness::documents()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, wellFormed);
    QFETCH(bool, structural);
    const XmlWellFormedness::Report report = XmlWellFormedness::check(bytes);
    QCOMPARE(report.wellFormed, wellFormed);
    QCOMPARE(report.structural, structural);
    QCOMPARE(report.what.isEmpty(), wellFormed);
}

void TestXmlWellFormedness::forbiddenCharactersAreCounted()
{
    const XmlWellFormedness::Report report
        = XmlWellFormedness::check(document("<v k=\"a\" t=\"s\" v=\"\x1B[0m\x1B[1m&#x1B;\"/><v k=\"\x02\"/>"));
    QVERIFY(!report.structural);
    QCOMPARE(report.forbidden.value(0x1B), 3);
    QCOMPARE(report.forbidden.value(0x02), 1);
    QCOMPARE(report.forbidden.size(), 2);
}

void TestXmlWellFormedness::faultPosition()
{
    const XmlWellFormedness::Report report = XmlWellFormedness::check("<r>\n  <a>\xC3\xA9\x1B</a>\n</r>");
    QCOMPARE(report.line, 2);
    // Columns count characters: the é before it is one.
    QCOMPARE(report.column, 7);
    QVERIFY2(report.what.contains(QLatin1String("U+001B")), qPrintable(report.what));
}

void TestXmlWellFormedness::firstForbidden_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("plain") << QStringLiteral("DejaVu Sans") << -1;
    QTest::newRow("tab, line feed, return") << QStringLiteral("a\tb\nc\rd") << -1;
    QTest::newRow("pair of surrogates") << QString::fromUtf8("\xF0\x9F\x98\x80") << -1;
    QTest::newRow("replacement character") << QString(QChar(0xFFFD)) << -1;
    QTest::newRow("escape") << QStringLiteral("DejaVu\x1B[0m Sans") << 0x1B;
    QTest::newRow("NUL") << QString(QChar(0)) << 0;
    QTest::newRow("U+FFFE") << QString(QChar(0xFFFE)) << 0xFFFE;
    QTest::newRow("U+FFFF") << QString(QChar(0xFFFF)) << 0xFFFF;
    QTest::newRow("lone high surrogate") << QString(QChar(0xD800)) + u'x' << 0xD800;
    QTest::newRow("lone low surrogate") << QString(QChar(0xDC00)) << 0xDC00;
    QTest::newRow("first of two") << QStringLiteral("a\x02\x1F") << 0x02;
}

void TestXmlWellFormedness::firstForbidden()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    const std::optional<char32_t> found = XmlWellFormedness::firstForbidden(text);
    QCOMPARE(found ? int(*found) : -1, expected);
}

void TestXmlWellFormedness::writersMayKeepOldFaultsButAddNone_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<bool>("accepted");
    const QByteArray clean = document("<v k=\"a\" t=\"s\" v=\"x\"/>");
    const QByteArray escape = document("<v k=\"a\" t=\"s\" v=\"\x1B\"/>");
    const QByteArray twoEscapes = document("<v k=\"a\" t=\"s\" v=\"\x1B\x1B\"/>");
    const QByteArray broken = "junk" + clean;
    QTest::newRow("clean to clean") << clean << clean << true;
    QTest::newRow("nothing before, clean") << QByteArray() << clean << true;
    QTest::newRow("clean to escape") << clean << escape << false;
    QTest::newRow("escape kept") << escape << escape << true;
    QTest::newRow("escape removed") << escape << clean << true;
    QTest::newRow("one more escape") << escape << twoEscapes << false;
    QTest::newRow("another character") << escape << document("<v k=\"a\" t=\"s\" v=\"\x02\"/>") << false;
    QTest::newRow("broken head kept") << broken << broken << true;
    QTest::newRow("markup broken") << clean << clean.left(clean.size() - 4) << false;
}

void TestXmlWellFormedness::writersMayKeepOldFaultsButAddNone()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(bool, accepted);
    const QByteArrayView old(before);
    QString error;
    QCOMPARE(XmlWellFormedness::keepsWellFormed(after, before.isEmpty() ? nullptr : &old, &error), accepted);
    QCOMPARE(error.isEmpty(), accepted);
}

QTEST_GUILESS_MAIN(TestXmlWellFormedness)
#include "tst_xmlwellformedness.moc"
