#include "core/settingsdocument.h"
#include "core/xsdtfile.h"
#include "core/xsdtnode.h"
#include "modules/instancecopy.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"
#include "tests/support/specialfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using pfw::InstanceCopy;

namespace {

const QByteArray kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\">";

QByteArray document(const QByteArray &lines, const QByteArray &more = QByteArray())
{
    return kHead + "<i k=\"Global\"><i k=\"Preferences\"><i k=\"Process\"><v k=\"MaxConsoleLines\" t=\"i\" v=\"" + lines
        + "\"/></i></i></i>" + more + "</xsdt>\n";
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int backupCount(const QString &folder)
{
    return int(QDir(folder).entryList({QStringLiteral("*.bak-*")}, QDir::Files).size());
}

} // namespace

class TestInstanceCopy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void copiesIntoEachOtherFileWithItsOwnBackup();
    void refusalsLeaveTheTargetAsItWas_data();
    void refusalsLeaveTheTargetAsItWas();

private:
    pfw::SettingsSchema m_schema;
    pfw::DeletionPolicy m_policy;
};

void TestInstanceCopy::initTestCase()
{
    QString error;
    QVERIFY2(m_schema.loadBuiltIn(&error) && m_policy.loadBuiltIn(&error), qPrintable(error));
}

void TestInstanceCopy::copiesIntoEachOtherFileWithItsOwnBackup()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QString second = dir.filePath(QStringLiteral("core-002-pxi.settings"));
    const QString third = dir.filePath(QStringLiteral("core-003-pxi.settings"));
    const QString link = dir.filePath(QStringLiteral("core-004-pxi.settings"));
    const QByteArray moduleData = "<i k=\"Modules\"><v k=\"Module01\" t=\"s\" v=\"a\"/></i>";
    QVERIFY(writeFile(source, document("5000")));
    QVERIFY(writeFile(second, document("20000", moduleData)));
    QVERIFY(writeFile(third, document("5000")));
    // A link where the system makes one that leads to the file (not Wine's links of the host).
    const bool linked = pfw::test::makeSymbolicLink(source, link)
        && QFileInfo(link).canonicalFilePath() == QFileInfo(source).canonicalFilePath();

    pfw::SettingsDocument open;
    QString error;
    QVERIFY2(open.load(source, &error), qPrintable(error));
    // The value copied is the one as edited, not yet saved.
    pfw::XsdtNode *lines = open.file().root.findPath(QStringLiteral("Global/Preferences/Process/MaxConsoleLines"));
    QVERIFY(lines);
    lines->value = QStringLiteral("7000");
    InstanceCopy copy(&m_schema, &m_policy);
    copy.setRunningCheck([] { return pfw::HostRunningCheck(false); });
    QVERIFY2(copy.setSource(open.file(), {lines}, &error), qPrintable(error));
    QStringList found{source, second, third};
    if (linked)
        found << link;
    copy.prepare(found, source);
    // The open file is never a target, by any of its names.
    QCOMPARE(int(copy.targets().size()), 2);
    QCOMPARE(copy.targets().at(0)->path, second);
    QCOMPARE(copy.targets().at(0)->changeCount(), 1);

    for (int i = 0; i < 2; ++i) {
        QString backup;
        QVERIFY2(copy.copyInto(i, &error, &backup), qPrintable(error));
        QVERIFY(QFileInfo::exists(backup));
    }
    QCOMPARE(readFile(second), document("7000", moduleData));
    QCOMPARE(readFile(third), document("7000"));
    QCOMPARE(readFile(source), document("5000"));
    QCOMPARE(backupCount(dir.path()), 2);
}

void TestInstanceCopy::refusalsLeaveTheTargetAsItWas_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("changeAfterReading");
    QTest::addColumn<QString>("reason");
    QTest::newRow("PixInsight running") << document("20000") << true << false << QStringLiteral("running");
    QTest::newRow("written after it was read") << document("20000") << false << true << QStringLiteral("changed");
    QTest::newRow("not UTF-8") << document("20000", "<v k=\"X\" t=\"s\" v=\"\xff\"/>") << false << false
                               << QStringLiteral("UTF-8");
    QTest::newRow("not a settings file") << QByteArray("<html/>") << false << false << QStringLiteral("not a valid");
}

void TestInstanceCopy::refusalsLeaveTheTargetAsItWas()
{
    QFETCH(QByteArray, target);
    QFETCH(bool, running);
    QFETCH(bool, changeAfterReading);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    const QString other = dir.filePath(QStringLiteral("core-002-pxi.settings"));
    QVERIFY(writeFile(source, document("5000")));
    QVERIFY(writeFile(other, target));
    pfw::SettingsDocument open;
    QString error;
    QVERIFY2(open.load(source, &error), qPrintable(error));
    InstanceCopy copy(&m_schema, &m_policy);
    copy.setRunningCheck([running] { return pfw::HostRunningCheck(running); });
    QVERIFY2(copy.setSource(open.file(), {&open.file().root}, &error), qPrintable(error));
    copy.prepare({other}, source);
    QCOMPARE(int(copy.targets().size()), 1);
    QByteArray expected = target;
    if (changeAfterReading) {
        // PixInsight, or another editor, writes it while the review is open.
        expected = document("123");
        QTest::qWait(20);
        QVERIFY(writeFile(other, expected));
    }
    QString backup;
    QVERIFY(!copy.copyInto(0, &error, &backup));
    QVERIFY2(error.contains(reason, Qt::CaseInsensitive), qPrintable(error));
    QVERIFY(backup.isEmpty());
    QCOMPARE(readFile(other), expected);
    QCOMPARE(backupCount(dir.path()), 0);
}

QTEST_GUILESS_MAIN(TestInstanceCopy)
#include "tst_instancecopy.moc"
