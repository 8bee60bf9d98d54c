#include "ui/dialogs/installedupdatesdialog.h"
#include "ui/screenplacement.h"

#include "platform/hostlocations.h"
#include "platform/hostenvironment.h"
#include "ui/accesskeys.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pfw {

namespace {

constexpr int kListedNames = 12;

} // namespace

InstalledUpdatesDialog::InstalledUpdatesDialog(const QString &path, const HostServices &services, QWidget *parent)
    : QDialog(parent)
    , m_path(path)
    , m_services(services)
{
    setWindowTitle(tr("Installed updates"));
    resizeForText(this, QSize(980, 560));
    auto *layout = new QVBoxLayout(this);

    m_intro = new QLabel(this);
    m_intro->setWordWrap(true);
    m_intro->setTextFormat(Qt::RichText);
    m_intro->setContentsMargins(10, 10, 10, 10);
    m_intro->setText(
        tr("<b>PixInsight's own record of installed updates</b> (%1).<br>Removing a record makes PixInsight treat that "
           "package as <i>not installed</i>, so <b>Resources &gt; Updates &gt; Check for Updates</b> offers it again "
           "from its repository - useful for testing a first install from a repository. Files already installed are "
           "not removed; the update replaces them.<br><span style=\"color:#e29600\"><b>Warning:</b></span> this edits "
           "PixInsight's installation, not your settings. Only module packages can be removed; PixInsight's own "
           "packages are locked. A backup is made first (and can be restored below).")
            .arg(QDir::toNativeSeparators(path).toHtmlEscaped()));
    layout->addWidget(m_intro);

    auto *filterRow = new QHBoxLayout;
    m_filter = new QLineEdit(this);
    m_filter->setAccessibleName(tr("Filter the records"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setPlaceholderText(tr("Filter by package name (for example Orbitdeck)"));
    m_tickShown = new QPushButton(tr("Tick all shown"), this);
    m_untickAll = new QPushButton(tr("Untick all"), this);
    setAccessKey(m_tickShown, u't');
    setAccessKey(m_untickAll, u'u');
    filterRow->addWidget(m_filter, 1);
    filterRow->addWidget(m_tickShown);
    filterRow->addWidget(m_untickAll);
    layout->addLayout(filterRow);

    m_tree = new QTreeWidget(this);
    m_tree->setAccessibleName(tr("Installed updates"));
    m_tree->setHeaderLabels({tr("Package"), tr("Type"), tr("Installed"), tr("Repository")});
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->header()->setStretchLastSection(true);
    m_tree->setColumnWidth(0, 380);
    m_tree->setColumnWidth(1, 70);
    m_tree->setColumnWidth(2, 130);
    layout->addWidget(m_tree, 1);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::RichText);
    layout->addWidget(m_status);

    auto *buttons = new QHBoxLayout;
    m_remove = new QPushButton(tr("Remove ticked..."), this);
    m_restore = new QPushButton(tr("Restore last backup..."), this);
    auto *close = new QPushButton(tr("Close"), this);
    close->setDefault(true);
    setAccessKey(m_remove, u'r');
    setAccessKey(m_restore, u'b');
    setAccessKey(close, u'c');
    buttons->addWidget(m_remove);
    buttons->addWidget(m_restore);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_filter, &QLineEdit::textChanged, this, &InstalledUpdatesDialog::applyFilter);
    connect(m_tickShown, &QPushButton::clicked, this, [this] { setTicks(true, Qt::Checked); });
    connect(m_untickAll, &QPushButton::clicked, this, [this] { setTicks(false, Qt::Unchecked); });
    connect(m_tree, &QTreeWidget::itemChanged, this, &InstalledUpdatesDialog::onItemChanged);
    connect(m_remove, &QPushButton::clicked, this, &InstalledUpdatesDialog::onRemove);
    connect(m_restore, &QPushButton::clicked, this, &InstalledUpdatesDialog::onRestore);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    // PixInsight may start or close, and the folder's rights may change, while this is open.
    m_timer = new QTimer(this);
    m_timer->setInterval(2000);
    connect(m_timer, &QTimer::timeout, this, &InstalledUpdatesDialog::updateState);
    m_timer->start();
    reload();
}

QString InstalledUpdatesDialog::removalQuestion(const QStringList &names)
{
    QString list;
    for (const QString &name : names.mid(0, kListedNames))
        list += QLatin1String("\n  - ") + name;
    if (names.size() > kListedNames)
        list += tr("\n  ... and %1 more").arg(names.size() - kListedNames);
    return tr("Remove %n records from PixInsight's list of installed updates?%1\n\nA backup is made first. "
              "PixInsight must be closed.",
              nullptr, int(names.size()))
        .arg(list);
}

void InstalledUpdatesDialog::reload()
{
    m_records = loadInstalledRecords(m_path, &m_loadError);
    {
        const QSignalBlocker blocker(m_tree);
        m_tree->clear();
        const QColor locked = palette().color(QPalette::Disabled, QPalette::Text);
        for (const PackageRecord &record : std::as_const(m_records)) {
            auto *item
                = new QTreeWidgetItem(m_tree, {record.fileName, record.type, displayInstallDate(record), record.repo});
            if (record.type == u"module") {
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(0, Qt::Unchecked);
            } else {
                item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
                item->setToolTip(0, tr("A PixInsight package (not a module): shown, but locked."));
                for (int column = 0; column < 4; ++column)
                    item->setForeground(column, locked);
            }
        }
    }
    // Larger text sizes would otherwise cut the type and the date short.
    for (const int column : {1, 2}) {
        const int wanted = m_tree->columnWidth(column);
        m_tree->resizeColumnToContents(column);
        m_tree->setColumnWidth(column, std::max(wanted, m_tree->columnWidth(column) + 8));
    }
    applyFilter();
    if (!m_loadError.isEmpty())
        m_status->setText(tr("Could not read the record file: %1").arg(m_loadError.toHtmlEscaped()));
    updateState();
}

void InstalledUpdatesDialog::setFilterText(const QString &text)
{
    m_filter->setText(text);
}

void InstalledUpdatesDialog::applyFilter()
{
    const QString text = m_filter->text().trimmed();
    for (int row = 0; row < m_tree->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = m_tree->topLevelItem(row);
        item->setHidden(!text.isEmpty() && !item->text(0).contains(text, Qt::CaseInsensitive));
    }
}

void InstalledUpdatesDialog::setTicks(bool onlyShown, Qt::CheckState state)
{
    {
        const QSignalBlocker blocker(m_tree);
        for (int row = 0; row < m_tree->topLevelItemCount(); ++row) {
            QTreeWidgetItem *item = m_tree->topLevelItem(row);
            if ((item->flags() & Qt::ItemIsUserCheckable) && !(onlyShown && item->isHidden()))
                item->setCheckState(0, state);
        }
    }
    updateState();
}

void InstalledUpdatesDialog::onItemChanged(QTreeWidgetItem *item, int column)
{
    if (column != 0 || !(item->flags() & Qt::ItemIsUserCheckable))
        return;
    // Records with one name are removed together, so they are ticked together.
    {
        const QSignalBlocker blocker(m_tree);
        for (int row = 0; row < m_tree->topLevelItemCount(); ++row) {
            QTreeWidgetItem *other = m_tree->topLevelItem(row);
            if (other != item && (other->flags() & Qt::ItemIsUserCheckable) && other->text(0) == item->text(0))
                other->setCheckState(0, item->checkState(0));
        }
    }
    updateState();
}

QStringList InstalledUpdatesDialog::tickedNames() const
{
    QStringList names;
    for (int row = 0; row < m_tree->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = m_tree->topLevelItem(row);
        if ((item->flags() & Qt::ItemIsUserCheckable) && item->checkState(0) == Qt::Checked)
            names << item->text(0);
    }
    return names;
}

void InstalledUpdatesDialog::updateState()
{
    const bool running = m_services.isHostRunning && m_services.isHostRunning();
    const bool writable = m_services.writableBeside(m_path);
    const bool canElevate = m_services.launcher.canElevate();
    const QString blocked = !writable && canElevate ? elevationProblem() : QString();
    const bool allowed = writable || (canElevate && blocked.isEmpty());
    if (m_loadError.isEmpty()) {
        if (running)
            m_status->setText(
                tr("<b>PixInsight is running.</b> Close it first: it rewrites its records from memory, so "
                   "a change made now would be lost."));
        else if (!blocked.isEmpty())
            m_status->setText(blocked.toHtmlEscaped());
        else if (!writable && canElevate)
            m_status->setText(HostEnvironment::builtFlavour() == PlatformFlavour::Windows
                                  ? tr("Changing this file needs administrator rights. Windows will ask for "
                                       "permission when you confirm.")
                                  : tr("Changing this file needs administrator rights. You will be asked for an "
                                       "administrator password."));
        else if (!writable)
            m_status->setText(tr("Changing this file needs administrator rights, which this program cannot request on "
                                 "this system yet. The list is shown for reference."));
        else
            m_status->clear();
    }
    const QStringList ticked = tickedNames();
    m_remove->setEnabled(!running && allowed && !ticked.isEmpty());
    m_remove->setText(ticked.isEmpty() ? tr("Remove ticked...")
                                       : tr("Remove %n ticked...", nullptr, int(ticked.size())));
    m_restore->setEnabled(!running && allowed && !installedBackups(m_path).isEmpty());
}

// The elevated helper finds the record file by itself and ignores PIXINSIGHT_DIR. Started for a
// file it would not find, it would edit another installation's file, or none, and report success.
QString InstalledUpdatesDialog::elevationProblem() const
{
    HostEnvironment helper = m_services.environment;
    helper.elevatedHelper = true;
    const QFileInfo own(m_path);
    const QFileInfo found(findInstalledRecordFile(installFolderCandidates(helper)));
    if (!found.filePath().isEmpty() && found.canonicalFilePath() == own.canonicalFilePath())
        return QString();
    const QString installFolder = QDir::cleanPath(own.absoluteFilePath() + QLatin1String("/../../.."));
    const QString problem = helperInstallFolderProblem(installFolder, m_services.environment);
    return !problem.isEmpty() ? problem
                              : tr("The administrator helper would not find this record file by itself, so it was not "
                                   "started. Nothing was changed.");
}

EditResult InstalledUpdatesDialog::apply(const QStringList &helperArguments,
                                         const std::function<EditResult()> &inProcess)
{
    m_cancelled = false;
    if (m_services.writableBeside(m_path))
        return inProcess();
    if (!m_services.launcher.canElevate()) {
        EditResult result;
        result.status = HelperFailed;
        result.message
            = tr("Changing this file needs administrator rights, which cannot be requested on this system yet.");
        return result;
    }
    if (const QString problem = elevationProblem(); !problem.isEmpty()) {
        EditResult result;
        result.status = HelperFailed;
        result.message = problem;
        return result;
    }
    const ElevatedRun run = m_services.launcher.runElevatedHelper(
        QStringList{QStringLiteral("--installed-updates-helper")} + helperArguments);
    m_cancelled = run.outcome == ElevatedRun::Cancelled;
    return editResultFromElevatedRun(run, m_path);
}

EditResult InstalledUpdatesDialog::removeChecked()
{
    const QStringList names = tickedNames();
    RecordEditOptions options;
    options.isHostRunning = m_services.isHostRunning;
    EditResult result = apply(QStringList{QStringLiteral("remove")} + names,
                              [&] { return removeInstalledRecords(m_path, names, options); });
    if (result.status == HelperDone && result.count == 0)
        result.count = int(names.size());
    reload();
    return result;
}

EditResult InstalledUpdatesDialog::restoreBackup()
{
    RecordEditOptions options;
    options.isHostRunning = m_services.isHostRunning;
    const EditResult result
        = apply({QStringLiteral("restore")}, [&] { return restoreNewestInstalledBackup(m_path, options); });
    reload();
    return result;
}

void InstalledUpdatesDialog::onRemove()
{
    const QStringList names = tickedNames();
    if (names.isEmpty())
        return;
    if (QMessageBox::question(this, windowTitle(), removalQuestion(names), QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const EditResult result = removeChecked();
    QApplication::restoreOverrideCursor();
    showResult(result, tr("Removed %n records.", nullptr, int(names.size())));
}

void InstalledUpdatesDialog::onRestore()
{
    const QStringList backups = installedBackups(m_path);
    if (backups.isEmpty())
        return;
    if (QMessageBox::question(this, windowTitle(),
                              tr("Put the newest backup back over PixInsight's record of installed updates?\n\n%1")
                                  .arg(backups.constFirst()),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const EditResult result = restoreBackup();
    QApplication::restoreOverrideCursor();
    showResult(result, tr("The backup was restored."));
}

void InstalledUpdatesDialog::showResult(const EditResult &result, const QString &successText)
{
    if (result.status != HelperDone) {
        if (m_cancelled)
            QMessageBox::information(this, windowTitle(), result.message);
        else
            QMessageBox::warning(this, windowTitle(), result.message);
        return;
    }
    QString text = successText;
    if (!result.backupPath.isEmpty())
        text += tr("\n\nBackup: %1").arg(QDir::toNativeSeparators(result.backupPath));
    text += tr("\n\nIn PixInsight: Resources > Updates > Check for Updates.");
    QMessageBox::information(this, windowTitle(), text);
}

} // namespace pfw
