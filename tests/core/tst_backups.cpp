#include "core/backups.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace pfw;

class TestBackups : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void listedNewestFirstByTime();
    void onlyRealBackupsAreRemoved();
    void beyond_data();
    void beyond();
    void sizes_data();
    void sizes();

private:
    QString make(const QString &name, int ageMinutes, qint64 size = 10);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_settings;
};

void TestBackups::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

QString TestBackups::make(const QString &name, int ageMinutes, qint64 size)
{
    const QString path = m_dir->filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(QByteArray(size, 'b'));
    file.flush(); // a later flush would stamp the file with the current time again
    file.setFileTime(QDateTime::currentDateTime().addSecs(-60 * ageMinutes), QFileDevice::FileModificationTime);
    return QFileInfo(path).absoluteFilePath();
}

void TestBackups::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = make(QStringLiteral("core-001-pxi.settings"), 0);
}

void TestBackups::listedNewestFirstByTime()
{
    // The date in the name says nothing; the modification time decides.
    const QString oldName = make(QStringLiteral("core-001-pxi.settings.bak-20300101-000000"), 30);
    const QString newName = make(QStringLiteral("core-001-pxi.settings.bak-20200101-000000"), 5);
    const QString notes = make(QStringLiteral("core-001-pxi.settings.bak-notes.txt"), 10);
    make(QStringLiteral("core-002-pxi.settings.bak-20260101-000000"), 1);
    make(QStringLiteral("CORE-001-PXI.SETTINGS.bak-20260101-000000"), 1);
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("core-001-pxi.settings.bak-folder"))));
    QCOMPARE(listBackups(m_settings), QStringList({newName, notes, oldName}));
}

void TestBackups::onlyRealBackupsAreRemoved()
{
    const QString real = make(QStringLiteral("core-001-pxi.settings.bak-1"), 3, 100);
    const QString other = make(QStringLiteral("core-002-pxi.settings.bak-1"), 3);
    const QString elsewhere = make(QStringLiteral("sub/core-001-pxi.settings.bak-2"), 3);
    const QString folder = m_dir->filePath(QStringLiteral("core-001-pxi.settings.bak-dir"));
    QVERIFY(QDir().mkpath(folder));
    const QString link = m_dir->filePath(QStringLiteral("core-001-pxi.settings.bak-link"));
    QVERIFY(QFile::link(other, link));
    const BackupRemoval removal = removeBackups(m_settings, {other, elsewhere, folder, link, real, m_settings}, false);
    QCOMPARE(removal.removed, 1);
    QCOMPARE(removal.bytes, 100);
    QVERIFY(!removal.movedToTrash);
    QCOMPARE(removal.notRemoved, QStringList({other, elsewhere, folder, link, m_settings}));
    for (const QString &path : {other, elsewhere, folder, m_settings})
        QVERIFY(QFileInfo::exists(path));
    QVERIFY(!QFileInfo::exists(real));
}

void TestBackups::beyond_data()
{
    QTest::addColumn<int>("keep");
    QTest::addColumn<int>("count");
    QTest::newRow("keep none") << 0 << 3;
    QTest::newRow("keep one") << 1 << 2;
    QTest::newRow("keep more than there are") << 9 << 0;
    QTest::newRow("negative") << -2 << 3;
}

void TestBackups::beyond()
{
    QFETCH(int, keep);
    QFETCH(int, count);
    for (int i = 0; i < 3; ++i)
        make(QStringLiteral("core-001-pxi.settings.bak-%1").arg(i), i + 1, 1000);
    qint64 bytes = -1;
    QCOMPARE(backupsBeyond(m_settings, keep, &bytes).size(), count);
    QCOMPARE(bytes, qint64(count) * 1000);
}

void TestBackups::sizes_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("bytes") << qint64(1023) << "1023 B";
    QTest::newRow("kibibytes round") << qint64(1600) << "2 KiB";
    QTest::newRow("mebibytes") << qint64(1572864) << "1.5 MiB";
}

void TestBackups::sizes()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(formatByteSize(bytes), text);
}

QTEST_GUILESS_MAIN(TestBackups)
#include "tst_backups.moc"
