#pragma once

#include <QDialog>
#include <QList>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace pfw {

class EditingSession;
struct XsdtNode;

// Export: the chosen entries written as a small settings file of their own. Each choice (a
// page, a group, a setting) has a tick; "Export for another computer" leaves out this
// computer's own values and says which.
class ExportDialog final : public QDialog
{
    Q_OBJECT

public:
    struct Choice
    {
        QString title;
        QList<const XsdtNode *> nodes;
    };

    // folder: where the file goes unless the user picks another place.
    ExportDialog(EditingSession &session, const QList<Choice> &choices, const QString &folder,
                 QWidget *parent = nullptr);

    QTreeWidget *choices() const { return m_choices; }
    QCheckBox *portable() const { return m_portable; }
    QLineEdit *target() const { return m_target; }
    QPushButton *exportButton() const { return m_export; }
    // The file written, once accepted; and the line for the status bar.
    const QString &written() const { return m_written; }
    const QString &message() const { return m_message; }

    void accept() override;

private:
    QList<const XsdtNode *> chosenNodes() const;
    void update();
    void browse();

    EditingSession &m_session;
    QList<Choice> m_list;
    QTreeWidget *m_choices;
    QCheckBox *m_portable;
    QLabel *m_leftOut;
    QLineEdit *m_target;
    QPushButton *m_export = nullptr;
    // The name last suggested: replaced by a better one as the choice changes, unless typed over.
    QString m_suggested;
    QString m_written;
    QString m_message;
};

} // namespace pfw
