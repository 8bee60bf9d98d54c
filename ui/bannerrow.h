#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace pfw {

class EditingSession;

// The row above the tabs: the banner of what matters most about the open file, and Reload
// when reading the file again is the way on.
class BannerRow final : public QWidget
{
    Q_OBJECT

public:
    explicit BannerRow(QWidget *parent = nullptr);

    void showFor(const EditingSession &session);
    QLabel *label() const { return m_label; }
    QPushButton *reloadButton() const { return m_reload; }
    QPushButton *showChangesButton() const { return m_showChanges; }

signals:
    void reloadRequested();
    void showHostChangesRequested();
    void dismissHostChangesRequested();

private:
    QLabel *m_label;
    QPushButton *m_reload;
    QPushButton *m_showChanges;
    QPushButton *m_dismiss;
};

} // namespace pfw
