#include "platform/hostservices.h"
#include "tests/support/privatehome.h"
#include "ui/glyphicon.h"
#include "ui/mainwindow.h"
#include "ui/thememanager.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QSettings>
#include <QTest>
#include <QToolBar>

using namespace pfw;

namespace {

// The colour of the most opaque pixels of a drawing (its line cores), or invalid when it is empty.
QColor inkColour(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QHash<QRgb, int> counts;
    int strongest = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            strongest = std::max(strongest, qAlpha(image.pixel(x, y)));
    }
    if (strongest == 0)
        return QColor();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == strongest)
                ++counts[pixel & 0xffffff];
        }
    }
    QRgb best = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > counts.value(best, -1))
            best = it.key();
    }
    return QColor(best);
}

bool sameInk(const QColor &a, const QColor &b)
{
    return a.isValid() && std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2
        && std::abs(a.blue() - b.blue()) <= 2;
}

HostServices quietServices()
{
    HostServices services;
    services.isHostRunning = [] { return false; };
    services.launcher.setAuthenticationProgram(QString());
    return services;
}

} // namespace

class TestMainToolbar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pixmapSides_data();
    void pixmapSides();
    void everyGlyphDrawsInItsColour();
    void iconsFollowTheTheme();
    void visibilityIsRemembered();

private:
    std::unique_ptr<test::PrivateHome> m_home;
};

void TestMainToolbar::initTestCase()
{
    m_home = std::make_unique<test::PrivateHome>();
    QVERIFY(m_home->isValid());
    QSettings().clear();
    ThemeManager::instance().init(false);
}

void TestMainToolbar::pixmapSides_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("side");
    QTest::newRow("1") << 1.0 << 18;
    QTest::newRow("1.5") << 1.5 << 27;
    QTest::newRow("2") << 2.0 << 36;
    QTest::newRow("0.5") << 0.5 << 9;
    QTest::newRow("0.4 is raised to 8") << 0.4 << 8;
}

void TestMainToolbar::pixmapSides()
{
    QFETCH(qreal, ratio);
    QFETCH(int, side);
    const QPixmap pixmap = glyphPixmap(SaveGlyph, Qt::black, 18, ratio);
    QCOMPARE(pixmap.size(), QSize(side, side));
    QCOMPARE(pixmap.devicePixelRatio(), ratio);
}

void TestMainToolbar::everyGlyphDrawsInItsColour()
{
    const QColor colour(200, 40, 10);
    for (int glyph = FolderGlyph; glyph <= AboutGlyph; ++glyph) {
        QVERIFY2(sameInk(inkColour(glyphPixmap(glyph, colour, 18, 2.0)), colour), qPrintable(QString::number(glyph)));
    }
}

void TestMainToolbar::iconsFollowTheTheme()
{
    MainWindow window(quietServices());
    QAction *open = nullptr;
    QAction *save = nullptr;
    for (QAction *action : window.toolbar()->actions()) {
        if (action->iconText() == u"Open")
            open = action;
        else if (action->iconText() == u"Save")
            save = action;
    }
    QVERIFY(open && save);
    QCOMPARE(window.toolbar()->actions().size(), 9);
    QVERIFY(!save->isEnabled()); // nothing loaded, nothing pending
    for (const int mode : {int(ThemeManager::Light), int(ThemeManager::Dark)}) {
        ThemeManager::instance().setMode(mode, false);
        const QPalette palette = QApplication::palette();
        const QColor text = palette.color(QPalette::Active, QPalette::ButtonText);
        const QColor disabled = palette.color(QPalette::Disabled, QPalette::ButtonText);
        QVERIFY(!sameInk(text, disabled));
        QVERIFY(sameInk(inkColour(open->icon().pixmap(QSize(18, 18))), text));
        QVERIFY(sameInk(inkColour(save->icon().pixmap(QSize(18, 18), QIcon::Disabled)), disabled));
    }
}

void TestMainToolbar::visibilityIsRemembered()
{
    QSettings().remove(QStringLiteral("Appearance/ToolbarVisible"));
    {
        MainWindow window(quietServices());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.toolbar()->isVisible());
        window.close(); // closing hides the toolbar too, which is not the user's choice
    }
    QVERIFY(QSettings().value(QStringLiteral("Appearance/ToolbarVisible"), true).toBool());
    {
        MainWindow window(quietServices());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.toolbar()->toggleViewAction()->trigger();
        QVERIFY(!window.toolbar()->isVisible());
        window.close();
    }
    const QVariant remembered = QSettings().value(QStringLiteral("Appearance/ToolbarVisible"));
    QVERIFY(remembered.isValid());
    QCOMPARE(remembered.toBool(), false);
    MainWindow window(quietServices());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!window.toolbar()->isVisible());
    QVERIFY(!window.toolbar()->toggleViewAction()->isChecked());
}

QTEST_MAIN(TestMainToolbar)
#include "tst_maintoolbar.moc"
