#pragma once

#include <QStringList>
#include <QWidget>

class QComboBox;

namespace pfw {

// The window's "File:" row: the settings files found on this computer and the open one, and
// Browse for any other.
class FileRow final : public QWidget
{
    Q_OBJECT

public:
    explicit FileRow(QWidget *parent = nullptr);

    QComboBox *box() const { return m_box; }
    // Lists found, with open (empty: none) chosen; open is added when it is not among them.
    void show(const QStringList &found, const QString &open);
    static bool isSameFile(const QString &a, const QString &b);

signals:
    // Another file than the open one was picked from the list.
    void chosen(const QString &path);
    void browseRequested();

private:
    QComboBox *m_box;
    QString m_open;
};

} // namespace pfw
