#pragma once

#include <QList>
#include <QPair>
#include <QToolBar>

namespace pfw {

// The main window's toolbar: its commands with drawn glyph icons that follow the theme and
// the text size, and the user's choice to show it, remembered across runs.
class MainToolbar final : public QToolBar
{
    Q_OBJECT

public:
    explicit MainToolbar(QWidget *parent = nullptr);

    void addEntry(QAction *action, const QString &iconText, int glyph);
    // Shows or hides it as the user last chose; from then on follows and remembers their choice.
    void restoreVisibility();
    void refreshIcons();

signals:
    // Icons, font or visibility changed: the window's minimum width may have to follow.
    void sizeChanged();

private:
    QList<QPair<QAction *, int>> m_entries;
};

} // namespace pfw
