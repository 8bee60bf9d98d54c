#pragma once

#include <QList>
#include <QTabWidget>

namespace pfw {

class AllSettingsPage;
class CleanupView;
class CompareView;
class DeletionFlow;
class EditingSession;
class HealthView;
class PreferencesView;
class SearchView;
class SettingsFilterProxy;
class SettingsModel;
class UnusedModulesView;
class XsdtFile;
struct XsdtNode;

// The seven tabs of the main window. They show the session's tree: when the session lets go
// of it every view does, and each shows the next one. Their requests (delete, restore, reveal)
// are served here; what the window shows comes out as signals.
class MainTabs final : public QTabWidget
{
    Q_OBJECT

public:
    MainTabs(EditingSession *session, SettingsFilterProxy *proxy, DeletionFlow *deletion, QWidget *parent = nullptr);

    void setViewOnly(bool on);
    void reveal(XsdtNode *node);
    // The Search tab with the text as its query, ready for more typing.
    void searchFor(const QString &text);
    void showInSearch(const QList<XsdtNode *> &nodes, const QString &heading);

    PreferencesView *preferences() const { return m_preferences; }
    SearchView *search() const { return m_search; }
    CleanupView *cleanup() const { return m_cleanup; }
    UnusedModulesView *unused() const { return m_unused; }
    HealthView *health() const { return m_health; }
    CompareView *compare() const { return m_compare; }
    AllSettingsPage *allSettings() const { return m_allSettings; }
    // Unused modules, looked at afresh.
    void showUnused();
    // Compare against the file as PixInsight found it when it started.
    bool showHostChanges(const QByteArray &before);
    void runHealthCheck();

signals:
    void message(const QString &text, int timeoutMs);
    void unusedModulesRequested();
    void historyRequested(pfw::XsdtNode *node);
    void exportRequested(const QList<pfw::XsdtNode *> &nodes, const QString &title);
    // Copy of entries into the other instances' files.
    void copyRequested(const QList<pfw::XsdtNode *> &nodes);

private:
    void detach();
    void attach();

    EditingSession *m_session;
    SettingsModel *m_model;
    DeletionFlow *m_deletion;
    PreferencesView *m_preferences;
    SearchView *m_search;
    CleanupView *m_cleanup;
    UnusedModulesView *m_unused;
    HealthView *m_health;
    CompareView *m_compare;
    AllSettingsPage *m_allSettings;
};

} // namespace pfw
