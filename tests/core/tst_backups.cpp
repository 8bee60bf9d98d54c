#include "core/backups.h"
#include "core/problemsearch.h"
#include "core/writerlock.h"
#include "tests/support/privatehome.h"
#include "tests/support/specialfiles.h"

#include <QDateTime>
#include <QLocale>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace pfw;

class TestBackups : public QObject
{
    Q_OBJECT

private slots:
    void wholePathFollowsTheSystem();
    void spellingsOfOneFileShareItsBackupsLockAndSearch_data();
    void spellingsOfOneFileShareItsBackupsLockAndSearch();
    void initTestCase();
    void init();
    void cleanup();
    void listedNewestFirstByTime();
    void namesWithWildcardCharactersAreLiteral_data();
    void namesWithWildcardCharactersAreLiteral();
    void onlyRealBackupsAreRemoved();
    void aLinkToAnOldBackupKeepsTheFileItLeadsTo();
    void aFolderThatCannotBeReadIsNoEmptyList();
    void nothingIsRemovedWhileAnotherWriterHoldsTheFile();
    void beyond_data();
    void beyond();
    void copiesNamedByHandAreNeverPruned();
    void whoseBackupANameIs_data();
    void whoseBackupANameIs();
    void oneTimeForAllOrdersByStamp();
    void cutBackupsAreNotCountedAsKept();
    void trashNeverLandsInTheWorkingFolder_data();
    void trashNeverLandsInTheWorkingFolder();
    void trashTakesOnlyWhatItCanName_data();
    void trashTakesOnlyWhatItCanName();

private:
    QString make(const QString &name, int ageMinutes, qint64 size = 40);

    std::unique_ptr<test::PrivateHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_settings;
    QString m_workingFolder;
};

void TestBackups::initTestCase()
{
    // Sizes are shown in the user's locale; the expected texts are written in one.
    QLocale::setDefault(QLocale::c());
    m_workingFolder = QDir::currentPath();
}

QString TestBackups::make(const QString &name, int ageMinutes, qint64 size)
{
    const QString path = m_dir->filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    // A settings file of that size when it can be one: pruning counts only whole backups.
    const QByteArray head = "<xsdt><v k=\"p\" t=\"s\" v=\"";
    const QByteArray tail = "\"/></xsdt>";
    const qsizetype fill = size - head.size() - tail.size();
    file.write(fill >= 0 ? head + QByteArray(fill, 'b') + tail : QByteArray(size, 'b'));
    file.flush(); // a later flush would stamp the file with the current time again
    file.setFileTime(QDateTime::currentDateTime().addSecs(-60 * ageMinutes), QFileDevice::FileModificationTime);
    return QFileInfo(path).absoluteFilePath();
}

void TestBackups::init()
{
    m_home = std::make_unique<test::PrivateHome>();
    QVERIFY(m_home->isValid());
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = make(QStringLiteral("core-001-pxi.settings"), 0);
}

void TestBackups::cleanup()
{
    QDir::setCurrent(m_workingFolder);
    m_home.reset();
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

// The settings file's name is matched as it is, never as a wildcard.
void TestBackups::namesWithWildcardCharactersAreLiteral_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("lookAlike");
    QTest::newRow("brackets") << "my[1].settings"
                              << "my1.settings";
    QTest::newRow("star") << "a*b.settings"
                          << "aXb.settings";
    QTest::newRow("question mark") << "a?b.settings"
                                   << "aXb.settings";
}

void TestBackups::namesWithWildcardCharactersAreLiteral()
{
    QFETCH(QString, name);
    QFETCH(QString, lookAlike);
#ifdef Q_OS_WIN
    if (name.contains(u'*') || name.contains(u'?'))
        QSKIP("a Windows file name cannot hold * or ?");
#endif
    const QString settings = make(name, 0);
    const QString older = make(name + QLatin1String(".bak-20260101-000000"), 20);
    const QString newer = make(name + QLatin1String(".bak-20260102-000000"), 10);
    make(lookAlike + QLatin1String(".bak-20260103-000000"), 5);
    QCOMPARE(listBackups(settings), QStringList({newer, older}));
    QCOMPARE(backupsBeyond(settings, 1, nullptr), QStringList{older});
    QCOMPARE(removeBackups(settings, {older}, false).removed, 1);
    QCOMPARE(listBackups(settings), QStringList{newer});
}

void TestBackups::onlyRealBackupsAreRemoved()
{
    const QString real = make(QStringLiteral("core-001-pxi.settings.bak-1"), 3, 100);
    const QString other = make(QStringLiteral("core-002-pxi.settings.bak-1"), 3);
    const QString elsewhere = make(QStringLiteral("sub/core-001-pxi.settings.bak-2"), 3);
    const QString folder = m_dir->filePath(QStringLiteral("core-001-pxi.settings.bak-dir"));
    QVERIFY(QDir().mkpath(folder));
    const QString link = m_dir->filePath(QStringLiteral("core-001-pxi.settings.bak-link"));
    PFW_SYMBOLIC_LINK_OR_SKIP(other, link);
    const BackupRemoval removal = removeBackups(m_settings, {other, elsewhere, folder, link, real, m_settings}, false);
    QCOMPARE(removal.removed, 1);
    QCOMPARE(removal.bytes, 100);
    QVERIFY(!removal.movedToTrash);
    QCOMPARE(removal.notRemoved, QStringList({other, elsewhere, folder, link, m_settings}));
    for (const QString &path : {other, elsewhere, folder, m_settings})
        QVERIFY(QFileInfo::exists(path));
    QVERIFY(!QFileInfo::exists(real));
}

// Put back by hand as a link to an old backup: that backup is the settings file now, and pruning
// must never take it.
void TestBackups::aLinkToAnOldBackupKeepsTheFileItLeadsTo()
{
    const QString oldest = make(QStringLiteral("core-001-pxi.settings.bak-20240101-120000"), 300);
    const QString older = make(QStringLiteral("core-001-pxi.settings.bak-20250101-120000"), 200);
    const QString newest = make(QStringLiteral("core-001-pxi.settings.bak-20250201-120000"), 100);
    QVERIFY(QFile::remove(m_settings));
    PFW_SYMBOLIC_LINK_OR_SKIP(oldest, m_settings);
    if (QFileInfo(m_settings).canonicalFilePath() != QFileInfo(oldest).canonicalFilePath())
        QSKIP("this system does not resolve a link to the file it names (Wine's links of the host)");
    QCOMPARE(listBackups(m_settings), QStringList({newest, older}));
    QCOMPARE(pruneBackups(m_settings, 0, false).removed, 2);
    QVERIFY(QFileInfo::exists(oldest));
    QCOMPARE(removeBackups(m_settings, {oldest}, false).removed, 0);
    QVERIFY(QFileInfo::exists(oldest));
}

// Keep 1 of backups it could not list reported "Deleted 0 backup(s)" and success.
void TestBackups::aFolderThatCannotBeReadIsNoEmptyList()
{
#ifdef Q_OS_WIN
    QSKIP("A folder's read permission is a POSIX mode.");
#else
    if (geteuid() == 0)
        QSKIP("The superuser reads every folder.");
    make(QStringLiteral("core-001-pxi.settings.bak-20260101-000000"), 3);
    make(QStringLiteral("core-001-pxi.settings.bak-20260102-000000"), 2);
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::WriteOwner | QFile::ExeOwner));
    const BackupRemoval removal = pruneBackups(m_settings, 1, false);
    const QString listing = backupListingProblem(m_settings);
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY2(removal.error.contains(QLatin1String("the folder cannot be read")), qPrintable(removal.error));
    QCOMPARE(removal.removed, 0);
    QCOMPARE(listing, removal.error);
    QCOMPARE(listBackups(m_settings).size(), 2);
#endif
}

void TestBackups::nothingIsRemovedWhileAnotherWriterHoldsTheFile()
{
    const QString backup = make(QStringLiteral("core-001-pxi.settings.bak-1"), 3);
    QLockFile saving(m_dir->filePath(QStringLiteral(".core-001-pxi.settings.prefwright-lock")));
    QVERIFY(saving.tryLock(0));
    const BackupRemoval removal = removeBackups(m_settings, {backup}, false);
    QCOMPARE(removal.removed, 0);
    QCOMPARE(removal.notRemoved, QStringList{backup});
    QCOMPARE(describeRemoval(removal),
             QStringLiteral("Another Prefwright is saving this file (process %1). Try again "
                            "in a moment.")
                 .arg(QCoreApplication::applicationPid()));
    QVERIFY(QFileInfo::exists(backup));
    saving.unlock();

    // Two prunings at once: what the other one removed first is no failure of this one.
    QVERIFY(QFile::remove(backup));
    const BackupRemoval late = removeBackups(m_settings, {backup}, false);
    QVERIFY(late.error.isEmpty());
    QVERIFY(late.notRemoved.isEmpty());
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
        make(QStringLiteral("core-001-pxi.settings.bak-2026010%1-000000").arg(3 - i), i + 1, 1000);
    qint64 bytes = -1;
    QCOMPARE(backupsBeyond(m_settings, keep, &bytes).size(), count);
    QCOMPARE(bytes, qint64(count) * 1000);
}

// What a user saved beside the file under a name of their own is theirs, old or new, whole or
// not: pruning neither removes it nor counts it among those kept.
void TestBackups::copiesNamedByHandAreNeverPruned()
{
    const QString mine = make(QStringLiteral("core-001-pxi.settings.bak-mine"), 300, 400);
    const QString notes = make(QStringLiteral("core-001-pxi.settings.bak-notes.txt"), 200, 10);
    const QString stampLike = make(QStringLiteral("core-001-pxi.settings.bak-20260101-000000x"), 100, 400);
    const QString older = make(QStringLiteral("core-001-pxi.settings.bak-20260101-000000"), 50, 400);
    const QString tagged = make(QStringLiteral("core-001-pxi.settings.bak-20260102-000000-before-search-2"), 20, 400);
    const QString newest = make(QStringLiteral("core-001-pxi.settings.bak-20260103-000000"), 1, 400);
    QStringList skipped;
    QCOMPARE(backupsBeyond(m_settings, 1, nullptr, &skipped), QStringList({tagged, older}));
    QCOMPARE(backupsBeyond(m_settings, 0, nullptr), QStringList({newest, tagged, older}));
    const BackupRemoval removal = pruneBackups(m_settings, 0, false);
    QCOMPARE(removal.deleted, 3);
    for (const QString &path : {mine, notes, stampLike})
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    QCOMPARE(describeRemoval(removal),
             QStringLiteral("Deleted 3 backups (1.2 KiB). Left as they are, because Prefwright did not name them "
                            "(copies made by hand, say): core-001-pxi.settings.bak-20260101-000000x, "
                            "core-001-pxi.settings.bak-notes.txt, core-001-pxi.settings.bak-mine."));
}

// Another file's backups lie beside this one's, and its name may start with this one's.
void TestBackups::whoseBackupANameIs_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("pruned");
    QTest::newRow("a save's") << "core-001-pxi.settings.bak-20260101-000000" << true << true;
    QTest::newRow("tagged and numbered") << "core-001-pxi.settings.bak-20260101-000000-before-search-2" << true << true;
    QTest::newRow("of a copy named by hand") << "core-001-pxi.settings.bak-mine.bak-20260101-000000" << false << false;
    QTest::newRow("of a copy named like a backup")
        << "core-001-pxi.settings.bak-20250101-000000.bak-20260101-000000" << false << false;
    QTest::newRow("the copy named by hand") << "core-001-pxi.settings.bak-mine" << true << false;
    QTest::newRow("of a longer name") << "core-001-pxi.settings2.bak-20260101-000000" << false << false;
    // Made where the clocks went forward at that hour (Berlin, 29 March 2026).
    QTest::newRow("in the hour the clock skips") << "core-001-pxi.settings.bak-20260329-023000" << true << true;
    QTest::newRow("no such day") << "core-001-pxi.settings.bak-20260230-000000" << true << false;
}

void TestBackups::whoseBackupANameIs()
{
    QFETCH(QString, name);
    QFETCH(bool, listed);
    QFETCH(bool, pruned);
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    const QString path = make(name, 10, 400);
    QCOMPARE(listBackups(m_settings).contains(path), listed);
    QCOMPARE(backupsBeyond(m_settings, 0, nullptr).contains(path), pruned);
    QCOMPARE(pruneBackups(m_settings, 0, false).deleted, pruned ? 1 : 0);
    QCOMPARE(QFileInfo::exists(path), !pruned);
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
}

// A copied folder gives every backup the same time.
void TestBackups::oneTimeForAllOrdersByStamp()
{
    const QStringList names = {QStringLiteral("core-001-pxi.settings.bak-20260102-000000"),
                               QStringLiteral("core-001-pxi.settings.bak-20260104-000000"),
                               QStringLiteral("core-001-pxi.settings.bak-20260101-000000"),
                               QStringLiteral("core-001-pxi.settings.bak-20260103-000000")};
    const QDateTime copied = QDateTime::currentDateTime().addSecs(-600);
    QStringList paths;
    for (const QString &name : names) {
        paths << make(name, 10, 400);
        QFile file(paths.constLast());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(copied, QFileDevice::FileModificationTime));
    }
    QCOMPARE(backupsBeyond(m_settings, 2, nullptr), QStringList({paths.at(0), paths.at(2)}));
}

// A save killed by an older Prefwright left the newest backup cut short: keeping one must keep
// the newest whole one, and neither count nor remove the cut one.
void TestBackups::cutBackupsAreNotCountedAsKept()
{
    const QString older = make(QStringLiteral("core-001-pxi.settings.bak-20260101-000000"), 30, 400);
    const QString good = make(QStringLiteral("core-001-pxi.settings.bak-20260102-000000"), 20, 400);
    const QString cut = make(QStringLiteral("core-001-pxi.settings.bak-20260103-000000"), 10, 400);
    QFile cutting(cut);
    QVERIFY(cutting.resize(200));
    QStringList skipped;
    QCOMPARE(backupsBeyond(m_settings, 1, nullptr, &skipped), QStringList{older});
    QCOMPARE(skipped, QStringList{cut});
    const BackupRemoval removal = pruneBackups(m_settings, 1, false);
    QCOMPARE(removal.deleted, 1);
    QCOMPARE(removal.skipped, QStringList{cut});
    QVERIFY(!QFileInfo::exists(older));
    QVERIFY(QFileInfo::exists(good) && QFileInfo::exists(cut));
    QCOMPARE(describeRemoval(removal),
             QStringLiteral("Deleted 1 backup (400 bytes). Not counted among those kept, and "
                            "left as they are, because they are not whole settings files: "
                            "core-001-pxi.settings.bak-20260103-000000."));
}

// Qt moves a file into "files" and "info" of the working folder when the user's data folder is
// missing; the trash is made first, and where it cannot be made the backup is deleted instead.
void TestBackups::trashNeverLandsInTheWorkingFolder_data()
{
    QTest::addColumn<bool>("dataFolderBlocked");
    QTest::newRow("no data folder yet") << false;
    QTest::newRow("data folder cannot be made") << true;
}

void TestBackups::trashNeverLandsInTheWorkingFolder()
{
    QFETCH(bool, dataFolderBlocked);
#ifdef Q_OS_WIN
    QSKIP("the Recycle Bin is the system's, not a folder among the user's data");
#endif
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QVERIFY(data.startsWith(m_home->path() + u'/'));
    QVERIFY(!QFileInfo::exists(data));
    if (dataFolderBlocked) {
        QVERIFY(QDir().mkpath(QFileInfo(data).absolutePath()));
        QFile blocker(data);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    const QString work = m_dir->filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    QVERIFY(QDir::setCurrent(work));
    const QString name = QStringLiteral("core-001-pxi.settings.bak-1");
    const QString backup = make(name, 1, 100);

    const BackupRemoval removal = removeBackups(m_settings, {backup}, true);
    QCOMPARE(removal.removed, 1);
    QCOMPARE(removal.bytes, 100);
    QCOMPARE(removal.movedToTrash, !dataFolderBlocked);
    QVERIFY(!QFileInfo::exists(backup));
    QCOMPARE(QDir(work).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    if (dataFolderBlocked)
        return;
    const QString trash = data + QLatin1String("/Trash");
    QVERIFY(QFileInfo(trash + QLatin1String("/files/") + name).isFile());
    QVERIFY(QFileInfo(trash + QLatin1String("/info/") + name + QLatin1String(".trashinfo")).isFile());
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    for (const QString &folder : {trash, trash + QLatin1String("/files"), trash + QLatin1String("/info")})
        QVERIFY2(!(QFileInfo(folder).permissions() & others), qPrintable(folder));
}

void TestBackups::trashTakesOnlyWhatItCanName_data()
{
    QTest::addColumn<int>("nameLength");
    QTest::addColumn<bool>("otherFileSystem");
    QTest::addColumn<bool>("trashed");
    QTest::newRow("ordinary name") << 0 << false << true;
    // Its record "<name>.trashinfo" cannot exist: Qt's own trash retried such a name for ever.
    QTest::newRow("settings file name of 230 bytes") << 230 << false << false;
    QTest::newRow("another file system without a trash") << 0 << true << false;
}

// A backup the trash cannot take is deleted instead, and said so; the move never hangs and never
// makes a trash folder at the top of another file system.
void TestBackups::trashTakesOnlyWhatItCanName()
{
    QFETCH(int, nameLength);
    QFETCH(bool, otherFileSystem);
    QFETCH(bool, trashed);
#ifdef Q_OS_WIN
    // The Recycle Bin takes any name Windows can hold, where there is one (Wine has none).
    trashed = pfw::test::trashTakesFilesFrom(m_dir->path());
#endif
    std::unique_ptr<QTemporaryDir> elsewhere;
    QString folder = m_dir->path();
    if (otherFileSystem) {
#ifndef Q_OS_UNIX
        QSKIP("a trash on another file system is a freedesktop.org matter");
#else
        struct stat shm = {}, here = {};
        if (::stat("/dev/shm", &shm) != 0 || ::stat(QFile::encodeName(folder).constData(), &here) != 0
            || shm.st_dev == here.st_dev || QFileInfo::exists(QStringLiteral("/dev/shm/.Trash-%1").arg(::getuid())))
            QSKIP("needs /dev/shm on a file system of its own, without a trash");
        elsewhere = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/tst_backups-XXXXXX"));
        QVERIFY(elsewhere->isValid());
        folder = elsewhere->path();
#endif
    }
    const QString settingsName = nameLength > 0 ? QString(nameLength - 9, u's') + QLatin1String(".settings")
                                                : QStringLiteral("core-001-pxi.settings");
    const QString settings = folder + u'/' + settingsName;
    QFile(settings).open(QIODevice::WriteOnly);
    const QString backup = settings + QLatin1String(".bak-20260101-000000");
    {
        QFile file(backup);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("<xsdt></xsdt>") == 13);
    }
    QElapsedTimer timer;
    timer.start();
    const BackupRemoval removal = pruneBackups(settings, 0, true);
    QVERIFY(timer.elapsed() < 10000);
    QCOMPARE(removal.trashed, trashed ? 1 : 0);
    QCOMPARE(removal.deleted, trashed ? 0 : 1);
    QVERIFY(!QFileInfo::exists(backup));
    QCOMPARE(describeRemoval(removal),
             trashed ? QStringLiteral("Moved 1 backup to the Recycle Bin (13 bytes).")
                     : QStringLiteral("Deleted 1 backup (13 bytes)."));
#ifdef Q_OS_UNIX
    if (otherFileSystem)
        QVERIFY(!QFileInfo::exists(QStringLiteral("/dev/shm/.Trash-%1").arg(::getuid())));
#endif
}

// "link/../name" names the file beside the link's target, not the one the text suggests: its
// backups, listed or removed, must be that file's.
void TestBackups::wholePathFollowsTheSystem()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    QVERIFY(QDir(root).mkpath(QStringLiteral("real/sub")));
    PFW_SYMBOLIC_LINK_OR_SKIP(root + QLatin1String("/real/sub"), root + QLatin1String("/s2"));
    for (const char *name :
         {"real/core-001-pxi.settings", "core-001-pxi.settings", "core-001-pxi.settings.bak-20260101-080000"}) {
        QFile file(root + u'/' + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    PFW_SYMBOLIC_LINK_OR_SKIP(root + QLatin1String("/real/core-001-pxi.settings"),
                              root + QLatin1String("/real/alias.settings"));
    const QString through = root + QLatin1String("/s2/../core-001-pxi.settings");
#ifdef Q_OS_WIN
    // Windows takes ".." off the text before it follows any link.
    QCOMPARE(wholeFilePath(through), root + QLatin1String("/core-001-pxi.settings"));
    QCOMPARE(listBackups(through), QStringList{root + QLatin1String("/core-001-pxi.settings.bak-20260101-080000")});
#else
    QCOMPARE(wholeFilePath(through), root + QLatin1String("/real/core-001-pxi.settings"));
    QVERIFY(listBackups(through).isEmpty());
#endif
    QCOMPARE(wholeFilePath(root + QLatin1String("/real/alias.settings")), root + QLatin1String("/real/alias.settings"));
    QCOMPARE(wholeFilePath(root + QLatin1String("/gone/../x.settings")), root + QLatin1String("/x.settings"));
}

void TestBackups::spellingsOfOneFileShareItsBackupsLockAndSearch_data()
{
    QTest::addColumn<QString>("spelling");
    QTest::newRow("upper case") << "upper";
    QTest::newRow("back slashes") << "backslashes";
    QTest::newRow("upper case and back slashes") << "both";
    QTest::newRow("a trailing dot, which Windows drops") << "dot";
    QTest::newRow("the short 8.3 alias") << "short";
}

// Windows' names are case-blind, take either slash, drop a trailing dot and have short aliases:
// each spelling of the settings file is the same file, so it must find the same backups, wait for
// the same lock and see the same search.
void TestBackups::spellingsOfOneFileShareItsBackupsLockAndSearch()
{
#ifndef Q_OS_WIN
    QSKIP("file names are exact on this system");
#else
    QFETCH(QString, spelling);
    const QString backup = make(QStringLiteral("core-001-pxi.settings.bak-20260101-000000"), 5);
    QString other = m_dir->path() + QLatin1String("/core-001-pxi.settings");
    if (spelling == u"upper" || spelling == u"both")
        other = m_dir->path() + QLatin1String("/CORE-001-PXI.SETTINGS");
    if (spelling == u"backslashes" || spelling == u"both")
        other = QDir::toNativeSeparators(other);
    if (spelling == u"dot")
        other += u'.';
    if (spelling == u"short") {
        wchar_t buffer[MAX_PATH] = {};
        const DWORD length = GetShortPathNameW(
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(m_settings).utf16()), buffer, MAX_PATH);
        other = QString::fromWCharArray(buffer, int(length));
        if (length == 0 || QFileInfo(other).fileName() == QFileInfo(m_settings).fileName())
            QSKIP("this volume makes no short names");
    }
    QCOMPARE(listBackups(other), QStringList{backup});
    QCOMPARE(wholeFilePath(other), wholeFilePath(m_settings));
    QVERIFY(isBackupOf(other, backup));
    QCOMPARE(ProblemSearch::statePathFor(other), ProblemSearch::statePathFor(m_settings));
    WriterLock held(m_settings);
    QString error;
    QVERIFY2(held.acquire(&error), qPrintable(error));
    WriterLock second(other);
    QVERIFY(!second.acquire(&error, 200));
    QVERIFY2(error.startsWith(QLatin1String("Another Prefwright is saving this file")), qPrintable(error));
#endif
}

QTEST_GUILESS_MAIN(TestBackups)
#include "tst_backups.moc"
