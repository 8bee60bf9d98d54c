#include "modules/leftoverremoval.h"
#include "platform/hostservices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pfw;

class TestLeftoverRemoval : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void userDataGoesInProcess();
    void elevationOutcomes_data();
    void elevationOutcomes();
    void withoutElevation();

private:
    QString install(const QString &relative) const { return m_dir->filePath(QStringLiteral("PixInsight/") + relative); }
    Leftover leftover(int kind, const QString &path, bool isProtected) const;
    HostServices services(const QByteArray &helperBody);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLeftoverRemoval::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(install(QStringLiteral("lib/Mirelux"))));
    QVERIFY(QDir().mkpath(install(QStringLiteral("bin"))));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("Pleiades/Mirelux"))));
}

Leftover TestLeftoverRemoval::leftover(int kind, const QString &path, bool isProtected) const
{
    Leftover item;
    item.kind = kind;
    item.module = QStringLiteral("Mirelux");
    item.path = path;
    item.isFolder = true;
    item.isProtected = isProtected;
    return item;
}

// Stands in for pkexec: records its arguments and answers with the given body.
HostServices TestLeftoverRemoval::services(const QByteArray &helperBody)
{
    HostServices services;
    services.environment.flavour = PlatformFlavour::Windows;
    services.environment.variables.insert(QStringLiteral("ProgramFiles"), m_dir->path());
    services.environment.programFilesFolders = {m_dir->path()};
    services.isHostRunning = [] { return false; };
    const QString script = m_dir->filePath(QStringLiteral("pkexec"));
    QFile file(script);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + m_dir->filePath(QStringLiteral("args")).toUtf8() + "'\n"
                   + helperBody + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    services.launcher.setAuthenticationProgram(script);
#ifdef Q_OS_WIN
    // Windows starts the helper itself ("runas"): a stand-in records and answers with the code.
    services.launcher.setExecutable(QStringLiteral(PFW_FAKE_HELPER));
    qputenv("PFW_HELPER_RECORD", QFile::encodeName(QDir::toNativeSeparators(m_dir->filePath(QStringLiteral("args")))));
    qputenv("PFW_HELPER_EXIT", helperBody.startsWith("exit ") ? helperBody.mid(5) : QByteArray("0"));
#endif
    return services;
}

void TestLeftoverRemoval::userDataGoesInProcess()
{
    LeftoverRemoval removal;
    removal.run({leftover(UserFolderLeftover, m_dir->filePath(QStringLiteral("Pleiades/Mirelux")), false),
                 leftover(LibFolderLeftover, install(QStringLiteral("lib/Mirelux")), true)},
                install(QString()), m_dir->filePath(QStringLiteral("Pleiades")), services("exit 0"));
    QCOMPARE(removal.deleted, 2);
    QVERIFY(removal.problemLines.isEmpty());
    QCOMPARE(removal.text(), QStringLiteral("Deleted 2 files or folders from disk."));
    QVERIFY(!QFileInfo::exists(install(QStringLiteral("lib/Mirelux"))));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("args")))); // no helper was needed
}

void TestLeftoverRemoval::elevationOutcomes_data()
{
    QTest::addColumn<QByteArray>("helper");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<QString>("heading");
    QTest::newRow("declined") << QByteArray("exit 126") << 1
                              << "Administrator permission was not given, so these were not deleted:";
    QTest::newRow("running") << QByteArray("exit 2") << 1
                             << "PixInsight is running. Close it first. These were not deleted:";
    QTest::newRow("refused") << QByteArray("exit 5") << 1
                             << "Some items could not be deleted (in use, or refused). These may remain:";
    QTest::newRow("crashed")
        << QByteArray("kill -SEGV $$") << 1
        << "The elevated helper could not run (the helper stopped unexpectedly). These were not deleted:";
    QTest::newRow("done") << QByteArray("exit 0") << 2 << "";
}

// The same item queued twice: the second in-process attempt fails, and exactly that request
// goes to the helper.
void TestLeftoverRemoval::elevationOutcomes()
{
    QFETCH(QByteArray, helper);
    QFETCH(int, deleted);
    QFETCH(QString, heading);
#ifdef Q_OS_WIN
    if (helper == "exit 126")
        QSKIP("a dismissed prompt is Windows error 1223, which Wine's prompt-less start never gives");
    if (!helper.startsWith("exit "))
        QSKIP("the stand-in helper does not crash");
    // No authentication program comes first: the helper's own arguments are all there is.
    const int skipped = 0;
#else
    const int skipped = 1;
#endif
    const Leftover lib = leftover(LibFolderLeftover, install(QStringLiteral("lib/Mirelux")), true);
    LeftoverRemoval removal;
    removal.run({lib, lib}, install(QString()), QString(), services(helper));
    QCOMPARE(removal.deleted, deleted);
    QFile arguments(m_dir->filePath(QStringLiteral("args")));
    QVERIFY(arguments.open(QIODevice::ReadOnly));
    QCOMPARE(
        QString::fromUtf8(arguments.readAll()).split(u'\n', Qt::SkipEmptyParts).mid(skipped),
        QStringList({QStringLiteral("--leftovers-helper"), QStringLiteral("delete"), QStringLiteral("lib:Mirelux")}));
    if (heading.isEmpty()) {
        QVERIFY(removal.problemLines.isEmpty());
        return;
    }
    QCOMPARE(removal.problemLines,
             QStringList(
                 {heading, QStringLiteral("   ") + QDir::toNativeSeparators(install(QStringLiteral("lib/Mirelux")))}));
    QVERIFY(removal.text().startsWith(QStringLiteral("Deleted 1 file or folder from disk.\n")));
}

void TestLeftoverRemoval::withoutElevation()
{
    const Leftover lib = leftover(LibFolderLeftover, install(QStringLiteral("lib/Mirelux")), true);
    // (Windows can always ask for administrator rights.)
#ifndef Q_OS_WIN
    HostServices noElevation = services("exit 0");
    noElevation.launcher.setAuthenticationProgram(QString());
    LeftoverRemoval removal;
    removal.run({lib, lib}, install(QString()), QString(), noElevation);
    QCOMPARE(
        removal.problemLines.constFirst(),
        QStringLiteral("Deleting these needs administrator rights, which this program cannot request on this system "
                       "yet. Delete them yourself:"));
#endif
    // An installation found through PIXINSIGHT_DIR is one the helper would not find: say so.
    HostServices chosen = services("exit 0");
    chosen.environment.flavour = PlatformFlavour::Linux;
    chosen.environment.variables.insert(QStringLiteral("PIXINSIGHT_DIR"), install(QString()));
    QVERIFY(QDir().mkpath(install(QStringLiteral("lib/Mirelux"))));
    LeftoverRemoval blocked;
    blocked.run({lib, lib}, install(QString()), QString(), chosen);
    QVERIFY(blocked.problemLines.constFirst().contains(QStringLiteral("PIXINSIGHT_DIR")));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("args"))));
}

QTEST_GUILESS_MAIN(TestLeftoverRemoval)
#include "tst_leftoverremoval.moc"
