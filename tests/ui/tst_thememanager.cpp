#include "tests/support/privatehome.h"
#include "ui/mainwindow.h"
#include "ui/maintoolbar.h"
#include "ui/thememanager.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QImage>
#include <QPainter>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

#include <cmath>

using namespace pfw;

class TestThemeManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void savedValues_data();
    void savedValues();
    void steps_data();
    void steps();
    void runOnlyValuesAreNotSaved();
    void palettes();
    void followsADarkSystem();
    void followsALiveChange();
    void tickBoxesStandOut_data();
    void tickBoxesStandOut();
    void viewOnlyLooksViewOnly_data();
    void viewOnlyLooksViewOnly();
    void tickBoxesAndToolbarGrowWithTheText();
    void windowFollowsChanges();

private:
    // Keeps the settings this clears out of the user's own (on Windows, the registry's).
    std::unique_ptr<test::PrivateHome> m_home;
    QPalette m_platform;
};

void TestThemeManager::initTestCase()
{
    m_home = std::make_unique<test::PrivateHome>();
    QVERIFY(m_home->isValid());
    QCoreApplication::setOrganizationName(QStringLiteral("Brightquill"));
    QCoreApplication::setApplicationName(QStringLiteral("Brightquill"));
    m_platform = QApplication::palette();
}

void TestThemeManager::init()
{
    QSettings().clear();
    QApplication::setPalette(m_platform);
}

void TestThemeManager::savedValues_data()
{
    QTest::addColumn<QVariant>("theme");
    QTest::addColumn<QVariant>("scale");
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("applied");
    QTest::newRow("nothing saved") << QVariant() << QVariant() << 0 << 1.25;
    QTest::newRow("unknown theme") << QVariant(7) << QVariant(1.5) << 0 << 1.5;
    QTest::newRow("dark") << QVariant(2) << QVariant(3.0) << 2 << 2.2;
    QTest::newRow("tiny") << QVariant(1) << QVariant(0.5) << 1 << 0.8;
    QTest::newRow("not a number") << QVariant(QStringLiteral("x")) << QVariant(QStringLiteral("big")) << 0 << 0.8;
}

void TestThemeManager::savedValues()
{
    QFETCH(QVariant, theme);
    QFETCH(QVariant, scale);
    QFETCH(int, mode);
    QFETCH(double, applied);
    QSettings settings;
    if (theme.isValid())
        settings.setValue(QStringLiteral("Appearance/Theme"), theme);
    if (scale.isValid())
        settings.setValue(QStringLiteral("Appearance/FontScale"), scale);
    settings.sync();
    ThemeManager manager;
    manager.init(true);
    QCOMPARE(manager.mode(), mode);
    QCOMPARE(manager.scale(), applied);
    const auto *style = qobject_cast<const QProxyStyle *>(QApplication::style());
    QVERIFY(style);
    QCOMPARE(style->baseStyle()->name().toLower(), QStringLiteral("fusion"));
}

void TestThemeManager::steps_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<int>("direction");
    QTest::addColumn<double>("result");
    QTest::newRow("larger") << 1.25 << 1 << 1.35;
    QTest::newRow("larger again") << 1.35 << 1 << 1.45;
    QTest::newRow("at the top") << 2.2 << 1 << 2.2;
    QTest::newRow("smaller from a run-only value") << 1.33 << -1 << 1.25;
    QTest::newRow("at the bottom") << 0.8 << -1 << 0.8;
}

void TestThemeManager::steps()
{
    QFETCH(double, start);
    QFETCH(int, direction);
    QFETCH(double, result);
    ThemeManager manager;
    manager.init(false);
    manager.setScale(start, false);
    manager.stepScale(direction);
    QCOMPARE(manager.scale(), result);
    QCOMPARE(QSettings().value(QStringLiteral("Appearance/FontScale")).toDouble(), result);
}

void TestThemeManager::runOnlyValuesAreNotSaved()
{
    QSettings().setValue(QStringLiteral("Appearance/FontScale"), 1.5);
    ThemeManager manager;
    manager.init(true);
    const double base = QApplication::font().pointSizeF() / 1.5;
    manager.setScale(9, false);
    manager.setMode(ThemeManager::Dark, false);
    QCOMPARE(manager.scale(), 2.2);
    QCOMPARE(QApplication::font().pointSizeF(), base * 2.2);
    QCOMPARE(QSettings().value(QStringLiteral("Appearance/FontScale")).toDouble(), 1.5);
    QVERIFY(!QSettings().contains(QStringLiteral("Appearance/Theme")));
    // A size chosen in the window is kept; the theme of this run still is not.
    manager.resetScale();
    QVERIFY(!QSettings().contains(QStringLiteral("Appearance/Theme")));
    QCOMPARE(QSettings().value(QStringLiteral("Appearance/FontScale")).toDouble(), 1.25);
    manager.setMode(ThemeManager::Light, true);
    QCOMPARE(QSettings().value(QStringLiteral("Appearance/Theme")).toInt(), int(ThemeManager::Light));
}

void TestThemeManager::palettes()
{
    ThemeManager manager;
    manager.init(false);
    QSignalSpy changed(&manager, &ThemeManager::changed);
    manager.setMode(ThemeManager::Dark, false);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(45, 45, 48));
    QCOMPARE(QApplication::palette().color(QPalette::Disabled, QPalette::Text), QColor(128, 128, 132));
    manager.setMode(ThemeManager::Light, false);
    QCOMPARE(QApplication::palette().color(QPalette::Highlight), QColor(48, 140, 198));
    QCOMPARE(QApplication::palette().color(QPalette::Disabled, QPalette::Highlight), QColor(190, 190, 190));
    QVERIFY(!manager.isDark());
}

namespace {

// Relative luminance and contrast ratio as the web's accessibility guidelines define them.
double luminance(const QColor &colour)
{
    const auto linear = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

void TestThemeManager::tickBoxesStandOut_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("light, empty") << int(ThemeManager::Light) << false;
    QTest::newRow("light, ticked") << int(ThemeManager::Light) << true;
    QTest::newRow("dark, empty") << int(ThemeManager::Dark) << false;
    QTest::newRow("dark, ticked") << int(ThemeManager::Dark) << true;
}

// The tick boxes of the Cleanup and Unused modules trees, drawn on the field behind them: the
// most visible line of the box must stand out by 3:1 at least.
void TestThemeManager::tickBoxesStandOut()
{
    QFETCH(int, mode);
    QFETCH(bool, ticked);
    ThemeManager manager;
    manager.init(false);
    manager.setMode(mode, false);
    const QPalette palette = QApplication::palette();
    const QColor field = palette.color(QPalette::Base);
    QImage image(24, 24, QImage::Format_RGB32);
    image.fill(field);
    QStyleOptionViewItem option;
    option.rect = QRect(4, 4, 16, 16);
    option.palette = palette;
    option.state = QStyle::State_Enabled | (ticked ? QStyle::State_On : QStyle::State_Off);
    {
        QPainter painter(&image);
        QApplication::style()->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &option, &painter);
    }
    double best = 1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, contrast(image.pixelColor(x, y), field));
    }
    QVERIFY2(best >= 3, qPrintable(QStringLiteral("contrast %1:1").arg(best, 0, 'f', 2)));
}

void TestThemeManager::viewOnlyLooksViewOnly_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("kind");
    for (const auto &[mode, name] : {std::pair{int(ThemeManager::Light), "light"}, {int(ThemeManager::Dark), "dark"}}) {
        for (const char *kind : {"empty field", "tick box", "ticked box"})
            QTest::addRow("%s, %s", name, kind) << mode << QString::fromLatin1(kind);
    }
}

// What cannot be changed must not look as if it could: an empty read-only field or a view-only
// tick box, drawn disabled, differs visibly from the same one enabled.
void TestThemeManager::viewOnlyLooksViewOnly()
{
    QFETCH(int, mode);
    QFETCH(QString, kind);
    ThemeManager manager;
    manager.init(false);
    manager.setMode(mode, false);
    std::unique_ptr<QWidget> widget;
    if (kind == u"empty field") {
        widget = std::make_unique<QLineEdit>();
    } else {
        auto box = std::make_unique<QCheckBox>();
        box->setChecked(kind == u"ticked box");
        widget = std::move(box);
    }
    widget->resize(120, 28);
    const QImage enabled = widget->grab().toImage();
    widget->setEnabled(false);
    const QImage disabled = widget->grab().toImage();
    QCOMPARE(disabled.size(), enabled.size());
    // Pixels that differ by more than a faint shade.
    int differing = 0;
    for (int y = 0; y < enabled.height(); ++y) {
        for (int x = 0; x < enabled.width(); ++x) {
            const QColor a = enabled.pixelColor(x, y);
            const QColor b = disabled.pixelColor(x, y);
            differing += std::abs(a.lightness() - b.lightness()) >= 10 ? 1 : 0;
        }
    }
    QVERIFY2(differing >= 80, qPrintable(QString::number(differing)));
}

// At text size 1.6 tick boxes and toolbar icons are as large from the start as after a change of
// size during the run.
void TestThemeManager::tickBoxesAndToolbarGrowWithTheText()
{
    ThemeManager &theme = ThemeManager::instance();
    theme.init(false);
    theme.setScale(1.0, false);
    const int normal = QApplication::style()->pixelMetric(QStyle::PM_IndicatorWidth);
    MainToolbar lived;
    lived.refreshIcons();
    const int icon = lived.iconSize().height();
    theme.setScale(1.6, false);
    QVERIFY(QApplication::style()->pixelMetric(QStyle::PM_IndicatorWidth) >= normal * 3 / 2);
    MainToolbar started;
    started.refreshIcons();
    QVERIFY(started.iconSize().height() >= icon * 3 / 2);
    QCOMPARE(lived.iconSize(), started.iconSize());
    theme.setScale(1.0, false);
    QCOMPARE(QApplication::style()->pixelMetric(QStyle::PM_IndicatorWidth), normal);
}

// The desktop turning dark while the program runs: "Follow system" follows, a chosen theme stays.
void TestThemeManager::followsALiveChange()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    QSKIP("This Qt reports the desktop's colour scheme itself; it cannot be faked through the palette.");
#endif
    ThemeManager manager;
    manager.init(false);
    QVERIFY(!manager.isDark());
    QSignalSpy changed(&manager, &ThemeManager::changed);
    QApplication::setPalette(ThemeManager::darkPalette());
    QVERIFY(manager.isDark());
    QVERIFY(!changed.isEmpty());
    QCOMPARE(QApplication::palette().color(QPalette::Base), ThemeManager::darkPalette().color(QPalette::Base));
    manager.setMode(ThemeManager::Light, false);
    QApplication::setPalette(m_platform);
    QApplication::setPalette(ThemeManager::darkPalette());
    QVERIFY(!manager.isDark());
    QCOMPARE(QApplication::palette().color(QPalette::Base), ThemeManager::lightPalette().color(QPalette::Base));
    // Back to light under "Follow system".
    manager.setMode(ThemeManager::System, false);
    QVERIFY(manager.isDark());
    QApplication::setPalette(m_platform);
    QVERIFY(!manager.isDark());
    QCOMPARE(QApplication::palette().color(QPalette::Base), ThemeManager::lightPalette().color(QPalette::Base));
}

void TestThemeManager::followsADarkSystem()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    QSKIP("This Qt reports the desktop's colour scheme itself; it cannot be faked through the palette.");
#endif
    QApplication::setPalette(ThemeManager::darkPalette()); // what a dark desktop hands the program
    ThemeManager manager;
    manager.init(false);
    QCOMPARE(manager.mode(), int(ThemeManager::System));
    QVERIFY(manager.isDark());
    QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(45, 45, 48));
    // "Toggle light/dark" while following a dark system sets Light.
    manager.setMode(manager.isDark() ? ThemeManager::Light : ThemeManager::Dark, true);
    QCOMPARE(manager.mode(), int(ThemeManager::Light));
}

void TestThemeManager::windowFollowsChanges()
{
    HostServices services;
    services.environment.flavour = PlatformFlavour::Linux;
    services.environment.home = QStringLiteral("/nonexistent");
    services.isHostRunning = [] { return false; };
    ThemeManager &shared = ThemeManager::instance();
    shared.init(false);
    shared.setScale(ThemeManager::kDefaultScale, false);
    MainWindow window(services);
    shared.setMode(ThemeManager::Dark, false);
    QVERIFY(window.themeAction(ThemeManager::Dark)->isChecked());
    shared.stepScale(+1);
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Text size 108%"));
}

QTEST_MAIN(TestThemeManager)
#include "tst_thememanager.moc"
