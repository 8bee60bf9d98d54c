#pragma once

#include <QCoreApplication>
#include <QString>

namespace pfw {

class MainWindow;

// Screenshot mode: every page, view and dialog of the window rendered to PNG files, with
// changes made only to show them and reverted again; the file is never saved.
class ScreenshotRenderer final
{
    Q_DECLARE_TR_FUNCTIONS(ScreenshotRenderer)

public:
    explicit ScreenshotRenderer(MainWindow &window);

    void render(const QString &folder, const QString &searchText);

private:
    MainWindow &m_window;
};

} // namespace pfw
