#include "tests/support/wholefile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Two prefwright-cli processes change different values of one file at the same moment, many
// times over: each either saves its change or is refused having written nothing. A change
// reported as saved and then missing from the file is a lost update.
class TestConcurrentWriters : public QObject
{
    Q_OBJECT

private slots:
    void noLostUpdates();
};

using pfw::test::readAll;

namespace {

QString valueOf(const QByteArray &bytes, const QString &key)
{
    const QRegularExpression pattern(QStringLiteral("<v k=\"%1\" t=\"s\" v=\"([^\"]*)\"/>").arg(key));
    return pattern.match(QString::fromUtf8(bytes)).captured(1);
}

} // namespace

void TestConcurrentWriters::noLostUpdates()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString home = dir.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home));
    const QString file = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    QVERIFY(QFile::copy(QStringLiteral(PFW_SOURCE_DIR "/examples/core-001-pxi.settings"), file));
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QLatin1String("/.local/share"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QLatin1String("/.config"));
    environment.remove(QStringLiteral("PIXINSIGHT_DIR"));

    const QStringList keys{QStringLiteral("ClonePostfix"), QStringLiteral("NewImageCaption")};
    QStringList expected{valueOf(readAll(file), keys[0]), valueOf(readAll(file), keys[1])};
    QVERIFY(!expected[1].isEmpty());
    int saved = 0;
    int refused = 0;
    for (int round = 0; round < 50; ++round) {
        const qsizetype backupsBefore = QDir(dir.path()).entryList({QStringLiteral("*.bak-*")}, QDir::Files).size();
        QProcess writers[2];
        QStringList values;
        for (int i = 0; i < 2; ++i) {
            values << QStringLiteral("w%1r%2").arg(i).arg(round);
            writers[i].setProcessEnvironment(environment);
            writers[i].start(QStringLiteral(PFW_CLI),
                             {QStringLiteral("set"), file,
                              QStringLiteral("Global/Preferences/ImageWindow/%1=%2").arg(keys[i], values[i])});
        }
        int savedThisRound = 0;
        for (int i = 0; i < 2; ++i) {
#ifdef Q_OS_WIN
            // Wine now and then fails to start a process (STATUS_DLL_INIT_FAILED, or no start at
            // all): that writer never ran, so it is started again.
            const auto neverRan = [&writers, i](bool finished) {
                return finished ? writers[i].exitCode() == int(0xC0000142)
                                : writers[i].error() == QProcess::FailedToStart;
            };
            bool finished = writers[i].waitForFinished(60000);
            for (int retry = 0; retry < 3 && neverRan(finished); ++retry) {
                writers[i].start();
                finished = writers[i].waitForFinished(60000);
            }
            QVERIFY(finished);
#else
            QVERIFY(writers[i].waitForFinished(60000));
#endif
            const QString err = QString::fromUtf8(writers[i].readAllStandardError());
            if (writers[i].exitCode() == 0) {
                expected[i] = values[i];
                ++savedThisRound;
            } else {
                QCOMPARE(writers[i].exitCode(), 1);
                QVERIFY2(err.contains(QLatin1String("changed on disk"))
                             || err.contains(QLatin1String("Another Prefwright")),
                         qPrintable(err));
            }
        }
        const QByteArray now = readAll(file);
        for (int i = 0; i < 2; ++i)
            QVERIFY2(valueOf(now, keys[i]) == expected[i],
                     qPrintable(QStringLiteral("round %1: %2 is \"%3\", expected \"%4\"")
                                    .arg(round)
                                    .arg(keys[i], valueOf(now, keys[i]), expected[i])));
        // A refused writer made no backup.
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*.bak-*")}, QDir::Files).size(),
                 backupsBefore + savedThisRound);
        saved += savedThisRound;
        refused += 2 - savedThisRound;
    }
    QVERIFY(saved >= 50);
    qInfo("%d saves, %d refusals", saved, refused);
}

QTEST_GUILESS_MAIN(TestConcurrentWriters)
#include "tst_concurrentwriters.moc"
