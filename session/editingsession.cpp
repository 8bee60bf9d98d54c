#include "session/editingsession.h"

#include "core/backups.h"
#include "core/failure.h"
#include "core/problemsearch.h"
#include "model/settingsmodel.h"
#include "modules/importplan.h"
#include "platform/hostlocations.h"
#include "session/diskchangemonitor.h"
#include "session/environmentwatcher.h"
#include "session/pendingfiles.h"

#include <QFileInfo>
#include <QSet>
#include <QUndoStack>

#include <functional>

namespace pfw {

EditingSession::EditingSession(const HostServices &services, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_model(new SettingsModel(this))
    , m_undoStack(new QUndoStack(this))
    , m_pending(new PendingFiles(m_model, this))
    , m_diskMonitor(new DiskChangeMonitor(this))
{
    if (!m_schema.loadBuiltIn(&m_schemaError) && m_schemaError.isEmpty())
        m_schemaError = tr("unknown error");
    if (!m_policy.loadBuiltIn(&m_policyError) && m_policyError.isEmpty())
        m_policyError = tr("unknown error");
    m_document.setPolicy(&m_policy);
    m_document.setRunningCheck(m_services.isHostRunning);
    m_model->setPolicy(&m_policy);
    m_model->setSchema(&m_schema);
    m_model->setUndoStack(m_undoStack);
    connect(m_model, &SettingsModel::edited, this, &EditingSession::stateChanged);
    connect(m_pending, &PendingFiles::changed, this, &EditingSession::stateChanged);

    EnvironmentWatcher::Probes probes;
    probes.isHostRunning = m_services.isHostRunning;
    probes.disk = [this] { return isLoaded() ? m_diskMonitor->check(m_document) : DiskChangeMonitor::State::Same; };
    probes.unsavedCount = [this] { return unsavedCount(); };
    probes.isBusy = [this] { return m_isBusy && m_isBusy(); };
    m_watcher = new EnvironmentWatcher(probes, this);
    // A verdict reached between polls is acted on at once.
    connect(m_diskMonitor, &DiskChangeMonitor::settled, this, &EditingSession::poll);
    connect(m_watcher, &EnvironmentWatcher::polled, this, &EditingSession::onPolled);
    connect(m_watcher, &EnvironmentWatcher::reloadRequested, this, [this] {
        QString error;
        if (!reload(&error))
            emit reloadFailed(error);
    });
}

EditingSession::~EditingSession()
{
    // Whoever shows the tree must let go of it before the document destroys it.
    releaseTree(false);
}

bool EditingSession::isHostRunning() const
{
    return m_watcher->isHostRunning();
}

QString EditingSession::runningCheckError() const
{
    return m_watcher->runningCheckError();
}

bool EditingSession::isChangedOnDisk() const
{
    return isLoaded() && m_watcher->isChangedOnDisk();
}

bool EditingSession::isCheckingDisk() const
{
    return m_diskMonitor->isChecking();
}

int EditingSession::unsavedCount() const
{
    if (!isLoaded())
        return 0;
    // Counting walks the whole tree, and every poll asks: count again only after a change.
    const std::pair<quint64, quint64> now{m_model->generation(), m_model->revision()};
    if (now != m_countedAt) {
        m_pendingCount = m_document.pendingChangeCount();
        m_countedAt = now;
    }
    return int(m_pendingCount + m_pending->count()) + m_model->heldCount();
}

void EditingSession::startWatching(int intervalMs)
{
    m_watcher->start(intervalMs);
}

void EditingSession::poll()
{
    m_watcher->poll();
}

const HostRunReport *EditingSession::hostRunReport() const
{
    if (!m_hostReport || !isLoaded() || m_hostStartPath != m_document.path()
        || m_document.fingerprint() != m_hostReport->afterFingerprint())
        return nullptr;
    return &*m_hostReport;
}

void EditingSession::noteHostTransition(bool running)
{
    if (running) {
        m_hostReport.reset();
        m_hostDamageNote.clear();
        m_hostStartBytes.clear();
        m_hostStartPath.clear();
        // A search rewrites the file each round itself: what PixInsight did is not told apart.
        QString error;
        if (isLoaded() && !m_searchInProgress && SafeWrite::readFile(m_document.path(), &m_hostStartBytes, &error))
            m_hostStartPath = m_document.path();
        return;
    }
    if (m_hostStartPath.isEmpty())
        return;
    QByteArray after;
    QString error;
    HostRunReport report;
    const bool read = SafeWrite::readFile(m_hostStartPath, &after, &error);
    if (read && after == m_hostStartBytes) {
        // Nothing changed.
    } else if (read && report.build(m_hostStartBytes, after, &m_policy)) {
        if (!report.isEmpty())
            m_hostReport = std::move(report);
    } else if (XsdtFile before, left; before.parse(m_hostStartBytes) && !(read && left.parse(after))) {
        // It left a file that cannot be read, or none (a crash, a full disk): what it started
        // with is the user's last good state, and it exists only in memory, so it becomes a backup.
        const QString backup = SafeWrite::makeBackupPath(m_hostStartPath, QStringLiteral("before-pixinsight"),
                                                         QDateTime::currentDateTime());
        QString writeError;
        m_hostDamageNote = writeBackupFile(m_hostStartBytes, backup, m_hostStartPath, &writeError)
            ? tr("PixInsight left its settings file damaged or missing when it exited. The file as it was when "
                 "PixInsight started is kept in the backup %1: put it back with File > Restore backup.")
                  .arg(QFileInfo(backup).fileName())
            : tr("PixInsight left its settings file damaged or missing when it exited, and the file as it was "
                 "when it started could not be kept as a backup: %1")
                  .arg(writeError);
    }
    m_hostStartBytes.clear();
}

void EditingSession::onPolled()
{
    if (m_watcher->isHostRunning() != m_hostWasRunning) {
        m_hostWasRunning = m_watcher->isHostRunning();
        noteHostTransition(m_hostWasRunning);
    }
    if (m_model->isReadOnly() != m_watcher->isHostRunning())
        m_model->setReadOnly(m_watcher->isHostRunning());
    if (!(m_isBusy && m_isBusy()))
        m_pending->dropVanished();
    const QString statePath = isLoaded() ? ProblemSearch::statePathFor(m_document.path()) : QString();
    const FileIdentity state = statePath.isEmpty() ? FileIdentity() : FileIdentity::of(statePath);
    if (state != m_searchState) {
        m_searchState = state;
        m_searchInProgress = isLoaded() && ProblemSearch(m_document.path()).hasState();
    }
    emit stateChanged();
    emit polled();
    // Text typed while PixInsight ran that no view committed (its row is not shown) is applied now.
    if (m_model->heldCount() > 0 && !m_watcher->isHostRunning()) {
        m_model->applyHeldTexts();
        emit stateChanged();
    }
}

void EditingSession::releaseTree(bool keepHistory)
{
    emit treeReleased();
    m_model->setDocument(nullptr, keepHistory);
}

void EditingSession::showTree(bool keepHistory)
{
    m_pending->setFolders(findInstallFolder({}, m_services.environment),
                          isLoaded() ? userDataFolderFor(m_document.path()) : QString());
    m_model->setDocument(isLoaded() ? &m_document.file() : nullptr, keepHistory);
    m_model->setReadOnly(m_watcher->isHostRunning());
    emit treeShown();
}

bool EditingSession::open(const QString &path, QString *error)
{
    m_pending->clear();
    releaseTree(false);
    const bool ok = finishOpen(m_document.load(path, error));
    if (!ok && error && !m_hostDamageNote.isEmpty() && path == m_hostStartPath)
        *error += QStringLiteral("\n\n") + m_hostDamageNote;
    emit stateChanged();
    return ok;
}

bool EditingSession::finishOpen(bool ok)
{
    showTree(false);
    m_searchState = FileIdentity();
    m_searchInProgress = isLoaded() && ProblemSearch(m_document.path()).hasState();
    if (ok) {
        m_hostDamageNote.clear();
        m_watcher->fileReplaced();
        emit fileOpened();
    }
    return ok;
}

PendingRebase EditingSession::pendingChanges() const
{
    if (!isLoaded())
        return PendingRebase();
    PendingRebase rebase = PendingRebase::capture(m_document.file().root, m_pending->requests(), &m_schema, m_model);
    rebase.setCapturedAt(m_model->revision());
    return rebase;
}

bool EditingSession::compareWithDisk(PendingRebase &rebase, QByteArray *seen, QString *error) const
{
    XsdtFile onDisk;
    QByteArray bytes;
    if (!SettingsDocument::readSettingsFile(m_document.path(), &onDisk, error, &bytes))
        return false;
    rebase.compareWith(onDisk.root);
    *seen = SafeWrite::sha256(bytes);
    return true;
}

EditingSession::Rebased EditingSession::reloadKeepingChanges(PendingRebase &rebase, QByteArray *seen,
                                                             PendingRebase::Outcome *outcome, QString *error)
{
    if (isHostRunning()) {
        fail(error,
             tr("PixInsight is running, and it writes its settings file again when it exits. Reload once it "
                "has exited: your changes are put back then."));
        return Rebased::Failed;
    }
    // Read once, and parse apart first: a file that cannot be read or parsed costs nothing.
    const QString path = m_document.path();
    const FileIdentity before = FileIdentity::of(path);
    QByteArray bytes;
    XsdtFile onDisk;
    if (!SettingsDocument::readSettingsFile(path, &onDisk, error, &bytes))
        return Rebased::Failed;
    const FileIdentity after = FileIdentity::of(path);
    const QByteArray fingerprint = SafeWrite::sha256(bytes);
    if (fingerprint != *seen || rebase.capturedAt() != m_model->revision()) {
        // What the user settled is no longer what would be applied.
        if (rebase.capturedAt() != m_model->revision())
            rebase = pendingChanges();
        rebase.compareWith(onDisk.root);
        *seen = fingerprint;
        return Rebased::ChangedAgain;
    }
    m_pending->clear();
    releaseTree(false);
    finishOpen(m_document.adopt(path, bytes, before == after ? after : FileIdentity(), error));
    rebase.compareWith(m_document.file().root);
    *outcome = rebase.apply(m_model, m_pending);
    outcome->notApplied = rebase.droppedLines() + outcome->notApplied;
    emit stateChanged();
    return Rebased::Done;
}

bool EditingSession::saveChanges(QString *error, QString *backupPath)
{
    if (!isLoaded() || m_document.pendingChangeCount() == 0)
        return true;
    // Committing removes the deleted nodes, which views may hold; a refused save keeps the
    // tree and so its undo history.
    const bool removesNodes = !m_document.file().root.pendingDeletions().isEmpty();
    if (removesNodes)
        releaseTree(true);
    const bool saved = m_document.save(error, backupPath);
    if (removesNodes)
        showTree(true);
    if (saved)
        m_model->refreshAll();
    emit stateChanged();
    return saved;
}

void EditingSession::finishSave()
{
    m_pending->clear();
    // Saved nodes are gone or committed: no step can be undone against them any more.
    m_model->clearHistory();
    emit stateChanged();
}

bool EditingSession::restore(const QString &backupPath, QString *error)
{
    releaseTree(false);
    const bool restored = m_document.restoreBackup(backupPath, error);
    // A failed restore keeps the file as it was, and so the files queued with it.
    if (restored) {
        m_pending->clear();
        m_watcher->fileReplaced();
    }
    showTree(false);
    emit stateChanged();
    return restored;
}

int EditingSession::applyImport(const ImportPlan &plan, const QList<int> &entries, const QList<int> &removals,
                                const QString &group)
{
    if (!isLoaded() || isHostRunning() || m_model->isReadOnly())
        return 0;
    XsdtNode &root = m_document.file().root;
    ImportChanges changes;
    QList<int> additions;
    for (const int index : entries) {
        if (index < 0 || index >= plan.entries().size())
            continue;
        const ImportPlan::Entry &entry = plan.entries().at(index);
        if (entry.status == ImportPlan::Entry::Different && entry.target)
            changes.edits << std::pair{entry.target, entry.incoming};
        else if (entry.status == ImportPlan::Entry::New)
            additions << index;
    }
    for (const int index : removals) {
        if (index >= 0 && index < plan.removals().size() && plan.removals().at(index).allowed)
            changes.deletions << plan.removals().at(index).node;
    }
    if (!additions.isEmpty()) {
        // The plan makes the new entries in place; they are taken out again at once, to go in
        // through the model as one step.
        QSet<const XsdtNode *> before;
        const std::function<void(const XsdtNode &)> mark = [&](const XsdtNode &node) {
            for (const auto &child : node.children) {
                if (child->added)
                    before.insert(child.get());
                if (child->kind == XsdtNode::Item)
                    mark(*child);
            }
        };
        mark(root);
        plan.apply(root, additions, {});
        std::vector<XsdtNode *> made;
        const std::function<void(XsdtNode &)> collect = [&](XsdtNode &node) {
            for (const auto &child : node.children) {
                if (child->added && !before.contains(child.get()))
                    made.push_back(child.get());
                else if (child->kind == XsdtNode::Item)
                    collect(*child);
            }
        };
        collect(root);
        // From the last, so that the rows of the ones before still hold.
        changes.additions.resize(made.size());
        for (size_t i = made.size(); i-- > 0;) {
            XsdtNode *parent = made[i]->parent;
            const int row = made[i]->indexInParent();
            changes.additions[i] = {parent, std::move(parent->children[size_t(row)])};
            parent->children.erase(parent->children.begin() + row);
            changes.additions[i].second->parent = nullptr;
        }
    }
    const int count = m_model->applyImport(std::move(changes), group);
    emit stateChanged();
    return count;
}

void EditingSession::revertAll()
{
    const QStringList queued = m_pending->requests();
    if (unsavedCount() == 0)
        return;
    m_model->beginBatch();
    m_model->revertAll();
    if (!queued.isEmpty())
        m_model->recordExternal(SettingsModel::ExternalChange::Reverted, int(queued.size()),
                                [pending = m_pending, queued](bool redo) { pending->setQueued(queued, !redo); });
    m_model->endBatch();
    m_pending->clear();
    emit stateChanged();
}

} // namespace pfw
