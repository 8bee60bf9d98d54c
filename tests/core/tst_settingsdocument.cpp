#include "bench/settingsgenerator.h"
#include "core/backups.h"
#include "core/fileidentity.h"
#include "core/settingsdocument.h"
#include "core/settinghistory.h"
#include "core/writerlock.h"
#include "platform/hostprocesses.h"
#include "schema/deletionpolicy.h"
#include "tests/support/fakehost.h"
#include "tests/support/specialfiles.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QFileDevice>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif

#include <chrono>
#include <csignal>
#include <thread>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace pfw;

class TestSettingsDocument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void notLoaded();
    void readFailureKeepsTheOpenFile();
    void invalidFileUnloads();
    void nothingPendingSavesEvenWhileRunning();
    void refusedWhileHostRuns();
    void aCheckThatCouldNotBeMadeSaysWhy();
    void changedOnDiskIsByContent();
    void refusedWhenChangedOnDisk();
    void refusedDeletionWritesNothing();
    void backupFailure_data();
    void backupFailure();
    void writeFailureKeepsEverything();
    void changedJustBeforeTheRename();
    void fileHeldOpenByAnotherProgram();
    void foldersOfAnyScriptAndLength_data();
    void foldersOfAnyScriptAndLength();
    void readOnlyFileIsRefused_data();
    void readOnlyFileIsRefused();
    void saveKeepsModeAndOwner();
    void saveKeepsHiddenAndSystem();
    void saveKeepsExtendedAttributes();
    void liveLockRefusesTheSave();
    void aLinkedFileKeepsItsBackupsAndStaysALink();
    void aBackupGoesBackThroughALinkToAFileThatIsGone_data();
    void aBackupGoesBackThroughALinkToAFileThatIsGone();
    void twoNamesOfOneFileShareOneLock();
    void aFileThatCannotBeReadIsSaidSo();
    void lockFileLeftOversAndObstacles_data();
    void lockFileLeftOversAndObstacles();
    void fullDiskLeavesNoCutBackup();
    void unwritableFolderRefusesCleanly();
    void readBackDifferenceIsReported();
    void successfulSave();
    void savedFileIsCompactAndValid_data();
    void savedFileIsCompactAndValid();
    void saveNeverAddsWhatStrictReadersRefuse();
    void charactersAlreadyInTheFileAreKept();
    void twoSavesInOneSecond();
    void backupNames();
    void restore();
    void restoreRefusals();
    void crashLeavesAWholeFile_data();
    void crashLeavesAWholeFile();

private:
    QByteArray onDisk() const;
    QStringList backups() const;
    void edit(const char *path, const char *value);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    QByteArray m_original;
    DeletionPolicy m_policy;
    SettingsDocument m_document;
};

void TestSettingsDocument::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QString error;
    QVERIFY2(m_policy.loadBuiltIn(&error), qPrintable(error));
}

void TestSettingsDocument::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("Pleiades"))));
    m_path = m_dir->filePath(QStringLiteral("Pleiades/core-001-pxi.settings"));
    m_original = SettingsGenerator::demo();
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(m_original);
    file.close();

    m_document.setPolicy(&m_policy);
    m_document.setRunningCheck([] { return false; });
    m_document.setClock([] { return QDateTime::currentDateTime(); });
    m_document.setFileOperations(SettingsDocument::defaultFileOperations());
    QString error;
    QVERIFY2(m_document.load(m_path, &error), qPrintable(error));
}

QByteArray TestSettingsDocument::onDisk() const
{
    QFile file(m_path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QStringList TestSettingsDocument::backups() const
{
    return QDir(QFileInfo(m_path).absolutePath()).entryList({QStringLiteral("*.bak-*")}, QDir::Files, QDir::Name);
}

void TestSettingsDocument::edit(const char *path, const char *value)
{
    XsdtNode *node = m_document.file().root.findPath(QString::fromLatin1(path));
    QVERIFY(node);
    node->value = QString::fromLatin1(value);
}

void TestSettingsDocument::notLoaded()
{
    SettingsDocument fresh;
    QString error, backup = QStringLiteral("untouched");
    QVERIFY(!fresh.isLoaded());
    QVERIFY(!fresh.save(&error, &backup));
    QCOMPARE(error, QStringLiteral("No file is loaded."));
    QVERIFY(!fresh.restoreBackup(m_path, &error));
    QCOMPARE(error, QStringLiteral("No file is loaded."));
    QVERIFY(!fresh.changedOnDisk());
    QCOMPARE(backup, QStringLiteral("untouched"));
}

void TestSettingsDocument::readFailureKeepsTheOpenFile()
{
    const QByteArray fingerprint = m_document.fingerprint();
    const QString missing = m_dir->filePath(QStringLiteral("missing.settings"));
    QString error;
    QVERIFY(!m_document.load(missing, &error));
    QVERIFY2(error.startsWith(QStringLiteral("Cannot read %1: ").arg(QDir::toNativeSeparators(missing))),
             qPrintable(error));
    QVERIFY(m_document.isLoaded());
    QCOMPARE(m_document.path(), m_path);
    QCOMPARE(m_document.fingerprint(), fingerprint);
    QVERIFY(!m_document.file().root.children.empty());

    // Nothing that is not a regular file is opened: a device never ends, a pipe never opens.
    QVERIFY(!m_document.load(m_dir->path(), &error));
    QCOMPARE(error, QStringLiteral("Cannot read %1: It is a folder.").arg(QDir::toNativeSeparators(m_dir->path())));
#ifndef Q_OS_WIN
    // (Windows has no devices among its files.)
    QVERIFY(!m_document.load(QStringLiteral("/dev/zero"), &error));
    QCOMPARE(error, QStringLiteral("Cannot read /dev/zero: It is not a regular file."));
#endif
    const QString pipe = m_dir->filePath(QStringLiteral("pipe.settings"));
    if (!pfw::test::makeFifo(pipe))
        QSKIP("this system has no named pipes");
    QVERIFY(!m_document.load(pipe, &error));
    QVERIFY2(error.endsWith(QLatin1String("It is not a regular file.")), qPrintable(error));

    // A sparse file costs no disk space and is still too large.
    const QString huge = m_dir->filePath(QStringLiteral("huge.settings"));
    QFile file(huge);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(SafeWrite::kMaxFileSize + 1));
    file.close();
    QVERIFY(!m_document.load(huge, &error));
    QVERIFY2(error.endsWith(QLatin1String("It is larger than 512 MiB, too large for a settings file.")),
             qPrintable(error));
    QCOMPARE(m_document.path(), m_path);
}

void TestSettingsDocument::invalidFileUnloads()
{
    const QString other = m_dir->filePath(QStringLiteral("notes.txt"));
    QFile file(other);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("just some notes");
    file.close();
    QString error;
    QVERIFY(!m_document.load(other, &error));
    QCOMPARE(error,
             QStringLiteral("%1 is not a valid PixInsight settings file: "
                            "Not a PixInsight settings file (no <xsdt> element).")
                 .arg(QDir::toNativeSeparators(other)));
    QVERIFY(!m_document.isLoaded());
    QVERIFY(m_document.file().root.children.empty());
    QCOMPARE(m_document.path(), m_path);
    QVERIFY(!m_document.save(&error, nullptr));
    QCOMPARE(error, QStringLiteral("No file is loaded."));
}

void TestSettingsDocument::nothingPendingSavesEvenWhileRunning()
{
    m_document.setRunningCheck([] { return true; });
    QString error, backup = QStringLiteral("untouched");
    QVERIFY(m_document.save(&error, &backup));
    QCOMPARE(backup, QStringLiteral("untouched"));
    QVERIFY(backups().isEmpty());
    QCOMPARE(onDisk(), m_original);
}

// No list of processes could be had: nothing is written, and the refusal says why rather than
// claiming PixInsight runs.
void TestSettingsDocument::aCheckThatCouldNotBeMadeSaysWhy()
{
    m_document.setRunningCheck([] {
        HostRunningCheck check(true);
        check.error = QStringLiteral("/proc gave no list of processes");
        return check;
    });
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    const QString why = QStringLiteral("Prefwright cannot tell whether PixInsight is running (/proc gave no list of "
                                       "processes). PixInsight would overwrite the file if it were, so nothing is "
                                       "written until the check can be made.");
    QCOMPARE(error, why);
    QVERIFY(!m_document.restoreBackup(m_path, &error));
    QCOMPARE(error, why);
    QCOMPARE(onDisk(), m_original);
    QVERIFY(backups().isEmpty());
}

// A copy of sleep named PixInsight stands in for the running program; only that process
// counts, so other tests running at the same time cannot interfere.
void TestSettingsDocument::refusedWhileHostRuns()
{
    test::FakeHost host;
    QVERIFY(host.start(m_dir->path()));
    const qint64 pid = host.pid();
    m_document.setRunningCheck([pid] { return runningHostProcesses().contains(pid); });

    edit("Global/Preferences/Process/MaxProcessors", "8");
    const QByteArray fingerprint = m_document.fingerprint();
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    QCOMPARE(error,
             QStringLiteral("PixInsight is running. It keeps its settings in memory and would overwrite the "
                            "file. Close PixInsight first."));
    // Running is reported before changed on disk.
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::Append));
    file.write(" ");
    file.close();
    QVERIFY(!m_document.save(&error, nullptr));
    QVERIFY(error.startsWith(QStringLiteral("PixInsight is running.")));
    QVERIFY(!m_document.restoreBackup(m_path, &error));
    QCOMPARE(error, QStringLiteral("PixInsight is running. Close it before restoring a backup."));
    host.stop();

    QVERIFY(backups().isEmpty());
    QCOMPARE(m_document.fingerprint(), fingerprint);
    QCOMPARE(m_document.pendingChangeCount(), 1);
    QVERIFY(!m_document.save(&error, nullptr));
    QVERIFY(error.startsWith(QStringLiteral("The file changed on disk")));
}

void TestSettingsDocument::changedOnDiskIsByContent()
{
    QVERIFY(!m_document.changedOnDisk());
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(1), QFileDevice::FileModificationTime));
    file.close();
    QVERIFY(!m_document.changedOnDisk());

    QByteArray changed = m_original;
    changed[changed.size() / 2] = changed.at(changed.size() / 2) == 'x' ? 'y' : 'x';
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(changed);
    file.close();
    QVERIFY(m_document.changedOnDisk());
    QVERIFY(QFile::remove(m_path));
    QVERIFY(m_document.changedOnDisk());
}

void TestSettingsDocument::refusedWhenChangedOnDisk()
{
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(SettingsGenerator::sized(100000));
    file.close();
    const QByteArray changed = onDisk();
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    QCOMPARE(error,
             QStringLiteral("The file changed on disk since it was loaded (PixInsight may have written it). "
                            "Reload it and redo your edits."));
    QCOMPARE(onDisk(), changed);
    QVERIFY(backups().isEmpty());
}

void TestSettingsDocument::refusedDeletionWritesNothing()
{
    edit("Global/Preferences/Process/MaxProcessors", "8");
    m_document.file().root.findPath(u"CommandHistory")->deleted = true;
    m_document.file().root.findPath(u"Modules")->deleted = true;
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    QCOMPARE(error,
             QStringLiteral("'Modules' is protected and cannot be deleted. Module registry. Deleting it can "
                            "stop modules from loading. Nothing was written."));
    QVERIFY(backups().isEmpty());
    QCOMPARE(onDisk(), m_original);

    // Without a policy nothing is known to be safe.
    m_document.file().root.findPath(u"Modules")->deleted = false;
    m_document.setPolicy(nullptr);
    QVERIFY(!m_document.save(&error, nullptr));
    QVERIFY2(error.startsWith(QStringLiteral("'CommandHistory' is protected and cannot be deleted.")),
             qPrintable(error));
    QVERIFY(backups().isEmpty());
    QCOMPARE(m_document.pendingChangeCount(), 2);
}

void TestSettingsDocument::backupFailure_data()
{
    QTest::addColumn<bool>("copies");
    QTest::newRow("copy fails") << false;
    QTest::newRow("copy is short") << true;
}

void TestSettingsDocument::backupFailure()
{
    QFETCH(bool, copies);
    SettingsDocument::FileOperations operations = SettingsDocument::defaultFileOperations();
    operations.writeBackup = [copies](const QByteArray &, const QString &to, QString *) {
        if (!copies)
            return false;
        QFile file(to);
        return file.open(QIODevice::WriteOnly) && file.write("<xsdt>") == 6;
    };
    m_document.setFileOperations(operations);
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    QVERIFY2(
        error.startsWith(QStringLiteral("Could not create the backup %1.bak-").arg(QDir::toNativeSeparators(m_path))),
        qPrintable(error));
    QVERIFY(error.endsWith(QStringLiteral(". Nothing was written.")));
    QCOMPARE(onDisk(), m_original);
    QCOMPARE(m_document.pendingChangeCount(), 1);
}

void TestSettingsDocument::writeFailureKeepsEverything()
{
    SettingsDocument::FileOperations operations = SettingsDocument::defaultFileOperations();
    operations.steps.writeAll = [](QFileDevice &file, const QByteArray &bytes) {
        file.write(bytes.left(bytes.size() / 2));
        return false;
    };
    m_document.setFileOperations(operations);
    edit("Global/Preferences/Process/MaxProcessors", "8");
    const QByteArray fingerprint = m_document.fingerprint();
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    QVERIFY2(error.startsWith(QStringLiteral("Error writing %1: ").arg(QDir::toNativeSeparators(m_path))),
             qPrintable(error));
    QVERIFY2(error.endsWith(QLatin1String(" Nothing was written.")), qPrintable(error));
    QCOMPARE(onDisk(), m_original);
    // The backup would only repeat the unchanged file; neither it nor the temporary file lingers.
    QVERIFY(backups().isEmpty());
    QCOMPARE(QDir(QFileInfo(m_path).absolutePath()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QFileInfo(m_path).fileName()});
    QCOMPARE(m_document.fingerprint(), fingerprint);
    QCOMPARE(m_document.pendingChangeCount(), 1);
    QVERIFY(!m_document.changedOnDisk());
}

// PixInsight takes no lock: a write of its landing while the new bytes are being written must
// not be replaced by them.
void TestSettingsDocument::changedJustBeforeTheRename()
{
    const QString path = m_path;
    const QByteArray theirs = SettingsGenerator::sized(50000);
    SettingsDocument::FileOperations operations = SettingsDocument::defaultFileOperations();
    operations.steps.writeAll = [path, theirs](QFileDevice &file, const QByteArray &bytes) {
        QFile other(path);
        return other.open(QIODevice::WriteOnly) && other.write(theirs) == theirs.size()
            && file.write(bytes) == bytes.size();
    };
    m_document.setFileOperations(operations);
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    QVERIFY2(error.startsWith(QStringLiteral("The file changed on disk since it was loaded")), qPrintable(error));
    QCOMPARE(onDisk(), theirs);
    QCOMPARE(m_document.pendingChangeCount(), 1);
    // The backup holds the file as it was before their write, so it stays.
    QCOMPARE(backups().size(), 1);
}

void TestSettingsDocument::foldersOfAnyScriptAndLength_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("a user named with accents")
        << QStringLiteral("Users/J\u00fcrgen M\u00fcller/AppData/Roaming/Pleiades");
    QTest::newRow("other scripts") << QStringLiteral("\u5929\u6587/\u0410\u0441\u0442\u0440\u043e/Pleiades");
    // Over Windows' old limit of 260 characters for a whole path.
    QTest::newRow("a path of over 260 characters")
        << (QString(60, u'a') + u'/' + QString(60, u'b') + u'/' + QString(60, u'c') + u'/' + QString(60, u'd')
            + QLatin1String("/Pleiades"));
}

// Open, save, backups and history in any folder a user may have.
void TestSettingsDocument::foldersOfAnyScriptAndLength()
{
    QFETCH(QString, folder);
    const QString path = m_dir->filePath(folder + QLatin1String("/core-001-pxi.settings"));
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(m_original), m_original.size());
    }
    SettingsDocument document;
    document.setPolicy(&m_policy);
    document.setRunningCheck([] { return false; });
    document.setClock([] { return QDateTime::currentDateTime(); });
    QString error;
    QVERIFY2(document.load(path, &error), qPrintable(error));
    XsdtNode *node = document.file().root.findPath(QStringLiteral("Global/Preferences/Process/MaxProcessors"));
    QVERIFY(node);
    const QString before = node->value;
    node->value = QStringLiteral("7");
    QString backup;
    QVERIFY2(document.save(&error, &backup), qPrintable(error));
    QCOMPARE(listBackups(path), QStringList{backup});
    QCOMPARE(SettingHistory::backupsNewestFirst(path), QStringList{backup});
    const HistoryEntry old = SettingHistory::readBackup(
        backup, SettingHistory::settingKeyOfPath(QStringLiteral("Global/Preferences/Process/MaxProcessors")), 0);
    QCOMPARE(old.state, HistoryEntry::Present);
    QCOMPARE(old.value, before);
    QVERIFY2(document.load(path, &error), qPrintable(error));
    QCOMPARE(document.file().root.findPath(QStringLiteral("Global/Preferences/Process/MaxProcessors"))->value,
             QStringLiteral("7"));
}

// PixInsight, an antivirus or a backup tool may hold the file open without letting it be replaced
// (Windows): the save waits a moment, then says so; nothing is lost, and no backup is left for a
// save that did not happen.
void TestSettingsDocument::fileHeldOpenByAnotherProgram()
{
#ifndef Q_OS_WIN
    QSKIP("an open file never keeps a rename from replacing it on this system");
#else
    const auto hold = [this] {
        return CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(m_path).utf16()), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    HANDLE holder = hold();
    QVERIFY(holder != INVALID_HANDLE_VALUE);
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    QVERIFY2(error.startsWith(QStringLiteral("Another program keeps %1 open").arg(QDir::toNativeSeparators(m_path))),
             qPrintable(error));
    CloseHandle(holder);
    QCOMPARE(onDisk(), m_original);
    QVERIFY(backups().isEmpty());
    QVERIFY2(m_document.save(&error, nullptr), qPrintable(error));
    QCOMPARE(backups().size(), 1);

    // Let go while the save waits: it goes through.
    holder = hold();
    QVERIFY(holder != INVALID_HANDLE_VALUE);
    edit("Global/Preferences/Process/MaxProcessors", "9");
    std::thread release([holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        CloseHandle(holder);
    });
    const bool saved = m_document.save(&error, nullptr);
    release.join();
    QVERIFY2(saved, qPrintable(error));
    QVERIFY(onDisk().contains("MaxProcessors\" t=\"i\" v=\"9\""));
#endif
}

void TestSettingsDocument::readOnlyFileIsRefused_data()
{
    QTest::addColumn<bool>("immutable");
    QTest::newRow("no write permission") << false;
    QTest::newRow("immutable") << true;
}

void TestSettingsDocument::readOnlyFileIsRefused()
{
    QFETCH(bool, immutable);
    const QString good = m_dir->filePath(QStringLiteral("good.bak"));
    QVERIFY(QFile::copy(m_path, good));
    if (immutable) {
#ifdef Q_OS_WIN
        QSKIP("files are marked immutable with chattr, on Linux");
#endif
        if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), m_path}) != 0)
            QSKIP("chattr +i is not available here (needs root and a file system with attributes)");
    } else {
        // On Windows this is the read-only attribute.
        QVERIFY(
            QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    }
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString saveError, restoreError;
    const bool saved = m_document.save(&saveError, nullptr);
    const bool restored = m_document.restoreBackup(good, &restoreError);
    const QByteArray after = onDisk();
    const QStringList left = backups();
    const bool stillReadOnly = !(QFileInfo(m_path).permissions() & QFileDevice::WriteOwner);
    if (immutable)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});

    const QString readOnly = QStringLiteral("The settings file is read-only. Make it writable first if you want to "
                                            "change it.");
    QVERIFY(!saved);
    QCOMPARE(saveError, readOnly);
    QVERIFY(!restored);
    QCOMPARE(restoreError, readOnly);
    QCOMPARE(after, m_original);
    QVERIFY(left.isEmpty());
    // Never silently made writable.
    QVERIFY(stillReadOnly || immutable);
    QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
}

// A file the user hid (or a tool marked as the system's) stays so after a save, and so is its backup.
void TestSettingsDocument::saveKeepsHiddenAndSystem()
{
#ifndef Q_OS_WIN
    QSKIP("hidden and system are Windows' file attributes");
#else
    const auto attributesOf = [](const QString &path) {
        return GetFileAttributesW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()));
    };
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    QVERIFY(SetFileAttributesW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(m_path).utf16()), kept));
    if ((attributesOf(m_path) & kept) != kept)
        QSKIP("this file system keeps no hidden or system attribute");
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error, backup;
    QVERIFY2(m_document.save(&error, &backup), qPrintable(error));
    QCOMPARE(attributesOf(m_path) & kept, kept);
    QCOMPARE(attributesOf(backup) & kept, kept);
#endif
}

// Where a file's access list, its security label and tools' notes live on Linux.
void TestSettingsDocument::saveKeepsExtendedAttributes()
{
#ifndef Q_OS_LINUX
    QSKIP("the extended attributes copied are Linux's");
#else
    const QByteArray native = QFile::encodeName(m_path);
    if (::setxattr(native.constData(), "user.prefwright-test", "keep", 4, 0) != 0)
        QSKIP("this file system keeps no user attributes");
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error, backup;
    QVERIFY2(m_document.save(&error, &backup), qPrintable(error));
    for (const QString &path : {m_path, backup}) {
        char value[16] = {};
        QCOMPARE(::getxattr(QFile::encodeName(path).constData(), "user.prefwright-test", value, sizeof value),
                 ssize_t(4));
        QCOMPARE(QByteArray(value), QByteArray("keep"));
    }
#endif
}

void TestSettingsDocument::saveKeepsModeAndOwner()
{
#ifdef Q_OS_WIN
    QSKIP("permission bits and owners are POSIX; Windows keeps its own on a renamed file");
#else
    const QByteArray native = QFile::encodeName(m_path);
    QCOMPARE(::chmod(native.constData(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root)
        QCOMPARE(::chown(native.constData(), 4321, 4322), 0);
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error, backup;
    QVERIFY2(m_document.save(&error, &backup), qPrintable(error));
    for (const QString &path : {m_path, backup}) {
        struct stat info = {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 07777), 0640);
        if (root) {
            QCOMPARE(int(info.st_uid), 4321);
            QCOMPARE(int(info.st_gid), 4322);
        }
    }
#endif
}

// Another writer holds the file: after a few seconds the save gives up, naming it.
void TestSettingsDocument::liveLockRefusesTheSave()
{
    // Opened through a link from another folder: the lock is the real file's all the same.
    const QString link = m_dir->filePath(QStringLiteral("linked.settings"));
    PFW_SYMBOLIC_LINK_OR_SKIP(m_path, link);
    if (QFileInfo(link).canonicalFilePath() != QFileInfo(m_path).canonicalFilePath())
        QSKIP("this system does not resolve a link to the file it names (Wine's links of the host)");
    QString loadError;
    QVERIFY2(m_document.load(link, &loadError), qPrintable(loadError));
    QLockFile other(QFileInfo(m_path).absolutePath() + QLatin1String("/.core-001-pxi.settings.prefwright-lock"));
    QVERIFY(other.tryLock(0));
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    QCOMPARE(error,
             QStringLiteral("Another Prefwright is saving this file (process %1). Try again in a moment.")
                 .arg(QCoreApplication::applicationPid()));
    QCOMPARE(onDisk(), m_original);
    QVERIFY(backups().isEmpty());
    other.unlock();
    QVERIFY2(m_document.save(&error, nullptr), qPrintable(error));
    // Saved where the file is: the link still leads to it, and it holds the change.
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(onDisk().contains("k=\"MaxProcessors\" t=\"i\" v=\"8\""));
    QCOMPARE(backups().size(), 1);
}

// Reached through a link from another folder (a dotfiles checkout, a synced drive): its backups
// are listed under either name, and a restore puts the backup into the real file, the link
// staying a link.
void TestSettingsDocument::aLinkedFileKeepsItsBackupsAndStaysALink()
{
    const QString link = m_dir->filePath(QStringLiteral("core-001-pxi.settings"));
    PFW_SYMBOLIC_LINK_OR_SKIP(m_path, link);
    if (QFileInfo(link).canonicalFilePath() != QFileInfo(m_path).canonicalFilePath())
        QSKIP("this system does not resolve a link to the file it names (Wine's links of the host)");
    QString error, backup;
    QVERIFY2(m_document.load(link, &error), qPrintable(error));
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QVERIFY2(m_document.save(&error, &backup), qPrintable(error));
    QCOMPARE(listBackups(link).size(), 1);
    QCOMPARE(listBackups(link), listBackups(m_path));
    QVERIFY(isBackupOf(link, backup));
    QVERIFY2(m_document.restoreBackup(backup, &error), qPrintable(error));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(onDisk(), m_original);
    QCOMPARE(listBackups(link).size(), 2);
}

void TestSettingsDocument::aBackupGoesBackThroughALinkToAFileThatIsGone_data()
{
    QTest::addColumn<QString>("linkName");
    QTest::addColumn<bool>("chain");
    QTest::newRow("in the file's folder") << "Pleiades/linked.settings" << false;
    QTest::newRow("in another folder") << "linked.settings" << false;
    QTest::newRow("through a second link") << "linked.settings" << true;
}

// The file behind a link is gone (PixInsight left none): its backup, listed under the link, goes
// back where the link leads, and the link stays.
void TestSettingsDocument::aBackupGoesBackThroughALinkToAFileThatIsGone()
{
    QFETCH(QString, linkName);
    QFETCH(bool, chain);
    const QString link = m_dir->filePath(linkName);
    const QString middle = m_dir->filePath(QStringLiteral("middle.settings"));
    PFW_SYMBOLIC_LINK_OR_SKIP(chain ? middle : m_path, link);
    if (chain)
        PFW_SYMBOLIC_LINK_OR_SKIP(m_path, middle);
    if (QFileInfo(link).canonicalFilePath() != QFileInfo(m_path).canonicalFilePath())
        QSKIP("this system does not resolve a link to the file it names (Wine's links of the host)");
    QString error, backup;
    QVERIFY2(m_document.load(link, &error), qPrintable(error));
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QVERIFY2(m_document.save(&error, &backup), qPrintable(error));
    QVERIFY(QFile::remove(m_path));
    if (!QFileInfo(link).isSymLink() || QFileInfo(link).symLinkTarget().isEmpty())
        QSKIP("this system does not say where a link to nothing leads (Wine's links of the host)");
    QCOMPARE(listBackups(link), QStringList{backup});
    QVERIFY2(m_document.restoreFile(link, backup, &error), qPrintable(error));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(onDisk(), m_original);
}

// A hard link in another folder has a lock file of its own: the file itself must be locked too.
void TestSettingsDocument::twoNamesOfOneFileShareOneLock()
{
    const QString other = m_dir->filePath(QStringLiteral("other.settings"));
    QVERIFY(pfw::test::makeHardLink(m_path, other));
    QCOMPARE(FileIdentity::of(other).links, 2);
    QString error;
    WriterLock first(m_path);
    QVERIFY2(first.acquire(&error), qPrintable(error));
    WriterLock second(other);
    QVERIFY(!second.acquire(&error, 300));
    QCOMPARE(error,
             QStringLiteral("Another Prefwright is saving this file through another of its names (a hard link). "
                            "Try again in a moment."));
    first.release();
    QVERIFY2(second.acquire(&error, 300), qPrintable(error));
}

// Something that is not a file took its place after it was loaded: that is not "changed on disk".
void TestSettingsDocument::aFileThatCannotBeReadIsSaidSo()
{
    QVERIFY(QFile::remove(m_path));
    if (!pfw::test::makeFifo(m_path))
        QSKIP("this system has no named pipes");
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    QCOMPARE(error,
             QStringLiteral("Cannot read %1: It is not a regular file. Nothing was written.")
                 .arg(QDir::toNativeSeparators(m_path)));
    QVERIFY(backups().isEmpty());
}

void TestSettingsDocument::readBackDifferenceIsReported()
{
    const QString path = m_path;
    SettingsDocument::FileOperations operations = SettingsDocument::defaultFileOperations();
    operations.steps.commit = [path](const std::function<bool()> &rename) {
        if (!rename())
            return false;
        QFile replaced(path); // something else rewrites the file right after the rename
        return replaced.open(QIODevice::WriteOnly) && replaced.write("<xsdt></xsdt>") > 0;
    };
    m_document.setFileOperations(operations);
    edit("Global/Preferences/Process/MaxProcessors", "8");
    const QByteArray fingerprint = m_document.fingerprint();
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    // The file was replaced: the backup is the only copy of what it held, stays, and is named,
    // for this is no plain refusal.
    QCOMPARE(backups().size(), 1);
    QCOMPARE(error,
             QStringLiteral("Read-back verification of %1 failed. It was written, but what is there now could "
                            "not be confirmed as what was written. The file as it was before is kept in %2.")
                 .arg(QDir::toNativeSeparators(m_path),
                      QDir::toNativeSeparators(QFileInfo(m_path).absoluteDir().filePath(backups().constFirst()))));
    QCOMPARE(m_document.fingerprint(), fingerprint);
    QCOMPARE(m_document.pendingChangeCount(), 1);
    QVERIFY(m_document.changedOnDisk());
}

void TestSettingsDocument::successfulSave()
{
    edit("Global/Preferences/Application/AutoSaveSettingsPeriod", "45");
    m_document.file().root.findPath(u"CommandHistory")->deleted = true;
    QCOMPARE(m_document.pendingChangeCount(), 2);
    QString error, backup;
    QVERIFY2(m_document.save(&error, &backup), qPrintable(error));
    QCOMPARE(m_document.pendingChangeCount(), 0);
    QVERIFY(!m_document.changedOnDisk());
    QVERIFY(!m_document.file().root.findPath(u"CommandHistory"));
    QVERIFY(backup.startsWith(m_path + QLatin1String(".bak-")));
    QFile copy(backup);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), m_original);

    QByteArray expected = m_original;
    expected.replace("<v k=\"AutoSaveSettingsPeriod\" t=\"i\" v=\"30\"/>",
                     "<v k=\"AutoSaveSettingsPeriod\" t=\"i\" v=\"45\"/>");
    const qsizetype from = expected.indexOf("<i k=\"CommandHistory\">");
    expected.remove(from, expected.indexOf("</i>", from) + 4 - from);
    QCOMPARE(onDisk(), expected);
    QString nothing;
    QVERIFY(m_document.save(&nothing, nullptr));
    QCOMPARE(backups().size(), 1);
}

void TestSettingsDocument::savedFileIsCompactAndValid_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("indented") << "indented.settings";
    QTest::newRow("invalid UTF-8") << "invalid-utf8.settings";
}

// The flags describe the file on disk: after a save that is the writer's compact, valid output,
// so the layout and UTF-8 warnings go away.
void TestSettingsDocument::savedFileIsCompactAndValid()
{
    QFETCH(QString, file);
    QFile::remove(m_path);
    QVERIFY(QFile::copy(QStringLiteral(PFW_TEST_DATA "/") + file, m_path));
    QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner));
    QString error;
    QVERIFY2(m_document.load(m_path, &error), qPrintable(error));
    QVERIFY(!m_document.compactLayout() || !m_document.file().validUtf8);
    XsdtNode *value = nullptr;
    for (XsdtNode *candidate : m_document.file().root.valueNodes()) {
        if (!value && candidate->isEditableValue() && candidate->type == u's')
            value = candidate;
    }
    QVERIFY(value);
    value->value += QLatin1String("x");
    QVERIFY2(m_document.save(&error, nullptr), qPrintable(error));
    QVERIFY(m_document.compactLayout());
    QVERIFY(m_document.file().validUtf8);
    XsdtFile reread;
    QVERIFY(reread.parse(onDisk()));
    QVERIFY(reread.compactLayout && reread.validUtf8);
}

// However a character got into the tree, the file written is one a strict XML reader accepts.
void TestSettingsDocument::saveNeverAddsWhatStrictReadersRefuse()
{
    XsdtNode *font = m_document.file().root.findPath(u"Global/Preferences/Application/HighResFont");
    QVERIFY(font);
    font->value = QStringLiteral("DejaVu\x1B[0m Sans");
    QString error;
    QVERIFY(!m_document.save(&error, nullptr));
    QVERIFY2(error.contains(QLatin1String("U+001B")) && error.endsWith(QLatin1String("Nothing was written.")),
             qPrintable(error));
    QCOMPARE(onDisk(), m_original);
    QVERIFY(backups().isEmpty());
    QCOMPARE(m_document.pendingChangeCount(), 1);
}

// A file PixInsight (or a hand edit) left with such a character is saved with it as it was read.
void TestSettingsDocument::charactersAlreadyInTheFileAreKept()
{
    QByteArray held = m_original;
    const QByteArray font = "<v k=\"HighResFont\" t=\"s\" v=\"";
    QVERIFY(held.contains(font));
    held.replace(font, font + "\x1B[0m");
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(held) == held.size());
    file.close();
    QString error;
    QVERIFY2(m_document.load(m_path, &error), qPrintable(error));
    edit("Global/Preferences/Application/AutoSaveSettingsPeriod", "45");
    QVERIFY2(m_document.save(&error, nullptr), qPrintable(error));
    QByteArray expected = held;
    expected.replace("<v k=\"AutoSaveSettingsPeriod\" t=\"i\" v=\"30\"/>",
                     "<v k=\"AutoSaveSettingsPeriod\" t=\"i\" v=\"45\"/>");
    QCOMPARE(onDisk(), expected);
}

void TestSettingsDocument::twoSavesInOneSecond()
{
    const QDateTime moment(QDate(2026, 12, 8), QTime(4, 5, 6));
    m_document.setClock([moment] { return moment; });
    QString error, first, second;
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QVERIFY2(m_document.save(&error, &first), qPrintable(error));
    edit("Global/Preferences/Process/MaxProcessors", "4");
    QVERIFY2(m_document.save(&error, &second), qPrintable(error));
    QCOMPARE(first, m_path + QLatin1String(".bak-20261208-040506"));
    QCOMPARE(second, first + QLatin1String("-2"));
}

void TestSettingsDocument::backupNames()
{
    const QDateTime moment(QDate(2025, 1, 31), QTime(14, 25, 1));
    const QString base = m_path + QLatin1String(".bak-20250131-142501");
    QCOMPARE(SafeWrite::makeBackupPath(m_path, QString(), moment), base);
    QCOMPARE(SafeWrite::makeBackupPath(m_path, QStringLiteral("before-restore"), moment),
             base + QLatin1String("-before-restore"));
    QVERIFY(QDir().mkpath(base)); // a folder of that name also takes the name
    QFile taken(base + QLatin1String("-2"));
    QVERIFY(taken.open(QIODevice::WriteOnly));
    taken.close();
    QCOMPARE(SafeWrite::makeBackupPath(m_path, QString(), moment), base + QLatin1String("-3"));
}

void TestSettingsDocument::restore()
{
    const QDateTime moment(QDate(2026, 12, 8), QTime(4, 5, 6));
    m_document.setClock([moment] { return moment; });
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error, backup;
    QVERIFY(m_document.save(&error, &backup));
    const QByteArray saved = onDisk();
    edit("Global/Preferences/Process/MaxProcessors", "2");

    QVERIFY2(m_document.restoreBackup(backup, &error), qPrintable(error));
    QCOMPARE(onDisk(), m_original);
    QCOMPARE(m_document.pendingChangeCount(), 0);
    QVERIFY(!m_document.changedOnDisk());
    QCOMPARE(m_document.file().root.findPath(u"Global/Preferences/Process/MaxProcessors")->value, QStringLiteral("64"));
    QFile safety(m_path + QLatin1String(".bak-20261208-040506-before-restore"));
    QVERIFY(safety.open(QIODevice::ReadOnly));
    QCOMPARE(safety.readAll(), saved);
}

void TestSettingsDocument::restoreRefusals()
{
    QString error;
    const QString junk = m_dir->filePath(QStringLiteral("junk.bak"));
    QFile file(junk);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<xsdt><x/></xsdt>");
    file.close();
    QVERIFY(!m_document.restoreBackup(junk, &error));
    QCOMPARE(error,
             QStringLiteral("The backup is not a valid settings file: unexpected element <x> (line 1, column 11)"));
    QVERIFY(!m_document.restoreBackup(m_dir->filePath(QStringLiteral("gone")), &error));
    QVERIFY(error.startsWith(QStringLiteral("Cannot read ")));

    SettingsDocument::FileOperations operations = SettingsDocument::defaultFileOperations();
    operations.writeBackup = [](const QByteArray &, const QString &, QString *error) {
        *error = QStringLiteral("No space left on device");
        return false;
    };
    m_document.setFileOperations(operations);
    const QString good = m_dir->filePath(QStringLiteral("good.bak"));
    QVERIFY(QFile::copy(m_path, good));
    QVERIFY(!m_document.restoreBackup(good, &error));
    QVERIFY2(
        error.startsWith(QStringLiteral("Could not create the backup %1.bak-").arg(QDir::toNativeSeparators(m_path)))
            && error.endsWith(QLatin1String("-before-restore: No space left on device. Nothing was written.")),
        qPrintable(error));
    QCOMPARE(onDisk(), m_original);
    QVERIFY(backups().isEmpty());
}

void TestSettingsDocument::crashLeavesAWholeFile_data()
{
    QTest::addColumn<QByteArray>("point");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("after the backup") << QByteArray("after-backup") << false;
    QTest::newRow("half-way through the write") << QByteArray("mid-write") << false;
    QTest::newRow("after the rename") << QByteArray("after-commit") << true;
}

// The save stops dead at a step (as if killed): the settings file is the old one or the new
// one, complete, and the backup is complete.
void TestSettingsDocument::crashLeavesAWholeFile()
{
    QFETCH(QByteArray, point);
    QFETCH(bool, replaced);
    QProcess crasher;
    crasher.start(QStringLiteral(PFW_SAVECRASHER), {m_path, QString::fromLatin1(point)});
    QVERIFY(crasher.waitForFinished(30000));
    QCOMPARE(crasher.exitCode(), 9);

    QByteArray expected = m_original;
    expected.replace("<v k=\"AutoSaveSettingsPeriod\" t=\"i\" v=\"30\"/>",
                     "<v k=\"AutoSaveSettingsPeriod\" t=\"i\" v=\"45\"/>");
    QCOMPARE(onDisk(), replaced ? expected : m_original);
    QCOMPARE(backups().size(), 1);
    QFile backup(QFileInfo(m_path).absolutePath() + u'/' + backups().constFirst());
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), m_original);

    // The dead saver's lock is taken over at once.
    QVERIFY(
        QFileInfo::exists(QFileInfo(m_path).absolutePath() + QLatin1String("/.core-001-pxi.settings.prefwright-lock")));
    QString error;
    QVERIFY2(m_document.load(m_path, &error), qPrintable(error));
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QVERIFY2(m_document.save(&error, nullptr), qPrintable(error));
    // Nor does the half-written file of the dead saver linger beside it.
    const QString name = QFileInfo(m_path).fileName();
    for (const QString &entry :
         QDir(QFileInfo(m_path).absolutePath()).entryList(QDir::Files | QDir::Hidden | QDir::System))
        QVERIFY2(entry == name || entry.startsWith(name + QLatin1String(".bak-")), qPrintable(entry));
}

void TestSettingsDocument::lockFileLeftOversAndObstacles_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<bool>("saves");
    QTest::newRow("empty file of a save killed at once") << "empty" << true;
    QTest::newRow("lock of a process in another namespace") << "pid 1" << true;
    QTest::newRow("named pipe") << "fifo" << false;
    QTest::newRow("link to a device") << "link" << false;
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("left over and immutable") << "immutable" << false;
    // QLockFile's own helpers, left by a process killed while it took over a stale lock.
    QTest::newRow("chain of removal locks") << "rmlock" << true;
}

// Whatever lies at the lock file's place, a save never hangs, never reads without end, and is
// never refused for ever because of a holder that is gone.
void TestSettingsDocument::lockFileLeftOversAndObstacles()
{
    QFETCH(QString, planted);
    QFETCH(bool, saves);
    const QString lock = QFileInfo(m_path).absolutePath() + QLatin1String("/.core-001-pxi.settings.prefwright-lock");
    if (planted == u"fifo") {
        if (!pfw::test::makeFifo(lock))
            QSKIP("this system has no named pipes");
    } else if (planted == u"link") {
        if (!pfw::test::makeSymbolicLink(QStringLiteral("/dev/zero"), lock))
            QSKIP("a link to a device is a POSIX matter");
    } else if (planted == u"folder") {
        QVERIFY(QDir().mkpath(lock));
    } else if (planted == u"rmlock") {
        for (const char *suffix : {".rmlock", ".rmlock.rmlock", ".rmlock.rmlock.rmlock"}) {
            QFile file(lock + QLatin1String(suffix));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        }
    } else {
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (planted == u"pid 1")
            file.write("1\nprefwright-cli\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        if (planted == u"immutable")
            file.write("999999\nprefwright-cli\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        file.close();
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        file.close();
        if (planted == u"immutable" && QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), lock}) != 0)
            QSKIP("chattr +i is not available here (needs root and a file system with attributes)");
    }
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error;
    const bool saved = m_document.save(&error, nullptr);
    if (planted == u"immutable") {
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), lock});
        // Not a live holder: one that is gone, and a file that will not go.
        QVERIFY(!saved);
        QCOMPARE(error,
                 QStringLiteral("The lock file %1 was left by a Prefwright that is no longer running, but it cannot "
                                "be removed (Operation not permitted). Remove it yourself and try again. Nothing "
                                "was changed.")
                     .arg(QDir::toNativeSeparators(lock)));
        QCOMPARE(onDisk(), m_original);
        return;
    }
    QCOMPARE(saved, saves);
    if (saves) {
        QVERIFY(!QFileInfo::exists(lock));
        QVERIFY(!QFileInfo::exists(lock + QLatin1String(".rmlock")));
        QVERIFY(!QFileInfo::exists(lock + QLatin1String(".rmlock.rmlock.rmlock")));
        return;
    }
    QCOMPARE(error,
             QStringLiteral("%1 is in the way of Prefwright's lock file (it is not a lock file Prefwright made). "
                            "Remove it and try again. Nothing was changed.")
                 .arg(QDir::toNativeSeparators(lock)));
    QCOMPARE(onDisk(), m_original);
    QVERIFY(backups().isEmpty());
}

// A disk that fills while the backup is written: the cut backup is not left to pass for a
// good one, and the settings file is untouched.
void TestSettingsDocument::fullDiskLeavesNoCutBackup()
{
#ifdef Q_OS_WIN
    QSKIP("the disk is made to fill with a POSIX file size limit");
#else
    struct rlimit old = {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error;
    const bool saved = m_document.save(&error, nullptr);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    QVERIFY(!saved);
    QVERIFY2(error.startsWith(QStringLiteral("Could not create the backup ")), qPrintable(error));
    // The system's reason, not "Unknown error".
    QVERIFY2(error.contains(QLatin1String("File too large")), qPrintable(error));
    QVERIFY(backups().isEmpty());
    // Nor is the file it was being written in left beside.
    QCOMPARE(QDir(QFileInfo(m_path).absolutePath()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("core-001-pxi.settings")});
    QCOMPARE(onDisk(), m_original);
#endif
}

// A folder nothing can be created in (here immutable, which holds for root too): the save is
// refused before anything is written, with the reason.
void TestSettingsDocument::unwritableFolderRefusesCleanly()
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), folder}) != 0)
        QSKIP("chattr +i is not available here (needs root and a file system with attributes)");
    edit("Global/Preferences/Process/MaxProcessors", "8");
    QString error;
    const bool saved = m_document.save(&error, nullptr);
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), folder});
    QVERIFY(!saved);
    QCOMPARE(error,
             QStringLiteral("Cannot create the lock file %1/.core-001-pxi.settings.prefwright-lock beside the file: "
                            "Operation not permitted. Nothing was changed.")
                 .arg(folder));
    QCOMPARE(left, QStringList{QStringLiteral("core-001-pxi.settings")});
    QCOMPARE(onDisk(), m_original);
}

QTEST_GUILESS_MAIN(TestSettingsDocument)
#include "tst_settingsdocument.moc"
