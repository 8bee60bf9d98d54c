#pragma once

#include <QDialog>

class QDialogButtonBox;
class QLineEdit;
class QRadioButton;

namespace pfw {

// Asks for a module name (completed from the names the file knows) and the kind of search.
class ModuleSearchDialog final : public QDialog
{
    Q_OBJECT

public:
    ModuleSearchDialog(const QStringList &names, QWidget *parent = nullptr);

    QString name() const;
    bool fullSearch() const;
    QLineEdit *nameEdit() const { return m_name; }
    QRadioButton *fullButton() const { return m_full; }
    QDialogButtonBox *buttons() const { return m_buttons; }

private:
    QLineEdit *m_name;
    QRadioButton *m_process;
    QRadioButton *m_full;
    QDialogButtonBox *m_buttons;
};

} // namespace pfw
