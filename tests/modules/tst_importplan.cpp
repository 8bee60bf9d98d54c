#include "core/xsdtfile.h"
#include "core/xsdtnode.h"
#include "modules/importplan.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QTest>

using pfw::ImportPlan;

namespace {

const QByteArray kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\">";

QByteArray document(const QByteArray &process, const QByteArray &more = QByteArray())
{
    return kHead + "<i k=\"Global\"><i k=\"Preferences\"><i k=\"Process\">" + process + "</i></i></i>" + more
        + "</xsdt>\n";
}

} // namespace

class TestImportPlan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void statusOfEachEntry_data();
    void statusOfEachEntry();
    void applyingIsPendingUntilSaved();
    void replaceStaysInTheGroupsTheSnippetHolds();
    void replaceKeepsThisComputersOwn();
    void namesakesAreNeverTakenForOneAnother_data();
    void namesakesAreNeverTakenForOneAnother();
    void pathRewrites_data();
    void pathRewrites();
    void suggestedRewrite_data();
    void suggestedRewrite();

private:
    pfw::SettingsSchema m_schema;
    pfw::DeletionPolicy m_policy;
};

void TestImportPlan::initTestCase()
{
    QString error;
    QVERIFY2(m_schema.loadBuiltIn(&error) && m_policy.loadBuiltIn(&error), qPrintable(error));
}

void TestImportPlan::statusOfEachEntry_data()
{
    QTest::addColumn<QByteArray>("here");
    QTest::addColumn<QByteArray>("incoming");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    const QByteArray consoleLines = "<v k=\"MaxConsoleLines\" t=\"i\" v=\"20000\"/>";
    QTest::newRow("same") << document(consoleLines) << document(consoleLines) << int(ImportPlan::Entry::Same)
                          << QString();
    QTest::newRow("same once normalised")
        << document(consoleLines) << document("<v k=\"MaxConsoleLines\" t=\"i\" v=\"+20000\"/>")
        << int(ImportPlan::Entry::Same) << QString();
    QTest::newRow("different") << document(consoleLines) << document("<v k=\"MaxConsoleLines\" t=\"i\" v=\"5\"/>")
                               << int(ImportPlan::Entry::Different) << QString();
    QTest::newRow("new") << document(QByteArray()) << document(consoleLines) << int(ImportPlan::Entry::New)
                         << QString();
    QTest::newRow("out of range") << document("<v k=\"MaxModuleThreadPriority\" t=\"i\" v=\"3\"/>")
                                  << document("<v k=\"MaxModuleThreadPriority\" t=\"i\" v=\"9\"/>")
                                  << int(ImportPlan::Entry::Refused) << QStringLiteral("range");
    QTest::newRow("new out of range") << document(QByteArray())
                                      << document("<v k=\"MaxModuleThreadPriority\" t=\"i\" v=\"9\"/>")
                                      << int(ImportPlan::Entry::Refused) << QStringLiteral("range");
    QTest::newRow("another type") << document(consoleLines) << document("<v k=\"MaxConsoleLines\" t=\"s\" v=\"5\"/>")
                                  << int(ImportPlan::Entry::Refused) << QStringLiteral("another type");
    const auto processors = [](const char *count) {
        return kHead + "<i k=\"Global\"><i k=\"System\"><v k=\"NumberOfProcessors\" t=\"i\" v=\"" + count
            + "\"/></i></i></xsdt>";
    };
    QTest::newRow("read-only") << processors("8") << processors("64") << int(ImportPlan::Entry::Refused)
                               << QStringLiteral("read-only");
    QTest::newRow("locked") << (kHead + "<i k=\"Modules\"><v k=\"Module01\" t=\"s\" v=\"a\"/></i></xsdt>")
                            << (kHead + "<i k=\"Modules\"><v k=\"Module01\" t=\"s\" v=\"b\"/></i></xsdt>")
                            << int(ImportPlan::Entry::Refused) << QStringLiteral("locked");
    QTest::newRow("a group here") << document("<i k=\"MaxConsoleLines\"/>") << document(consoleLines)
                                  << int(ImportPlan::Entry::Refused) << QStringLiteral("group");
    // No path could name what these would make; a second key of one name would become a duplicate.
    QTest::newRow("a key with a slash") << document(QByteArray()) << document("<v k=\"Max/Lines\" t=\"i\" v=\"5\"/>")
                                        << int(ImportPlan::Entry::Refused) << QStringLiteral("/");
    QTest::newRow("an empty key") << document(QByteArray()) << document("<v k=\"\" t=\"i\" v=\"5\"/>")
                                  << int(ImportPlan::Entry::Refused) << QStringLiteral("empty");
    // PixInsight makes room for what a block says it holds before it reads it.
    const auto block = [](const QByteArray &compression, const QByteArray &size) {
        return document("<v k=\"Layout\" t=\"B\" c=\"" + compression + "\"><s u=\"" + size + "\">AAAA</s></v>");
    };
    QTest::newRow("a block") << document(QByteArray()) << block("zlib", "10") << int(ImportPlan::Entry::New)
                             << QString();
    QTest::newRow("a block of an unknown compression")
        << document(QByteArray()) << block("foo", "10") << int(ImportPlan::Entry::Refused) << QStringLiteral("foo");
    QTest::newRow("a block that says it holds gigabytes")
        << document(QByteArray()) << block("zlib", "4294967295") << int(ImportPlan::Entry::Refused)
        << QStringLiteral("more than its data can");
    QTest::newRow("a block of many tiny chunks")
        << document(QByteArray())
        << document("<v k=\"Layout\" t=\"B\" c=\"zlib\"><s u=\"20000\">QUFB</s><s u=\"20000\">"
                    "QUFB</s></v>")
        << int(ImportPlan::Entry::Refused) << QStringLiteral("more than its data can");
    // Which of PixInsight's instances a file belongs to is no setting to carry to another.
    QTest::newRow("the instance number")
        << (kHead
            + "<i k=\"Global\"><i k=\"Preferences\"><i k=\"Application\"><v k=\"Instance\" t=\"i\" v=\"2\"/>"
              "</i></i></i></xsdt>")
        << (kHead
            + "<i k=\"Global\"><i k=\"Preferences\"><i k=\"Application\"><v k=\"Instance\" t=\"i\" v=\"1\"/>"
              "</i></i></i></xsdt>")
        << int(ImportPlan::Entry::Refused) << QStringLiteral("instance");
    QTest::newRow("a block size beyond any number")
        << document(QByteArray()) << block("zlib", "99999999999999999999") << int(ImportPlan::Entry::Refused)
        << QStringLiteral("more than its data can");
}

void TestImportPlan::statusOfEachEntry()
{
    QFETCH(QByteArray, here);
    QFETCH(QByteArray, incoming);
    QFETCH(int, status);
    QFETCH(QString, reason);
    pfw::XsdtFile target, snippet;
    QString error;
    QVERIFY2(target.parse(here, &error), qPrintable(error));
    QVERIFY2(snippet.parse(incoming, &error), qPrintable(error));
    ImportPlan plan(&m_schema, &m_policy);
    plan.compute(snippet.root, target.root);
    QCOMPARE(plan.entries().size(), 1);
    const ImportPlan::Entry &entry = plan.entries().first();
    QCOMPARE(int(entry.status), status);
    QVERIFY2(entry.reason.contains(reason), qPrintable(entry.reason));
    // Whatever is refused or the same leaves the tree alone.
    const QByteArray before = target.serialize();
    plan.apply(target.root, {0}, {});
    if (status == ImportPlan::Entry::Refused || status == ImportPlan::Entry::Same) {
        QCOMPARE(target.serialize(), before);
        QCOMPARE(target.root.pendingChangeCount(), 0);
    } else {
        QCOMPARE(target.root.pendingChangeCount(), 1);
    }
}

// New groups and values are pending changes like any other: a revert takes them out, a commit
// keeps them, and what is written reads back as the snippet held it.
void TestImportPlan::applyingIsPendingUntilSaved()
{
    pfw::XsdtFile target, snippet;
    QVERIFY(target.parse(document("<v k=\"MaxConsoleLines\" t=\"i\" v=\"20000\"/>")));
    const QByteArray original = target.serialize();
    const QByteArray module = "<i k=\"ModuleData\"><i k=\"Mirelux\"><v k=\"P\" t=\"s\" v=\"a\"/><v k=\"P\" t=\"s\" "
                              "v=\"b\"/><i k=\"Empty\"/></i></i>";
    QVERIFY(snippet.parse(document("<v k=\"MaxConsoleLines\" t=\"i\" v=\"7\"/>", module)));
    ImportPlan plan(&m_schema, &m_policy);
    plan.compute(snippet.root, target.root);
    QCOMPARE(plan.changeCount(), 4);
    QCOMPARE(plan.apply(target.root, plan.applicableEntries(), {}), 4);
    // The changed value, and the one new group.
    QCOMPARE(target.root.pendingChangeCount(), 2);
    const QByteArray imported = target.serialize();
    target.root.revertAll();
    QCOMPARE(target.serialize(), original);
    QCOMPARE(target.root.pendingChangeCount(), 0);
    plan.compute(snippet.root, target.root);
    plan.apply(target.root, plan.applicableEntries(), {});
    target.root.commitChanges();
    QCOMPARE(target.root.pendingChangeCount(), 0);
    QCOMPARE(target.serialize(), imported);
    QCOMPARE(imported, snippet.serialize());
    // Applied again, nothing is left to do.
    plan.compute(snippet.root, target.root);
    QCOMPARE(plan.changeCount(), 0);
}

void TestImportPlan::replaceStaysInTheGroupsTheSnippetHolds()
{
    pfw::XsdtFile target, snippet;
    QVERIFY(target.parse(document("<v k=\"MaxConsoleLines\" t=\"i\" v=\"1\"/><v k=\"ConsoleDelay\" t=\"i\" v=\"2\"/>",
                                  "<i k=\"Global\"/>")
                             .replace("</i></i></i>",
                                      "</i><i k=\"Application\"><v k=\"A\" t=\"b\" v=\"true\"/></i></i>"
                                      "<i k=\"Statistics\"><v k=\"N\" t=\"i\" v=\"3\"/></i></i>")));
    QVERIFY(snippet.parse(document("<v k=\"MaxConsoleLines\" t=\"i\" v=\"1\"/>")));
    ImportPlan plan(&m_schema, &m_policy);
    plan.setReplace(true);
    plan.compute(snippet.root, target.root);
    // Only the Process group holds values in the snippet; Global and Preferences lead to it.
    QCOMPARE(plan.removals().size(), 1);
    const ImportPlan::Removal &removal = plan.removals().first();
    QCOMPARE(removal.path, QStringLiteral("Global/Preferences/Process/ConsoleDelay"));
    // A preference is protected from deletion by the rules, so it stays.
    QVERIFY(!removal.allowed);
    QVERIFY(plan.applicableRemovals(true).isEmpty());
}

// A snippet for another computer leaves out window geometry and the like; replacing its groups
// must not take this computer's own away.
void TestImportPlan::replaceKeepsThisComputersOwn()
{
    const auto module = [](const QByteArray &values) {
        return kHead + "<i k=\"StarAlignment\"><i k=\"Interfaces\"><i k=\"StarAlignmentInterface\">" + values
            + "</i></i></i></xsdt>\n";
    };
    pfw::XsdtFile target, snippet;
    QVERIFY(target.parse(module("<v k=\"Docked\" t=\"b\" v=\"true\"/><v k=\"Geometry\" t=\"s\" v=\"1,2,3,4\"/>")));
    QVERIFY(snippet.parse(module("<v k=\"Docked\" t=\"b\" v=\"false\"/>")));
    ImportPlan plan(&m_schema, &m_policy);
    plan.setReplace(true);
    plan.compute(snippet.root, target.root);
    QVERIFY(plan.removals().isEmpty());
    QCOMPARE(plan.changeCount(), 1);

    // Nor is a group that holds such a value taken away whole.
    const QByteArray mirelux = "<i k=\"ModuleData\"><i k=\"Mirelux\"><v k=\"Strength\" t=\"F\" v=\"0.6\"/>";
    QVERIFY(
        target.parse(kHead + mirelux
                     + "<i k=\"Interfaces\"><i k=\"MireluxInterface\"><v k=\"Geometry\" t=\"s\" v=\"1,2,3,4\"/></i></i>"
                       "</i></i></xsdt>\n"));
    QVERIFY(snippet.parse(kHead + mirelux + "</i></i></xsdt>\n"));
    plan.compute(snippet.root, target.root);
    QVERIFY(plan.removals().isEmpty());
}

void TestImportPlan::namesakesAreNeverTakenForOneAnother_data()
{
    QTest::addColumn<QByteArray>("here");
    QTest::addColumn<QByteArray>("incoming");
    QTest::addColumn<QByteArray>("expected");
    const auto file = [](const QByteArray &groups) { return kHead + "<i k=\"G\">" + groups + "</i></xsdt>\n"; };
    const QByteArray a = "<i k=\"K\"><v k=\"a\" t=\"s\" v=\"1\"/></i>";
    const QByteArray b = "<i k=\"K\"><v k=\"b\" t=\"s\" v=\"2\"/></i>";
    const QByteArray bc = "<i k=\"K\"><v k=\"b\" t=\"s\" v=\"2\"/><v k=\"c\" t=\"s\" v=\"3\"/></i>";
    QTest::newRow("the second of two groups") << file(a + b) << file(a + bc) << file(a + bc);
    const QByteArray value = "<v k=\"K\" t=\"s\" v=\"x\"/>";
    QTest::newRow("a group beside a value of its name") << file(value + b) << file(value + bc) << file(value + bc);
}

// A new entry goes into the group it was found in, not into the first of that name.
void TestImportPlan::namesakesAreNeverTakenForOneAnother()
{
    QFETCH(QByteArray, here);
    QFETCH(QByteArray, incoming);
    QFETCH(QByteArray, expected);
    pfw::XsdtFile target, snippet;
    QVERIFY(target.parse(here));
    QVERIFY(snippet.parse(incoming));
    ImportPlan plan(&m_schema, &m_policy);
    plan.compute(snippet.root, target.root);
    QCOMPARE(plan.applicableEntries().size(), 1);
    QCOMPARE(plan.apply(target.root, plan.applicableEntries(), {}), 1);
    QCOMPARE(target.serialize(), expected);
}

void TestImportPlan::pathRewrites_data()
{
    QTest::addColumn<QString>("map");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("rewritten");
    const QString bias = QStringLiteral("D:/Astro/masters/bias.xisf");
    QTest::newRow("folder") << QStringLiteral("D:/Astro=/home/a") << bias
                            << QStringLiteral("/home/a/masters/bias.xisf");
    QTest::newRow("folder with a separator")
        << QStringLiteral("D:/Astro/=/home/a") << bias << QStringLiteral("/home/a/masters/bias.xisf");
    QTest::newRow("other separator and case")
        << QStringLiteral("d:\\astro=/home/a") << bias << QStringLiteral("/home/a/masters/bias.xisf");
    QTest::newRow("a drive") << QStringLiteral("D:\\=/home/a") << bias
                             << QStringLiteral("/home/a/Astro/masters/bias.xisf");
    QTest::newRow("a name that only begins alike") << QStringLiteral("D:/Ast=/home/a") << bias << bias;
    QTest::newRow("the top of a file system")
        << QStringLiteral("/=/mnt/old") << QStringLiteral("/home/b/x") << QStringLiteral("/mnt/old/home/b/x");
    QTest::newRow("to Windows") << QStringLiteral("/home/b=C:\\Users\\B") << QStringLiteral("/home/b/x/y")
                                << QStringLiteral("C:\\Users\\B\\x\\y");
    QTest::newRow("not a path") << QStringLiteral("/=/mnt") << QStringLiteral("a/b") << QStringLiteral("a/b");
    QTest::newRow("onto the top of a file system")
        << QStringLiteral("D:/Astro/processed=/") << QStringLiteral("D:/Astro/processed") << QStringLiteral("/");
}

void TestImportPlan::pathRewrites()
{
    QFETCH(QString, map);
    QFETCH(QString, text);
    QFETCH(QString, rewritten);
    pfw::XsdtFile target, snippet;
    QVERIFY(target.parse(document("<v k=\"P\" t=\"s\" v=\"\"/>")));
    QVERIFY(snippet.parse(document("<v k=\"P\" t=\"s\" v=\"" + text.toUtf8() + "\"/>")));
    ImportPlan::PathMap parsed;
    QVERIFY(ImportPlan::parsePathMap(map, &parsed));
    ImportPlan plan(&m_schema, &m_policy);
    plan.setPathMaps({parsed});
    plan.compute(snippet.root, target.root);
    QCOMPARE(plan.entries().size(), 1);
    QCOMPARE(plan.entries().first().incoming, rewritten);
}

void TestImportPlan::suggestedRewrite_data()
{
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<QString>("from");
    QTest::newRow("one user's folders") << QStringList{QStringLiteral("C:/Users/Astro/cat/a.bin"),
                                                       QStringLiteral("c:/users/astro/Pictures/b.xisf")}
                                        << QStringLiteral("C:/Users/Astro");
    QTest::newRow("Linux home") << QStringList{QStringLiteral("/home/astro/x/a"), QStringLiteral("/home/astro/y/b")}
                                << QStringLiteral("/home/astro");
    QTest::newRow("only a drive in common")
        << QStringList{QStringLiteral("C:/a/x"), QStringLiteral("C:/b/y")} << QString();
}

void TestImportPlan::suggestedRewrite()
{
    QFETCH(QStringList, missing);
    QFETCH(QString, from);
    const ImportPlan::PathMap map = ImportPlan::suggestMap(missing, {QStringLiteral("/home/me")});
    QCOMPARE(map.from, from);
    QCOMPARE(map.to, from.isEmpty() ? QString() : QStringLiteral("/home/me"));
}

QTEST_GUILESS_MAIN(TestImportPlan)
#include "tst_importplan.moc"
