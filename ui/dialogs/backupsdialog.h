#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace pfw {

// Lists the backups of the open settings file and prunes them: the older ones beyond the
// newest N, a selection, or all of them, to the recycle bin where the system has one.
class BackupsDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit BackupsDialog(const QString &settingsPath, QWidget *parent = nullptr);

    void refresh();
    void deleteSelected();
    void deleteOlder();
    void deleteAll();

    QLabel *summaryLabel() const { return m_summary; }
    QListWidget *list() const { return m_list; }
    QSpinBox *keepBox() const { return m_keep; }
    QPushButton *olderButton() const { return m_older; }
    QPushButton *selectedButton() const { return m_selected; }
    QPushButton *allButton() const { return m_all; }

signals:
    void message(const QString &text);

private:
    void updateSelectionButton();
    bool confirm(const QStringList &paths, qint64 bytes, const QString &action);
    void confirmAndRemove(const QStringList &paths, qint64 bytes, const QString &action);

    QString m_settingsPath;
    int m_count = 0;
    QLabel *m_summary;
    QListWidget *m_list;
    QSpinBox *m_keep;
    QPushButton *m_older;
    QPushButton *m_selected;
    QPushButton *m_all;
};

} // namespace pfw
