#include "ui/dialogs/modulesearchdialog.h"

#include "ui/accesskeys.h"

#include <QCompleter>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace pfw {

ModuleSearchDialog::ModuleSearchDialog(const QStringList &names, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Find module data"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Module name:"), this));
    m_name = new QLineEdit(this);
    m_name->setPlaceholderText(tr("for example Mirelux"));
    auto *completer = new QCompleter(names, m_name);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    m_name->setCompleter(completer);
    layout->addWidget(m_name);

    const auto note = [this, layout](const QString &text) {
        auto *label = new QLabel(text, this);
        label->setWordWrap(true);
        label->setContentsMargins(22, 0, 0, 6);
        layout->addWidget(label);
    };
    m_process = new QRadioButton(tr("Process search - look where module names usually go"), this);
    m_process->setChecked(true);
    layout->addWidget(m_process);
    note(tr("The module's registry entry, its saved module data, its own settings, shared-settings records and the "
            "entries of its processes. If no module has exactly this name, modules whose name contains it are shown."));
    m_full = new QRadioButton(tr("Full search - search everything, like the Search page"), this);
    layout->addWidget(m_full);
    setAccessKey(m_process, u'p');
    setAccessKey(m_full, u'f');
    note(tr("Every name, path, description and value in the file."));

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton *search = m_buttons->button(QDialogButtonBox::Ok);
    search->setText(tr("Search"));
    setAccessKey(search, u's');
    setAccessKey(m_buttons->button(QDialogButtonBox::Cancel), u'c');
    search->setEnabled(false);
    layout->addWidget(m_buttons);
    connect(m_name, &QLineEdit::textChanged, this,
            [search](const QString &text) { search->setEnabled(!text.trimmed().isEmpty()); });
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_name->setFocus();
    resize(520, sizeHint().height());
}

QString ModuleSearchDialog::name() const
{
    return m_name->text().trimmed();
}

bool ModuleSearchDialog::fullSearch() const
{
    return m_full->isChecked();
}

} // namespace pfw
