#include "core/xsdtfile.h"
#include "core/xsdtreader.h"

#include <QFile>
#include <QLocale>
#include <QTest>

using namespace pfw;

class TestXsdtReader : public QObject
{
    Q_OBJECT

private slots:
    void errors_data();
    void errors();
    void entities_data();
    void entities();
    void valueForms();
    void itemForms();
    void closingTagWhitespace();
    void compressedBlock();
    void compressedBlockWithEmptyCompression();
    void compressedSizeBeyondSignedRange();
    void layout_data();
    void layout();
    void whitespaceDecidesTheLayout_data();
    void whitespaceDecidesTheLayout();
    void byteOrderMarkRoundTrips();
    void invalidUtf8IsRecorded();
    void failedParseDiscardsPreviousTree();
    void deepNestingIsRefused();
    void nestingAtTheLimitParses();
    void hugeAttribute();
    void arbitraryBytesNeverCrash();
    void everyTruncationIsReported();
    void nulCharactersAreKept();
    void dataFiles_data();
    void dataFiles();
};

void TestXsdtReader::errors_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("message");

    QTest::newRow("no root") << QByteArray("<root/>") << "Not a PixInsight settings file (no <xsdt> element).";
    QTest::newRow("empty") << QByteArray() << "The file is empty.";
    QTest::newRow("root unclosed") << QByteArray("<xsdt") << "The <xsdt> element is empty or malformed.";
    QTest::newRow("root self-closing") << QByteArray("<xsdt/>") << "The <xsdt> element is empty or malformed.";
    QTest::newRow("content after root") << QByteArray("<xsdt></xsdt>\nx") << "Unexpected content after </xsdt>.";
    QTest::newRow("wrong root end") << QByteArray("<xsdt></i>") << "expected </xsdt> (line 1, column 11)";
    QTest::newRow("end of file in item") << QByteArray("<xsdt><i k=\"a\">")
                                         << "unexpected end of file (line 1, column 16, in a)";
    QTest::newRow("item with type") << QByteArray("<xsdt><i k=\"a\" t=\"s\"/>")
                                    << "malformed <i> element (line 1, column 23, in a)";
    QTest::newRow("item without key") << QByteArray("<xsdt><i/>") << "malformed <i> element (line 1, column 11)";
    QTest::newRow("wrong item end") << QByteArray("<xsdt><i k=\"a\"></v></xsdt>")
                                    << "expected </i> (line 1, column 20)";
    QTest::newRow("unknown element") << QByteArray("<xsdt><x k=\"a\"/>")
                                     << "unexpected element <x> (line 1, column 17, in a)";
    QTest::newRow("two-character type") << QByteArray("<xsdt><v k=\"a\" t=\"ss\" v=\"1\"/>")
                                        << "malformed <v> element (line 1, column 30, in a)";
    QTest::newRow("value without type") << QByteArray("<xsdt><v k=\"a\" v=\"1\"/>")
                                        << "malformed <v> element (line 1, column 23, in a)";
    QTest::newRow("compressed self-closing") << QByteArray("<xsdt><v k=\"a\" t=\"B\" c=\"z\"/>")
                                             << "malformed compressed <v> element (line 1, column 29, in a)";
    QTest::newRow("unterminated text") << QByteArray("<xsdt><v k=\"a\" t=\"s\">abc")
                                       << "unterminated <v> element (line 1, column 22, in a)";
    QTest::newRow("unterminated block") << QByteArray("<xsdt><v k=\"a\" t=\"B\" c=\"z\"><s u=\"1\">AAAA</s>")
                                        << "unterminated <v> element (line 1, column 28, in a)";
    QTest::newRow("bad block size") << QByteArray("<xsdt><v k=\"a\" t=\"B\" c=\"z\"><s u=\"x\">AAAA</s></v></xsdt>")
                                    << "unsupported content in a compressed <v> element (line 1, column 28, in a)";
    QTest::newRow("block not base64") << QByteArray("<xsdt><v k=\"a\" t=\"B\" c=\"z\"><s u=\"1\">AA*A</s></v></xsdt>")
                                      << "unsupported content in a compressed <v> element (line 1, column 28, in a)";
    QTest::newRow("block without s") << QByteArray("<xsdt><v k=\"a\" t=\"B\" c=\"z\"> </v></xsdt>")
                                     << "unsupported content in a compressed <v> element (line 1, column 28, in a)";
    QTest::newRow("block u without blank")
        << QByteArray("<xsdt><v k=\"a\" t=\"B\" c=\"z\"><su=\"1\">A</s></v></xsdt>")
        << "unsupported content in a compressed <v> element (line 1, column 28, in a)";
    QTest::newRow("value without value") << QByteArray("<xsdt><v k=\"x\" t=\"s\"/>")
                                         << "<v> element without a value (line 1, column 23, in x)";
    QTest::newRow("attribute and text")
        << QByteArray("<xsdt><v k=\"x\" t=\"s\" v=\"1\">2</v></xsdt>")
        << "<v> element with both an attribute and a text value (line 1, column 28, in x)";
    QTest::newRow("markup in text") << QByteArray("<xsdt><v k=\"x\" t=\"s\">a<b/></v></xsdt>")
                                    << "markup inside a <v> text value (line 1, column 22, in x)";
    QTest::newRow("spaced value end") << QByteArray("<xsdt><v k=\"x\" t=\"s\">a</v ></xsdt>")
                                      << "unterminated <v> element (line 1, column 22, in x)";
    QTest::newRow("text in item") << QByteArray("<xsdt><i k=\"a\">text</i></xsdt>")
                                  << "expected '<' (line 1, column 16, in a)";
    QTest::newRow("comment in root") << QByteArray("<xsdt><!-- c --></xsdt>")
                                     << "expected an element name (line 1, column 8)";
    QTest::newRow("end of file in tag") << QByteArray("<xsdt><v k=\"a\"")
                                        << "unexpected end of file inside a tag (line 1, column 15, in a)";
    QTest::newRow("slash without gt") << QByteArray("<xsdt><v k=\"a\" t=\"s\" v=\"1\"/ >")
                                      << "malformed tag (line 1, column 27, in a)";
    QTest::newRow("self-closing end tag")
        << QByteArray("<xsdt><i k=\"a\"></i/></xsdt>") << "malformed tag (line 1, column 19)";
    QTest::newRow("attribute in end tag") << QByteArray("<xsdt><i k=\"a\"></i k=\"a\"></xsdt>")
                                          << "unexpected content in closing tag (line 1, column 20)";
    QTest::newRow("bad attribute start") << QByteArray("<xsdt><v %=\"1\"/>")
                                         << "malformed attribute (line 1, column 10)";
    QTest::newRow("missing equals") << QByteArray("<xsdt><v k \"a\"/>")
                                    << "expected '=' after attribute name (line 1, column 12)";
    QTest::newRow("unquoted value") << QByteArray("<xsdt><v k=a/>")
                                    << "expected a quoted attribute value (line 1, column 12)";
    QTest::newRow("unterminated attribute")
        << QByteArray("<xsdt><v k=\"a/>") << "unterminated attribute value (line 1, column 13)";
    QTest::newRow("unsupported attribute")
        << QByteArray("<xsdt><v k=\"a\" x=\"1\"/>") << "unsupported attribute 'x' (line 1, column 17, in a)";
    QTest::newRow("entity error in attribute")
        << QByteArray("<xsdt><v k=\"a&b\" t=\"s\" v=\"1\"/>") << "malformed entity reference (line 1, column 17)";
    QTest::newRow("entity error in text") << QByteArray("<xsdt><v k=\"a\" t=\"s\">&nbsp;</v></xsdt>")
                                          << "unknown entity &nbsp; (line 1, column 22, in a)";
    QTest::newRow("surrogate reference") << QByteArray("<xsdt><v k=\"a\" t=\"s\" v=\"&#xD800;\"/>")
                                         << "invalid character reference (line 1, column 34, in a)";
    QTest::newRow("position and path") << QByteArray(
        "<xsdt>\n<i k=\"Global\"><i k=\"Preferences\"><v k=\"Foo\"\n\t\t\t\t%")
                                       << "malformed attribute (line 3, column 5, in Global/Preferences/Foo)";
    QTest::newRow("carriage return is a column")
        << QByteArray("<xsdt>\r\n\r<x/>") << "unexpected element <x> (line 2, column 6)";
    QTest::newRow("columns in UTF-16 units")
        << QByteArray("<xsdt><i k=\"\xF0\x9F\x98\x80\"><x/>")
        << QString::fromUtf8("unexpected element <x> (line 1, column 21, in \xF0\x9F\x98\x80)");
    QTest::newRow("NUL in content") << QByteArray("<xsdt>\0</xsdt>", 14) << "expected '<' (line 1, column 7)";
    // Keys and entity names from the file must not be taken for placeholders.
    QTest::newRow("placeholder in key") << QByteArray("<xsdt><i k=\"%2%1\"><y/></i></xsdt>")
                                        << "unexpected element <y> (line 1, column 23, in %2%1)";
    // A name of megabytes is shown by its start: the message must stay readable and quick to show.
    const QByteArray huge(1 << 20, 'k');
    const QString shown = QString(59, u'k') + QChar(0x2026);
    QTest::newRow("huge key") << "<xsdt><i k=\"" + huge + "\"><v k=\"" + huge + "\" t=\"s\">&x;</v></i></xsdt>"
                              << "unknown entity &x; (line 1, column 2097181, in " + shown + u'/' + shown + u')';
    QTest::newRow("huge element name") << "<xsdt><" + huge + "/></xsdt>"
                                       << "unexpected element <" + shown + "> (line 1, column 1048586)";
    QTest::newRow("placeholder in entity")
        << QByteArray("<xsdt><v k=\"a\" t=\"s\" v=\"&%2;\"/>") << "unknown entity &%2; (line 1, column 30, in a)";
}

void TestXsdtReader::errors()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, message);
    XsdtFile file;
    QString error;
    QVERIFY(!file.parse(input, &error));
    QCOMPARE(error, message);
    QVERIFY(file.root.children.empty());
    QVERIFY(!file.compactLayout);
}

void TestXsdtReader::entities_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("result");

    QTest::newRow("plain") << "plain A" << true << "plain A";
    QTest::newRow("hex") << "&#x41;" << true << "A";
    QTest::newRow("hex upper digits") << "&#x4A;" << true << "J";
    QTest::newRow("decimal") << "&#65;" << true << "A";
    QTest::newRow("named") << "&lt;&gt;&amp;&quot;&apos;" << true << "<>&\"'";
    QTest::newRow("astral") << "&#x1F600;" << true << QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("largest") << "&#x10FFFF;" << true << QString::fromUcs4(U"\U0010FFFF", 1);
    QTest::newRow("upper X") << "&#X41;" << false << "invalid character reference";
    QTest::newRow("zero") << "&#0;" << false << "invalid character reference";
    QTest::newRow("beyond unicode") << "&#x110000;" << false << "invalid character reference";
    QTest::newRow("high surrogate") << "&#xD800;" << false << "invalid character reference";
    QTest::newRow("low surrogate decimal") << "&#57343;" << false << "invalid character reference";
    QTest::newRow("no digits") << "&#;" << false << "invalid character reference";
    QTest::newRow("overflow") << "&#9999999999;" << false << "invalid character reference";
    QTest::newRow("nbsp") << "&nbsp;" << false << "unknown entity &nbsp;";
    QTest::newRow("empty name") << "a&;b" << false << "unknown entity &;";
    QTest::newRow("no semicolon") << "fish & chips" << false << "malformed entity reference";
    QTest::newRow("semicolon too far") << "&abcdefghijkl;" << false << "malformed entity reference";
    QTest::newRow("eleven characters") << "&abcdefghijk;" << false << "unknown entity &abcdefghijk;";
}

void TestXsdtReader::entities()
{
    QFETCH(QString, raw);
    QFETCH(bool, ok);
    QFETCH(QString, result);
    QString decoded, error;
    QCOMPARE(decodeEntities(raw, &decoded, &error), ok);
    QCOMPARE(ok ? decoded : error, result);
}

void TestXsdtReader::valueForms()
{
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><v k=\"x\" t=\"i\" v=\"5\"/><v k=\"x\" t=\"i\">5</v><v k=\"e\" t=\"s\"></v>"
                       "<v k=\"m\" t=\"s\">line\n &amp; next </v></xsdt>"));
    QCOMPARE(file.root.children.size(), size_t(4));
    const XsdtNode &attribute = *file.root.children[0];
    const XsdtNode &text = *file.root.children[1];
    QCOMPARE(attribute.value, QStringLiteral("5"));
    QCOMPARE(text.value, QStringLiteral("5"));
    QVERIFY(!attribute.textForm && attribute.selfClosing);
    QVERIFY(text.textForm && !text.selfClosing);
    QCOMPARE(text.type, QChar(u'i'));
    const XsdtNode &empty = *file.root.children[2];
    QVERIFY(empty.textForm);
    QVERIFY(empty.value.isEmpty());
    QCOMPARE(file.root.children[3]->value, QStringLiteral("line\n & next "));
    QCOMPARE(file.root.children[3]->savedValue, file.root.children[3]->value);
}

void TestXsdtReader::itemForms()
{
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><i k=\"a\"/><i k=\"a\"></i><i k='q' ><v t=\"s\" k=\"v\" v=\"1\" /></i></xsdt>"));
    QCOMPARE(file.root.children.size(), size_t(3));
    QVERIFY(file.root.children[0]->selfClosing);
    QVERIFY(!file.root.children[1]->selfClosing);
    QVERIFY(file.root.children[1]->children.empty());
    QCOMPARE(file.root.children[2]->key, QStringLiteral("q"));
    QCOMPARE(file.root.findPath(u"q/v")->value, QStringLiteral("1"));
}

void TestXsdtReader::closingTagWhitespace()
{
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><i k=\"a\"><v k=\"b\" t=\"s\" v=\"1\"/></i >\n</xsdt >"));
    QCOMPARE(file.root.findPath(u"a/b")->value, QStringLiteral("1"));
    QVERIFY(!file.compactLayout);
}

void TestXsdtReader::compressedBlock()
{
    const QByteArray block = "\n <s u=\"100\">QUJD\nREVG</s>  <s  u=\"1948\" >R0hJ=</s>\n";
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><v k=\"w\" t=\"B\" c=\"zlib+sh\">" + block + "</v></xsdt>"));
    const XsdtNode &value = *file.root.children.front();
    const QString size = QLocale().formattedDataSize(2048, 2, QLocale::DataSizeIecFormat);
    QCOMPARE(value.value, QStringLiteral("(compressed zlib+sh block, %1 uncompressed)").arg(size));
    QCOMPARE(value.savedValue, value.value);
    QVERIFY(value.block);
    QCOMPARE(value.block->data, block);
    QCOMPARE(value.block->compression, QStringLiteral("zlib+sh"));
    QVERIFY(value.textForm);
    QVERIFY(!value.isEditableValue());
    QVERIFY(file.compactLayout);

    // The compression name is taken from the file and may look like a placeholder.
    QVERIFY(file.parse("<xsdt><v k=\"w\" t=\"B\" c=\"%2\"><s u=\"2048\">AA==</s></v></xsdt>"));
    QCOMPARE(file.root.children.front()->value, QStringLiteral("(compressed %2 block, %1 uncompressed)").arg(size));
}

// A block read with an empty "c" must still be written back as the block, not as its
// display text.
void TestXsdtReader::compressedBlockWithEmptyCompression()
{
    const QByteArray bytes = "<xsdt><v k=\"w\" t=\"s\" c=\"\"><s u=\"3\">QUJD</s></v></xsdt>";
    XsdtFile file;
    QVERIFY(file.parse(bytes));
    const XsdtNode &value = *file.root.children.front();
    QVERIFY(value.block);
    QVERIFY(!value.isEditableValue());
    QVERIFY(file.compactLayout);
    QCOMPARE(file.serialize(), bytes);
}

void TestXsdtReader::compressedSizeBeyondSignedRange()
{
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><v k=\"w\" t=\"B\" c=\"z\"><s u=\"9223372036854775807\">AA</s>"
                       "<s u=\"9223372036854775807\">AA</s><s u=\"99999999999999999999999\">AA</s></v></xsdt>"));
    const QString largest
        = QLocale().formattedDataSize(std::numeric_limits<qint64>::max(), 2, QLocale::DataSizeIecFormat);
    QCOMPARE(file.root.children.front()->value, QStringLiteral("(compressed z block, %1 uncompressed)").arg(largest));
    QVERIFY(!file.root.children.front()->value.contains(u'-'));
    // One size too large to count was shown as "0 bytes".
    QVERIFY(file.parse("<xsdt><v k=\"w\" t=\"B\" c=\"z\"><s u=\"99999999999999999999999\">AA</s></v></xsdt>"));
    QCOMPARE(file.root.children.front()->value, QStringLiteral("(compressed z block, %1 uncompressed)").arg(largest));
}

void TestXsdtReader::layout_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("compact");

    const QByteArray body = "<i k=\"G\"><v k=\"a\" t=\"s\" v=\"x &amp; y\"/><v k=\"b\" t=\"s\">two\nlines</v>"
                            "<i k=\"e\"/></i><v k=\"n\" t=\"i\" v=\"3\"/>";
    QTest::newRow("bare") << "<xsdt>" + body + "</xsdt>" << true;
    QTest::newRow("declaration and line breaks")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- kept -->\n<xsdt version=\"1.0\">" + body + "</xsdt>\n"
        << true;
    QTest::newRow("indented") << QByteArray("<xsdt>\n  <i k=\"G\">\n    <v k=\"a\" t=\"s\" v=\"x &amp; y\"/>\n"
                                            "    <v k=\"b\" t=\"s\">two\nlines</v>\n    <i k=\"e\"/>\n  </i>\n"
                                            "  <v k=\"n\" t=\"i\" v=\"3\"/>\n</xsdt>\n")
                              << false;
    QTest::newRow("single quotes") << QByteArray(body).replace("\"3\"", "'3'").prepend("<xsdt>").append("</xsdt>")
                                   << false;
    QTest::newRow("character reference")
        << QByteArray(body).replace("x &amp; y", "x &#38; y").prepend("<xsdt>").append("</xsdt>") << false;
    QTest::newRow("attribute order")
        << QByteArray(body).replace("k=\"n\" t=\"i\"", "t=\"i\" k=\"n\"").prepend("<xsdt>").append("</xsdt>") << false;
    QTest::newRow("unescaped quote in text")
        << QByteArray(body).replace("two", "t'o").prepend("<xsdt>").append("</xsdt>") << false;
    QTest::newRow("spaced root end") << "<xsdt>" + body + "</xsdt >" << false;
}

// Every layout parses to the same tree; only PixInsight's own is reported compact, and that
// one is written back byte for byte.
void TestXsdtReader::layout()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, compact);

    XsdtFile reference;
    QVERIFY(reference.parse("<xsdt><i k=\"G\"><v k=\"a\" t=\"s\" v=\"x &amp; y\"/><v k=\"b\" t=\"s\">two\nlines</v>"
                            "<i k=\"e\"/></i><v k=\"n\" t=\"i\" v=\"3\"/></xsdt>"));
    XsdtFile file;
    QString error;
    QVERIFY2(file.parse(input, &error), qPrintable(error));
    QCOMPARE(file.compactLayout, compact);
    if (!input.contains("t'o")) {
        QString where;
        QVERIFY2(sameTree(file.root, reference.root, &where), qPrintable(where));
    }
    if (compact)
        QCOMPARE(file.serialize(), input);
    XsdtFile again;
    QVERIFY(again.parse(file.serialize()));
    QVERIFY(again.compactLayout);
    QVERIFY(sameTree(again.root, file.root));
}

// A file is compact exactly when it writes back to its own bytes: in an attribute the writer
// puts tabs and line breaks as references, in text as they are.
void TestXsdtReader::whitespaceDecidesTheLayout_data()
{
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<bool>("compact");
    QTest::newRow("references in an attribute") << QByteArray("<v k=\"a&#9;\" t=\"s\" v=\"1&#10;2&#13;3\"/>") << true;
    QTest::newRow("raw line feed in an attribute") << QByteArray("<v k=\"a\" t=\"s\" v=\"1\n2\"/>") << false;
    QTest::newRow("raw tab in a key") << QByteArray("<i k=\"a\tb\"/>") << false;
    QTest::newRow("hexadecimal reference") << QByteArray("<v k=\"a\" t=\"s\" v=\"1&#xA;2\"/>") << false;
    QTest::newRow("raw line feed in text") << QByteArray("<v k=\"a\" t=\"s\">1\n2\t3</v>") << true;
    QTest::newRow("reference in text") << QByteArray("<v k=\"a\" t=\"s\">1&#10;2</v>") << false;
}

void TestXsdtReader::whitespaceDecidesTheLayout()
{
    QFETCH(QByteArray, element);
    QFETCH(bool, compact);
    const QByteArray bytes = "<xsdt>" + element + "</xsdt>";
    XsdtFile file;
    QString error;
    QVERIFY2(file.parse(bytes, &error), qPrintable(error));
    QCOMPARE(file.compactLayout, compact);
    QCOMPARE(file.serialize() == bytes, compact);
    XsdtFile again;
    QVERIFY(again.parse(file.serialize()));
    QVERIFY(again.compactLayout);
    QVERIFY(sameTree(again.root, file.root));
}

void TestXsdtReader::byteOrderMarkRoundTrips()
{
    const QByteArray bytes = "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<xsdt><v k=\"a\" t=\"s\" v=\"1\"/></xsdt>\n";
    XsdtFile file;
    QVERIFY(file.parse(bytes));
    QCOMPARE(file.head.at(0), QChar(0xFEFF));
    QVERIFY(file.compactLayout);
    QCOMPARE(file.serialize(), bytes);
}

void TestXsdtReader::invalidUtf8IsRecorded()
{
    const QByteArray bytes = "<xsdt>\n<v k=\"a\" t=\"s\" v=\"caf\xC3\xA9 \xFF\"/></xsdt>";
    XsdtFile file;
    QVERIFY(file.parse(bytes));
    QVERIFY(!file.validUtf8);
    QCOMPARE(file.invalidUtf8Line, 2);
    QCOMPARE(file.invalidUtf8Column, 24);
    QCOMPARE(file.root.children.front()->value, QString::fromUtf8("caf\xC3\xA9 \xEF\xBF\xBD"));
    QVERIFY(!file.compactLayout);

    XsdtFile clean;
    QVERIFY(clean.parse("<xsdt></xsdt>"));
    QVERIFY(clean.validUtf8);
}

void TestXsdtReader::failedParseDiscardsPreviousTree()
{
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><v k=\"a\" t=\"s\" v=\"1\"/></xsdt>"));
    QVERIFY(file.compactLayout);
    QVERIFY(!file.parse("<xsdt><v k=\"a\" t=\"s\" v=\"1\"/>"));
    QVERIFY(file.root.children.empty());
    QVERIFY(!file.compactLayout);
}

void TestXsdtReader::deepNestingIsRefused()
{
    const int depth = 100000;
    QByteArray bytes = "<xsdt>";
    for (int i = 0; i < depth; ++i)
        bytes += "<i k=\"a\">";
    for (int i = 0; i < depth; ++i)
        bytes += "</i>";
    bytes += "</xsdt>";
    QString error;
    XsdtFile file;
    QVERIFY(!file.parse(bytes, &error));
    QVERIFY2(error.startsWith(QStringLiteral("items nested more than 256 levels deep (line 1, column ")),
             qPrintable(error.left(80)));
    QVERIFY(file.root.children.empty());
}

void TestXsdtReader::nestingAtTheLimitParses()
{
    QByteArray bytes = "<xsdt>";
    for (int i = 0; i < XsdtReader::kMaxDepth; ++i)
        bytes += "<i k=\"a\">";
    bytes += "<v k=\"v\" t=\"s\" v=\"deep\"/>";
    for (int i = 0; i < XsdtReader::kMaxDepth; ++i)
        bytes += "</i>";
    bytes += "</xsdt>";
    XsdtFile file;
    QString error;
    QVERIFY2(file.parse(bytes, &error), qPrintable(error));
    QVERIFY(file.compactLayout);
    QCOMPARE(file.root.valueCount(), 1);
}

void TestXsdtReader::hugeAttribute()
{
    const QByteArray big(20 * 1024 * 1024, 'x');
    XsdtFile file;
    QVERIFY(file.parse("<xsdt><v k=\"a\" t=\"s\" v=\"" + big + "\"/></xsdt>"));
    QCOMPARE(file.root.children.front()->value.size(), big.size());
    QString error;
    QVERIFY(!file.parse("<xsdt><v k=\"a\" t=\"s\" v=\"" + big, &error));
    QCOMPARE(error, QStringLiteral("unterminated attribute value (line 1, column 25, in a)"));
}

// Mangled copies of a valid file: each either parses or reports a positioned message.
void TestXsdtReader::arbitraryBytesNeverCrash()
{
    const QByteArray seed = "<?xml version=\"1.0\"?>\n<xsdt><i k=\"G\"><v k=\"a\" t=\"s\" v=\"x &amp; y\"/>"
                            "<v k=\"w\" t=\"B\" c=\"z\"><s u=\"4\">QUJD</s></v><v k=\"b\" t=\"s\">t</v></i></xsdt>\n";
    quint32 state = 12345;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = seed;
        const int edits = 1 + int(next() % 4);
        for (int e = 0; e < edits; ++e) {
            const int at = int(next() % quint32(bytes.size()));
            switch (next() % 3) {
            case 0:
                bytes[at] = char(next() & 0xFF);
                break;
            case 1:
                bytes.remove(at, 1 + int(next() % 8));
                break;
            default:
                bytes.insert(at, bytes.mid(int(next() % quint32(bytes.size())), 1 + int(next() % 8)));
                break;
            }
        }
        XsdtFile file;
        QString error;
        if (!file.parse(bytes, &error)) {
            QVERIFY(!error.isEmpty());
            continue;
        }
        XsdtFile again;
        QVERIFY(again.parse(file.serialize(), &error));
        QVERIFY(sameTree(again.root, file.root));
        if (file.compactLayout)
            QCOMPARE(file.serialize(), bytes);
    }
}

void TestXsdtReader::everyTruncationIsReported()
{
    QFile input(QStringLiteral(PFW_SOURCE_DIR "/examples/core-001-pxi.settings"));
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    // Cutting the trailing line break still leaves a complete document.
    const qsizetype complete = bytes.lastIndexOf("</xsdt>") + 7;
    for (qsizetype length = 0; length < complete; length += 1 + length % 13) {
        XsdtFile file;
        QString error;
        QVERIFY2(!file.parse(bytes.left(length), &error), qPrintable(QString::number(length)));
        QVERIFY(!error.isEmpty());
        QVERIFY(file.root.children.empty());
    }
}

void TestXsdtReader::nulCharactersAreKept()
{
    const QByteArray bytes("<xsdt><v k=\"a\0\" t=\"s\" v=\"x\0y\"/><v k=\"b\" t=\"s\">\0</v></xsdt>", 58);
    XsdtFile file;
    QString error;
    QVERIFY2(file.parse(bytes, &error), qPrintable(error));
    QCOMPARE(file.root.children[0]->key, QString(QStringLiteral("a") + QChar(0)));
    QCOMPARE(file.root.children[0]->value.size(), 3);
    QCOMPARE(file.root.children[1]->value, QString(QChar(0)));
    QVERIFY(file.compactLayout);
    QCOMPARE(file.serialize(), bytes);
}

void TestXsdtReader::dataFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("compact");
    QTest::addColumn<QString>("probe"); // a path that must exist
    QTest::newRow("indented") << "indented.settings" << false << "Global/Preferences/Count";
    QTest::newRow("byte-order mark") << "bom.settings" << true << "Modules/Module01";
    QTest::newRow("compressed") << "compressed.settings" << true << "MainWindow/Layout";
    QTest::newRow("invalid UTF-8") << "invalid-utf8.settings" << false << "Global/a";
}

// The files under tests/data also seed the fuzzer.
void TestXsdtReader::dataFiles()
{
    QFETCH(QString, name);
    QFETCH(bool, compact);
    QFETCH(QString, probe);
    QFile input(QStringLiteral(PFW_TEST_DATA "/") + name);
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    XsdtFile file;
    QString error;
    QVERIFY2(file.parse(bytes, &error), qPrintable(error));
    QCOMPARE(file.compactLayout, compact);
    QVERIFY(file.root.findPath(probe));
    const QByteArray written = file.serialize();
    QCOMPARE(written == bytes, compact);
    XsdtFile again;
    QVERIFY(again.parse(written));
    QVERIFY(again.compactLayout);
    QVERIFY(sameTree(file.root, again.root));
    QCOMPARE(again.head, file.head);
    QCOMPARE(again.tail, file.tail);
}

QTEST_GUILESS_MAIN(TestXsdtReader)
#include "tst_xsdtreader.moc"
