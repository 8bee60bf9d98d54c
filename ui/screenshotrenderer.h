#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <QString>

#include <functional>

class QWidget;

namespace pfw {

class MainWindow;

// Screenshot mode: every page, view and dialog of the window rendered to PNG files, with
// changes made only to show them and reverted again; the file is never saved.
class ScreenshotRenderer final
{
    Q_DECLARE_TR_FUNCTIONS(ScreenshotRenderer)

public:
    explicit ScreenshotRenderer(MainWindow &window);

    // Empty when every picture was written; otherwise what was not, and why.
    [[nodiscard]] QString render(const QString &folder, const QString &searchText);
    // Called with each window or dialog just before its picture is taken, and the picture's name.
    void setInspector(const std::function<void(QWidget *, const QString &)> &inspector) { m_inspector = inspector; }

private:
    void renderPages(const QString &folder, const QString &searchText);
    void shoot(QWidget *widget, const QString &path);

    MainWindow &m_window;
    QStringList m_failed;
    QString m_reason;
    std::function<void(QWidget *, const QString &)> m_inspector;
};

} // namespace pfw
