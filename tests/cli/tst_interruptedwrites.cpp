#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "tests/support/wholefile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

#include <sys/types.h>
#include <signal.h>

// prefwright-cli stopped by a real signal at the moment its backup appears, in every command that
// makes one: a backup name only ever holds a whole copy, the settings file is the old one or the
// new one, and a command told to stop politely (Ctrl+C, SIGTERM) finishes first and leaves no
// temporary file behind.
class TestInterruptedWrites : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stoppedAtTheBackup_data();
    void stoppedAtTheBackup();

private:
    QRandomGenerator m_random{2812};
    QByteArray m_original;
    QByteArray m_good;
    QByteArray m_edited;
};

using pfw::test::readAll;
using pfw::test::writeAll;

namespace {

const char kSetting[] = "Global/Preferences/Application/AutoSaveSettingsPeriod";

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QProcessEnvironment privateEnvironment(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QLatin1String("/.local/share"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QLatin1String("/.config"));
    environment.remove(QStringLiteral("PIXINSIGHT_DIR"));
    return environment;
}

} // namespace

void TestInterruptedWrites::initTestCase()
{
    // A large real file: its backup takes long enough to write to be caught in the middle.
    m_original = pfw::SettingsGenerator::sized(8 << 20);
    pfw::XsdtFile file;
    QVERIFY(file.parse(m_original));
    pfw::XsdtNode *period = file.root.findPath(QString::fromLatin1(kSetting));
    QVERIFY(period);
    period->value = QStringLiteral("45");
    m_edited = file.serialize();
    pfw::XsdtNode *font = file.root.findPath(u"Global/Preferences/Application/HighResFont");
    QVERIFY(font);
    font->value = QStringLiteral("Good Sans");
    m_good = file.serialize();
}

void TestInterruptedWrites::stoppedAtTheBackup_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("trials");
    for (const char *command : {"set", "restore", "bisect start"}) {
        QTest::addRow("%s, SIGKILL", command) << QString::fromLatin1(command) << int(SIGKILL) << 4;
        QTest::addRow("%s, SIGINT", command) << QString::fromLatin1(command) << int(SIGINT) << 2;
        QTest::addRow("%s, SIGTERM", command) << QString::fromLatin1(command) << int(SIGTERM) << 2;
    }
}

void TestInterruptedWrites::stoppedAtTheBackup()
{
    QFETCH(QString, command);
    QFETCH(int, signal);
    QFETCH(int, trials);
    int caught = 0;
    for (int trial = 0; trial < trials; ++trial) {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.filePath(QStringLiteral("data"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("home"))));
        const QString file = folder + QLatin1String("/core-001-pxi.settings");
        QVERIFY(writeAll(file, m_original));
        const QString restoredFrom = file + QLatin1String(".bak-20260101-000000");
        const QString good = dir.filePath(QStringLiteral("good.settings"));
        QStringList arguments;
        if (command == u"set") {
            arguments = {QStringLiteral("set"), file, QLatin1String(kSetting) + QLatin1String("=45")};
        } else if (command == u"restore") {
            QVERIFY(writeAll(restoredFrom, m_edited));
            arguments = {QStringLiteral("restore"), file, restoredFrom};
        } else {
            QVERIFY(writeAll(good, m_good));
            arguments = {QStringLiteral("bisect"), QStringLiteral("start"), file, good};
        }
        const QStringList before = entries(folder);

        QProcess process;
        process.setProcessEnvironment(privateEnvironment(dir.filePath(QStringLiteral("home"))));
        process.start(QStringLiteral(PFW_CLI), arguments);
        QVERIFY(process.waitForStarted());
        const qint64 pid = process.processId();
        bool sent = false;
        QElapsedTimer waited;
        waited.start();
        // Once the write has begun (its lock or its backup is there), at a moment anywhere in it.
        while (!sent && process.state() == QProcess::Running && waited.elapsed() < 60000) {
            for (const QString &name : entries(folder)) {
                if ((name.contains(QLatin1String(".bak-")) || name.endsWith(QLatin1String(".prefwright-lock")))
                    && !before.contains(name)) {
                    QThread::usleep(m_random.bounded(25000));
                    ::kill(pid_t(pid), signal);
                    sent = true;
                    break;
                }
            }
            if (!sent && process.waitForFinished(0))
                break;
        }
        QVERIFY(process.waitForFinished(60000));
        caught += sent ? 1 : 0;
        const QString err = QString::fromUtf8(process.readAllStandardError());
        if (sent && signal != SIGKILL) {
            // Held until the write was done, then ended as asked.
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 128 + signal);
            QVERIFY2(err.contains(QLatin1String("Interrupted: the command was finished first")), qPrintable(err));
        }

        const QByteArray now = readAll(file);
        if (command == u"set")
            QVERIFY(now == m_original || now == m_edited);
        else if (command == u"restore")
            QVERIFY(now == m_original || now == m_edited);
        else
            QVERIFY2(now == m_original || pfw::XsdtFile().parse(now),
                     "the file is neither as it was nor a round's file");
        for (const QString &name : entries(folder)) {
            const QString path = folder + u'/' + name;
            if (name.startsWith(QLatin1String("core-001-pxi.settings.bak-")))
                QVERIFY2(readAll(path) == (path == restoredFrom ? m_edited : m_original),
                         qPrintable(name + QLatin1String(" is not a whole copy")));
            // Only a kill that cannot be caught may leave a file half written, and never under a backup's name.
            if (signal != SIGKILL || !sent)
                QVERIFY2(!name.contains(QLatin1String("prefwright-partial-"))
                             && !name.contains(QLatin1String("prefwright-lock"))
                             && (name == QLatin1String("core-001-pxi.settings") || name.contains(QLatin1String(".bak-"))
                                 || name.endsWith(QLatin1String(".problem-search.json"))),
                         qPrintable(name + QLatin1String(" was left behind")));
        }
        if (signal == SIGKILL && command == u"set") {
            // The next writer clears what a killed one left.
            QProcess next;
            next.setProcessEnvironment(privateEnvironment(dir.filePath(QStringLiteral("home"))));
            next.start(QStringLiteral(PFW_CLI),
                       {QStringLiteral("set"), file, QLatin1String(kSetting) + QLatin1String("=46")});
            QVERIFY(next.waitForFinished(60000));
            QCOMPARE(next.exitCode(), 0);
            for (const QString &name : entries(folder))
                QVERIFY2(!name.contains(QLatin1String("prefwright-partial-")),
                         qPrintable(name + QLatin1String(" was not cleared")));
        }
    }
    // A machine too fast to catch any write in the act proves nothing.
    QVERIFY2(caught > 0, "no write was caught in the act");
}

QTEST_GUILESS_MAIN(TestInterruptedWrites)
#include "tst_interruptedwrites.moc"
