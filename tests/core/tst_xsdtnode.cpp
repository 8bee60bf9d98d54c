#include "core/xsdtfile.h"

#include <QTest>

using namespace pfw;

class TestXsdtNode : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void paths_data();
    void paths();
    void duplicateKeys();
    void valueLists();
    void editable_data();
    void editable();
    void editInsideDeletedItem();
    void deletionInsideDeletionIsNotListed();
    void revertAllRestoresBytes();
    void commitKeepsOrderAndDropsDeleted();
    void sameTreeReportsFirstDifference_data();
    void sameTreeReportsFirstDifference();
    void deepTreeDestruction();

private:
    XsdtFile m_file;
    QByteArray m_bytes;
};

void TestXsdtNode::init()
{
    m_bytes = "<?xml version=\"1.0\"?>\n<xsdt><i k=\"Global\"><i k=\"Preferences\"><i k=\"Process\">"
              "<v k=\"MaxProcessors\" t=\"i\" v=\"8\"/><v k=\"Label\" t=\"s\">x</v></i></i></i>"
              "<i k=\"Dup\"><v k=\"k\" t=\"s\" v=\"first\"/><v k=\"k\" t=\"s\" v=\"second\"/></i>"
              "<i k=\"Empty\"/><v k=\"LastVersion\" t=\"s\" v=\"1.9\"/></xsdt>\n";
    QVERIFY(m_file.parse(m_bytes));
    QVERIFY(m_file.compactLayout);
}

void TestXsdtNode::paths_data()
{
    QTest::addColumn<QString>("lookup");
    QTest::addColumn<QString>("found"); // path of the node found, or "null"
    QTest::newRow("value") << "Global/Preferences/Process/MaxProcessors"
                           << "Global/Preferences/Process/MaxProcessors";
    QTest::newRow("extra slashes") << "/Global//Preferences/"
                                   << "Global/Preferences";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("only slashes") << "//"
                                  << "";
    QTest::newRow("top-level value") << "LastVersion"
                                     << "LastVersion";
    QTest::newRow("case matters") << "global"
                                  << "null";
    QTest::newRow("below a value") << "LastVersion/x"
                                   << "null";
    QTest::newRow("missing") << "Global/Nope"
                             << "null";
}

void TestXsdtNode::paths()
{
    QFETCH(QString, lookup);
    QFETCH(QString, found);
    const XsdtNode *node = m_file.root.findPath(lookup);
    QCOMPARE(node ? node->path() : QStringLiteral("null"), found);
}

void TestXsdtNode::duplicateKeys()
{
    const XsdtNode *dup = m_file.root.childByKey(u"Dup");
    QVERIFY(dup);
    QCOMPARE(m_file.root.findPath(u"Dup/k")->value, QStringLiteral("first"));
    QCOMPARE(dup->valueCount(), 2);
    QCOMPARE(dup->children[1]->indexInParent(), 1);
    QCOMPARE(m_file.root.indexInParent(), 0);
    dup->children[0]->deleted = true;
    dup->children[1]->deleted = true;
    QCOMPARE(m_file.root.pendingDeletions().size(), 2);
    QVERIFY(m_file.serialize().contains("<i k=\"Dup\"></i>"));
}

void TestXsdtNode::valueLists()
{
    QCOMPARE(m_file.root.valueCount(), 5);
    QCOMPARE(m_file.root.childByKey(u"Empty")->valueCount(), 0);
    QStringList keys;
    for (const XsdtNode *node : m_file.root.valueNodes())
        keys << node->key;
    QCOMPARE(keys,
             QStringList({QStringLiteral("MaxProcessors"), QStringLiteral("Label"), QStringLiteral("k"),
                          QStringLiteral("k"), QStringLiteral("LastVersion")}));
    const XsdtNode *single = m_file.root.childByKey(u"LastVersion");
    QCOMPARE(single->valueNodes(), QList<XsdtNode *>{const_cast<XsdtNode *>(single)});
}

void TestXsdtNode::editable_data()
{
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<bool>("editable");
    QTest::newRow("bool") << QByteArray("<v k=\"a\" t=\"b\" v=\"true\"/>") << true;
    QTest::newRow("single") << QByteArray("<v k=\"a\" t=\"f\" v=\"1\"/>") << true;
    QTest::newRow("string text") << QByteArray("<v k=\"a\" t=\"s\">x</v>") << true;
    QTest::newRow("time") << QByteArray("<v k=\"a\" t=\"t\" v=\"1\"/>") << false;
    QTest::newRow("block text") << QByteArray("<v k=\"a\" t=\"B\">QUJD</v>") << false;
    QTest::newRow("unknown code") << QByteArray("<v k=\"a\" t=\"x\" v=\"1\"/>") << false;
    QTest::newRow("compressed string") << QByteArray("<v k=\"a\" t=\"s\" c=\"z\"><s u=\"1\">QQ==</s></v>") << false;
    QTest::newRow("item") << QByteArray("<i k=\"a\"/>") << false;
}

void TestXsdtNode::editable()
{
    QFETCH(QByteArray, element);
    QFETCH(bool, editable);
    XsdtFile file;
    QVERIFY(file.parse("<xsdt>" + element + "</xsdt>"));
    QCOMPARE(file.root.children.front()->isEditableValue(), editable);
}

void TestXsdtNode::editInsideDeletedItem()
{
    XsdtNode *process = m_file.root.findPath(u"Global/Preferences/Process");
    process->children[0]->value = QStringLiteral("4");
    QCOMPARE(m_file.root.editedValues().size(), 1);
    process->deleted = true;
    QVERIFY(m_file.root.editedValues().isEmpty());
    QCOMPARE(m_file.root.pendingDeletions(), QList<XsdtNode *>{process});
    QCOMPARE(m_file.root.pendingChangeCount(), 1);
    QVERIFY(process->children[0]->isInsideDeleted());
    QVERIFY(!process->parent->isInsideDeleted());
}

void TestXsdtNode::deletionInsideDeletionIsNotListed()
{
    XsdtNode *global = m_file.root.childByKey(u"Global");
    global->deleted = true;
    m_file.root.findPath(u"Global/Preferences/Process/Label")->deleted = true;
    m_file.root.childByKey(u"LastVersion")->deleted = true;
    QCOMPARE(m_file.root.pendingDeletions().size(), 2);
    QCOMPARE(m_file.root.pendingChangeCount(), 2);
}

void TestXsdtNode::revertAllRestoresBytes()
{
    m_file.root.findPath(u"Global/Preferences/Process/MaxProcessors")->value = QStringLiteral("2");
    m_file.root.findPath(u"Global/Preferences/Process/Label")->value = QStringLiteral("changed");
    m_file.root.childByKey(u"Dup")->deleted = true;
    m_file.root.findPath(u"Global/Preferences")->deleted = true;
    QCOMPARE(m_file.root.pendingChangeCount(), 2);
    m_file.root.revertAll();
    QCOMPARE(m_file.root.pendingChangeCount(), 0);
    QCOMPARE(m_file.serialize(), m_bytes);
}

void TestXsdtNode::commitKeepsOrderAndDropsDeleted()
{
    XsdtNode *max = m_file.root.findPath(u"Global/Preferences/Process/MaxProcessors");
    max->value = QStringLiteral("4");
    m_file.root.findPath(u"Global/Preferences/Process/Label")->deleted = true;
    m_file.root.childByKey(u"Dup")->children[0]->deleted = true;
    m_file.root.childByKey(u"Empty")->deleted = true;
    const QByteArray expected = m_file.serialize();
    m_file.root.commitChanges();
    QCOMPARE(m_file.root.pendingChangeCount(), 0);
    QCOMPARE(max->savedValue, QStringLiteral("4"));
    QCOMPARE(m_file.serialize(), expected);
    QCOMPARE(m_file.root.findPath(u"Dup/k")->value, QStringLiteral("second"));
    QVERIFY(!m_file.root.childByKey(u"Empty"));
    QCOMPARE(m_file.root.children.back()->key, QStringLiteral("LastVersion"));
    for (const auto &child : m_file.root.children)
        QCOMPARE(child->parent, &m_file.root);
}

void TestXsdtNode::sameTreeReportsFirstDifference_data()
{
    QTest::addColumn<QByteArray>("other");
    QTest::addColumn<bool>("same");
    QTest::addColumn<QString>("where");
    const QByteArray base = "<i k=\"G\"><v k=\"a\" t=\"s\" v=\"1\"/><v k=\"b\" t=\"i\" v=\"2\"/></i>";
    QTest::newRow("equal, other form") << QByteArray(
        "<i k=\"G\"><v k=\"a\" t=\"s\">1</v><v k=\"b\" t=\"i\" v=\"2\"/></i>")
                                       << true << "";
    QTest::newRow("value differs") << QByteArray(base).replace("v=\"2\"", "v=\"3\"") << false << "G/b";
    QTest::newRow("type differs") << QByteArray(base).replace("t=\"i\"", "t=\"u\"") << false << "G/b";
    QTest::newRow("key differs") << QByteArray(base).replace("k=\"a\"", "k=\"A\"") << false << "G/a";
    QTest::newRow("child missing") << QByteArray("<i k=\"G\"><v k=\"a\" t=\"s\" v=\"1\"/></i>") << false << "G";
    QTest::newRow("top level longer") << base + "<i k=\"H\"/>" << false << "";
    QTest::newRow("kind differs") << QByteArray("<i k=\"G\"><i k=\"a\"/><v k=\"b\" t=\"i\" v=\"2\"/></i>") << false
                                  << "G/a";
}

void TestXsdtNode::sameTreeReportsFirstDifference()
{
    QFETCH(QByteArray, other);
    QFETCH(bool, same);
    QFETCH(QString, where);
    XsdtFile a, b;
    QVERIFY(a.parse("<xsdt><i k=\"G\"><v k=\"a\" t=\"s\" v=\"1\"/><v k=\"b\" t=\"i\" v=\"2\"/></i></xsdt>"));
    QVERIFY(b.parse("<xsdt>" + other + "</xsdt>"));
    QString path = QStringLiteral("untouched");
    QCOMPARE(sameTree(a.root, b.root, &path), same);
    QCOMPARE(path, same ? QStringLiteral("untouched") : where);
}

void TestXsdtNode::deepTreeDestruction()
{
    auto root = std::make_unique<XsdtNode>();
    XsdtNode *tip = root.get();
    for (int i = 0; i < 200000; ++i) {
        auto child = std::make_unique<XsdtNode>();
        child->key = QStringLiteral("a");
        tip = tip->appendChild(std::move(child));
    }
    QCOMPARE(tip->parent->key, QStringLiteral("a"));
    root.reset(); // must not exhaust the stack
    QVERIFY(!root);
}

QTEST_GUILESS_MAIN(TestXsdtNode)
#include "tst_xsdtnode.moc"
