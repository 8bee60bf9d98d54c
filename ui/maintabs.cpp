#include "ui/maintabs.h"

#include "model/settingsmodel.h"
#include "session/editingsession.h"
#include "ui/views/allsettingspage.h"
#include "ui/views/cleanupview.h"
#include "ui/views/compareview.h"
#include "ui/deletionflow.h"
#include "ui/views/healthview.h"
#include "ui/views/preferencesview.h"
#include "ui/views/searchview.h"
#include "ui/views/unusedmodulesview.h"

#include <QLineEdit>
#include <QShortcut>

namespace pfw {

MainTabs::MainTabs(EditingSession *session, SettingsFilterProxy *proxy, DeletionFlow *deletion, QWidget *parent)
    : QTabWidget(parent)
    , m_session(session)
    , m_model(session->model())
    , m_deletion(deletion)
    , m_preferences(new PreferencesView(m_model, &session->schema(), this))
    , m_search(new SearchView(m_model, &session->schema(), this))
    , m_cleanup(new CleanupView(m_model, this))
    , m_unused(new UnusedModulesView(m_model, session->pendingFiles(), &session->schema(), this))
    , m_health(new HealthView(m_model, &session->schema(), this))
    , m_compare(new CompareView(m_model, this))
    , m_allSettings(new AllSettingsPage(m_model, proxy, deletion, this))
{
    setAccessibleName(tr("Views of the settings file"));
    m_compare->setEnvironment(session->services().environment);
    connect(session, &EditingSession::treeReleased, this, &MainTabs::detach);
    connect(session, &EditingSession::treeShown, this, &MainTabs::attach);
    addTab(m_preferences, tr("Preferences"));
    addTab(m_search, tr("Search"));
    addTab(m_cleanup, tr("Cleanup"));
    addTab(m_unused, tr("Unused modules"));
    addTab(m_health, tr("Health check"));
    addTab(m_compare, tr("Compare"));
    addTab(m_allSettings, tr("All settings (advanced)"));

    const auto rejected = [this](const QString &reason) { emit message(tr("Not accepted - %1").arg(reason), 8000); };
    const auto shown
        = [this](int timeoutMs) { return [this, timeoutMs](const QString &text) { emit message(text, timeoutMs); }; };
    const auto remove = [this](XsdtNode *node) { m_deletion->confirmAndQueueDeletion(node); };
    const auto restore = [this](XsdtNode *node) { m_model->undoDeletion(node); };
    connect(m_preferences, &PreferencesView::message, this, rejected);
    connect(m_preferences, &PreferencesView::deleteRequested, this, remove);
    connect(m_preferences, &PreferencesView::restoreRequested, this, restore);
    connect(m_search, &SearchView::message, this, rejected);
    connect(m_search, &SearchView::deleteRequested, this, remove);
    connect(m_search, &SearchView::restoreRequested, this, restore);
    connect(m_search, &SearchView::revealRequested, this, &MainTabs::reveal);
    connect(m_compare, &CompareView::message, this, shown(8000));
    connect(m_compare, &CompareView::revealRequested, this, &MainTabs::reveal);
    connect(m_cleanup, &CleanupView::message, this, shown(8000));
    connect(m_unused, &UnusedModulesView::message, this, shown(10000));
    connect(m_unused, &UnusedModulesView::deleteRequested, this, remove);
    connect(m_unused, &UnusedModulesView::restoreRequested, this, restore);
    connect(m_unused, &UnusedModulesView::revealRequested, this, &MainTabs::reveal);
    connect(m_health, &HealthView::message, this, rejected);
    connect(m_health, &HealthView::deleteRequested, this, remove);
    connect(m_health, &HealthView::restoreRequested, this, restore);
    connect(m_health, &HealthView::revealRequested, this, &MainTabs::reveal);
    connect(m_preferences, &PreferencesView::historyRequested, this, &MainTabs::historyRequested);
    connect(m_search, &SearchView::historyRequested, this, &MainTabs::historyRequested);
    connect(m_allSettings, &AllSettingsPage::historyRequested, this, &MainTabs::historyRequested);
    connect(m_preferences, &PreferencesView::exportRequested, this, &MainTabs::exportRequested);
    connect(m_search, &SearchView::exportRequested, this, &MainTabs::exportRequested);
    connect(m_unused, &UnusedModulesView::exportRequested, this, &MainTabs::exportRequested);
    connect(m_health, &HealthView::exportRequested, this, &MainTabs::exportRequested);
    connect(m_allSettings, &AllSettingsPage::exportRequested, this, &MainTabs::exportRequested);
    connect(m_compare, &CompareView::exportRequested, this, &MainTabs::exportRequested);
    connect(m_preferences, &PreferencesView::copyRequested, this, &MainTabs::copyRequested);
    connect(m_search, &SearchView::copyRequested, this, &MainTabs::copyRequested);
    connect(m_unused, &UnusedModulesView::copyRequested, this, &MainTabs::copyRequested);
    connect(m_health, &HealthView::copyRequested, this, &MainTabs::copyRequested);
    connect(m_allSettings, &AllSettingsPage::copyRequested, this, &MainTabs::copyRequested);
    connect(m_compare, &CompareView::copyRequested, this, &MainTabs::copyRequested);
    connect(m_health, &HealthView::openUnusedModules, this, &MainTabs::unusedModulesRequested);
    connect(m_health, &HealthView::summaryChanged, this, [this](int problems, int warnings) {
        const int count = problems + warnings;
        setTabText(indexOf(m_health), count < 1 ? tr("Health check") : tr("Health check (%1)").arg(count));
    });
    // Ctrl+Tab switches tabs wherever the focus is, the File box and the toolbar included.
    const auto step = [this](int by) {
        for (int i = 1; i < count(); ++i) {
            const int next = (currentIndex() + by * i + count()) % count();
            if (isTabEnabled(next)) {
                setCurrentIndex(next);
                return;
            }
        }
    };
    auto *nextTab = new QShortcut(QKeySequence::NextChild, this);
    nextTab->setContext(Qt::WindowShortcut);
    connect(nextTab, &QShortcut::activated, this, [step] { step(+1); });
    auto *previousTab = new QShortcut(QKeySequence::PreviousChild, this);
    previousTab->setContext(Qt::WindowShortcut);
    connect(previousTab, &QShortcut::activated, this, [step] { step(-1); });
    // On the Search tab the next key typed is a search.
    connect(this, &QTabWidget::currentChanged, this, [this] {
        if (currentWidget() == m_search)
            m_search->queryEdit()->setFocus(Qt::OtherFocusReason);
    });
    // The standard Find key, anywhere in the window, goes to the Search tab's query.
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        setCurrentWidget(m_search);
        m_search->queryEdit()->setFocus();
        m_search->queryEdit()->selectAll();
    });
}

void MainTabs::detach()
{
    // The card views follow the model by themselves; Compare also needs the file's name.
    m_compare->setDocument(nullptr, QString());
}

void MainTabs::attach()
{
    const bool loaded = m_session->isLoaded();
    m_compare->setDocument(loaded ? &m_session->document().file() : nullptr, loaded ? m_session->path() : QString());
    setViewOnly(m_session->isHostRunning());
}

void MainTabs::setViewOnly(bool on)
{
    m_preferences->setViewOnly(on);
    m_search->setViewOnly(on);
    m_unused->setViewOnly(on);
    m_health->setViewOnly(on);
    m_cleanup->setViewOnly(on);
    m_compare->setViewOnly(on);
}

void MainTabs::reveal(XsdtNode *node)
{
    if (!node)
        return;
    setCurrentWidget(m_allSettings);
    m_allSettings->revealNode(node);
}

void MainTabs::searchFor(const QString &text)
{
    setCurrentWidget(m_search);
    m_search->clearRestriction();
    m_search->setQuery(text);
    m_search->queryEdit()->setFocus();
    m_search->queryEdit()->selectAll();
}

void MainTabs::showInSearch(const QList<XsdtNode *> &nodes, const QString &heading)
{
    setCurrentWidget(m_search);
    m_search->showNodes(nodes, heading);
    m_search->queryEdit()->setFocus();
}

bool MainTabs::showHostChanges(const QByteArray &before)
{
    QString error;
    if (!m_compare->showBytes(before, tr("The file before PixInsight ran"), &error)) {
        emit message(error, 8000);
        return false;
    }
    setCurrentWidget(m_compare);
    return true;
}

void MainTabs::showUnused()
{
    m_unused->refresh();
    setCurrentWidget(m_unused);
}

void MainTabs::runHealthCheck()
{
    setCurrentWidget(m_health);
    m_health->run();
}

} // namespace pfw
