#include "bench/settingsgenerator.h"
#include "core/xsdtfile.h"
#include "ui/widgets/settingrow.h"
#include "model/settingsmodel.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"
#include "ui/views/searchindex.h"
#include "ui/views/searchview.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace pfw;

namespace {

// 250 values whose names all match "match", more than a page of results.
QByteArray manyMatches()
{
    QByteArray bytes = "<xsdt><i k=\"Many\">";
    for (int i = 0; i < 250; ++i)
        bytes += "<v k=\"Match" + QByteArray::number(1000 + i) + "\" t=\"i\" v=\"1\"/>";
    return bytes + "</i></xsdt>";
}

} // namespace

class TestSearchView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void terms_data();
    void terms();
    void britishSpellingsFindTheSame_data();
    void britishSpellingsFindTheSame();
    void pageNamesFindTheirSettings_data();
    void pageNamesFindTheirSettings();
    void scores_data();
    void scores();
    void changedOnlyListsByPath();
    void protectedValues();
    void showMore();
    void exportTakesEveryResultOfWhatWasTyped();
    void burstOfKeystrokesSearchesOnce();
    void restriction();
    void typingOnAfterAnEditFindsIt();
    void findsAValueByItsOwnText_data();
    void findsAValueByItsOwnText();

private:
    QStringList paths(const QList<SearchIndex::Result> &results) const;

    SettingsSchema m_schema;
    DeletionPolicy m_policy;
    XsdtFile m_file;
    SettingsModel m_model;
    SearchIndex m_index;
};

void TestSearchView::initTestCase()
{
    QString error;
    QVERIFY(m_schema.loadBuiltIn(&error));
    QVERIFY(m_policy.loadBuiltIn(&error));
    m_model.setPolicy(&m_policy);
}

void TestSearchView::init()
{
    QVERIFY(m_file.parse(SettingsGenerator::demo()));
    m_model.setDocument(&m_file);
    m_index.build(m_file, m_schema);
}

QStringList TestSearchView::paths(const QList<SearchIndex::Result> &results) const
{
    QStringList out;
    for (const SearchIndex::Result &result : results)
        out << m_index.node(result.position)->path();
    return out;
}

void TestSearchView::terms_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("terms");
    QTest::newRow("words") << "  Max   Processors " << QStringList{QStringLiteral("max"), QStringLiteral("processors")};
    QTest::newRow("phrase") << "\"Max processors\" x"
                            << QStringList{QStringLiteral("max processors"), QStringLiteral("x")};
    QTest::newRow("empty quotes") << "\"\" a" << QStringList{QStringLiteral("\"\""), QStringLiteral("a")};
    QTest::newRow("nothing") << "   " << QStringList{};
}

void TestSearchView::terms()
{
    QFETCH(QString, query);
    QFETCH(QStringList, terms);
    QCOMPARE(SearchIndex::splitTerms(query), terms);
}

void TestSearchView::britishSpellingsFindTheSame_data()
{
    QTest::addColumn<QString>("british");
    QTest::addColumn<QString>("american");
    QTest::newRow("colour") << "gamut warning colour"
                            << "gamut warning color";
    QTest::newRow("grey") << "grey"
                          << "gray";
    QTest::newRow("centre") << "centre"
                            << "center";
    QTest::newRow("optimise") << "optimise"
                              << "optimize";
    QTest::newRow("in a phrase") << "\"warning colour\""
                                 << "\"warning color\"";
}

void TestSearchView::britishSpellingsFindTheSame()
{
    QFETCH(QString, british);
    QFETCH(QString, american);
    SearchIndex::Options options;
    options.includeProtected = true;
    const QStringList found = paths(m_index.search(SearchIndex::splitTerms(british), options, nullptr));
    QVERIFY(!found.isEmpty());
    QCOMPARE(found, paths(m_index.search(SearchIndex::splitTerms(american), options, nullptr)));
}

void TestSearchView::pageNamesFindTheirSettings_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("path");
    QTest::newRow("a page's word") << "processes max"
                                   << "Global/Preferences/Process/MaxProcessors";
    QTest::newRow("a page's name as a phrase") << "\"image windows\" downloads"
                                               << "Global/Preferences/ImageWindow/DownloadsDirectory";
}

// The Preferences tab and the user guide name a setting's page: those words find it too.
void TestSearchView::pageNamesFindTheirSettings()
{
    QFETCH(QString, query);
    QFETCH(QString, path);
    SearchIndex::Options options;
    QVERIFY(paths(m_index.search(SearchIndex::splitTerms(query), options, nullptr)).contains(path));
}

void TestSearchView::scores_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("score"); // -1: not found
    QTest::newRow("two words") << "max processors"
                               << "Global/Preferences/Process/MaxProcessors" << 10;
    QTest::newRow("quoted phrase is the label") << "\"max processors\""
                                                << "Global/Preferences/Process/MaxProcessors" << 3;
    QTest::newRow("exact key, any case") << "MAXPROCESSORS"
                                         << "Global/Preferences/Process/MaxProcessors" << 10;
    QTest::newRow("one word missing") << "max zebra"
                                      << "Global/Preferences/Process/MaxProcessors" << -1;
    QTest::newRow("key contains") << "process maxprocessors"
                                  << "Global/Preferences/Process/MaxProcessors" << 14;
    QTest::newRow("path elsewhere") << "preferences maxprocessors"
                                    << "Global/Preferences/Process/MaxProcessors" << 12;
    QTest::newRow("description") << "cores"
                                 << "Global/Preferences/Process/MaxProcessors" << 1;
    QTest::newRow("value") << "wbpp"
                           << "ScriptData/WeightedBatchPreprocessing/outputDirectory" << 1;
    QTest::newRow("block text never") << "zlib"
                                      << "MainWindow/Layout" << -1;
}

void TestSearchView::scores()
{
    QFETCH(QString, query);
    QFETCH(QString, path);
    QFETCH(int, score);
    SearchIndex::Options options;
    options.includeProtected = true;
    int found = -1;
    for (const SearchIndex::Result &result : m_index.search(SearchIndex::splitTerms(query), options, nullptr)) {
        if (m_index.node(result.position)->path() == path)
            found = result.score;
    }
    QCOMPARE(found, score);
}

void TestSearchView::changedOnlyListsByPath()
{
    QVERIFY(m_model.setData(m_model.indexFor(m_file.root.findPath(u"Global/RGBWorkingSpace/Gamma"), 1),
                            QStringLiteral("2")));
    QVERIFY(m_model.setData(m_model.indexFor(m_file.root.findPath(u"Global/Preferences/Process/MaxProcessors"), 1),
                            QStringLiteral("4")));
    QVERIFY(m_model.requestDeletion(m_file.root.findPath(u"CommandHistory")));
    SearchIndex::Options options;
    options.changedOnly = true;
    const QList<SearchIndex::Result> results = m_index.search({}, options, nullptr);
    QCOMPARE(paths(results),
             QStringList({QStringLiteral("CommandHistory/Command01"), QStringLiteral("CommandHistory/Command02"),
                          QStringLiteral("Global/Preferences/Process/MaxProcessors"),
                          QStringLiteral("Global/RGBWorkingSpace/Gamma")}));
    for (const SearchIndex::Result &result : results)
        QCOMPARE(result.score, 0);
}

void TestSearchView::protectedValues()
{
    SearchIndex::Options options;
    const QStringList lastCheck{QStringLiteral("lastcheck")};
    QVERIFY(paths(m_index.search(lastCheck, options, nullptr)).isEmpty());
    options.includeProtected = true;
    QCOMPARE(paths(m_index.search(lastCheck, options, nullptr)),
             QStringList{QStringLiteral("Global/UpdateManager/LastCheck")});
    options.includeProtected = false;
    const QSet<const XsdtNode *> only{m_file.root.findPath(u"Global/UpdateManager/LastCheck")};
    QCOMPARE(paths(m_index.search({}, options, &only)), QStringList{QStringLiteral("Global/UpdateManager/LastCheck")});
}

// Export takes every result, not the page shown, and of the text as typed even while the pause
// after typing has not passed.
void TestSearchView::exportTakesEveryResultOfWhatWasTyped()
{
    XsdtFile many;
    QVERIFY(many.parse(manyMatches()));
    m_model.setDocument(&many);
    SearchView view(&m_model, &m_schema);
    view.setDocument(&many);
    QSignalSpy exported(&view, &SearchView::exportRequested);
    QVERIFY(view.exportButton()->isHidden());
    view.setQuery(QStringLiteral("match"));
    QVERIFY(!view.exportButton()->isHidden());
    view.exportButton()->click();
    QCOMPARE(exported.count(), 1);
    QCOMPARE(exported.at(0).at(0).value<QList<XsdtNode *>>().size(), 250);
    view.queryEdit()->setText(QStringLiteral("match100"));
    view.exportButton()->click();
    QCOMPARE(exported.count(), 2);
    QCOMPARE(exported.at(1).at(0).value<QList<XsdtNode *>>().size(), 10);
}

void TestSearchView::showMore()
{
    XsdtFile many;
    QVERIFY(many.parse(manyMatches()));
    m_model.setDocument(&many);
    SearchView view(&m_model, &m_schema);
    view.setDocument(&many);
    view.setQuery(QStringLiteral("match"));
    // A screenful at once, the rest of the page on later turns; a new search drops what the old
    // one had still to make.
    QCOMPARE(view.rows().size(), SearchView::kRowsAtOnce);
    view.setQuery(QStringLiteral("match1007"));
    QCOMPARE(view.rows().size(), 1);
    QTest::qWait(20);
    QCOMPARE(view.rows().size(), 1);
    view.setQuery(QStringLiteral("match"));
    QTRY_COMPARE(view.rows().size(), 100);
    QCOMPARE(view.statusLabel()->text(),
             QStringLiteral("250 results, showing the best 100. Refine the search or show more."));
    QVERIFY(!view.moreButton()->isHidden());
    QCOMPARE(view.moreButton()->text(), QStringLiteral("Show more results (150 more)"));
    SettingRow *first = view.rows().constFirst();
    view.moreButton()->click();
    QTRY_COMPARE(view.rows().size(), 200);
    QCOMPARE(view.rows().constFirst(), first);
    QCOMPARE(view.moreButton()->text(), QStringLiteral("Show more results (50 more)"));
    QCOMPARE(view.rows().constFirst()->node()->key, QStringLiteral("Match1000"));
    // A keystroke waiting to be searched leaves the rows shown as their status says; the new
    // query then starts from one page again.
    view.setQuery(QStringLiteral("match1"));
    QTRY_COMPARE(view.rows().size(), 100);
    view.moreButton()->click();
    view.queryEdit()->setText(QStringLiteral("match"));
    QTRY_COMPARE(view.rows().size(), 200);
    QVERIFY(view.statusLabel()->text().contains(QLatin1String("showing the best 200")));
    QTRY_COMPARE(view.rows().size(), 100);
    QVERIFY(view.statusLabel()->text().contains(QLatin1String("showing the best 100")));
    // Its rows go with the document; so does the button.
    view.setDocument(nullptr);
    QVERIFY(view.moreButton()->isHidden());
    view.setDocument(&many);
    view.setQuery(QStringLiteral("match1007"));
    QCOMPARE(view.statusLabel()->text(), QStringLiteral("1 result"));
    QVERIFY(view.moreButton()->isHidden());
    view.setQuery(QStringLiteral("nothing-like-this"));
    QCOMPARE(view.statusLabel()->text(), QStringLiteral("No matching settings."));
    // Until the next query has been searched, nothing says it matched nothing.
    view.queryEdit()->setText(QStringLiteral("match1007"));
    QCOMPARE(view.statusLabel()->text(), QStringLiteral("Searching\u2026"));
    QTRY_COMPARE(view.statusLabel()->text(), QStringLiteral("1 result"));
    view.setQuery(QStringLiteral("nothing-like-this"));
    view.setQuery(QString());
    QCOMPARE(view.statusLabel()->text(),
             QStringLiteral("Type to search the names, values and descriptions of every setting in the file."));
    m_model.setDocument(&m_file);
}

void TestSearchView::burstOfKeystrokesSearchesOnce()
{
    SearchView view(&m_model, &m_schema);
    view.setDocument(&m_file);
    const int before = view.searchCount();
    for (const char *text : {"m", "ma", "max", "max ", "max p", "max proc"}) {
        view.queryEdit()->setText(QString::fromLatin1(text));
        QTest::qWait(20);
    }
    QTRY_COMPARE_WITH_TIMEOUT(view.searchCount(), before + 1, 2000);
    QTest::qWait(300);
    QCOMPARE(view.searchCount(), before + 1);
    QVERIFY(!view.rows().isEmpty());
    QCOMPARE(view.rows().constFirst()->node()->key, QStringLiteral("MaxProcessors"));
}

void TestSearchView::restriction()
{
    SearchView view(&m_model, &m_schema);
    view.setDocument(&m_file);
    view.protectedBox()->setChecked(true);
    view.setQuery(QStringLiteral("gamma"));
    const QList<XsdtNode *> nodes{m_file.root.findPath(u"ModuleData/Mirelux/Strength"),
                                  m_file.root.findPath(u"ModuleDataAccess/Mirelux/LastAccess")};
    view.showNodes(nodes, QStringLiteral("Just these"));
    QVERIFY(!view.restrictionBanner()->isHidden());
    QCOMPARE(view.restrictionLabel()->text(), QStringLiteral("Just these"));
    QVERIFY(view.queryEdit()->text().isEmpty());
    QVERIFY(!view.protectedBox()->isChecked());
    QCOMPARE(view.rows().size(), 2); // the protected time value too, in restricted mode
    view.setQuery(QStringLiteral("strength"));
    QCOMPARE(view.rows().size(), 1);
    view.clearRestriction();
    QVERIFY(view.restrictionBanner()->isHidden());
    QVERIFY(view.rows().size() >= 1);
    QVERIFY(view.rows().constFirst()->pathLine()->text().startsWith(QStringLiteral("ModuleData")));
}

// Typing on searches only among what the shorter text matched; a value edited in between must
// still be found, and every match of the longer text is one of the shorter text's.
void TestSearchView::typingOnAfterAnEditFindsIt()
{
    SearchView view(&m_model, &m_schema);
    view.setDocument(&m_file);
    view.setQuery(QStringLiteral("zq"));
    QCOMPARE(view.rows().size(), 0);
    XsdtNode *strength = m_file.root.findPath(u"ModuleData/Mirelux/Notes");
    QVERIFY(m_model.setData(m_model.indexFor(strength, SettingsModel::ValueColumn), QStringLiteral("zqx marks")));
    view.setQuery(QStringLiteral("zqx"));
    QCOMPARE(view.rows().size(), 1);

    for (const QString &text : {QStringLiteral("e"), QStringLiteral("ex"), QStringLiteral("ex \"soft\""),
                                QStringLiteral("ma"), QStringLiteral("max p")}) {
        view.setQuery(text);
        SearchIndex fresh;
        fresh.build(m_file, m_schema);
        QTRY_COMPARE(
            view.rows().size(),
            qMin(int(fresh.search(SearchIndex::splitTerms(text), {}, nullptr).size()), int(SearchView::kPageSize)));
    }
}

void TestSearchView::findsAValueByItsOwnText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("dotted capital I") << QString::fromUtf8("\u0130stanbul");
    QTest::newRow("sharp s") << QString::fromUtf8("Stra\u00DFe");
    QTest::newRow("accented capitals") << QString::fromUtf8("CAF\u00C9");
    QTest::newRow("Kelvin sign") << QString::fromUtf8("5000 \u212A");
    QTest::newRow("emoji") << QString::fromUtf8("M31 \U0001F30C");
}

// Whatever a value holds, typing that text finds it.
void TestSearchView::findsAValueByItsOwnText()
{
    QFETCH(QString, text);
    XsdtNode *notes = m_file.root.findPath(u"ModuleData/Mirelux/Notes");
    QVERIFY(m_model.setData(m_model.indexFor(notes, SettingsModel::ValueColumn), text));
    SearchView view(&m_model, &m_schema);
    view.setDocument(&m_file);
    view.setQuery(text);
    QVERIFY(!view.rows().isEmpty());
    QCOMPARE(view.rows().constFirst()->node(), notes);
}

QTEST_MAIN(TestSearchView)
#include "tst_searchview.moc"
