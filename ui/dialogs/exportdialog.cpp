#include "ui/dialogs/exportdialog.h"

#include "core/xsdtnode.h"
#include "modules/settingsexport.h"
#include "session/busyscope.h"
#include "session/editingsession.h"
#include "ui/screenplacement.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pfw {

namespace {

constexpr int kChoiceRole = Qt::UserRole + 1;

} // namespace

ExportDialog::ExportDialog(EditingSession &session, const QList<Choice> &choices, const QString &folder,
                           QWidget *parent)
    : QDialog(parent)
    , m_session(session)
    , m_list(choices)
    , m_choices(new QTreeWidget(this))
    , m_portable(new QCheckBox(tr("Export for &another computer"), this))
    , m_leftOut(new QLabel(this))
    , m_target(new QLineEdit(this))
{
    setWindowTitle(tr("Export settings"));
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(tr("The ticked entries are written to a small settings file that Prefwright, "
                                "prefwright-cli and a person can read, and that Import settings brings into "
                                "another file."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_choices->setAccessibleName(tr("What to export"));
    m_choices->setHeaderLabels({tr("Export"), tr("Values")});
    m_choices->setRootIsDecorated(false);
    m_choices->setUniformRowHeights(true);
    for (int i = 0; i < m_list.size(); ++i) {
        qsizetype values = 0;
        QStringList paths;
        for (const XsdtNode *node : std::as_const(m_list.at(i).nodes)) {
            values += node->kind == XsdtNode::Value ? 1 : node->valueCount();
            paths << (node->parent ? node->path() : QStringLiteral("/"));
        }
        auto *item = new QTreeWidgetItem(m_choices, {m_list.at(i).title, QString::number(values)});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Checked);
        item->setToolTip(0, paths.join(u'\n'));
        item->setData(0, kChoiceRole, i);
    }
    m_choices->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_choices->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_choices->setVisible(m_list.size() > 1 || (m_list.size() == 1 && m_list.constFirst().nodes.size() > 1));
    layout->addWidget(m_choices, 1);
    if (!m_choices->isVisible() && !m_list.isEmpty())
        layout->addWidget(new QLabel(tr("Exports %1.").arg(m_list.constFirst().title), this));
    m_portable->setToolTip(tr("Leaves out what belongs to this computer alone: window geometry and state, swap "
                              "folders, thread and processor counts, recent-file lists, statistics and the local "
                              "signing identity."));
    layout->addWidget(m_portable);
    m_leftOut->setWordWrap(true);
    layout->addWidget(m_leftOut);
    auto *fileRow = new QHBoxLayout;
    auto *fileLabel = new QLabel(tr("&File:"), this);
    fileLabel->setBuddy(m_target);
    fileRow->addWidget(fileLabel);
    fileRow->addWidget(m_target, 1);
    auto *browse = new QPushButton(tr("&Browse..."), this);
    fileRow->addWidget(browse);
    layout->addLayout(fileRow);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_export = buttons->addButton(tr("&Export"), QDialogButtonBox::AcceptRole);
    m_export->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ExportDialog::reject);
    connect(browse, &QPushButton::clicked, this, &ExportDialog::browse);
    connect(m_portable, &QCheckBox::toggled, this, &ExportDialog::update);
    connect(m_choices, &QTreeWidget::itemChanged, this, &ExportDialog::update);
    connect(m_target, &QLineEdit::textChanged, this,
            [this] { m_export->setEnabled(!m_target->text().trimmed().isEmpty() && !chosenNodes().isEmpty()); });
    m_suggested = QDir(folder).filePath(
        SettingsExport::defaultFileName(&m_session.schema(), m_session.document().file(), chosenNodes()));
    m_target->setText(QDir::toNativeSeparators(m_suggested));
    update();
    resizeForText(this, QSize(560, 440));
}

QList<const XsdtNode *> ExportDialog::chosenNodes() const
{
    QList<const XsdtNode *> nodes;
    for (int row = 0; row < m_choices->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = m_choices->topLevelItem(row);
        if (item->checkState(0) == Qt::Checked)
            nodes += m_list.at(item->data(0, kChoiceRole).toInt()).nodes;
    }
    return nodes;
}

void ExportDialog::update()
{
    const QList<const XsdtNode *> nodes = chosenNodes();
    // A better name for what is ticked now, unless the user wrote one of their own.
    if (QDir::fromNativeSeparators(m_target->text().trimmed()) == m_suggested) {
        m_suggested
            = QFileInfo(m_suggested)
                  .dir()
                  .filePath(SettingsExport::defaultFileName(&m_session.schema(), m_session.document().file(), nodes));
        m_target->setText(QDir::toNativeSeparators(m_suggested));
    }
    m_export->setEnabled(!nodes.isEmpty() && !m_target->text().trimmed().isEmpty());
    m_leftOut->clear();
    if (nodes.isEmpty() || !m_portable->isChecked())
        return;
    SettingsExport::Result result;
    QString error;
    if (!SettingsExport::build(m_session.document().file(), nodes, &m_session.policy(), &result, &error)) {
        m_leftOut->setText(error);
        return;
    }
    m_leftOut->setText(result.leftOut.isEmpty()
                           ? tr("Nothing here belongs to this computer alone.")
                           : tr("Left out as this computer's own: %1.").arg(result.leftOut.join(QLatin1String(", "))));
}

void ExportDialog::browse()
{
    const BusyScope busy;
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Export settings to"), m_target->text(),
                                                        tr("Settings snippets (*.xsdt);;All files (*)"), nullptr,
                                                        QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty())
        m_target->setText(QDir::toNativeSeparators(chosen));
}

void ExportDialog::accept()
{
    const QList<const XsdtNode *> nodes = chosenNodes();
    QString out = QDir::fromNativeSeparators(m_target->text().trimmed());
    if (nodes.isEmpty() || out.isEmpty())
        return;
    out = QFileInfo(out).absoluteFilePath();
    SettingsExport::Result result;
    QString error;
    if (!SettingsExport::build(m_session.document().file(), nodes,
                               m_portable->isChecked() ? &m_session.policy() : nullptr, &result, &error)) {
        QMessageBox::warning(this, tr("Export settings"), error);
        return;
    }
    if (SettingsExport::isSameFile(out, m_session.path())) {
        QMessageBox::warning(this, tr("Export settings"),
                             tr("That is the open settings file itself: choose another name for the snippet."));
        return;
    }
    if (QFileInfo(out).isFile()
        && QMessageBox::question(this, tr("Export settings"),
                                 tr("%1 already exists. Replace it?").arg(QDir::toNativeSeparators(out)),
                                 QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel)
            != QMessageBox::Yes)
        return;
    if (!SettingsExport::writeSnippet(out, m_session.path(), result.bytes, &error)) {
        QMessageBox::warning(this, tr("Export settings"), tr("Nothing was exported. %1").arg(error));
        return;
    }
    m_written = out;
    m_message = tr("Exported %n values to %1.", nullptr, int(result.valueCount)).arg(QDir::toNativeSeparators(out));
    if (!result.leftOut.isEmpty())
        m_message += u' ' + tr("Left out as this computer's own: %1.").arg(result.leftOut.join(QLatin1String(", ")));
    QDialog::accept();
}

} // namespace pfw
