#include "ui/thememanager.h"

#include "ui/indicatorstyle.h"

#include <QApplication>
#include <QSettings>
#include <QTimer>
#include <QStyleHints>

#include <cmath>

namespace pfw {

namespace {

// The platform's own palette, taken before the first apply replaces it.
QPalette &systemPalette()
{
    static QPalette palette;
    return palette;
}

void setAll(QPalette &palette, QPalette::ColorRole role, const QColor &colour)
{
    palette.setColor(QPalette::All, role, colour);
}

struct Colours
{
    QColor window, windowText, base, alternateBase, toolTipBase, toolTipText, text, placeholder, button, buttonText,
        brightText, link, highlight, highlightedText, light, midlight, mid, dark, shadow, disabledText,
        disabledHighlight;
};

QPalette build(const Colours &c)
{
    QPalette palette;
    setAll(palette, QPalette::Window, c.window);
    setAll(palette, QPalette::WindowText, c.windowText);
    setAll(palette, QPalette::Base, c.base);
    setAll(palette, QPalette::AlternateBase, c.alternateBase);
    setAll(palette, QPalette::ToolTipBase, c.toolTipBase);
    setAll(palette, QPalette::ToolTipText, c.toolTipText);
    setAll(palette, QPalette::Text, c.text);
    setAll(palette, QPalette::PlaceholderText, c.placeholder);
    setAll(palette, QPalette::Button, c.button);
    setAll(palette, QPalette::ButtonText, c.buttonText);
    setAll(palette, QPalette::BrightText, c.brightText);
    setAll(palette, QPalette::Link, c.link);
    setAll(palette, QPalette::Highlight, c.highlight);
    setAll(palette, QPalette::HighlightedText, c.highlightedText);
    setAll(palette, QPalette::Light, c.light);
    setAll(palette, QPalette::Midlight, c.midlight);
    setAll(palette, QPalette::Mid, c.mid);
    setAll(palette, QPalette::Dark, c.dark);
    setAll(palette, QPalette::Shadow, c.shadow);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, c.disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, c.disabledHighlight);
    // A field or tick box that cannot be changed takes the window's colour, as Fusion's own
    // palette does: empty, it would otherwise look exactly like one waiting for input.
    palette.setColor(QPalette::Disabled, QPalette::Base, c.window);
    palette.setColor(QPalette::Disabled, QPalette::PlaceholderText, c.disabledText);
    return palette;
}

} // namespace

ThemeManager &ThemeManager::instance()
{
    static ThemeManager manager;
    return manager;
}

QPalette ThemeManager::lightPalette()
{
    return build({{240, 240, 240}, {20, 20, 20},    {255, 255, 255}, {245, 245, 246}, {255, 255, 235}, {20, 20, 20},
                  {20, 20, 20},    {125, 125, 125}, {236, 236, 236}, {20, 20, 20},    {200, 0, 0},     {0, 102, 204},
                  {48, 140, 198},  {255, 255, 255}, {255, 255, 255}, {227, 227, 227}, {160, 160, 160}, {160, 160, 160},
                  {105, 105, 105}, {140, 140, 140}, {190, 190, 190}});
}

QPalette ThemeManager::darkPalette()
{
    return build({{45, 45, 48},    {228, 228, 228}, {30, 30, 32}, {39, 39, 42},    {62, 62, 66},  {235, 235, 235},
                  {228, 228, 228}, {140, 140, 145}, {60, 60, 64}, {228, 228, 228}, {255, 90, 90}, {90, 160, 255},
                  {42, 130, 218},  {255, 255, 255}, {80, 80, 85}, {66, 66, 70},    {38, 38, 41},  {24, 24, 26},
                  {10, 10, 12},    {128, 128, 132}, {80, 80, 86}});
}

double ThemeManager::clampScale(double factor)
{
    if (std::isnan(factor))
        return kDefaultScale;
    return qBound(kMinScale, factor, kMaxScale);
}

bool ThemeManager::systemPrefersDark()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return QGuiApplication::styleHints()->colorScheme() == Qt::ColorScheme::Dark;
#else
    // Before Qt 6.5 there is no colour-scheme query: a platform palette whose text is lighter
    // than its window is the best sign of a dark desktop.
    const QPalette &palette = systemPalette();
    return palette.color(QPalette::WindowText).lightness() > palette.color(QPalette::Window).lightness();
#endif
}

void ThemeManager::init(bool loadSaved)
{
    if (m_initialised)
        return;
    m_initialised = true;
    m_baseFont = QApplication::font();
    systemPalette() = QApplication::palette();
    QApplication::setStyle(new IndicatorStyle);
    if (loadSaved) {
        const QSettings settings;
        const int mode = settings.value(QStringLiteral("Appearance/Theme"), 0).toInt();
        m_mode = mode >= System && mode <= Dark ? mode : System;
        m_scale = clampScale(settings.value(QStringLiteral("Appearance/FontScale"), kDefaultScale).toDouble());
    }
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    connect(QGuiApplication::styleHints(), &QStyleHints::colorSchemeChanged, this, [this] {
        if (m_mode == System && !m_applying)
            apply();
    });
#endif
    // Every Qt: a palette set from outside, or a theme change of the desktop, is the system's
    // new look, which "Follow system" follows.
    qApp->installEventFilter(this);
    apply();
}

bool ThemeManager::eventFilter(QObject *watched, QEvent *event)
{
    if (m_applying)
        return false;
    if (event->type() == QEvent::ApplicationPaletteChange && watched == qApp) {
        // Taken as the system's; the program's own colours go back on top of it.
        systemPalette() = QApplication::palette();
        apply();
    } else if (event->type() == QEvent::ThemeChange && !m_themeCheckDue) {
        // Each window is told; one look at the new palette is enough.
        m_themeCheckDue = true;
        QTimer::singleShot(0, this, [this] {
            m_themeCheckDue = false;
            readSystemPalette();
            apply();
        });
    }
    return false;
}

void ThemeManager::readSystemPalette()
{
    // An empty palette lets the platform's own show through; ours is put back by apply().
    m_applying = true;
    QApplication::setPalette(QPalette());
    systemPalette() = QApplication::palette();
    m_applying = false;
}

void ThemeManager::apply()
{
    if (!m_initialised)
        return;
    m_applying = true;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QGuiApplication::styleHints()->setColorScheme(m_mode == Light      ? Qt::ColorScheme::Light
                                                      : m_mode == Dark ? Qt::ColorScheme::Dark
                                                                       : Qt::ColorScheme::Unknown);
#endif
    QApplication::setPalette(isDark() ? darkPalette() : lightPalette());
    QFont font = m_baseFont;
    font.setPointSizeF(m_baseFont.pointSizeF() * m_scale);
    QApplication::setFont(font);
    // Still applying while the listeners restyle: a palette they set is not the system's.
    emit changed();
    m_applying = false;
}

bool ThemeManager::isDark() const
{
    return m_mode != Light && (m_mode == Dark || systemPrefersDark());
}

void ThemeManager::setMode(int mode, bool persist)
{
    m_mode = mode >= System && mode <= Dark ? mode : System;
    m_modeForRun = !persist;
    apply();
    if (persist)
        save();
}

void ThemeManager::setScale(double factor, bool persist)
{
    m_scale = clampScale(factor);
    m_scaleForRun = !persist;
    apply();
    if (persist)
        save();
}

void ThemeManager::stepScale(int direction)
{
    m_scale = clampScale(std::round((m_scale + direction * 0.1) * 20.0) / 20.0);
    m_scaleForRun = false;
    apply();
    save();
}

void ThemeManager::resetScale()
{
    m_scale = kDefaultScale;
    m_scaleForRun = false;
    apply();
    save();
}

void ThemeManager::save() const
{
    // A theme or size given for one run is never kept, whatever else is changed during it.
    QSettings settings;
    if (!m_modeForRun)
        settings.setValue(QStringLiteral("Appearance/Theme"), m_mode);
    if (!m_scaleForRun)
        settings.setValue(QStringLiteral("Appearance/FontScale"), m_scale);
}

} // namespace pfw
