#include "core/problemsearch.h"
#include "core/safewrite.h"
#include "core/settingsdocument.h"
#include "modules/installedrecords.h"
#include "platform/elevatedlauncher.h"
#include "tests/support/wholefile.h"

#include "../support/searchfixture.h"

#include <QDir>
#include <QFileDevice>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace pfw;
using pfw::test::readAll;
using pfw::test::SearchFixture;
using pfw::test::writeAll;

// Every writer of a settings file or of PixInsight's installed.xri goes through one guarded
// write: each step of it failing in turn must leave the user's file, or a backup of it, and no
// half-made file.
class TestSafeWrite : public QObject
{
    Q_OBJECT

private slots:
    void everyWriterSurvivesEveryFault_data();
    void everyWriterSurvivesEveryFault();
};

namespace {

enum class Fault {
    BackupFails,
    BackupCut,
    WriteFails,
    RenameFails,
    ChangedWhileWriting,
    ChangedAtRename,
    ChangedAfterRename
};

// A user's folder: name -> bytes, hidden files too.
QMap<QString, QByteArray> folderContents(const QString &folder)
{
    QMap<QString, QByteArray> contents;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        contents.insert(name, readAll(folder + u'/' + name));
    return contents;
}

SafeWrite::FileOperations faulty(Fault fault, const QString &settingsPath, const QByteArray &theirs)
{
    SafeWrite::FileOperations operations = SafeWrite::defaultFileOperations();
    switch (fault) {
    case Fault::BackupFails:
        operations.writeBackup = [](const QByteArray &, const QString &, QString *error) {
            *error = QStringLiteral("No space left on device");
            return false;
        };
        break;
    case Fault::BackupCut:
        operations.writeBackup = [](const QByteArray &bytes, const QString &to, QString *) {
            return writeAll(to, bytes.left(bytes.size() / 2));
        };
        break;
    case Fault::WriteFails:
        operations.steps.writeAll = [](QFileDevice &file, const QByteArray &bytes) {
            file.write(bytes.left(bytes.size() / 2));
            return false;
        };
        break;
    case Fault::RenameFails:
        operations.steps.commit = [](const std::function<bool()> &) { return false; };
        break;
    case Fault::ChangedWhileWriting:
        // PixInsight takes no lock: it may write while the new bytes are on their way.
        operations.steps.writeAll = [settingsPath, theirs](QFileDevice &file, const QByteArray &bytes) {
            return writeAll(settingsPath, theirs) && file.write(bytes) == bytes.size();
        };
        break;
    case Fault::ChangedAtRename:
        // After every slow step (the sync above all): only the rename itself may come later.
        operations.steps.commit = [settingsPath, theirs](const std::function<bool()> &rename) {
            return writeAll(settingsPath, theirs) && rename();
        };
        break;
    case Fault::ChangedAfterRename:
        operations.steps.commit = [settingsPath, theirs](const std::function<bool()> &rename) {
            return rename() && writeAll(settingsPath, theirs);
        };
        break;
    }
    return operations;
}

struct Writer
{
    // Makes the folder ready (not yet faulty): false when it could not.
    std::function<bool(const QString &folder)> prepare;
    // The step under test, with the file operations given: false with the message.
    std::function<bool(const QString &folder, const SafeWrite::FileOperations &, QString *error)> run;
    // Whether the step backs up what it replaces (a search's round replaces a file of its own).
    bool backsUp = true;
    // A file the step rewrites even when it fails: an answer is kept in the search's state, so
    // that the round's file can be written later.
    QString keptFirst;
    // The file it writes, below the folder.
    QString target = QStringLiteral("core-001-pxi.settings");
    // What another program writes there meanwhile.
    QByteArray theirs;
};

Writer makeWriter(std::function<bool(const QString &)> prepare,
                  std::function<bool(const QString &, const SafeWrite::FileOperations &, QString *)> run,
                  bool backsUp = true, const QString &keptFirst = QString())
{
    return Writer{std::move(prepare),
                  std::move(run),
                  backsUp,
                  keptFirst,
                  QStringLiteral("core-001-pxi.settings"),
                  SearchFixture::file(true).replace("v=\"7\"", "v=\"8\"")};
}

const QString kRecords = QStringLiteral("PixInsight/etc/update/installed.xri");

QByteArray records(const QByteArray &modules)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<xri version=\"1.0\">\r\n"
           "   <package fileName=\"core-20260101.zip\" type=\"core\" repo=\"pi\"/>\r\n"
        + modules + "</xri>\r\n";
}

QByteArray moduleRecord(const QByteArray &name)
{
    return "\t<package fileName=\"" + name + "\" type=\"module\" repo=\"https://x/\"/>\r\n";
}

Writer recordsWriter(std::function<EditResult(const QString &path, const RecordEditOptions &)> edit, bool backsUp)
{
    Writer writer;
    writer.target = kRecords;
    writer.backsUp = backsUp;
    writer.theirs = records(moduleRecord("installed-meanwhile.zip"));
    writer.prepare = [](const QString &folder) {
        const QString path = folder + u'/' + kRecords;
        return QDir().mkpath(QFileInfo(path).absolutePath())
            && writeAll(path, records(moduleRecord("a.zip") + moduleRecord("b.zip")));
    };
    writer.run = [edit](const QString &folder, const SafeWrite::FileOperations &operations, QString *error) {
        RecordEditOptions options;
        options.checkRunning = false;
        options.operations = operations;
        const EditResult result = edit(folder + u'/' + kRecords, options);
        *error = result.message;
        return result.status == HelperDone;
    };
    return writer;
}

QString settingsIn(const QString &folder)
{
    return folder + QLatin1String("/core-001-pxi.settings");
}

bool startSearch(const QString &folder, const SafeWrite::FileOperations &operations, QString *error)
{
    ProblemSearch search(settingsIn(folder));
    search.setRunningCheck([] { return HostRunningCheck(); });
    search.setFileOperations(operations);
    return search.start(folder + QLatin1String("/good.settings"), nullptr, QByteArray(), error);
}

QMap<QString, Writer> writers()
{
    const auto plantSearch = [](const QString &folder) {
        return writeAll(settingsIn(folder), SearchFixture::file(true))
            && writeAll(folder + QLatin1String("/good.settings"), SearchFixture::file(false));
    };
    const auto planted = [plantSearch](const QString &folder) {
        QString error;
        return plantSearch(folder) && startSearch(folder, SafeWrite::defaultFileOperations(), &error);
    };
    QMap<QString, Writer> all;
    all.insert(
        QStringLiteral("save"),
        makeWriter(plantSearch, [](const QString &folder, const SafeWrite::FileOperations &operations, QString *error) {
            SettingsDocument document;
            document.setRunningCheck([] { return HostRunningCheck(); });
            document.setFileOperations(operations);
            if (!document.load(settingsIn(folder), error))
                return false;
            document.file().root.findPath(SearchFixture::changedPath(0))->value = QStringLiteral("12345");
            return document.save(error, nullptr);
        }));
    all.insert(
        QStringLiteral("restore"),
        makeWriter(plantSearch, [](const QString &folder, const SafeWrite::FileOperations &operations, QString *error) {
            SettingsDocument document;
            document.setRunningCheck([] { return HostRunningCheck(); });
            document.setFileOperations(operations);
            return document.restoreFile(settingsIn(folder), folder + QLatin1String("/good.settings"), error);
        }));
    all.insert(QStringLiteral("search start"), makeWriter(plantSearch, startSearch));
    const auto searchStep = [](const std::function<bool(ProblemSearch &, QString *)> &step) {
        return [step](const QString &folder, const SafeWrite::FileOperations &operations, QString *error) {
            ProblemSearch search(settingsIn(folder));
            search.setRunningCheck([] { return HostRunningCheck(); });
            search.setFileOperations(operations);
            return search.read(error) && step(search, error);
        };
    };
    all.insert(QStringLiteral("search answer"),
               makeWriter(planted, searchStep([](ProblemSearch &search, QString *error) {
                              return search.answer(ProblemSearchRounds::Answer::Bad, -1, error);
                          }),
                          false, QStringLiteral("core-001-pxi.settings.problem-search.json")));
    all.insert(QStringLiteral("search end"), makeWriter(planted, searchStep([](ProblemSearch &search, QString *error) {
                                                            return search.end(ProblemSearch::End::PutBack, error);
                                                        })));
    all.insert(QStringLiteral("installed records removal"),
               recordsWriter(
                   [](const QString &path, const RecordEditOptions &options) {
                       return removeInstalledRecords(path, {QStringLiteral("b.zip")}, options);
                   },
                   true));
    Writer putBack
        = recordsWriter([](const QString &path,
                           const RecordEditOptions &options) { return restoreNewestInstalledBackup(path, options); },
                        true);
    // A backup of the records to put back, made by an earlier removal.
    putBack.prepare = [prepare = putBack.prepare](const QString &folder) {
        const QString path = folder + u'/' + kRecords;
        RecordEditOptions options;
        options.checkRunning = false;
        return prepare(folder) && removeInstalledRecords(path, {QStringLiteral("a.zip")}, options).status == HelperDone;
    };
    all.insert(QStringLiteral("installed records put back"), putBack);
    return all;
}

} // namespace

void TestSafeWrite::everyWriterSurvivesEveryFault_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<int>("fault");
    const QList<QPair<const char *, Fault>> faults = {{"backup fails", Fault::BackupFails},
                                                      {"backup cut short", Fault::BackupCut},
                                                      {"write fails", Fault::WriteFails},
                                                      {"rename fails", Fault::RenameFails},
                                                      {"changed while writing", Fault::ChangedWhileWriting},
                                                      {"changed at the rename", Fault::ChangedAtRename},
                                                      {"changed after the rename", Fault::ChangedAfterRename}};
    for (const QString &writer : writers().keys()) {
        for (const auto &[name, fault] : faults) {
            // An answer backs up nothing unless PixInsight wrote in between.
            if (!writers().value(writer).backsUp && (fault == Fault::BackupFails || fault == Fault::BackupCut))
                continue;
            QTest::addRow("%s, %s", qPrintable(writer), name) << writer << int(fault);
        }
    }
}

void TestSafeWrite::everyWriterSurvivesEveryFault()
{
    QFETCH(QString, writer);
    QFETCH(int, fault);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Writer step = writers().value(writer);
    QVERIFY(step.prepare(dir.path()));
    const QString target = dir.filePath(step.target);
    const QString folder = QFileInfo(target).absolutePath();
    const QMap<QString, QByteArray> before = folderContents(folder);

    QString error;
    QVERIFY2(!step.run(dir.path(), faulty(Fault(fault), target, step.theirs), &error), "the step did not fail");
    QVERIFY(!error.isEmpty());
    QMap<QString, QByteArray> after = folderContents(folder);
    for (const QString &name : after.keys())
        QVERIFY2(!name.startsWith(QLatin1String(".prefwright-partial-")), qPrintable(name));

    switch (Fault(fault)) {
    case Fault::ChangedWhileWriting:
    case Fault::ChangedAtRename:
    case Fault::ChangedAfterRename:
        // What the other program wrote is never written over, and what was there stays in a backup.
        QCOMPARE(readAll(target), step.theirs);
        if (step.backsUp)
            QVERIFY2(after.values().contains(before.value(QFileInfo(target).fileName())), qPrintable(error));
        break;
    default:
        // Failed before the file was touched: the folder is as it was.
        if (!step.keptFirst.isEmpty())
            after[step.keptFirst] = before.value(step.keptFirst);
        QCOMPARE(after.keys(), before.keys());
        QVERIFY(after == before);
        QVERIFY2(error.contains(QLatin1String("Nothing was written."))
                     || error.contains(QLatin1String("Nothing was changed.")),
                 qPrintable(error));
        break;
    }
}

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safewrite.moc"
