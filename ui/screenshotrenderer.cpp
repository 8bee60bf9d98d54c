#include "ui/screenshotrenderer.h"

#include "core/atomicfile.h"
#include "core/settingsdocument.h"
#include "model/settingsmodel.h"
#include "session/editingsession.h"
#include "session/pendingrebase.h"
#include "modules/instancecopy.h"
#include "modules/settingsexport.h"
#include "ui/dialogs/importdialog.h"
#include "ui/dialogs/instancecopydialog.h"
#include "modules/moduleregistry.h"
#include "ui/dialogs/aboutdialog.h"
#include "ui/views/allsettingspage.h"
#include "ui/dialogs/backupsdialog.h"
#include "ui/dialogs/problemsearchdialog.h"
#include "ui/views/cleanupview.h"
#include "ui/views/compareview.h"
#include "ui/views/healthview.h"
#include "ui/dialogs/installedupdatesdialog.h"
#include "ui/mainwindow.h"
#include "ui/views/preferencesview.h"
#include "ui/dialogs/rebasedialog.h"
#include "ui/dialogs/reviewdialog.h"
#include "ui/dialogs/settinghistorydialog.h"
#include "ui/views/searchview.h"
#include "ui/views/unusedmodulesview.h"

#include <QBuffer>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>

#include <cerrno>
#include <limits>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

namespace pfw {

ScreenshotRenderer::ScreenshotRenderer(MainWindow &window)
    : m_window(window)
{
}

namespace {

// Empty when the picture was written, otherwise why not.
QString grabInto(QWidget *widget, const QString &path)
{
    // Layouts settle over a few rounds: a scroll area re-measures its content only after the
    // content itself has been laid out.
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !widget->grab().save(&buffer, "PNG"))
        return ScreenshotRenderer::tr("The picture could not be made.");
    // Whole or not at all: a full disk must not leave a cut picture behind.
    return AtomicFile::write(path, png).reason;
}

} // namespace

void ScreenshotRenderer::shoot(QWidget *widget, const QString &path)
{
    if (m_inspector)
        m_inspector(widget, QFileInfo(path).fileName());
    const QString reason = grabInto(widget, path);
    if (reason.isEmpty())
        return;
    if (m_failed.isEmpty())
        m_reason = reason;
    m_failed << QFileInfo(path).fileName();
}

QString ScreenshotRenderer::render(const QString &folder, const QString &searchText)
{
    m_failed.clear();
    m_reason.clear();
    errno = 0;
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        const QString reason = QFileInfo(folder).exists() && !QFileInfo(folder).isDir()
            ? tr("it is a file, not a folder")
            : qt_error_string(errno);
        return tr("The folder %1 for the pictures cannot be made (%2).").arg(QDir::toNativeSeparators(folder), reason);
    }
    renderPages(folder, searchText);
    if (m_failed.isEmpty())
        return QString();
    return tr("%n pictures could not be written to %1 (%2): %3.", nullptr, int(m_failed.size()))
        .arg(QDir::toNativeSeparators(folder), m_reason, m_failed.join(QLatin1String(", ")));
}

void ScreenshotRenderer::renderPages(const QString &folder, const QString &searchText)
{
    PreferencesView *preferences = m_window.tabs()->preferences();
    QTabWidget *tabs = m_window.tabs();
    SearchView *search = m_window.tabs()->search();
    SettingsDocument &document = m_window.document();
    UnusedModulesView *unused = m_window.tabs()->unused();
    CleanupView *cleanup = m_window.tabs()->cleanup();
    SettingsModel *model = m_window.model();
    CompareView *compare = m_window.tabs()->compare();
    HealthView *health = m_window.tabs()->health();
    AllSettingsPage *allSettings = m_window.tabs()->allSettings();
    const auto picture = [&folder](const char *name) { return folder + u'/' + QLatin1String(name); };
    m_window.resize(1200, 820);
    m_window.show();
    QCoreApplication::processEvents();

    if (!searchText.isEmpty())
        preferences->filterEdit()->setText(searchText);
    tabs->setCurrentWidget(preferences);
    const int pages = int(std::min<size_t>(preferences->pages().size(), 12));
    for (int i = 0; i < pages; ++i) {
        const QListWidgetItem *item = preferences->pageList()->item(i);
        if (!item || item->isHidden())
            continue;
        preferences->showPage(i);
        shoot(&m_window, folder + QStringLiteral("/prefs-%1.png").arg(i, 2, 10, QLatin1Char('0')));
    }
    preferences->filterEdit()->clear();

    tabs->setCurrentWidget(search);
    search->setQuery(QStringLiteral("thread"));
    shoot(&m_window, picture("search.png"));
    search->setQuery(QStringLiteral("font"));
    shoot(&m_window, picture("search-font.png"));
    search->setQuery(QString());

    if (document.isLoaded()) {
        bool exact = false;
        QList<XsdtNode *> nodes;
        for (const ModuleInfo &info : findModules(document.file(), QStringLiteral("Mirelux"), &exact))
            nodes += moduleValueNodes(info);
        search->showNodes(
            nodes,
            tr("Module search for \"%1\" (%n values)", nullptr, int(nodes.size())).arg(QStringLiteral("Mirelux")));
        shoot(&m_window, picture("module-search.png"));
        search->clearRestriction();
    }

    unused->refresh();
    tabs->setCurrentWidget(unused);
    if (!unused->cards().empty())
        unused->expandModule(unused->cards().front()->info.name);
    shoot(&m_window, picture("unused-modules.png"));

    tabs->setCurrentWidget(cleanup);
    cleanup->tickAll(false);
    shoot(&m_window, picture("cleanup.png"));
    cleanup->setConfirmWarn(false);
    cleanup->tickAll(true);
    cleanup->queueTicked();
    shoot(&m_window, picture("cleanup-queued.png"));
    if (!model->isReadOnly()) {
        // What Cleanup queued, listed in the review as the groups the user ticked.
        ReviewDialog review(model, &document.file().root, &m_window);
        review.show();
        shoot(&review, picture("review-grouped.png"));
    }
    model->revertAll();

    QString other;
    for (const QString &path : m_window.foundFiles()) {
        if (QFileInfo(path).canonicalFilePath() != QFileInfo(document.path()).canonicalFilePath())
            other = path;
    }
    QString error;
    if (!other.isEmpty() && compare->loadOther(other, &error)) {
        tabs->setCurrentWidget(compare);
        shoot(&m_window, picture("compare.png"));
        for (QCheckBox *box : {compare->differentBox(), compare->onlyHereBox(), compare->onlyThereBox()})
            box->setChecked(true);
        shoot(&m_window, picture("compare-all.png"));
    }

    tabs->setCurrentWidget(health);
    health->run();
    shoot(&m_window, picture("health.png"));

    const bool wasReadOnly = model->isReadOnly();
    model->setReadOnly(false);
    XsdtNode &root = document.file().root;
    if (XsdtNode *animate = root.findPath(u"Global/Preferences/MainWindow/AnimateCombo"))
        model->setData(model->indexFor(animate, SettingsModel::ValueColumn),
                       animate->value == u"true" ? QStringLiteral("false") : QStringLiteral("true"));
    if (XsdtNode *statistics = root.findPath(u"Global/Statistics"))
        model->requestDeletion(statistics);
    {
        ReviewDialog review(model, &root, &m_window);
        review.show();
        if (QTreeWidgetItem *first = review.changeTree()->topLevelItem(0))
            first->setExpanded(true);
        shoot(&review, picture("review.png"));
    }
    {
        // The re-apply after PixInsight rewrote the file, with one value it changed too.
        if (XsdtNode *processors = root.findPath(u"Global/Preferences/Process/MaxProcessors"))
            model->setData(model->indexFor(processors, SettingsModel::ValueColumn), QStringLiteral("8"));
        PendingRebase rebase = PendingRebase::capture(root, {}, &m_window.session()->schema(), model);
        XsdtFile theirs;
        if (theirs.parse(document.file().serialize())) {
            for (const PendingRebase::Edit &edit : rebase.edits()) {
                if (XsdtNode *changed = theirs.root.findPath(edit.path)) {
                    const bool alsoPixInsight = edit.path.endsWith(QLatin1String("/MaxProcessors"));
                    changed->value = changed->savedValue = alsoPixInsight ? QStringLiteral("12") : edit.before;
                }
            }
            rebase.compareWith(theirs.root);
            RebaseDialog reapply(rebase, &m_window);
            reapply.show();
            shoot(&reapply, picture("reapply.png"));
        }
        model->revertAll();
    }
    if (XsdtNode *process = root.findPath(u"Global/Preferences/Process")) {
        // The preview of a snippet exported from this page, as another computer would have it.
        SettingsExport::Result exported;
        XsdtFile snippet;
        QString exportError;
        XsdtNode *copied = nullptr;
        if (SettingsExport::build(document.file(), {process}, nullptr, &exported, &exportError)
            && snippet.parse(exported.bytes) && (copied = snippet.root.findPath(u"Global/Preferences/Process"))) {
            int changed = 0;
            for (const auto &child : copied->children) {
                if (child->kind == XsdtNode::Value && child->type == u'i' && changed < 2) {
                    const qlonglong value = child->value.toLongLong();
                    child->value
                        = QString::number(value < std::numeric_limits<qlonglong>::max() ? value + 1 : value - 1);
                    ++changed;
                }
            }
            ImportDialog preview(*m_window.session(), snippet.root, QStringLiteral("preferences-processes.xsdt"),
                                 &m_window);
            preview.show();
            shoot(&preview, picture("import.png"));
        }
        if (!other.isEmpty()) {
            InstanceCopy copy(&m_window.session()->schema(), &m_window.session()->policy());
            if (copy.setSource(document.file(), {process}, &exportError)) {
                copy.prepare(m_window.foundFiles(), document.path());
                InstanceCopyDialog copyReview(*m_window.session(), copy, &m_window);
                copyReview.show();
                shoot(&copyReview, picture("copy-to-instances.png"));
            }
        }
    }
    if (document.isLoaded()) {
        BackupsDialog backups(document.path(), &m_window);
        backups.show();
        shoot(&backups, picture("backups.png"));
    }
    // An unfinished search would go on writing while its dialog is shown: left alone.
    if (document.isLoaded() && !ProblemSearch(document.path()).hasState()) {
        ProblemSearchDialog search(m_window.problemSearchContext(), &m_window);
        search.show();
        shoot(&search, picture("problem-search.png"));
    }
    if (XsdtNode *processors = root.findPath(u"Global/Preferences/Process/MaxProcessors")) {
        if (QPointer<SettingHistoryDialog> history = m_window.showHistory(processors)) {
            QEventLoop wait;
            QObject::connect(history, &SettingHistoryDialog::readingFinished, &wait, &QEventLoop::quit);
            QTimer::singleShot(20000, &wait, &QEventLoop::quit);
            if (history->isReading())
                wait.exec();
            if (history) {
                history->tree()->setCurrentItem(history->tree()->topLevelItem(0));
                shoot(history, picture("history.png"));
                history->close();
            }
        }
    }
    {
        AboutDialog about(document.path(), tr("PixInsight Core (recorded in the open file)"),
                          m_window.services().environment, &m_window);
        about.show();
        shoot(&about, picture("about.png"));
    }
    if (const QString records = m_window.installedRecordPath(); !records.isEmpty()) {
        InstalledUpdatesDialog updates(records, m_window.services(), &m_window);
        updates.setFilterText(QStringLiteral("Orbitdeck"));
        updates.tickAllShown();
        updates.show();
        shoot(&updates, picture("installed-updates.png"));
    }

    tabs->setCurrentWidget(allSettings);
    allSettings->changedOnlyBox()->setChecked(true);
    QCoreApplication::processEvents();
    shoot(&m_window, picture("advanced-changed.png"));
    allSettings->changedOnlyBox()->setChecked(false);
    model->revertAll();
    allSettings->collapseToPreferences();
    shoot(&m_window, picture("advanced.png"));
    model->setReadOnly(wasReadOnly);
}

} // namespace pfw
