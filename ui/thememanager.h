#pragma once

#include <QFont>
#include <QObject>
#include <QPalette>

class QSettings;

namespace pfw {

// Decides the application's colours and text size: Fusion with a light or dark palette, the
// base font scaled by the user's factor, both remembered per user.
class ThemeManager final : public QObject
{
    Q_OBJECT

public:
    enum Mode : int { System = 0, Light = 1, Dark = 2 };
    static constexpr double kDefaultScale = 1.25;
    static constexpr double kMinScale = 0.8;
    static constexpr double kMaxScale = 2.2;

    // The process-wide manager the windows use; tests may make their own.
    static ThemeManager &instance();
    explicit ThemeManager(QObject *parent = nullptr)
        : QObject(parent)
    {
    }

    void init(bool loadSaved);
    void setMode(int mode, bool persist);
    void setScale(double factor, bool persist);
    void stepScale(int direction);
    void resetScale();
    bool isDark() const;
    int mode() const { return m_mode; }
    double scale() const { return m_scale; }

    static QPalette lightPalette();
    static QPalette darkPalette();
    static double clampScale(double factor);
    // Whether the operating system asks for dark colours, as far as this Qt can tell.
    static bool systemPrefersDark();

signals:
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply();
    void readSystemPalette();
    void save() const;

    int m_mode = System;
    double m_scale = kDefaultScale;
    // Given on the command line: for this run only.
    bool m_modeForRun = false;
    bool m_scaleForRun = false;
    QFont m_baseFont;
    bool m_initialised = false;
    bool m_applying = false;
    bool m_themeCheckDue = false;
};

} // namespace pfw
