#include "ui/maintoolbar.h"

#include "ui/glyphicon.h"
#include "ui/thememanager.h"

#include <QAction>
#include <QApplication>
#include <QSettings>
#include <QTimer>

#include <algorithm>

namespace pfw {

MainToolbar::MainToolbar(QWidget *parent)
    : QToolBar(tr("Main toolbar"), parent)
{
    setObjectName(QStringLiteral("MainToolbar"));
    setMovable(false);
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setIconSize(QSize(18, 18));
    connect(&ThemeManager::instance(), &ThemeManager::changed, this, &MainToolbar::refreshIcons);
}

void MainToolbar::addEntry(QAction *action, const QString &iconText, int glyph)
{
    action->setIconText(iconText);
    action->setIconVisibleInMenu(false);
    addAction(action);
    m_entries.append({action, glyph});
}

void MainToolbar::restoreVisibility()
{
    setVisible(QSettings().value(QStringLiteral("Appearance/ToolbarVisible"), true).toBool());
    // Only the user's choice counts: the toolbar also hides when the window closes.
    connect(this, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (parentWidget() && parentWidget()->isVisible())
            QSettings().setValue(QStringLiteral("Appearance/ToolbarVisible"), visible);
        emit sizeChanged();
    });
}

void MainToolbar::refreshIcons()
{
    const QPalette palette = QApplication::palette();
    const QColor colour = palette.color(QPalette::Active, QPalette::ButtonText);
    const QColor disabled = palette.color(QPalette::Disabled, QPalette::ButtonText);
    // The icons grow with the text under them, from the first start as after a change.
    const int side = qRound(18 * qMax(1.0, ThemeManager::instance().scale()));
    setIconSize(QSize(side, side));
    QFont font = parentWidget() ? parentWidget()->font() : this->font();
    font.setPointSizeF(std::max(6.5, font.pointSizeF() * 0.62));
    setFont(font);
    setMaximumHeight(QFontMetrics(font).lineSpacing() + side + 21);
    setStyleSheet(
        QStringLiteral(
            "QToolBar QToolButton {  border-width: %1px; border-style: solid;  border-top-color: palette(light); "
            "border-left-color: palette(light);  border-bottom-color: palette(dark); border-right-color: "
            "palette(dark);  border-radius: 2px; padding: %2px %3px; background: palette(button); }"
            "QToolBar QToolButton:hover { background: palette(midlight); }"
            "QToolBar QToolButton:pressed {  border-top-color: palette(dark); border-left-color: palette(dark);  "
            "border-bottom-color: palette(light); border-right-color: palette(light);  background: "
            "palette(midlight); }"
            "QToolBar QToolButton:disabled { border-color: palette(mid); background: transparent; }")
            .arg(1)
            .arg(3)
            .arg(4));
    emit sizeChanged();
    QTimer::singleShot(0, this, &MainToolbar::sizeChanged);
    const qreal ratio = devicePixelRatioF();
    for (const auto &[action, glyph] : std::as_const(m_entries))
        action->setIcon(glyphIcon(glyph, colour, disabled, side, ratio));
}

} // namespace pfw
