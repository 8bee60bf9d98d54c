#include "cli/scriptededit.h"
#include "core/problemsearch.h"
#include "core/xsdtfile.h"
#include "core/xsdtnode.h"
#include "model/settingsmodel.h"
#include "modules/importplan.h"
#include "session/hostrunreport.h"
#include "session/editingsession.h"
#include "session/pendingfiles.h"
#include "schema/settingsschema.h"
#include "tests/support/privatehome.h"
#include "tests/support/testservices.h"
#include "tests/support/wholefile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace pfw;

// The session without any window: no widget exists in this program.
class TestEditingSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void undoWalksBackEveryStepWithoutAView();
    void pixInsightExitReloadsOnlyWhatNothingPendsOn_data();
    void pixInsightExitReloadsOnlyWhatNothingPendsOn();
    void searchInProgressFollowsTheStateFile();
    void theTreeAndTheCommandLineFollowOneSetOfRules();
    void pendingChangesArePutBackOnTheFilePixInsightWrote();
    void anEditInsideAQueuedDeletionComesBackWithIt();
    void aResetSurvivesARewriteAndIsSaved();
    void reApplyingLosesNothing_data();
    void reApplyingLosesNothing();
    void namesakesAreNeverTakenForOneAnother_data();
    void namesakesAreNeverTakenForOneAnother();
    void anImportIsOneStepAndSurvivesARewrite();
    void theRunReportCountsWhatAUserSees_data();
    void theRunReportCountsWhatAUserSees();
    void aDamagedFileLeftByPixInsightKeepsWhatItStartedWith_data();
    void aDamagedFileLeftByPixInsightKeepsWhatItStartedWith();

private:
    // The user's data folder is the one the file is in: queued folders of modules live there.
    QString path() const { return m_dir->filePath(QStringLiteral("Pleiades/core-001-pxi.settings")); }
    void write(const QByteArray &bytes);
    void exitPixInsightRewritingTheFile(const QByteArray &bytes);

    std::unique_ptr<test::PrivateHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<EditingSession> m_session;
    QByteArray m_original;
    bool m_running = false;
};

void TestEditingSession::write(const QByteArray &bytes)
{
    QFile file(path());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

void TestEditingSession::init()
{
    m_home = std::make_unique<test::PrivateHome>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("Pleiades/Kept")));
    m_running = false;
    QFile example(QStringLiteral(PFW_SOURCE_DIR "/examples/core-001-pxi.settings"));
    QVERIFY(example.open(QIODevice::ReadOnly));
    m_original = example.readAll();
    write(m_original);
    m_session = std::make_unique<EditingSession>(test::servicesIn(m_home->path(), [this] { return m_running; }));
    QVERIFY(m_session->schemaError().isEmpty());
    QString error;
    QVERIFY2(m_session->open(path(), &error), qPrintable(error));
}

void TestEditingSession::cleanup()
{
    m_session.reset();
}

// Edits, queued files, unqueued files and Revert all in a random order: every undo gives back
// the state before its step and every redo the state after it, counted the same way the window
// counts, although no view ever held the queue.
void TestEditingSession::undoWalksBackEveryStepWithoutAView()
{
    SettingsModel *model = m_session->model();
    PendingFiles *pending = m_session->pendingFiles();
    QList<XsdtNode *> texts;
    for (XsdtNode *node : m_session->document().file().root.valueNodes()) {
        if (node->type == u's' && model->editRefusal(node).isEmpty())
            texts << node;
    }
    QVERIFY(texts.size() > 10);
    struct State
    {
        QStringList queued;
        QStringList values;
        int unsaved = 0;
    };
    const auto state = [&] {
        State now{pending->requests(), {}, m_session->unsavedCount()};
        for (const XsdtNode *node : std::as_const(texts))
            now.values << node->value;
        return now;
    };
    const auto same = [](const State &a, const State &b) {
        return a.queued == b.queued && a.values == b.values && a.unsaved == b.unsaved;
    };
    QRandomGenerator random(20261210);
    QList<State> states{state()};
    for (int step = 0; step < 120; ++step) {
        const int module = random.bounded(6);
        const QString request = QStringLiteral("user:Module%1").arg(module);
        switch (random.bounded(4)) {
        case 0: {
            XsdtNode *node = texts.at(random.bounded(int(texts.size())));
            if (!model->setData(model->indexFor(node, SettingsModel::ValueColumn), QStringLiteral("edit %1").arg(step)))
                continue;
            break;
        }
        case 1:
            if (pending->queue({request, QStringLiteral("user:Module%1").arg(module + 1)}).isEmpty())
                continue;
            break;
        case 2:
            if (pending->unqueue({request}).isEmpty())
                continue;
            break;
        default:
            if (m_session->unsavedCount() == 0)
                continue;
            m_session->revertAll();
            QCOMPARE(m_session->unsavedCount(), 0);
            QCOMPARE(pending->count(), 0);
            break;
        }
        const State now = state();
        QCOMPARE(now.unsaved, int(m_session->document().pendingChangeCount()) + int(now.queued.size()));
        states << now;
    }
    QCOMPARE(m_session->undoStack()->count(), int(states.size()) - 1);
    for (int i = int(states.size()) - 2; i >= 0; --i) {
        QVERIFY(model->canUndo());
        QVERIFY(model->undo());
        QVERIFY2(same(state(), states.at(i)), qPrintable(QStringLiteral("undo to step %1").arg(i)));
    }
    QCOMPARE(m_session->unsavedCount(), 0);
    for (int i = 1; i < states.size(); ++i) {
        QVERIFY(model->redo());
        QVERIFY2(same(state(), states.at(i)), qPrintable(QStringLiteral("redo to step %1").arg(i)));
    }
}

void TestEditingSession::exitPixInsightRewritingTheFile(const QByteArray &bytes)
{
    m_running = true;
    m_session->poll();
    QVERIFY(m_session->isHostRunning());
    QVERIFY(m_session->model()->isReadOnly());
    write(bytes);
    m_running = false;
    m_session->poll();
    // The new bytes are hashed on a worker; the verdict comes with the next poll it starts.
    QTRY_VERIFY(!m_session->isCheckingDisk());
    m_session->poll();
}

void TestEditingSession::pixInsightExitReloadsOnlyWhatNothingPendsOn_data()
{
    QTest::addColumn<int>("pending");
    QTest::addColumn<bool>("reloaded");
    QTest::newRow("nothing pending") << 0 << true;
    QTest::newRow("an edit") << 1 << false;
    QTest::newRow("a queued file") << 2 << false;
}

// PixInsight writes its settings when it exits. The session takes the new file by itself only
// when nothing would be lost; otherwise it says the file changed and keeps every pending change.
void TestEditingSession::pixInsightExitReloadsOnlyWhatNothingPendsOn()
{
    QFETCH(int, pending);
    QFETCH(bool, reloaded);
    SettingsModel *model = m_session->model();
    // A text value anyone may edit, whose attributes can be found in the file's bytes.
    XsdtNode *node = nullptr;
    QByteArray attributes;
    for (XsdtNode *value : m_session->document().file().root.valueNodes()) {
        attributes = QStringLiteral("k=\"%1\" t=\"s\" v=\"%2\"").arg(value->key, value->value).toUtf8();
        if (value->type == u's' && model->editRefusal(value).isEmpty() && m_original.count(attributes) == 1) {
            node = value;
            break;
        }
    }
    QVERIFY(node);
    const QString path = node->path();
    const QString before = node->value;
    if (pending == 1)
        QVERIFY(model->setData(model->indexFor(node, SettingsModel::ValueColumn), QStringLiteral("mine")));
    if (pending == 2)
        QCOMPARE(m_session->pendingFiles()->queue({QStringLiteral("user:Kept")}).size(), 1);
    QSignalSpy opened(m_session.get(), &EditingSession::fileOpened);
    QSignalSpy released(m_session.get(), &EditingSession::treeReleased);
    QByteArray rewritten = m_original;
    rewritten.replace(attributes, QStringLiteral("k=\"%1\" t=\"s\" v=\"theirs\"").arg(node->key).toUtf8());
    QVERIFY(rewritten != m_original);
    exitPixInsightRewritingTheFile(rewritten);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!m_session->isHostRunning());
    QVERIFY(!model->isReadOnly());
    QCOMPARE(opened.count(), reloaded ? 1 : 0);
    QCOMPARE(released.count(), reloaded ? 1 : 0);
    QCOMPARE(m_session->isChangedOnDisk(), !reloaded);
    node = m_session->document().file().root.findPath(path);
    QVERIFY(node);
    QCOMPARE(node->value, reloaded ? QStringLiteral("theirs") : pending == 1 ? QStringLiteral("mine") : before);
    QCOMPARE(m_session->unsavedCount(), pending == 0 ? 0 : 1);
}

// The window and the search dialog read one answer to "is a search under way", kept current
// by the session's poll.
void TestEditingSession::searchInProgressFollowsTheStateFile()
{
    QVERIFY(!m_session->isSearchInProgress());
    const QString state = ProblemSearch::statePathFor(path());
    QFile file(state);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{}");
    file.close();
    QSignalSpy polled(m_session.get(), &EditingSession::polled);
    m_session->poll();
    QCOMPARE(polled.count(), 1);
    QVERIFY(m_session->isSearchInProgress());
    QVERIFY(QFile::remove(state));
    m_session->poll();
    QVERIFY(!m_session->isSearchInProgress());
}

// An edit in the raw tree and the same edit from the command line are accepted or refused
// alike, for values with a range, allowed values, a read-only mark, a lock or a protected type.
void TestEditingSession::theTreeAndTheCommandLineFollowOneSetOfRules()
{
    SettingsModel *model = m_session->model();
    const SettingsSchema &schema = m_session->schema();
    SettingsDocument script;
    QString error;
    QVERIFY2(script.load(path(), &error), qPrintable(error));
    script.setPolicy(&m_session->policy());
    ScriptedEdit edit(&script, &schema, &m_session->policy());
    struct Case
    {
        QString path;
        QString text;
    };
    QList<Case> cases;
    bool ranged = false, choice = false, readOnly = false;
    for (const XsdtNode *node : m_session->document().file().root.valueNodes()) {
        const VariableSpec spec = schema.spec(*node);
        const QString at = node->path();
        if (!ranged && spec.kind == WidgetKind::Int && spec.hasRange && spec.max < 1e6 && spec.min > -1e6) {
            ranged = true;
            for (const double number : {spec.min - 1, spec.min, spec.max, spec.max + 1})
                cases.append({at, QString::number(qint64(number))});
        } else if (!choice && spec.kind == WidgetKind::Choice && !spec.choices.isEmpty()) {
            choice = true;
            cases.append({at, QString::number(spec.choices.constLast().value)});
            cases.append({at, QString::number(spec.choices.constLast().value + 1000)});
        } else if (!readOnly && spec.readOnly && node->isEditableValue()) {
            readOnly = true;
            cases.append({at, node->type == u's' ? QStringLiteral("x") : QStringLiteral("1")});
        } else if (!node->isEditableValue()) {
            cases.append({at, QStringLiteral("1")});
        }
    }
    QVERIFY(ranged && choice && readOnly);
    int refused = 0;
    for (const Case &one : std::as_const(cases)) {
        XsdtNode *node = m_session->document().file().root.findPath(one.path);
        QString scriptError;
        const bool byScript = edit.setValue(one.path, one.text, &scriptError);
        const bool inTree = model->setData(model->indexFor(node, SettingsModel::ValueColumn), one.text);
        QVERIFY2(
            byScript == inTree || (byScript && node->value == one.text),
            qPrintable(QStringLiteral("%1 = %2: command line %3 (%4), tree %5")
                           .arg(one.path, one.text, byScript ? QStringLiteral("accepts") : QStringLiteral("refuses"),
                                scriptError, inTree ? QStringLiteral("accepts") : QStringLiteral("refuses"))));
        refused += byScript ? 0 : 1;
    }
    QVERIFY(refused >= 4);
}

// Edits, deletions and a queued file made before PixInsight ran are put back on the file it
// wrote when it exited: a value it left alone takes the user's value again, one it changed too
// is a conflict settled either way, a deleted or removed entry is dropped with a line, and
// everything put back is one undo step.
void TestEditingSession::pendingChangesArePutBackOnTheFilePixInsightWrote()
{
    SettingsModel *model = m_session->model();
    XsdtNode &root = m_session->document().file().root;
    QList<XsdtNode *> texts;
    QList<XsdtNode *> deletable;
    for (XsdtNode *node : root.valueNodes()) {
        if (node->type == u's' && model->editRefusal(node).isEmpty() && node->parent->key != node->key)
            texts << node;
    }
    for (const auto &module : root.children) {
        for (const auto &child : module->children) {
            if (child->kind == XsdtNode::Item && model->verdict(child.get()).level != DeletionLevel::Never
                && std::none_of(texts.cbegin(), texts.cbegin() + 5, [&](const XsdtNode *text) {
                       for (const XsdtNode *at = text; at; at = at->parent) {
                           if (at == child.get())
                               return true;
                       }
                       return false;
                   }))
                deletable << child.get();
        }
    }
    QVERIFY(texts.size() >= 5);
    QVERIFY(deletable.size() >= 2);
    enum { Clean, TakeTheirs, KeepMine, Same, Removed };
    QStringList paths, originals;
    for (int i = 0; i < 5; ++i) {
        paths << texts.at(i)->path();
        originals << texts.at(i)->value;
        QVERIFY(
            model->setData(model->indexFor(texts.at(i), SettingsModel::ValueColumn), QStringLiteral("mine %1").arg(i)));
    }
    const QString kept = deletable.at(0)->path();
    const QString removed = deletable.at(1)->path();
    QVERIFY(model->requestDeletion(deletable.at(0)));
    QVERIFY(model->requestDeletion(deletable.at(1)));
    QCOMPARE(m_session->pendingFiles()->queue({QStringLiteral("user:Kept")}).size(), 1);
    const int pendingBefore = m_session->unsavedCount();
    QCOMPARE(pendingBefore, 8);

    // PixInsight writes its own file: a second writer, from the bytes it read at its start.
    XsdtFile theirs;
    QVERIFY(theirs.parse(m_original));
    const auto set = [&](int i, const QString &text) {
        XsdtNode *node = theirs.root.findPath(paths.at(i));
        node->value = node->savedValue = text;
    };
    set(TakeTheirs, QStringLiteral("theirs 1"));
    set(KeepMine, QStringLiteral("theirs 2"));
    set(Same, QStringLiteral("mine 3"));
    for (const QString &gone : {paths.at(Removed), removed}) {
        XsdtNode *node = theirs.root.findPath(gone);
        auto &siblings = node->parent->children;
        siblings.erase(siblings.begin() + node->indexInParent());
    }
    exitPixInsightRewritingTheFile(theirs.serialize());
    if (QTest::currentTestFailed())
        return;
    QVERIFY(m_session->isChangedOnDisk());
    QCOMPARE(m_session->unsavedCount(), pendingBefore);

    PendingRebase rebase = m_session->pendingChanges();
    QCOMPARE(rebase.changeCount(), pendingBefore);
    QByteArray seen;
    QString error;
    QVERIFY2(m_session->compareWithDisk(rebase, &seen, &error), qPrintable(error));
    QCOMPARE(rebase.conflictCount(), 2);
    QCOMPARE(rebase.droppedLines().size(), 2);
    for (PendingRebase::Edit &edit : rebase.edits()) {
        if (edit.path == paths.at(TakeTheirs)) {
            QCOMPARE(edit.theirs, QStringLiteral("theirs 1"));
            QCOMPARE(edit.before, originals.at(TakeTheirs));
            edit.keepMine = false;
        }
    }
    PendingRebase::Outcome outcome;
    QCOMPARE(m_session->reloadKeepingChanges(rebase, &seen, &outcome, &error), EditingSession::Rebased::Done);
    // What was dropped is said again with the result.
    QCOMPARE(outcome.notApplied, rebase.droppedLines());
    QCOMPARE(outcome.applied, 4);
    QVERIFY(!m_session->isChangedOnDisk());
    XsdtNode &now = m_session->document().file().root;
    const auto valueAt = [&](int i) {
        const XsdtNode *node = now.findPath(paths.at(i));
        return node ? std::make_pair(node->value, node->savedValue) : std::make_pair(QString(), QString());
    };
    QCOMPARE(valueAt(Clean).first, QStringLiteral("mine 0"));
    QCOMPARE(valueAt(TakeTheirs), std::make_pair(QStringLiteral("theirs 1"), QStringLiteral("theirs 1")));
    QCOMPARE(valueAt(KeepMine), std::make_pair(QStringLiteral("mine 2"), QStringLiteral("theirs 2")));
    QCOMPARE(valueAt(Same), std::make_pair(QStringLiteral("mine 3"), QStringLiteral("mine 3")));
    QVERIFY(!now.findPath(paths.at(Removed)));
    QVERIFY(now.findPath(kept)->deleted);
    QVERIFY(!now.findPath(removed));
    QVERIFY(m_session->pendingFiles()->isQueued(QStringLiteral("user:Kept")));
    QCOMPARE(m_session->unsavedCount(), 4);

    // One step takes it all back, and brings it all again.
    QCOMPARE(m_session->undoStack()->count(), 1);
    QVERIFY(model->undo());
    QCOMPARE(m_session->unsavedCount(), 0);
    QVERIFY(model->redo());
    QCOMPARE(m_session->unsavedCount(), 4);

    // The file can be saved again, with PixInsight's values where the user kept none of theirs.
    QString backup;
    QVERIFY2(m_session->saveChanges(&error, &backup), qPrintable(error));
    XsdtFile saved;
    QVERIFY(SettingsDocument::readSettingsFile(path(), &saved, &error));
    QCOMPARE(saved.root.findPath(paths.at(KeepMine))->value, QStringLiteral("mine 2"));
    QCOMPARE(saved.root.findPath(paths.at(TakeTheirs))->value, QStringLiteral("theirs 1"));
    QVERIFY(!saved.root.findPath(kept));
}

// A value edited, then its entry queued for deletion from a Cleanup group: after PixInsight
// wrote the file, the deletion is put back under its group, and undoing it brings the edit back.
void TestEditingSession::anEditInsideAQueuedDeletionComesBackWithIt()
{
    SettingsModel *model = m_session->model();
    XsdtNode &root = m_session->document().file().root;
    XsdtNode *entry = nullptr;
    XsdtNode *value = nullptr;
    for (XsdtNode *node : root.valueNodes()) {
        if (node->type == u's' && model->editRefusal(node).isEmpty() && node->parent->parent
            && model->verdict(node->parent).level != DeletionLevel::Never) {
            entry = node->parent;
            value = node;
            break;
        }
    }
    QVERIFY(entry && value);
    const QString entryPath = entry->path();
    const QString valuePath = value->path();
    QVERIFY(model->setData(model->indexFor(value, SettingsModel::ValueColumn), QStringLiteral("edited first")));
    QVERIFY(model->requestDeletion(entry, nullptr, QStringLiteral("A Cleanup group")));
    QCOMPARE(m_session->unsavedCount(), 1);

    exitPixInsightRewritingTheFile(m_original);
    if (QTest::currentTestFailed())
        return;
    PendingRebase rebase = m_session->pendingChanges();
    QCOMPARE(rebase.changeCount(), 1);
    QByteArray seen;
    QString error;
    QVERIFY2(m_session->compareWithDisk(rebase, &seen, &error), qPrintable(error));
    PendingRebase::Outcome outcome;
    QCOMPARE(m_session->reloadKeepingChanges(rebase, &seen, &outcome, &error), EditingSession::Rebased::Done);
    // "1 change put back", as "my 1 change" was offered.
    QCOMPARE(outcome.applied, 1);
    XsdtNode &now = m_session->document().file().root;
    XsdtNode *deleted = now.findPath(entryPath);
    QVERIFY(deleted && deleted->deleted);
    QCOMPARE(model->deletionGroup(deleted), QStringLiteral("A Cleanup group"));
    QCOMPARE(m_session->unsavedCount(), 1);
    model->undoDeletion(deleted);
    QCOMPARE(now.findPath(valuePath)->value, QStringLiteral("edited first"));
}

void TestEditingSession::reApplyingLosesNothing_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("PixInsight starts again") << "running";
    QTest::newRow("the file is no settings file any more") << "invalid";
    QTest::newRow("the file is gone") << "gone";
    QTest::newRow("PixInsight writes it again after the comparison") << "rewritten";
    QTest::newRow("another change is made after the comparison") << "edited";
}

// Between the comparison the user settled and the reload, anything may happen: the re-apply is
// refused or compared again, and no pending change, queued file or undo step is lost by it.
void TestEditingSession::reApplyingLosesNothing()
{
    QFETCH(QString, meanwhile);
    SettingsModel *model = m_session->model();
    QList<XsdtNode *> texts;
    for (XsdtNode *node : m_session->document().file().root.valueNodes()) {
        if (node->type == u's' && model->editRefusal(node).isEmpty())
            texts << node;
    }
    QVERIFY(texts.size() > 2);
    const QString edited = texts.at(0)->path();
    QVERIFY(model->setData(model->indexFor(texts.at(0), SettingsModel::ValueColumn), QStringLiteral("mine")));
    QCOMPARE(m_session->pendingFiles()->queue({QStringLiteral("user:Kept")}).size(), 1);
    exitPixInsightRewritingTheFile(m_original + "\n");
    if (QTest::currentTestFailed())
        return;
    PendingRebase rebase = m_session->pendingChanges();
    QByteArray seen;
    QString error;
    QVERIFY2(m_session->compareWithDisk(rebase, &seen, &error), qPrintable(error));
    const int undoSteps = m_session->undoStack()->count();

    if (meanwhile == u"running") {
        m_running = true;
        m_session->poll();
    } else if (meanwhile == u"invalid") {
        write("<xsdt version=\"1.0\"><i k=\"cut");
    } else if (meanwhile == u"gone") {
        QVERIFY(QFile::remove(path()));
    } else if (meanwhile == u"rewritten") {
        write(m_original + "\n\n");
    } else {
        QVERIFY(model->setData(model->indexFor(texts.at(1), SettingsModel::ValueColumn), QStringLiteral("later")));
    }
    PendingRebase::Outcome outcome;
    const EditingSession::Rebased done = m_session->reloadKeepingChanges(rebase, &seen, &outcome, &error);
    const bool again = meanwhile == u"rewritten" || meanwhile == u"edited";
    QCOMPARE(done, again ? EditingSession::Rebased::ChangedAgain : EditingSession::Rebased::Failed);
    QVERIFY(again || !error.isEmpty());
    // Nothing was taken: the same tree, its changes, its queue and its history.
    const XsdtNode *node = m_session->document().file().root.findPath(edited);
    QVERIFY(node);
    QCOMPARE(node->value, QStringLiteral("mine"));
    QVERIFY(m_session->pendingFiles()->isQueued(QStringLiteral("user:Kept")));
    QCOMPARE(m_session->undoStack()->count(), undoSteps + (meanwhile == u"edited" ? 1 : 0));
    if (!again)
        return;
    // Compared again with what is there now, the changes go on top of it.
    QCOMPARE(rebase.changeCount(), meanwhile == u"edited" ? 3 : 2);
    QCOMPARE(m_session->reloadKeepingChanges(rebase, &seen, &outcome, &error), EditingSession::Rebased::Done);
    QCOMPARE(m_session->unsavedCount(), rebase.changeCount());
    QVERIFY(!m_session->isChangedOnDisk());
}

void TestEditingSession::namesakesAreNeverTakenForOneAnother_data()
{
    QTest::addColumn<QByteArray>("theirs");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<bool>("asked");
    const QByteArray second = "<i k=\"E\"><v k=\"a\" t=\"s\" v=\"1\"/><v k=\"b\" t=\"s\" v=\"y\"/></i>";
    const QByteArray first = "<i k=\"E\"><v k=\"a\" t=\"s\" v=\"1\"/><v k=\"b\" t=\"s\" v=\"x\"/></i>";
    QTest::newRow("both still there") << first + second << true << true;
    QTest::newRow("the first one removed") << second << false << true;
    QTest::newRow("the second one rewritten") << first + QByteArray(second).replace("\"y\"", "\"w\"") << false << true;
}

// Two groups of one name, an edit in the first and a queued deletion of the second: when
// PixInsight removed the first, the places point elsewhere, and nothing is edited or deleted
// that the user did not mean.
void TestEditingSession::namesakesAreNeverTakenForOneAnother()
{
    QFETCH(QByteArray, theirs);
    QFETCH(bool, deleted);
    QFETCH(bool, asked);
    const auto document = [](const QByteArray &groups) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\"><i k=\"M\">" + groups + "</i></xsdt>";
    };
    XsdtFile mine, onDisk;
    QVERIFY(mine.parse(document("<i k=\"E\"><v k=\"a\" t=\"s\" v=\"1\"/><v k=\"b\" t=\"s\" v=\"x\"/></i>"
                                "<i k=\"E\"><v k=\"a\" t=\"s\" v=\"1\"/><v k=\"b\" t=\"s\" v=\"y\"/></i>"
                                "<i k=\"F\"><v k=\"c\" t=\"s\" v=\"z\"/></i>")));
    QVERIFY(onDisk.parse(document(theirs + "<i k=\"F\"><v k=\"c\" t=\"s\" v=\"z\"/></i>")));
    XsdtNode *module = mine.root.children.front().get();
    module->children.at(0)->children.front()->value = QStringLiteral("edited");
    module->children.at(1)->deleted = true;
    // A group without a namesake is found again by its place alone.
    mine.root.children.front()->children.back()->deleted = true;
    PendingRebase rebase = PendingRebase::capture(mine.root, {});
    QCOMPARE(rebase.deletions().size(), 2);
    rebase.compareWith(onDisk.root);
    QCOMPARE(!rebase.deletions().at(0).changed && !rebase.deletions().at(0).gone, deleted);
    QVERIFY(!rebase.deletions().at(1).changed && !rebase.deletions().at(1).gone);
    QCOMPARE(rebase.conflictCount(), asked ? 1 : 0);
}

// A reset is a deletion the rules would refuse: carried over a rewrite it must stay a reset, or
// putting it back is refused and the save would never remove the value.
void TestEditingSession::aResetSurvivesARewriteAndIsSaved()
{
    SettingsModel *model = m_session->model();
    const QString path = QStringLiteral("Global/Preferences/Process/MaxConsoleLines");
    XsdtNode *value = m_session->document().file().root.findPath(path);
    QVERIFY(value);
    QCOMPARE(model->requestReset({value}, QStringLiteral("Processes")), 1);
    exitPixInsightRewritingTheFile(m_original);
    if (QTest::currentTestFailed())
        return;
    PendingRebase rebase = m_session->pendingChanges();
    QByteArray seen;
    QString error;
    QVERIFY2(m_session->compareWithDisk(rebase, &seen, &error), qPrintable(error));
    PendingRebase::Outcome outcome;
    QCOMPARE(m_session->reloadKeepingChanges(rebase, &seen, &outcome, &error), EditingSession::Rebased::Done);
    QCOMPARE(outcome.applied, 1);
    XsdtNode *again = m_session->document().file().root.findPath(path);
    QVERIFY(again && again->deleted && again->resetToDefault);
    QString backup;
    QVERIFY2(m_session->saveChanges(&error, &backup), qPrintable(error));
    XsdtFile saved;
    QVERIFY(saved.parse(pfw::test::readAll(m_session->path())));
    QVERIFY(!saved.root.findPath(path));
    QVERIFY(saved.root.findPath(QStringLiteral("Global/Preferences/Process/MaxProcessors")));
}

// New entries (a new group and a new value in one of the file's) and an edit are one undo step;
// when PixInsight rewrites the file the new entries are added again unless it wrote one of them
// itself, and the save keeps them.
void TestEditingSession::anImportIsOneStepAndSurvivesARewrite()
{
    XsdtFile snippet;
    QVERIFY(snippet.parse("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\"><i k=\"Global\">"
                          "<i k=\"Preferences\"><i k=\"Process\"><v k=\"MaxProcessors\" t=\"i\" v=\"3\"/>"
                          "<v k=\"ImportedHere\" t=\"s\" v=\"here\"/></i></i></i><i k=\"ImportedModule\">"
                          "<i k=\"Inner\"><v k=\"Level\" t=\"i\" v=\"2\"/></i></i></xsdt>\n"));
    XsdtNode &root = m_session->document().file().root;
    const QByteArray before = m_session->document().file().serialize();
    ImportPlan plan(&m_session->schema(), &m_session->policy());
    plan.compute(snippet.root, root);
    QCOMPARE(plan.changeCount(), 3);
    QCOMPARE(m_session->applyImport(plan, plan.applicableEntries(), {}, QStringLiteral("snippet")), 3);
    QCOMPARE(m_session->unsavedCount(), 3);
    QCOMPARE(m_session->undoStack()->count(), 1);
    const QByteArray imported = m_session->document().file().serialize();
    QVERIFY(imported.contains("ImportedHere") && imported.contains("<v k=\"Level\" t=\"i\" v=\"2\"/>"));
    QVERIFY(m_session->model()->undo());
    QCOMPARE(m_session->document().file().serialize(), before);
    QCOMPARE(m_session->unsavedCount(), 0);
    QVERIFY(m_session->model()->redo());
    QCOMPARE(m_session->document().file().serialize(), imported);
    // Revert all takes the new entries out and its undo puts them back where they were.
    m_session->revertAll();
    QCOMPARE(m_session->document().file().serialize(), before);
    QVERIFY(m_session->model()->undo());
    QCOMPARE(m_session->document().file().serialize(), imported);

    // PixInsight writes the module's group itself, with a value of its own.
    QByteArray rewritten = m_original;
    rewritten.replace("</xsdt>", "<i k=\"ImportedModule\"><v k=\"Own\" t=\"b\" v=\"true\"/></i></xsdt>");
    exitPixInsightRewritingTheFile(rewritten);
    if (QTest::currentTestFailed())
        return;
    PendingRebase rebase = m_session->pendingChanges();
    QCOMPARE(rebase.changeCount(), 3);
    QByteArray seen;
    QString error;
    QVERIFY2(m_session->compareWithDisk(rebase, &seen, &error), qPrintable(error));
    QCOMPARE(rebase.droppedLines().size(), 1);
    QVERIFY2(rebase.droppedLines().constFirst().contains(QLatin1String("ImportedModule")),
             qPrintable(rebase.droppedLines().constFirst()));
    PendingRebase::Outcome outcome;
    QCOMPARE(m_session->reloadKeepingChanges(rebase, &seen, &outcome, &error), EditingSession::Rebased::Done);
    QCOMPARE(outcome.applied, 2);
    QString backup;
    QVERIFY2(m_session->saveChanges(&error, &backup), qPrintable(error));
    XsdtFile saved;
    QVERIFY(saved.parse(pfw::test::readAll(m_session->path())));
    QCOMPARE(saved.root.findPath(QStringLiteral("Global/Preferences/Process/ImportedHere"))->value,
             QStringLiteral("here"));
    QCOMPARE(saved.root.findPath(QStringLiteral("Global/Preferences/Process/MaxProcessors"))->value,
             QStringLiteral("3"));
    QVERIFY(saved.root.findPath(QStringLiteral("ImportedModule/Own")));
    QVERIFY(!saved.root.findPath(QStringLiteral("ImportedModule/Inner")));
}

// Statistics and the module list are noise to the count, but a changed module list is what breaks
// an installation: it is said even when nothing else changed.
void TestEditingSession::theRunReportCountsWhatAUserSees_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("modules");
    const auto file = [](const QByteArray &lines, const QByteArray &modules, const QByteArray &statistics) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\"><i k=\"Global\"><i "
               "k=\"Preferences\"><i k=\"Process\"><v k=\"MaxConsoleLines\" t=\"i\" v=\""
            + lines + "\"/></i></i><i k=\"Statistics\"><v k=\"Runs\" t=\"i\" v=\"" + statistics
            + "\"/></i></i><i k=\"Modules\">" + modules + "</i></xsdt>\n";
    };
    const QByteArray one = "<v k=\"Module01\" t=\"s\" v=\"@pxi_bin_dir/Lumen-pxm.so\"/>";
    const QByteArray two = one + "<v k=\"Module02\" t=\"s\" v=\"@pxi_bin_dir/Mirelux-pxm.so\"/>";
    const QByteArray before = file("5000", one, "1");
    QTest::newRow("a value") << before << file("6000", one, "1")
                             << QStringLiteral("PixInsight changed 1 setting while it ran.") << QString();
    QTest::newRow("only the module list")
        << before << file("5000", two, "2") << QStringLiteral("PixInsight changed only its module list while it ran.")
        << QStringLiteral("Its module list changed: added Mirelux.");
    QTest::newRow("a value and a module gone")
        << before << file("6000", QByteArray(), "2") << QStringLiteral("PixInsight changed 1 setting while it ran.")
        << QStringLiteral("Its module list changed: removed Lumen.");
    QTest::newRow("statistics only") << before << file("5000", one, "2") << QString() << QString();
}

void TestEditingSession::theRunReportCountsWhatAUserSees()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, text);
    QFETCH(QString, modules);
    HostRunReport report;
    QVERIFY(report.build(before, after, &m_session->policy()));
    QCOMPARE(report.isEmpty() ? QString() : report.text(), text);
    QCOMPARE(report.modulesText(), modules);
}

// PixInsight exits leaving a file that is no settings file: the file it started with, held only
// in memory until then, is kept as a backup, and the failed reload says where.
void TestEditingSession::aDamagedFileLeftByPixInsightKeepsWhatItStartedWith_data()
{
    QTest::addColumn<bool>("missing");
    QTest::newRow("cut short") << false;
    QTest::newRow("gone") << true;
}

void TestEditingSession::aDamagedFileLeftByPixInsightKeepsWhatItStartedWith()
{
    QFETCH(bool, missing);
    QSignalSpy failed(m_session.get(), &EditingSession::reloadFailed);
    m_running = true;
    m_session->poll();
    QVERIFY(m_session->isHostRunning());
    if (missing)
        QVERIFY(QFile::remove(path()));
    else
        write(m_original.left(m_original.size() / 2));
    m_running = false;
    m_session->poll();
    QTRY_VERIFY(!m_session->isCheckingDisk());
    m_session->poll();
    QTRY_COMPARE(failed.count(), 1);
    const QDir folder = QFileInfo(path()).absoluteDir();
    const QStringList kept = folder.entryList({QStringLiteral("*.bak-*-before-pixinsight*")}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QCOMPARE(test::readAll(folder.filePath(kept.first())), m_original);
    const QString error = failed.first().first().toString();
    QVERIFY2(error.contains(kept.first()), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestEditingSession)
#include "tst_editingsession.moc"
