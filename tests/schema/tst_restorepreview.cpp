#include "core/xsdtfile.h"
#include "schema/restorepreview.h"
#include "schema/settingsschema.h"

#include <QTest>

using namespace pfw;

// The last question before a restore says what it does, in the user's words, and stays a
// readable size whatever the backup holds.
class TestRestorePreview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void says_data();
    void says();
    void aLongListIsCut();

private:
    SettingsSchema m_schema;
};

void TestRestorePreview::initTestCase()
{
    QString error;
    QVERIFY2(m_schema.loadBuiltIn(&error), qPrintable(error));
}

void TestRestorePreview::says_data()
{
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<QByteArray>("backup");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("details");
    const QByteArray period
        = "<i k=\"Global\"><i k=\"Preferences\"><i k=\"Application\"><v k=\"AutoSaveSettingsPeriod\" "
          "t=\"i\" v=\"%1\"/></i></i></i>";
    QTest::newRow("the same") << period << period
                              << "The backup holds the same values as the file: restoring changes "
                                 "no setting."
                              << QString();
    QTest::newRow("one value") << QByteArray(period).replace("%1", "10") << QByteArray(period).replace("%1", "30")
                               << "Restoring changes 1 setting."
                               << "Auto save settings period \u2014 Application: 10 \u2192 30";
    QTest::newRow("gone and back")
        << QByteArray("<v k=\"Here\" t=\"s\" v=\"a\"/>") << QByteArray("<v k=\"There\" t=\"b\" v=\"true\"/>")
        << "Restoring removes 1 value and brings back 1 value."
        << "Here: a (not in the backup: removed)\nThere: true (only in the backup: comes back)";
}

void TestRestorePreview::says()
{
    QFETCH(QByteArray, current);
    QFETCH(QByteArray, backup);
    QFETCH(QString, summary);
    QFETCH(QString, details);
    XsdtFile here;
    XsdtFile there;
    QVERIFY(here.parse("<xsdt>" + current + "</xsdt>"));
    QVERIFY(there.parse("<xsdt>" + backup + "</xsdt>"));
    const RestorePreview preview = RestorePreview::of(here.root, there.root, &m_schema);
    QCOMPARE(preview.summary(), summary);
    QCOMPARE(preview.details(), details);
}

void TestRestorePreview::aLongListIsCut()
{
    QByteArray here = "<xsdt>";
    QByteArray there = "<xsdt>";
    for (int i = 0; i < 5000; ++i) {
        here += "<v k=\"K" + QByteArray::number(i) + "\" t=\"i\" v=\"1\"/>";
        there += "<v k=\"K" + QByteArray::number(i) + "\" t=\"i\" v=\"2\"/>";
    }
    XsdtFile current;
    XsdtFile backup;
    QVERIFY(current.parse(here + "</xsdt>"));
    QVERIFY(backup.parse(there + "</xsdt>"));
    const RestorePreview preview = RestorePreview::of(current.root, backup.root, &m_schema);
    QCOMPARE(preview.changed, 5000);
    const QStringList lines = preview.details().split(u'\n');
    QCOMPARE(lines.size(), RestorePreview::kListedLines + 1);
    QCOMPARE(lines.constLast(), QStringLiteral("\u2026 and 4800 more"));
}

QTEST_GUILESS_MAIN(TestRestorePreview)
#include "tst_restorepreview.moc"
