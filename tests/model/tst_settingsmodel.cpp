#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "model/settingsfilterproxy.h"
#include "model/settingsmodel.h"
#include "schema/deletionpolicy.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QFont>
#include <QRandomGenerator>
#include <QSet>
#include <QUndoStack>
#include <QSignalSpy>
#include <QTest>

using namespace pfw;

class TestSettingsModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void passesTheModelTester();
    void columnsAndRoles();
    void editAndBackToOriginal();
    void sameTextIsNoChange();
    void refusedText();
    void protectedBlock();
    void lockedRegistry();
    void viewOnly();
    void deletions();
    void tooltips();
    void notifySubtreeCoversEveryRow();
    void revertAllIsOneReset();
    void filter_data();
    void filter();
    void changedOnlyFollowsEditsOnRefilter();
    void undoRedo_data();
    void undoRedo();
    void newChangeDropsTheRedoSteps();
    void noUndoWhileViewOnlyOrAfterANewDocument();
    void largeStepsUndoInOneReset();
    void revertAllUndoesEditsInsideQueuedDeletions();
    void randomHistoriesUndoAndRedoExactly();

private:
    QModelIndex valueIndex(const char *path) const;
    XsdtNode *at(const char *path) const { return m_file.root.findPath(QString::fromLatin1(path)); }
    // Everything a change can touch: the values and deletions as saved, and the change count.
    QByteArray state() const { return m_file.serialize() + QByteArray::number(m_file.root.pendingChangeCount()); }
    // Every node's saved and pending value and deletion mark, inside queued deletions too.
    QStringList fullState() const;

    DeletionPolicy m_policy;
    XsdtFile m_file;
    SettingsModel m_model;
};

void TestSettingsModel::initTestCase()
{
    QString error;
    QVERIFY(m_policy.loadBuiltIn(&error));
    m_model.setPolicy(&m_policy);
}

void TestSettingsModel::init()
{
    QVERIFY(m_file.parse(SettingsGenerator::demo()));
    m_model.setDocument(&m_file);
    m_model.setReadOnly(false);
}

QStringList TestSettingsModel::fullState() const
{
    QStringList lines;
    const std::function<void(const XsdtNode &, const QString &)> walk = [&](const XsdtNode &node, const QString &at) {
        for (size_t i = 0; i < node.children.size(); ++i) {
            const XsdtNode &child = *node.children[i];
            const QString path = at + u'/' + QString::number(i);
            lines << QStringLiteral("%1 %2 %3|%4|%5%6%7")
                         .arg(path, child.key, child.savedValue, child.value, child.deleted ? u"D" : u"-",
                              child.resetToDefault ? u"R" : u"-", child.added ? u"A" : u"-");
            QCOMPARE_EQ(child.parent, &node);
            walk(child, path);
        }
    };
    walk(m_file.root, QString());
    return lines;
}

QModelIndex TestSettingsModel::valueIndex(const char *path) const
{
    return m_model.indexFor(m_file.root.findPath(QString::fromLatin1(path)), SettingsModel::ValueColumn);
}

void TestSettingsModel::passesTheModelTester()
{
    QAbstractItemModelTester tester(&m_model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("8")));
    QVERIFY(m_model.requestDeletion(m_file.root.findPath(u"CommandHistory")));
    QVERIFY(m_model.requestDeletion(m_file.root.findPath(u"ModuleData/Mirelux")));
    m_model.undoDeletion(m_file.root.findPath(u"ModuleData/Mirelux"));
    m_model.setReadOnly(true);
    m_model.setReadOnly(false);
    QVERIFY(m_model.undo());
    QVERIFY(m_model.redo());
    m_model.revertAll();
    QVERIFY(m_model.undo());
    m_model.revertAll();
    m_model.setDocument(nullptr);
    QCOMPARE(m_model.rowCount(), 0);
    m_model.setDocument(&m_file);
    QCOMPARE(m_model.rowCount(), int(m_file.root.children.size()));
}

void TestSettingsModel::columnsAndRoles()
{
    QCOMPARE(m_model.headerData(1, Qt::Horizontal), QVariant(QStringLiteral("Value")));
    QVERIFY(!m_model.headerData(1, Qt::Vertical).isValid());
    const QModelIndex global = m_model.indexFor(m_file.root.childByKey(u"Global"), SettingsModel::TypeColumn);
    QCOMPARE(global.data().toString(),
             QStringLiteral("%1 items").arg(m_file.root.childByKey(u"Global")->children.size()));
    const QModelIndex processors = valueIndex("Global/Preferences/Process/MaxProcessors");
    QCOMPARE(processors.data().toString(), QStringLiteral("64"));
    QCOMPARE(processors.siblingAtColumn(2).data().toString(), QStringLiteral("Integer"));
    QCOMPARE(m_model.nodeFor(processors)->key, QStringLiteral("MaxProcessors"));
    QCOMPARE(processors.data(SettingsModel::NodeRole).value<void *>(),
             static_cast<void *>(m_model.nodeFor(processors)));
    QCOMPARE(m_model.nodeFor(QModelIndex()), &m_file.root);
    QVERIFY(!m_model.indexFor(&m_file.root).isValid());
    QVERIFY(m_model.flags(processors) & Qt::ItemIsEditable);
    QVERIFY(!(m_model.flags(processors.siblingAtColumn(0)) & Qt::ItemIsEditable));
}

void TestSettingsModel::editAndBackToOriginal()
{
    QSignalSpy edited(&m_model, &SettingsModel::edited);
    const QModelIndex gamma = valueIndex("Global/RGBWorkingSpace/Gamma");
    QVERIFY(m_model.setData(gamma, QStringLiteral(" 2.50 ")));
    QCOMPARE(gamma.data(Qt::EditRole).toString(), QStringLiteral("2.5"));
    QCOMPARE(gamma.data(Qt::FontRole).value<QFont>().weight(), QFont::Bold);
    QCOMPARE(gamma.data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 190, 0, 70));
    QCOMPARE(m_file.root.pendingChangeCount(), 1);
    QVERIFY(m_model.setData(gamma, QStringLiteral("2.2")));
    QVERIFY(!gamma.data(Qt::FontRole).isValid());
    QVERIFY(!gamma.data(Qt::BackgroundRole).isValid());
    QCOMPARE(m_file.root.pendingChangeCount(), 0);
    QCOMPARE(edited.count(), 2);
}

void TestSettingsModel::sameTextIsNoChange()
{
    QSignalSpy edited(&m_model, &SettingsModel::edited);
    QSignalSpy changed(&m_model, &QAbstractItemModel::dataChanged);
    QVERIFY(!m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("064")));
    QCOMPARE(edited.count(), 0);
    QCOMPARE(changed.count(), 0);
}

void TestSettingsModel::refusedText()
{
    QSignalSpy rejected(&m_model, &SettingsModel::editRejected);
    QVERIFY(!m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("many")));
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(rejected.at(0).at(0).toString(),
             QStringLiteral("MaxProcessors: Expected an integer between -2147483648 and 2147483647."));
    QCOMPARE(m_file.root.findPath(u"Global/Preferences/Process/MaxProcessors")->value, QStringLiteral("64"));
    QVERIFY(
        !m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("1"), Qt::DisplayRole));
    QCOMPARE(rejected.count(), 1);
    // Text pasted from a terminal, with its colours, is refused: the file would not be XML.
    QVERIFY(!m_model.setData(valueIndex("Global/Preferences/Application/HighResFont"), QStringLiteral("Mono\x1B[1m")));
    QCOMPARE(rejected.count(), 2);
    QCOMPARE(rejected.at(1).at(0).toString(),
             QStringLiteral("HighResFont: The text contains a control character (U+001B) "
                            "that a settings file cannot hold."));
    QCOMPARE(m_file.root.pendingChangeCount(), 0);
}

void TestSettingsModel::protectedBlock()
{
    const QModelIndex layout = valueIndex("MainWindow/Layout");
    const XsdtNode *node = m_model.nodeFor(layout);
    QVERIFY(!(m_model.flags(layout) & Qt::ItemIsEditable));
    QCOMPARE(layout.data().toString(), node->value);
    QVERIFY(layout.data(Qt::ForegroundRole).isValid());
    QVERIFY(layout.data(Qt::ToolTipRole)
                .toString()
                .contains(QStringLiteral("Block - protected, shown for reference only")));
    QVERIFY(!m_model.setData(layout, QStringLiteral("x")));

    QVERIFY(!(m_model.flags(QModelIndex()) & Qt::ItemIsEnabled));
}

void TestSettingsModel::lockedRegistry()
{
    QSignalSpy rejected(&m_model, &SettingsModel::editRejected);
    const QModelIndex module = valueIndex("Modules/Module01");
    QVERIFY(!(m_model.flags(module) & Qt::ItemIsEditable));
    QVERIFY(!m_model.setData(module, QStringLiteral("C:/x/Other-pxm.dll")));
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(
        rejected.at(0).at(0).toString(),
        QStringLiteral("Module01 is part of the module registry or version records and is locked against editing."));
}

void TestSettingsModel::viewOnly()
{
    // Changes made before PixInsight started are not taken back from a stale menu either:
    // undo is off while it runs, so they could not come back.
    QVERIFY(m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("8")));
    QVERIFY(m_model.requestDeletion(m_file.root.findPath(u"PixelMath")));
    m_model.setReadOnly(true);
    m_model.revertValue(m_file.root.findPath(u"Global/Preferences/Process/MaxProcessors"));
    m_model.undoDeletion(m_file.root.findPath(u"PixelMath"));
    QCOMPARE(m_file.root.pendingChangeCount(), 2);
    const QModelIndex processors = valueIndex("Global/Preferences/Process/MaxProcessors");
    QVERIFY(!(m_model.flags(processors) & Qt::ItemIsEditable));
    QVERIFY(!m_model.setData(processors, QStringLiteral("2")));
    QString why;
    QVERIFY(!m_model.requestDeletion(m_file.root.findPath(u"CommandHistory"), &why));
    QCOMPARE(why, QStringLiteral("PixInsight is running; nothing can be changed."));
}

void TestSettingsModel::deletions()
{
    QSignalSpy edited(&m_model, &SettingsModel::edited);
    QString why;
    QVERIFY(!m_model.requestDeletion(&m_file.root, &why));
    QCOMPARE(why, QStringLiteral("Nothing to delete."));
    QVERIFY(!m_model.requestDeletion(nullptr, &why));
    QVERIFY(!m_model.requestDeletion(m_file.root.childByKey(u"Modules"), &why));
    QCOMPARE(why, QStringLiteral("Module registry. Deleting it can stop modules from loading."));

    XsdtNode *mirelux = m_file.root.findPath(u"ModuleData/Mirelux");
    XsdtNode *strength = mirelux->childByKey(u"Strength");
    QVERIFY(m_model.setData(m_model.indexFor(strength, 1), QStringLiteral("0.9")));
    QVERIFY(m_model.requestDeletion(mirelux, &why));
    QCOMPARE(edited.count(), 2);
    QVERIFY(m_model.requestDeletion(mirelux->childByKey(u"Interfaces"), &why));
    QCOMPARE(edited.count(), 2);
    QVERIFY(!mirelux->childByKey(u"Interfaces")->deleted);
    const QModelIndex strengthIndex = m_model.indexFor(strength, 0);
    QVERIFY(strengthIndex.data(Qt::FontRole).value<QFont>().strikeOut());
    QCOMPARE(m_model.indexFor(mirelux, 2).data().toString(), QStringLiteral("Will be deleted"));
    QCOMPARE(m_model.indexFor(mirelux, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(230, 60, 60, 60));
    QVERIFY(!(m_model.flags(m_model.indexFor(strength, 1)) & Qt::ItemIsEditable));
    QCOMPARE(m_file.root.pendingChangeCount(), 1);

    m_model.undoDeletion(mirelux);
    QCOMPARE(edited.count(), 3);
    QCOMPARE(strength->value, QStringLiteral("0.9"));
    QCOMPARE(m_file.root.pendingChangeCount(), 1);
    m_model.revertValue(strength);
    QCOMPARE(m_file.root.pendingChangeCount(), 0);
    QCOMPARE(edited.count(), 4);
    m_model.revertValue(strength);
    QCOMPARE(edited.count(), 4);
}

void TestSettingsModel::tooltips()
{
    XsdtNode *mirelux = m_file.root.findPath(u"ModuleData/Mirelux");
    XsdtNode *strength = mirelux->childByKey(u"Strength");
    QVERIFY(m_model.setData(m_model.indexFor(strength, 1), QStringLiteral("0.9")));
    QCOMPARE(m_model.toolTip(*strength),
             QStringLiteral("ModuleData/Mirelux/Strength\nReal\nOriginal value: 0.65\nCan be deleted: %1")
                 .arg(m_policy.rules().at(33).reason));
    QVERIFY(m_model.requestDeletion(mirelux));
    QCOMPARE(m_model.toolTip(*mirelux),
             QStringLiteral("ModuleData/Mirelux\nMarked for deletion (%1 values); removed when you save.")
                 .arg(mirelux->valueCount()));
    QVERIFY(m_model.toolTip(*strength).endsWith(QStringLiteral("\nInside an entry marked for deletion.")));
    QCOMPARE(m_model.toolTip(*m_file.root.childByKey(u"Modules")), QStringLiteral("Modules"));
}

void TestSettingsModel::notifySubtreeCoversEveryRow()
{
    XsdtNode *global = m_file.root.childByKey(u"Global");
    int itemsWithChildren = 0;
    const auto count = [&itemsWithChildren](const XsdtNode &node, const auto &self) -> void {
        for (const auto &child : node.children) {
            if (!child->children.empty()) {
                ++itemsWithChildren;
                self(*child, self);
            }
        }
    };
    count(*global, count);
    QSignalSpy changed(&m_model, &QAbstractItemModel::dataChanged);
    m_model.notifySubtree(global);
    QCOMPARE(changed.count(), 2 + itemsWithChildren); // its own row, its children, every group below
    const QModelIndex first = changed.at(1).at(0).toModelIndex();
    const QModelIndex last = changed.at(1).at(1).toModelIndex();
    QCOMPARE(m_model.nodeFor(first.parent()), global);
    QCOMPARE(last.row(), int(global->children.size()) - 1);
    QCOMPARE(last.column(), 2);
}

void TestSettingsModel::revertAllIsOneReset()
{
    QVERIFY(m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("8")));
    QVERIFY(m_model.requestDeletion(m_file.root.findPath(u"CommandHistory")));
    QSignalSpy reset(&m_model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&m_model, &QAbstractItemModel::dataChanged);
    QSignalSpy edited(&m_model, &SettingsModel::edited);
    m_model.revertAll();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(edited.count(), 1);
    QCOMPARE(m_file.root.pendingChangeCount(), 0);
}

void TestSettingsModel::filter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("changedOnly");
    QTest::addColumn<QStringList>("shown"); // must be visible
    QTest::addColumn<QStringList>("hidden"); // must not be
    QTest::newRow("path, trimmed, any case") << "  gamma " << false
                                             << QStringList{QStringLiteral("Global/RGBWorkingSpace/Gamma"),
                                                            QStringLiteral("Global/RGBWorkingSpace/sRGBGamma")}
                                             << QStringList{QStringLiteral("Global/Preferences/Process/MaxProcessors")};
    QTest::newRow("across keys") << "workingspace/GAM" << false
                                 << QStringList{QStringLiteral("Global/RGBWorkingSpace/Gamma")}
                                 << QStringList{QStringLiteral("Global/RGBWorkingSpace/LuminanceCoefficients")};
    QTest::newRow("value of an editable value")
        << "wbpp" << false << QStringList{QStringLiteral("ScriptData/WeightedBatchPreprocessing/outputDirectory")}
        << QStringList{QStringLiteral("ScriptData/WeightedBatchPreprocessing/groups")};
    QTest::newRow("protected values are not searched")
        << "zlib" << false << QStringList{} << QStringList{QStringLiteral("MainWindow/Layout")};
    QTest::newRow("changed only") << "" << true
                                  << QStringList{QStringLiteral(
                                                     "ModuleData/Mirelux/Interfaces/MireluxInterface/Geometry"),
                                                 QStringLiteral("CommandHistory")}
                                  << QStringList{QStringLiteral("ModuleData/Mirelux/Strength"),
                                                 QStringLiteral("Global"), QStringLiteral("CommandHistory/Command01")};
    QTest::newRow("changed only and text")
        << "command" << true << QStringList{QStringLiteral("CommandHistory")}
        << QStringList{QStringLiteral("ModuleData/Mirelux/Interfaces/MireluxInterface/Geometry")};
}

void TestSettingsModel::filter()
{
    QFETCH(QString, text);
    QFETCH(bool, changedOnly);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, hidden);
    QVERIFY(m_model.setData(valueIndex("ModuleData/Mirelux/Interfaces/MireluxInterface/Geometry"),
                            QStringLiteral("1,2,3,4")));
    QVERIFY(m_model.requestDeletion(m_file.root.findPath(u"CommandHistory")));

    SettingsFilterProxy proxy;
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    proxy.setSourceModel(&m_model);
    proxy.setFilterText(text);
    proxy.setChangedOnly(changedOnly);
    QCOMPARE(proxy.filterText(), text.trimmed());
    for (const QString &path : shown)
        QVERIFY2(proxy.mapFromSource(m_model.indexFor(m_file.root.findPath(path))).isValid(), qPrintable(path));
    for (const QString &path : hidden)
        QVERIFY2(!proxy.mapFromSource(m_model.indexFor(m_file.root.findPath(path))).isValid(), qPrintable(path));
}

// The proxy re-filters on request, not on every change: a reverted row stays until then, so
// large refreshes stay cheap.
void TestSettingsModel::changedOnlyFollowsEditsOnRefilter()
{
    SettingsFilterProxy proxy;
    proxy.setSourceModel(&m_model);
    proxy.setChangedOnly(true);
    XsdtNode *gamma = m_file.root.findPath(u"Global/RGBWorkingSpace/Gamma");
    QVERIFY(!proxy.mapFromSource(m_model.indexFor(gamma)).isValid());
    QVERIFY(m_model.setData(m_model.indexFor(gamma, 1), QStringLiteral("1.5")));
    proxy.refilter();
    QVERIFY(proxy.mapFromSource(m_model.indexFor(gamma)).isValid());
    m_model.revertValue(gamma);
    QVERIFY(proxy.mapFromSource(m_model.indexFor(gamma)).isValid());
    proxy.refilter();
    QVERIFY(!proxy.mapFromSource(m_model.indexFor(gamma)).isValid());
}

void TestSettingsModel::undoRedo_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("name");
    QTest::newRow("edit") << "edit"
                          << "edit of Max processors";
    QTest::newRow("revert") << "revert"
                            << "revert of Max processors";
    QTest::newRow("deletion") << "delete"
                              << "deletion of Command history";
    QTest::newRow("restore") << "restore"
                             << "restore of Command history";
    QTest::newRow("revert all") << "revert all"
                                << "revert of all changes";
    QTest::newRow("batch of deletions") << "delete three"
                                        << "deletion of 3 entries";
    QTest::newRow("mixed batch") << "mixed"
                                 << "2 changes";
    QTest::newRow("one value twice") << "edit twice"
                                     << "edit of 2 values";
    QTest::newRow("batch of one") << "batch of one"
                                  << "edit of Gamma";
}

// Undo puts back exactly the state before the step, redo exactly the state after it.
void TestSettingsModel::undoRedo()
{
    QFETCH(QString, operation);
    QFETCH(QString, name);
    XsdtNode *processors = at("Global/Preferences/Process/MaxProcessors");
    XsdtNode *history = at("CommandHistory");
    // Earlier steps some operations build on.
    if (operation == u"revert" || operation == u"revert all")
        QVERIFY(m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("8")));
    if (operation == u"restore" || operation == u"revert all")
        QVERIFY(m_model.requestDeletion(history));
    const QByteArray before = state();
    QSignalSpy edited(&m_model, &SettingsModel::edited);

    if (operation == u"edit") {
        QVERIFY(m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("8")));
    } else if (operation == u"revert") {
        m_model.revertValue(processors);
    } else if (operation == u"delete") {
        QVERIFY(m_model.requestDeletion(history));
    } else if (operation == u"restore") {
        m_model.undoDeletion(history);
    } else if (operation == u"revert all") {
        m_model.revertAll();
    } else {
        const SettingsModel::Batch batch(&m_model);
        if (operation == u"delete three") {
            QVERIFY(m_model.requestDeletion(history));
            QVERIFY(m_model.requestDeletion(at("ModuleData/Mirelux")));
            QVERIFY(m_model.requestDeletion(at("PixelMath")));
        } else if (operation == u"mixed") {
            QVERIFY(m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("8")));
            QVERIFY(m_model.requestDeletion(history));
        } else if (operation == u"edit twice") {
            QVERIFY(m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("8")));
            QVERIFY(m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("16")));
        } else {
            QVERIFY(m_model.setData(valueIndex("Global/RGBWorkingSpace/Gamma"), QStringLiteral("1.8")));
        }
        QVERIFY(!m_model.canUndo() || m_model.undoName() != name); // the batch is not a step until it ends
    }
    const QByteArray after = state();
    QVERIFY(after != before);
    QVERIFY(m_model.canUndo());
    QVERIFY(!m_model.canRedo());
    QCOMPARE(m_model.undoName(), name);

    edited.clear();
    QVERIFY(m_model.undo());
    QCOMPARE(state(), before);
    QCOMPARE(edited.size(), 1);
    QCOMPARE(m_model.redoName(), name);
    // Listeners of the step's signals already see where the history stands.
    QString undoNameSeen;
    const auto connection = connect(&m_model, &SettingsModel::historyChanged, this,
                                    [this, &undoNameSeen] { undoNameSeen = m_model.undoName(); });
    QVERIFY(m_model.redo());
    disconnect(connection);
    QCOMPARE(undoNameSeen, name);
    QCOMPARE(state(), after);
    QVERIFY(!m_model.redo());
    QVERIFY(m_model.undo());
    QCOMPARE(state(), before);
}

void TestSettingsModel::newChangeDropsTheRedoSteps()
{
    QVERIFY(m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("8")));
    QVERIFY(m_model.requestDeletion(at("CommandHistory")));
    QVERIFY(m_model.undo());
    QVERIFY(m_model.canRedo());
    QVERIFY(m_model.setData(valueIndex("Global/RGBWorkingSpace/Gamma"), QStringLiteral("1.8")));
    QVERIFY(!m_model.canRedo());
    QCOMPARE(m_model.undoName(), QStringLiteral("edit of Gamma"));
    QVERIFY(m_model.undo());
    QCOMPARE(m_model.undoName(), QStringLiteral("edit of Max processors"));
    QVERIFY(!at("CommandHistory")->deleted);

    // A change kept outside the tree is undone and redone with its step.
    QList<bool> calls;
    m_model.recordExternal(SettingsModel::ExternalChange::Queued, 2, [&calls](bool redo) { calls << redo; });
    QCOMPARE(m_model.undoName(), QStringLiteral("deletion of 2 entries"));
    QVERIFY(m_model.undo());
    QVERIFY(m_model.redo());
    QCOMPARE(calls, QList<bool>({false, true}));
}

void TestSettingsModel::noUndoWhileViewOnlyOrAfterANewDocument()
{
    QSignalSpy history(&m_model, &SettingsModel::historyChanged);
    QVERIFY(m_model.setData(valueIndex("Global/Preferences/Process/MaxProcessors"), QStringLiteral("8")));
    QCOMPARE(history.size(), 1);
    m_model.setReadOnly(true);
    QVERIFY(!m_model.canUndo());
    QVERIFY(!m_model.undo());
    QCOMPARE(at("Global/Preferences/Process/MaxProcessors")->value, QStringLiteral("8"));
    m_model.setReadOnly(false);
    QVERIFY(m_model.canUndo());

    m_model.setDocument(&m_file);
    QVERIFY(!m_model.canUndo());
    QVERIFY(!m_model.undo());
    QCOMPARE(at("Global/Preferences/Process/MaxProcessors")->value, QStringLiteral("8"));
    QVERIFY(m_model.undoName().isEmpty());
}

// Thousands of dataChanged signals would stall a view; a big step resets the model once.
void TestSettingsModel::largeStepsUndoInOneReset()
{
    QVERIFY(m_file.parse(SettingsGenerator::withValues(2000)));
    m_model.setDocument(&m_file);
    const QList<XsdtNode *> values = m_file.root.valueNodes();
    {
        const SettingsModel::Batch batch(&m_model);
        for (XsdtNode *node : values) {
            if (node->type == u's' && node->isEditableValue() && !m_model.isEditLocked(node))
                m_model.setData(m_model.indexFor(node, SettingsModel::ValueColumn), node->value + QLatin1String("x"));
        }
    }
    QVERIFY(m_file.root.pendingChangeCount() > 200);
    const QByteArray after = state();
    QSignalSpy resets(&m_model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&m_model, &QAbstractItemModel::dataChanged);
    QVERIFY(m_model.undo());
    QCOMPARE(resets.size(), 1);
    QCOMPARE(changes.size(), 0);
    QCOMPARE(m_file.root.pendingChangeCount(), 0);
    QVERIFY(m_model.redo());
    QCOMPARE(state(), after);
}

// Revert all also drops edits made inside an entry before it was queued for deletion; undo
// brings back both, and redo leaves nothing a save could write.
void TestSettingsModel::revertAllUndoesEditsInsideQueuedDeletions()
{
    XsdtNode *strength = at("ModuleData/Mirelux/Strength");
    QVERIFY(m_model.setData(m_model.indexFor(strength, SettingsModel::ValueColumn), QStringLiteral("0.9")));
    QVERIFY(m_model.requestDeletion(at("ModuleData/Mirelux")));
    const QStringList before = fullState();
    m_model.revertAll();
    const QStringList reverted = fullState();
    QCOMPARE(strength->value, strength->savedValue);
    QVERIFY(m_model.undo());
    QCOMPARE(fullState(), before);
    QVERIFY(m_model.redo());
    QCOMPARE(fullState(), reverted);
    QCOMPARE(strength->value, strength->savedValue);
}

// Random sequences of every kind of change: after each undo and redo the whole tree is exactly
// as it was when that point was first reached.
void TestSettingsModel::randomHistoriesUndoAndRedoExactly()
{
    for (const quint32 seed : {1u, 2u, 3u}) {
        init(); // a fresh tree: the nodes are collected from it
        std::vector<XsdtNode *> values;
        std::vector<XsdtNode *> entries;
        std::vector<XsdtNode *> items{&m_file.root};
        const std::function<void(XsdtNode &)> collect = [&](XsdtNode &node) {
            for (auto &child : node.children) {
                if (child->kind == XsdtNode::Item)
                    items.push_back(child.get());
                if (child->kind == XsdtNode::Value && child->isEditableValue() && !m_model.isEditLocked(child.get())
                    && (child->type == u's' || child->type == u'b' || child->type == u'i'))
                    values.push_back(child.get());
                if (m_model.verdict(child.get()).level != DeletionLevel::Never)
                    entries.push_back(child.get());
                collect(*child);
            }
        };
        collect(m_file.root);
        QVERIFY(values.size() > 20 && entries.size() > 20);
        QRandomGenerator random(seed);
        QSet<int> queuedFiles;
        const auto snapshot = [&] { return fullState() << QString::number(queuedFiles.size()); };
        std::vector<QStringList> states{snapshot()};
        const auto pick
            = [&random](const std::vector<XsdtNode *> &from) { return from[random.bounded(int(from.size()))]; };
        const auto change = [&](int kind) {
            switch (kind) {
            case 0:
            case 1:
            case 2: {
                XsdtNode *node = pick(values);
                const QString text = node->type == u'b'
                    ? (node->value == u"true" ? QStringLiteral("false") : QStringLiteral("true"))
                    : node->type == u'i' ? QString::number(random.bounded(1, 64))
                                         : node->value + QChar(u'a' + random.bounded(26));
                m_model.setData(m_model.indexFor(node, SettingsModel::ValueColumn), text);
                break;
            }
            case 3:
            case 4:
                m_model.requestDeletion(pick(entries));
                break;
            case 5:
                m_model.undoDeletion(pick(entries));
                break;
            case 6:
                m_model.revertValue(pick(values));
                break;
            case 8:
                // Resets are deletions the rules would refuse: undo must bring back the mark too.
                m_model.requestReset({pick(values), pick(values)});
                break;
            case 7: {
                const int file = random.bounded(1000);
                const bool queue = !queuedFiles.contains(file);
                queue ? void(queuedFiles.insert(file)) : void(queuedFiles.remove(file));
                m_model.recordExternal(queue ? SettingsModel::ExternalChange::Queued
                                             : SettingsModel::ExternalChange::Unqueued,
                                       1, [&queuedFiles, file, queue](bool redo) {
                                           if (redo == queue)
                                               queuedFiles.insert(file);
                                           else
                                               queuedFiles.remove(file);
                                       });
                break;
            }
            case 9: {
                // An import adds entries, some under a new group, edits and deletes in one step.
                ImportChanges changes;
                for (int i = 0, n = random.bounded(1, 4); i < n; ++i) {
                    auto made = std::make_unique<XsdtNode>();
                    made->added = true;
                    made->key = QStringLiteral("Imported%1").arg(random.bounded(1000));
                    if (random.bounded(2) == 0) {
                        auto inner = std::make_unique<XsdtNode>();
                        inner->kind = XsdtNode::Value;
                        inner->type = u's';
                        inner->key = QStringLiteral("Inner");
                        inner->value = inner->savedValue = QStringLiteral("x");
                        made->appendChild(std::move(inner));
                    } else {
                        made->kind = XsdtNode::Value;
                        made->type = u's';
                        made->value = made->savedValue = QStringLiteral("y");
                    }
                    changes.additions.emplace_back(pick(items), std::move(made));
                }
                changes.edits << std::pair{pick(values), QStringLiteral("imported")};
                changes.deletions << pick(entries);
                m_model.applyImport(std::move(changes), QStringLiteral("import"));
                break;
            }
            default:
                m_model.revertAll();
                break;
            }
        };
        for (int step = 0; step < 150; ++step) {
            const int before = m_model.undoStack()->index();
            if (random.bounded(6) == 0) {
                const SettingsModel::Batch batch(&m_model);
                for (int i = 0, n = random.bounded(2, 5); i < n; ++i)
                    change(random.bounded(10));
            } else {
                change(random.bounded(random.bounded(10) == 0 ? 11 : 10));
            }
            if (m_model.undoStack()->index() != before) {
                QCOMPARE(m_model.undoStack()->index(), before + 1);
                states.push_back(snapshot());
            }
        }
        QVERIFY(states.size() > 100);
        for (size_t at = states.size() - 1; at > 0; --at) {
            QVERIFY(m_model.undo());
            QVERIFY2(snapshot() == states[at - 1],
                     qPrintable(QStringLiteral("seed %1, undo to %2").arg(seed).arg(at - 1)));
        }
        QVERIFY(!m_model.undo());
        for (size_t at = 1; at < states.size(); ++at) {
            QVERIFY(m_model.redo());
            QVERIFY2(snapshot() == states[at], qPrintable(QStringLiteral("seed %1, redo to %2").arg(seed).arg(at)));
        }
    }
}

QTEST_MAIN(TestSettingsModel)
#include "tst_settingsmodel.moc"
