#include "ui/dialogs/importdialog.h"

#include "core/displaytext.h"
#include "core/xsdtnode.h"
#include "model/settingsmodel.h"
#include "schema/readablevalue.h"
#include "session/editingsession.h"
#include "ui/screenplacement.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pfw {

namespace {

constexpr int kIndexRole = Qt::UserRole + 1;
constexpr int kRemovalRole = Qt::UserRole + 2;
constexpr int kKeyRole = Qt::UserRole + 3;

QString tickKey(const QString &path, int occurrence)
{
    return path + u'#' + QString::number(occurrence);
}

// Folders of this computer a rewrite may lead to: the home folder and the usual ones in it.
QStringList homeFolders()
{
    QStringList folders{QDir::homePath()};
    for (const auto location : {QStandardPaths::DocumentsLocation, QStandardPaths::PicturesLocation,
                                QStandardPaths::DownloadLocation, QStandardPaths::DesktopLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty() && !folders.contains(folder))
            folders << folder;
    }
    return folders;
}

} // namespace

ImportDialog::ImportDialog(EditingSession &session, const XsdtNode &snippet, const QString &snippetName,
                           QWidget *parent)
    : QDialog(parent)
    , m_session(session)
    , m_snippet(snippet)
    , m_name(snippetName)
    , m_plan(&session.schema(), &session.policy())
    , m_generation(session.model()->generation())
    , m_entries(new QTreeWidget(this))
    , m_replace(new QCheckBox(tr("&Replace the groups it holds"), this))
    , m_summary(new QLabel(this))
    , m_rewriteRow(new QWidget(this))
    , m_missing(new QLabel(this))
    , m_from(new QLineEdit(this))
    , m_to(new QLineEdit(this))
    , m_rewrite(new QPushButton(tr("Re&write paths"), this))
    , m_rewriteError(new QLabel(this))
{
    setWindowTitle(tr("Import settings from %1").arg(QFileInfo(snippetName).fileName()));
    auto *layout = new QVBoxLayout(this);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    m_entries->setAccessibleName(tr("Entries of the snippet"));
    m_entries->setHeaderLabels({tr("Setting"), tr("Here"), tr("In the snippet"), tr("Status")});
    m_entries->setRootIsDecorated(false);
    m_entries->setUniformRowHeights(true);
    m_entries->header()->setSectionResizeMode(QHeaderView::Interactive);
    layout->addWidget(m_entries, 1);
    m_replace->setToolTip(tr("Also removes what the snippet's groups hold here but the snippet does not, where the "
                             "deletion rules allow it."));
    layout->addWidget(m_replace);

    auto *rewrite = new QVBoxLayout(m_rewriteRow);
    rewrite->setContentsMargins(0, 0, 0, 0);
    m_missing->setWordWrap(true);
    rewrite->addWidget(m_missing);
    auto *mapRow = new QHBoxLayout;
    auto *fromLabel = new QLabel(tr("Paths starting with"), m_rewriteRow);
    fromLabel->setBuddy(m_from);
    mapRow->addWidget(fromLabel);
    mapRow->addWidget(m_from, 1);
    auto *toLabel = new QLabel(tr("&become"), m_rewriteRow);
    toLabel->setBuddy(m_to);
    mapRow->addWidget(toLabel);
    mapRow->addWidget(m_to, 1);
    mapRow->addWidget(m_rewrite);
    rewrite->addLayout(mapRow);
    m_rewriteError->setWordWrap(true);
    m_rewriteError->setVisible(false);
    rewrite->addWidget(m_rewriteError);
    m_from->setAccessibleName(tr("Folder in the snippet"));
    m_to->setAccessibleName(tr("Folder on this computer"));
    layout->addWidget(m_rewriteRow);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_import = buttons->addButton(tr("&Import"), QDialogButtonBox::AcceptRole);
    m_import->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ImportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ImportDialog::reject);
    connect(m_replace, &QCheckBox::toggled, this, &ImportDialog::recompute);
    connect(m_rewrite, &QPushButton::clicked, this, &ImportDialog::rewrite);
    connect(m_entries, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item, int column) {
        if (column != SettingColumn || !(item->flags() & Qt::ItemIsUserCheckable))
            return;
        m_choices.insert(item->data(SettingColumn, kKeyRole).toString(),
                         item->checkState(SettingColumn) == Qt::Checked);
        updateCount();
    });
    recompute();
    // The suggestion once, from what the snippet first showed: the user's own text is kept after.
    const QStringList missing = m_plan.missingPaths([](const QString &path) { return QFileInfo::exists(path); });
    const ImportPlan::PathMap suggestion = ImportPlan::suggestMap(missing, homeFolders());
    m_from->setText(suggestion.from);
    m_to->setText(QDir::toNativeSeparators(suggestion.to));
    resizeForText(this, QSize(820, 520));
}

void ImportDialog::recompute()
{
    if (m_session.model()->generation() != m_generation)
        return;
    m_plan.setReplace(m_replace->isChecked());
    m_plan.compute(m_snippet, m_session.document().file().root);
    refill();
}

QString ImportDialog::statusText(const ImportPlan::Entry &entry)
{
    switch (entry.status) {
    case ImportPlan::Entry::New:
        return tr("new");
    case ImportPlan::Entry::Different:
        return tr("different");
    case ImportPlan::Entry::Same:
        return tr("same");
    case ImportPlan::Entry::Refused:
        break;
    }
    return tr("refused: %1").arg(entry.reason);
}

QString ImportDialog::valueText(const SettingsSchema *schema, const ImportPlan::Entry &entry, const QString &value)
{
    if (entry.item)
        return tr("(group)");
    return entry.target ? ReadableValue::text(schema, *entry.target, value) : DisplayText::value(entry.type, value);
}

QTreeWidgetItem *ImportDialog::entryRow(int index)
{
    const ImportPlan::Entry &entry = m_plan.entries().at(index);
    const SettingsSchema *schema = &m_session.schema();
    const auto shown = [&entry, schema](const QString &value) { return valueText(schema, entry, value); };
    QString status = statusText(entry);
    if (!entry.rewrittenFrom.isEmpty())
        status += u' ' + tr("(path rewritten)");
    auto *item = new QTreeWidgetItem(
        {entry.label, entry.target ? shown(entry.here) : tr("(not here)"), shown(entry.incoming), status});
    item->setToolTip(SettingColumn, entry.path);
    item->setToolTip(HereColumn, entry.here.left(DisplayText::kTipLength));
    item->setToolTip(SnippetColumn,
                     entry.rewrittenFrom.isEmpty()
                         ? entry.incoming.left(DisplayText::kTipLength)
                         : tr("%1\nIn the snippet: %2").arg(entry.incoming, entry.rewrittenFrom));
    item->setToolTip(StatusColumn, status);
    item->setData(SettingColumn, kIndexRole, index);
    const QString key = tickKey(entry.path, entry.occurrence);
    item->setData(SettingColumn, kKeyRole, key);
    if (entry.status == ImportPlan::Entry::New || entry.status == ImportPlan::Entry::Different) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(SettingColumn, m_choices.value(key, true) ? Qt::Checked : Qt::Unchecked);
    } else {
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        item->setForeground(StatusColumn, palette().brush(QPalette::Disabled, QPalette::Text));
    }
    return item;
}

QTreeWidgetItem *ImportDialog::removalRow(int index)
{
    const ImportPlan::Removal &removal = m_plan.removals().at(index);
    const QString status = !removal.allowed ? tr("kept: %1").arg(removal.reason)
        : removal.needsConfirmation         ? tr("removed here, if ticked: %1").arg(removal.reason)
                                            : tr("removed here (not in the snippet)");
    const QString here = removal.node && removal.node->kind == XsdtNode::Value
        ? ReadableValue::text(&m_session.schema(), *removal.node, removal.node->value)
        : tr("%n values", nullptr, removal.node ? int(removal.node->valueCount()) : 0);
    auto *item = new QTreeWidgetItem({removal.label, here, tr("(not in the snippet)"), status});
    item->setToolTip(SettingColumn, removal.path);
    item->setToolTip(StatusColumn, status);
    item->setData(SettingColumn, kRemovalRole, index);
    const QString key = QStringLiteral("remove:") + removal.path;
    item->setData(SettingColumn, kKeyRole, key);
    if (removal.allowed) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        // A removal the rules warn about is the user's to tick.
        const bool ticked = m_choices.value(key, !removal.needsConfirmation);
        item->setCheckState(SettingColumn, ticked ? Qt::Checked : Qt::Unchecked);
    } else {
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    }
    return item;
}

void ImportDialog::refill()
{
    const QSignalBlocker blocker(m_entries);
    m_entries->clear();
    QList<QTreeWidgetItem *> rows;
    for (int i = 0; i < m_plan.entries().size(); ++i)
        rows << entryRow(i);
    for (int i = 0; i < m_plan.removals().size(); ++i)
        rows << removalRow(i);
    m_entries->addTopLevelItems(rows);
    // A long label or value must not push the status out of sight: the tooltips hold it all.
    for (int column = 0; column < m_entries->columnCount(); ++column) {
        m_entries->resizeColumnToContents(column);
        if (column != StatusColumn)
            m_entries->setColumnWidth(column, qMin(m_entries->columnWidth(column), 260));
    }
    const QStringList missing = m_plan.missingPaths([](const QString &path) { return QFileInfo::exists(path); });
    m_rewriteRow->setVisible(!missing.isEmpty() || !m_from->text().isEmpty());
    QStringList shownMissing = missing.mid(0, 5);
    for (QString &path : shownMissing)
        path = QDir::toNativeSeparators(path);
    m_missing->setText(missing.isEmpty() ? tr("Every path in the snippet exists on this computer.")
                                         : tr("%n paths in the snippet do not exist on this computer: %1", nullptr,
                                              int(missing.size()))
                                               .arg(shownMissing.join(QLatin1String(", "))
                                                    + (missing.size() > 5 ? QStringLiteral(", …") : QString())));
    updateCount();
}

void ImportDialog::updateCount()
{
    int ticked = 0, refused = 0, same = 0;
    for (int row = 0; row < m_entries->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = m_entries->topLevelItem(row);
        if ((item->flags() & Qt::ItemIsUserCheckable) && item->checkState(SettingColumn) == Qt::Checked)
            ++ticked;
    }
    for (const ImportPlan::Entry &entry : m_plan.entries()) {
        refused += entry.status == ImportPlan::Entry::Refused ? 1 : 0;
        same += entry.status == ImportPlan::Entry::Same ? 1 : 0;
    }
    m_summary->setText(tr("%1 ticked to import; %2 the same here; %3.")
                           .arg(tr("%n changes", nullptr, ticked), tr("%n entries", nullptr, same),
                                tr("%n refused", nullptr, refused)));
    m_import->setEnabled(ticked > 0 && m_session.model()->generation() == m_generation);
}

void ImportDialog::rewrite()
{
    m_rewriteError->setVisible(false);
    const QString from = m_from->text().trimmed();
    const QString to = QDir::fromNativeSeparators(m_to->text().trimmed());
    if (from.isEmpty() && to.isEmpty()) {
        m_plan.setPathMaps({});
        recompute();
        return;
    }
    ImportPlan::PathMap map;
    QString problem;
    if (!ImportPlan::parsePathMap(from + u'=' + to, &map))
        problem = tr("Give both folders: the one the snippet's paths start with and the one of this computer.");
    else if (!ImportPlan::isFolderPathHere(map.to))
        problem = tr("%1 is not a whole folder path of this computer.").arg(QDir::toNativeSeparators(map.to));
    else if (!QFileInfo(map.to).isDir())
        problem = tr("The folder %1 does not exist on this computer: nothing was rewritten.")
                      .arg(QDir::toNativeSeparators(map.to));
    if (!problem.isEmpty()) {
        m_rewriteError->setText(problem);
        m_rewriteError->setVisible(true);
        return;
    }
    m_plan.setPathMaps({map});
    recompute();
}

void ImportDialog::accept()
{
    // The tree the comparison was made on is gone (a reload): nothing it found still holds.
    if (m_session.model()->generation() != m_generation) {
        QMessageBox::warning(this, windowTitle(),
                             tr("The settings file was read again while this was open. Import it again."));
        QDialog::reject();
        return;
    }
    if (m_session.isHostRunning()) {
        QMessageBox::warning(this, windowTitle(), tr("PixInsight is running: nothing can be changed until it exits."));
        return;
    }
    QList<int> entries, removals;
    for (int row = 0; row < m_entries->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = m_entries->topLevelItem(row);
        if (!(item->flags() & Qt::ItemIsUserCheckable) || item->checkState(SettingColumn) != Qt::Checked)
            continue;
        if (const QVariant removal = item->data(SettingColumn, kRemovalRole); removal.isValid())
            removals << removal.toInt();
        else
            entries << item->data(SettingColumn, kIndexRole).toInt();
    }
    m_applied = m_session.applyImport(m_plan, entries, removals, tr("import of %1").arg(QFileInfo(m_name).fileName()));
    QDialog::accept();
}

} // namespace pfw
