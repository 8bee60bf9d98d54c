#pragma once

#include "core/fileidentity.h"
#include "core/settingsdocument.h"
#include "platform/hostservices.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"
#include "session/hostrunreport.h"
#include "session/pendingrebase.h"

#include <QObject>

#include <functional>
#include <optional>
#include <utility>

class QUndoStack;

namespace pfw {

class DiskChangeMonitor;
class ImportPlan;
class EnvironmentWatcher;
class PendingFiles;
class SettingsModel;

// One open settings file being edited, without any window: the document, its model and undo
// history, the files queued for deletion, and the one copy of whether PixInsight runs, whether
// the file changed on disk and whether a search for a problem setting is under way. Views and
// dialogs listen to it; the window only wires it to them.
class EditingSession final : public QObject
{
    Q_OBJECT

public:
    explicit EditingSession(const HostServices &services, QObject *parent = nullptr);
    ~EditingSession() override;

    // Why the built-in descriptions or deletion rules could not be read, or nothing.
    const QString &schemaError() const { return m_schemaError; }
    const QString &policyError() const { return m_policyError; }

    const HostServices &services() const { return m_services; }
    SettingsDocument &document() { return m_document; }
    const SettingsDocument &document() const { return m_document; }
    SettingsModel *model() const { return m_model; }
    QUndoStack *undoStack() const { return m_undoStack; }
    PendingFiles *pendingFiles() const { return m_pending; }
    const SettingsSchema &schema() const { return m_schema; }
    const DeletionPolicy &policy() const { return m_policy; }

    bool isLoaded() const { return m_document.isLoaded(); }
    const QString &path() const { return m_document.path(); }
    bool isHostRunning() const;
    // Why the running check could not be made at the latest poll, or nothing.
    QString runningCheckError() const;
    bool isChangedOnDisk() const;
    // The file's identity changed and it is being read to see whether its content did.
    bool isCheckingDisk() const;
    bool isSearchInProgress() const { return m_searchInProgress; }
    // Changed values and entries, and files queued for deletion.
    int unsavedCount() const;

    // The automatic reload waits while this is true: code further up still holds pointers
    // into the tree (a dialog, a menu, an in-place editor).
    void setBusyCheck(std::function<bool()> isBusy) { m_isBusy = std::move(isBusy); }
    void startWatching(int intervalMs = 3000);
    void poll();

    // Replaces the tree with the file's; the queue of files is emptied. False with the reason;
    // the session is then without a file when the file could not be read at all.
    bool open(const QString &path, QString *error);
    bool reload(QString *error) { return open(m_document.path(), error); }
    // What is pending now, to be put back on the file read again.
    PendingRebase pendingChanges() const;
    // Compares the changes with the file on disk, for the user to settle the conflicts; seen
    // receives the fingerprint of what was compared. False with the reason; nothing changes.
    bool compareWithDisk(PendingRebase &rebase, QByteArray *seen, QString *error) const;
    enum class Rebased { Done, ChangedAgain, Failed };
    // Reads the file once more and, when it is still what the user saw (seen) and nothing was
    // changed meanwhile, takes it and puts the changes back on it as one undo step. When the
    // file or the changes moved on, the rebase is compared again (seen follows) and nothing else
    // happens: ChangedAgain, to be settled again. Failed, with the reason, changes nothing:
    // also refused while PixInsight runs, as it would write the file again at its exit.
    Rebased reloadKeepingChanges(PendingRebase &rebase, QByteArray *seen, PendingRebase::Outcome *outcome,
                                 QString *error);
    // The file half of a save: the reviewed changes written through the guarded write.
    bool saveChanges(QString *error, QString *backupPath);
    // After a save and the deletion of the queued files: nothing is pending, nothing to undo.
    void finishSave();
    // Puts a backup in place of the file (the file is backed up first) and shows it.
    bool restore(const QString &backupPath, QString *error);
    // Drops every pending change and queued file, as one step that can be undone.
    void revertAll();
    // The chosen entries and removals of a plan computed on this tree, as one step that can be
    // undone; group names its deletions in the review. Returns how many changes were made.
    int applyImport(const ImportPlan &plan, const QList<int> &entries, const QList<int> &removals,
                    const QString &group);
    // What PixInsight changed in the open file while it ran, once the file it left is the one
    // shown; null otherwise, or once dismissed.
    const HostRunReport *hostRunReport() const;
    void dismissHostRunReport() { m_hostReport.reset(); }
    // Said when PixInsight left the open file damaged: where the file it started with is kept.
    // Empty otherwise, and once a file has been read again.
    const QString &hostDamageNote() const { return m_hostDamageNote; }

signals:
    // The tree is about to go: whoever holds its nodes lets go of them.
    void treeReleased();
    // A tree is shown: after an open, a reload, a restore or a save that removed entries.
    void treeShown();
    // Another file, or the same one read again.
    void fileOpened();
    // Running, changed on disk, search or the unsaved count may be different.
    void stateChanged();
    // A poll has finished, whether or not anything changed.
    void polled();
    // The automatic reload of a file PixInsight rewrote did not work.
    void reloadFailed(const QString &error);

private:
    // open()'s second half, after the tree was let go of and the file read (or not).
    bool finishOpen(bool ok);
    void releaseTree(bool keepHistory);
    void showTree(bool keepHistory);
    void onPolled();
    // PixInsight started or exited: the file as it found it is kept, then compared.
    void noteHostTransition(bool running);

    HostServices m_services;
    SettingsSchema m_schema;
    DeletionPolicy m_policy;
    QString m_schemaError;
    QString m_policyError;
    SettingsDocument m_document;
    SettingsModel *m_model;
    QUndoStack *m_undoStack;
    PendingFiles *m_pending;
    DiskChangeMonitor *m_diskMonitor;
    EnvironmentWatcher *m_watcher;
    std::function<bool()> m_isBusy;
    bool m_searchInProgress = false;
    bool m_hostWasRunning = false;
    // The open file's bytes when PixInsight started (in memory only), and whose they are.
    QByteArray m_hostStartBytes;
    QString m_hostStartPath;
    std::optional<HostRunReport> m_hostReport;
    QString m_hostDamageNote;
    FileIdentity m_searchState;
    mutable qsizetype m_pendingCount = 0;
    mutable std::pair<quint64, quint64> m_countedAt{~quint64(0), ~quint64(0)};
};

} // namespace pfw
