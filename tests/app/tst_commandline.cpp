#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void help();
    void helperModes_data();
    void helperModes();
    void screenshotsOfAFileThatCannotBeOpenedFail_data();
    void screenshotsOfAFileThatCannotBeOpenedFail();
    void screenshotsThatCannotBeWrittenFail();

private:
    QProcess *run(const QStringList &arguments, bool offscreen = true);
    QTemporaryDir m_home;
    std::unique_ptr<QProcess> m_process;
};

QProcess *TestCommandLine::run(const QStringList &arguments, bool offscreen)
{
    m_process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (offscreen)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    else
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    environment.remove(QStringLiteral("DISPLAY"));
    m_process->setProcessEnvironment(environment);
    m_process->start(QStringLiteral(PFW_EXECUTABLE), arguments);
    m_process->waitForFinished(30000);
    return m_process.get();
}

void TestCommandLine::help()
{
    // Asked where there is no display at all (a terminal over ssh): it aborted in the window system.
    QProcess *process = run({QStringLiteral("--help")}, false);
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    // The help text wraps long descriptions.
    const QString out = QString::fromUtf8(process->readAllStandardOutput()).simplified();
    QCOMPARE(process->exitCode(), 0);
    for (const char *text : {"Edit PixInsight settings safely.",
                             "Settings file to open (default: the one found in the PixInsight config directory).",
                             "Use this theme for this run only: light, dark or system.",
                             "Use this text size scale for this run only (default 1.25)."})
        QVERIFY2(out.contains(QLatin1String(text)), text);
    process = run({QStringLiteral("--version")}, false);
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QVERIFY(QString::fromUtf8(process->readAllStandardOutput()).contains(QStringLiteral("0.1.3")));
}

void TestCommandLine::helperModes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::newRow("nothing named") << QStringList{QStringLiteral("--leftovers-helper"), QStringLiteral("delete")} << 6;
    QTest::newRow("user data refused") << QStringList{QStringLiteral("--leftovers-helper"), QStringLiteral("delete"),
                                                      QStringLiteral("user:Mirelux")}
                                       << 4;
    QTest::newRow("no installation") << QStringList{QStringLiteral("--leftovers-helper"), QStringLiteral("delete"),
                                                    QStringLiteral("lib:Mirelux")}
                                     << 3;
}

// The helper modes start without any window, so they run without a display.
void TestCommandLine::helperModes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    if (code == 3 && QFileInfo(QStringLiteral("/opt/PixInsight/bin")).isDir())
        QSKIP("A PixInsight installation exists on this machine.");
    QProcess *process = run(arguments);
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), code);
    QVERIFY(process->readAllStandardOutput().isEmpty());
}

void TestCommandLine::screenshotsOfAFileThatCannotBeOpenedFail_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("not a settings file") << "bad.settings" << QByteArray("garbage")
                                         << "is not a valid PixInsight settings file";
    QTest::newRow("missing") << "gone.settings" << QByteArray() << "Cannot read";
    QTest::newRow("name not in the file name encoding") << "core-\\377.settings" << QByteArray("<xsdt></xsdt>")
                                                        << "The file name core-\\xff.settings is not valid UTF-8";
    // What the terminal shows of a name is spelled out: it could recolour or clear the screen.
    QTest::newRow("name with an escape") << "bad\\033[2J.settings" << QByteArray("garbage")
                                         << "bad\\x1b[2J.settings is not";
}

// Offscreen nobody can close a message box: the error goes to the terminal and the run fails.
void TestCommandLine::screenshotsOfAFileThatCannotBeOpenedFail()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
#ifndef Q_OS_UNIX
    QSKIP("names are made through a POSIX shell here");
#endif
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    // The name goes through the shell's printf, so that its bytes are exactly those given.
    const QString create = bytes.isEmpty() ? QStringLiteral("true")
                                           : QStringLiteral("printf '%s' \"$1\" > \"$(printf '%1')\"").arg(name);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    shell.setProcessEnvironment(environment);
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"),
                 create + QStringLiteral(" && exec \"$0\" --screenshots shots \"$(printf '%1')\"").arg(name),
                 QStringLiteral(PFW_EXECUTABLE), QString::fromLatin1(bytes)});
    QVERIFY(shell.waitForStarted());
    QVERIFY2(shell.waitForFinished(30000), "waits for a message box nobody can close");
    QCOMPARE(shell.exitCode(), 1);
    const QString err = QString::fromUtf8(shell.readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("shots")))
            || QDir(dir.filePath(QStringLiteral("shots"))).isEmpty());
}

// A folder for the pictures that cannot be made: no pictures is a failure, said as such.
void TestCommandLine::screenshotsThatCannotBeWrittenFail()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString settings = dir.filePath(QStringLiteral("core-001-pxi.settings"));
    QVERIFY(QFile::copy(QStringLiteral(PFW_SOURCE_DIR "/examples/core-001-pxi.settings"), settings));
    const QString notAFolder = dir.filePath(QStringLiteral("shots"));
    QFile blocker(notAFolder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcess *process = run({QStringLiteral("--screenshots"), notAFolder, settings});
    QCOMPARE(process->exitCode(), 1);
    const QString err = QString::fromUtf8(process->readAllStandardError());
    QVERIFY2(err.contains(QLatin1String("cannot be made (it is a file, not a folder)")), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
