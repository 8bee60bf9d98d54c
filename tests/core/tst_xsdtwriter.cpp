#include "core/xsdtfile.h"
#include "core/xsdtwriter.h"

#include <QTest>
#include <QXmlStreamReader>

using namespace pfw;

class TestXsdtWriter : public QObject
{
    Q_OBJECT

private slots:
    void escaping_data();
    void escaping();
    void shapes_data();
    void shapes();
    void editedValuesKeepTheirForm();
    void whitespaceInAttributesSurvivesAStrictReader_data();
    void whitespaceInAttributesSurvivesAStrictReader();
    void deletedNodesAreLeftOut();
    void serializedSizes_data();
    void serializedSizes();
    void compressedBlockKeepsItsBytes();
};

void TestXsdtWriter::escaping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("plain") << "plain text"
                           << "plain text";
    QTest::newRow("all five") << "\"'&<>"
                              << "&quot;&apos;&amp;&lt;&gt;";
    QTest::newRow("controls stay") << "a\nb\tc\rd"
                                   << "a\nb\tc\rd";
    QTest::newRow("entity-like text") << "&amp;"
                                      << "&amp;amp;";
    QTest::newRow("non-ASCII") << QString::fromUtf8("NGC 7000 \xE2\x80\x93 \xF0\x9F\x98\x80")
                               << QString::fromUtf8("NGC 7000 \xE2\x80\x93 \xF0\x9F\x98\x80");
}

void TestXsdtWriter::escaping()
{
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    QCOMPARE(escapeXml(text), escaped);
}

void TestXsdtWriter::shapes_data()
{
    QTest::addColumn<QByteArray>("element");
    QTest::newRow("item with children") << QByteArray("<i k=\"a\"><v k=\"b\" t=\"s\" v=\"1\"/></i>");
    QTest::newRow("empty item element") << QByteArray("<i k=\"a\"/>");
    QTest::newRow("empty item pair") << QByteArray("<i k=\"a\"></i>");
    QTest::newRow("attribute value") << QByteArray("<v k=\"K&amp;\" t=\"i\" v=\"&lt;7&gt;\"/>");
    // Written raw, they were read back as spaces by any other reader.
    QTest::newRow("referenced whitespace")
        << QByteArray("<v k=\"K&#9;\" t=\"s\" v=\"a&#10;b&#13;c&#9;d&#13;&#10;e\"/>");
    QTest::newRow("text value") << QByteArray("<v k=\"K\" t=\"s\">&quot;q&quot; &apos;a&apos;\nnext</v>");
    QTest::newRow("empty text value") << QByteArray("<v k=\"K\" t=\"s\"></v>");
    QTest::newRow("compressed") << QByteArray("<v k=\"K\" t=\"B\" c=\"zlib\"><s u=\"3\">QUJD</s></v>");
}

// Each compact shape is written back exactly as read.
void TestXsdtWriter::shapes()
{
    QFETCH(QByteArray, element);
    XsdtFile file;
    QString error;
    QVERIFY2(file.parse("<xsdt>" + element + "</xsdt>", &error), qPrintable(error));
    QCOMPARE(file.serialize(), "<xsdt>" + element + "</xsdt>");
}

void TestXsdtWriter::editedValuesKeepTheirForm()
{
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><v k=\"a\" t=\"s\" v=\"1\"/><v k=\"b\" t=\"s\">1</v></xsdt>"));
    file.root.children[0]->value = QStringLiteral("\"x\" & 'y' <z>");
    file.root.children[1]->value = QStringLiteral("\"x\" & 'y' <z>\n");
    QCOMPARE(file.serialize(),
             QByteArray("<xsdt><v k=\"a\" t=\"s\" v=\"&quot;x&quot; &amp; &apos;y&apos; &lt;z&gt;\"/>"
                        "<v k=\"b\" t=\"s\">&quot;x&quot; &amp; &apos;y&apos; &lt;z&gt;\n</v></xsdt>"));
}

// A value's tabs and line breaks written raw in an attribute were turned into spaces by every
// reader that follows XML (PixInsight's among them, presumably), though ours read them back.
void TestXsdtWriter::whitespaceInAttributesSurvivesAStrictReader_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("line feed") << "a\nb";
    QTest::newRow("carriage return") << "a\rb";
    QTest::newRow("both") << "a\r\nb";
    QTest::newRow("tab") << "a\tb";
    QTest::newRow("mixed, at the ends") << "\n\ta \r\n b\t\r";
}

void TestXsdtWriter::whitespaceInAttributesSurvivesAStrictReader()
{
    QFETCH(QString, value);
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><v k=\"K\" t=\"s\" v=\"x\"/></xsdt>"));
    file.root.children.front()->value = value;
    const QByteArray bytes = file.serialize();
    QXmlStreamReader strict(bytes);
    while (!strict.atEnd() && !(strict.isStartElement() && strict.name() == u"v"))
        strict.readNext();
    QVERIFY2(!strict.hasError(), qPrintable(strict.errorString()));
    QCOMPARE(strict.attributes().value(QLatin1String("v")).toString(), value);
    // And ours reads what it wrote.
    XsdtFile again;
    QVERIFY(again.parse(bytes));
    QCOMPARE(again.root.children.front()->value, value);
    QCOMPARE(qsizetype(bytes.size()) - 13, serializedSize(*file.root.children.front()));
}

void TestXsdtWriter::deletedNodesAreLeftOut()
{
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><i k=\"top\"><v k=\"x\" t=\"s\" v=\"1\"/></i><i k=\"g\"><v k=\"a\" t=\"s\" v=\"1\"/>"
                       "<v k=\"b\" t=\"s\" v=\"2\"/></i><i k=\"solo\"><v k=\"only\" t=\"s\" v=\"3\"/></i></xsdt>"));
    file.root.findPath(u"top")->deleted = true;
    file.root.findPath(u"g/a")->deleted = true;
    file.root.findPath(u"solo/only")->deleted = true;
    QCOMPARE(file.serialize(),
             QByteArray("<xsdt><i k=\"g\"><v k=\"b\" t=\"s\" v=\"2\"/></i><i k=\"solo\"></i></xsdt>"));
    // The size of an entry counts what is queued inside it.
    QCOMPARE(serializedSize(*file.root.findPath(u"g")),
             qsizetype(QByteArray("<i k=\"g\"><v k=\"a\" t=\"s\" v=\"1\"/><v k=\"b\" t=\"s\" v=\"2\"/></i>").size()));
}

void TestXsdtWriter::serializedSizes_data()
{
    QTest::addColumn<QByteArray>("element");
    QTest::newRow("attribute value") << QByteArray("<v k=\"a\" t=\"s\" v=\"b\"/>");
    QTest::newRow("escaped") << QByteArray("<v k=\"a\" t=\"s\" v=\"&lt;&amp;\"/>");
    QTest::newRow("two-byte") << QByteArray("<v k=\"caf\xC3\xA9\" t=\"s\" v=\"\xC3\xA9\"/>");
    QTest::newRow("three-byte") << QByteArray("<v k=\"a\" t=\"s\">\xE2\x80\x93</v>");
    QTest::newRow("four-byte") << QByteArray("<i k=\"\xF0\x9F\x98\x80\"/>");
}

void TestXsdtWriter::serializedSizes()
{
    QFETCH(QByteArray, element);
    XsdtFile file;
    QVERIFY(file.parse("<xsdt>" + element + "</xsdt>"));
    QCOMPARE(serializedSize(*file.root.children.front()), qsizetype(element.size()));
}

void TestXsdtWriter::compressedBlockKeepsItsBytes()
{
    const QByteArray bytes
        = "<xsdt><v k=\"L\" t=\"B\" c=\"zlib\">\n\t<s   u=\"10\" >QU\r\nJD</s>\n<s u=\"0\"></s>  </v></xsdt>";
    XsdtFile file;
    QVERIFY(file.parse(bytes));
    QVERIFY(file.compactLayout);
    QCOMPARE(file.serialize(), bytes);
}

QTEST_GUILESS_MAIN(TestXsdtWriter)
#include "tst_xsdtwriter.moc"
