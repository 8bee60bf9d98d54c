#include "core/xsdtnode.h"
#include "platform/hostenvironment.h"
#include "ui/dialogs/aboutdialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

using namespace pfw;

class TestAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void recordedVersion_data();
    void recordedVersion();
    void detailsWithoutAFile();
    void copyDetails();
    void userGuideIsRewrittenEachTime();
};

namespace {

void addChild(XsdtNode &root, const QString &key, XsdtNode::Kind kind, const QString &value = QString())
{
    auto node = std::make_unique<XsdtNode>();
    node->kind = kind;
    node->key = key;
    node->value = value;
    node->savedValue = value;
    root.appendChild(std::move(node));
}

HostEnvironment linuxEnvironment()
{
    HostEnvironment environment;
    environment.flavour = PlatformFlavour::Linux;
    environment.home = QStringLiteral("/home/tester");
    environment.genericConfig = QStringLiteral("/home/tester/.config");
    return environment;
}

} // namespace

void TestAboutDialog::recordedVersion_data()
{
    QTest::addColumn<QStringList>("children"); // key=value, or key/ for a group
    QTest::addColumn<QString>("expected");
    QTest::newRow("both") << QStringList{"PixInsight=1.8.9", "LastVersion=1.8.9-2"} << "1.8.9 [1.8.9-2]";
    QTest::newRow("only the last") << QStringList{"LastVersion=1.8.9-2"} << "1.8.9-2";
    QTest::newRow("empty last") << QStringList{"PixInsight=1.9.0", "LastVersion="} << "1.9.0";
    QTest::newRow("first one counts") << QStringList{"PixInsight=1.8.8", "PixInsight=2.0"} << "1.8.8";
    QTest::newRow("a group is not a value") << QStringList{"PixInsight/", "PixInsight=1.8.8"} << "";
    QTest::newRow("neither") << QStringList{"Other=1"} << "";
}

void TestAboutDialog::recordedVersion()
{
    QFETCH(QStringList, children);
    QFETCH(QString, expected);
    XsdtNode root;
    for (const QString &child : children) {
        if (child.endsWith(u'/'))
            addChild(root, child.chopped(1), XsdtNode::Item);
        else
            addChild(root, child.section(u'=', 0, 0), XsdtNode::Value, child.section(u'=', 1));
    }
    QCOMPARE(AboutDialog::recordedVersion(root), expected);
}

void TestAboutDialog::detailsWithoutAFile()
{
    AboutDialog dialog(QString(), QString(), linuxEnvironment());
    const QStringList lines = dialog.details().split(u'\n');
    QCOMPARE(lines.size(), 7);
    QVERIFY2(QRegularExpression(QStringLiteral("^Prefwright 0\\.1\\.3 \\(source ([0-9a-f]{7}|unknown)\\)$"))
                 .match(lines[0])
                 .hasMatch(),
             qPrintable(lines[0]));
    QCOMPARE(lines[1], QStringLiteral("Qt ") + QString::fromLatin1(qVersion()));
    QVERIFY(lines[2].startsWith(QLatin1String("System: ")));
    QCOMPARE(lines[3], QStringLiteral("Open file: none"));
    QCOMPARE(lines[4], QStringLiteral("PixInsight recorded in the file: unknown"));
    // Folders are shown the system's way: backslashes on Windows.
    const QString searched
        = QStringLiteral("Settings folders searched: ") + QDir::toNativeSeparators(QStringLiteral("/home/tester/"));
    QVERIFY2(lines[5].startsWith(searched), qPrintable(lines[5]));
    QCOMPARE(lines[6], QStringLiteral("Licence: GNU General Public License, version 3 or later (GPL-3.0-or-later)"));
}

void TestAboutDialog::copyDetails()
{
    AboutDialog dialog(QStringLiteral("/data/core-001-pxi.settings"), QStringLiteral("1.8.9 [1.8.9-2]"),
                       linuxEnvironment());
    QPushButton *copy = nullptr;
    for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (button->text() == u"Copy details")
            copy = button;
    }
    QVERIFY(copy);
    copy->click();
    QCOMPARE(copy->text(), QStringLiteral("Copied"));
    QCOMPARE(QApplication::clipboard()->text(), dialog.details());
    const QString expected = QStringLiteral("\nOpen file: ")
        + QDir::toNativeSeparators(QStringLiteral("/data/core-001-pxi.settings"))
        + QStringLiteral("\nPixInsight recorded in the file: 1.8.9 [1.8.9-2]\n");
    QVERIFY2(dialog.details().contains(expected), qPrintable(dialog.details()));
}

void TestAboutDialog::userGuideIsRewrittenEachTime()
{
    QList<QUrl> opened;
    const auto opener = [&opened](const QUrl &url) {
        opened << url;
        return true;
    };
    QVERIFY(AboutDialog::openUserGuide(opener));
    QFile guide(AboutDialog::userGuidePath());
    QVERIFY(guide.open(QIODevice::WriteOnly | QIODevice::Truncate));
    guide.write("stale");
    guide.close();
    QVERIFY(AboutDialog::openUserGuide(opener));
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened.at(1), QUrl::fromLocalFile(AboutDialog::userGuidePath()));
    QVERIFY(guide.open(QIODevice::ReadOnly));
    const QByteArray page = guide.readAll();
    QVERIFY(page.contains("<title>Prefwright - User Guide</title>"));
    QVERIFY(page.contains("id=\"deleting\""));
    QVERIFY(page.endsWith("</html>\n"));
    QVERIFY(!AboutDialog::openUserGuide([](const QUrl &) { return false; }));
}

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
