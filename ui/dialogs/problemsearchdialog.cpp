#include "ui/dialogs/problemsearchdialog.h"
#include "ui/screenplacement.h"

#include "core/backups.h"
#include "core/displaytext.h"
#include "core/settingsdocument.h"
#include "platform/hostprocesses.h"
#include "schema/readablevalue.h"
#include "schema/settinglabel.h"
#include "schema/settingsschema.h"
#include "ui/widgets/colorbutton.h"
#include "session/editingsession.h"
#include "ui/accesskeys.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pfw {

namespace {

QLabel *wrappingLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QTreeWidget *valueTree(const QStringList &headers, const QString &name, QWidget *parent)
{
    auto *tree = new QTreeWidget(parent);
    tree->setAccessibleName(name);
    tree->setHeaderLabels(headers);
    tree->setAlternatingRowColors(true);
    tree->setUniformRowHeights(true);
    tree->setRootIsDecorated(true);
    tree->header()->setStretchLastSection(true);
    tree->header()->resizeSection(0, 320);
    tree->header()->resizeSection(1, 200);
    return tree;
}

} // namespace

ProblemSearchDialog::ProblemSearchDialog(const Context &context, QWidget *parent)
    : QDialog(parent)
    , m_context(context)
    , m_search(context.settingsPath)
{
    setWindowTitle(tr("Find a problem setting"));
    resizeForText(this, QSize(780, 580));
    if (!m_context.isHostRunning)
        m_context.isHostRunning = [] { return isHostRunning(); };
    m_search.setRunningCheck(m_context.isHostRunning);
    m_search.setPolicy(m_context.policy);
    auto *layout = new QVBoxLayout(this);
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(buildChoosePage());
    m_pages->addWidget(buildRoundPage());
    m_pages->addWidget(buildFoundPage());
    layout->addWidget(m_pages, 1);
    m_error = wrappingLabel(QString(), this);
    m_error->setStyleSheet(QStringLiteral("color: rgb(230,60,60);"));
    m_error->hide();
    layout->addWidget(m_error);
    m_notice = wrappingLabel(QString(), this);
    m_notice->setAccessibleName(tr("What the search kept"));
    m_notice->hide();
    layout->addWidget(m_notice);

    m_running = m_context.isHostRunning();
    m_sawRunning = m_running;
    if (m_context.session)
        connect(m_context.session, &EditingSession::polled, this, &ProblemSearchDialog::poll);
    showSearch();
}

QWidget *ProblemSearchDialog::buildChoosePage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(wrappingLabel(
        tr("Pick the last state in which PixInsight worked. Prefwright backs up the file as it is, then each round "
           "puts half of the remaining differences back to that state: you start PixInsight on the round's file and "
           "say whether the problem occurred, until one setting is left."),
        page));
    auto *row = new QHBoxLayout;
    auto *label = new QLabel(tr("Last good state:"), page);
    m_stateBox = new QComboBox(page);
    m_stateBox->setAccessibleName(tr("Last good state"));
    // A backup is named by its whole label: the tag and the time at its end tell them apart.
    m_stateBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    label->setBuddy(m_stateBox);
    setAccessKey(m_stateBox, u'l');
    row->addWidget(label);
    row->addWidget(m_stateBox, 1);
    layout->addLayout(row);
    m_summary = wrappingLabel(QString(), page);
    layout->addWidget(m_summary);
    m_differences = valueTree({tr("Setting"), tr("This file"), tr("Good state")}, tr("Differences"), page);
    layout->addWidget(m_differences, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    m_start = new QPushButton(tr("Start"), page);
    m_start->setDefault(true);
    auto *close = new QPushButton(tr("Close"), page);
    setAccessKey(m_start, u's');
    setAccessKey(close, u'c');
    buttons->addWidget(m_start);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(m_stateBox, &QComboBox::activated, this, &ProblemSearchDialog::stateChosen);
    connect(m_start, &QPushButton::clicked, this, &ProblemSearchDialog::start);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    return page;
}

QWidget *ProblemSearchDialog::buildRoundPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_round = wrappingLabel(QString(), page);
    QFont bold = m_round->font();
    bold.setBold(true);
    m_round->setFont(bold);
    layout->addWidget(m_round);
    layout->addWidget(new QLabel(tr("This round's file has the good value of:"), page));
    m_roundList = new QListWidget(page);
    m_roundList->setAccessibleName(tr("Settings put back in this round"));
    m_roundList->setAlternatingRowColors(true);
    layout->addWidget(m_roundList, 1);
    layout->addWidget(
        wrappingLabel(tr("Start PixInsight now and check whether the problem occurs; close it, then answer."), page));
    m_status = wrappingLabel(QString(), page);
    layout->addWidget(m_status);
    auto *answers = new QHBoxLayout;
    m_question = new QLabel(tr("Did the problem occur?"), page);
    m_question->setFont(bold);
    m_yes = new QPushButton(tr("Yes"), page);
    m_no = new QPushButton(tr("No"), page);
    m_cantTell = new QPushButton(tr("Can't tell"), page);
    setAccessKey(m_yes, u'y');
    setAccessKey(m_no, u'n');
    setAccessKey(m_cantTell, u't');
    answers->addWidget(m_question);
    answers->addWidget(m_yes);
    answers->addWidget(m_no);
    answers->addWidget(m_cantTell);
    answers->addStretch();
    layout->addLayout(answers);
    auto *buttons = new QHBoxLayout;
    m_cancelSearch = new QPushButton(tr("Cancel the search"), page);
    m_cancelSearch->setToolTip(tr("Put the file back as it was before the search, and end it"));
    auto *later = new QPushButton(tr("Continue later"), page);
    later->setToolTip(tr("Close this window; the search goes on when you open it again"));
    setAccessKey(m_cancelSearch, u'a');
    setAccessKey(later, u'l');
    buttons->addWidget(m_cancelSearch);
    buttons->addStretch();
    buttons->addWidget(later);
    layout->addLayout(buttons);
    connect(m_yes, &QPushButton::clicked, this, [this] { answer(ProblemSearchRounds::Answer::Bad); });
    connect(m_no, &QPushButton::clicked, this, [this] { answer(ProblemSearchRounds::Answer::Good); });
    connect(m_cantTell, &QPushButton::clicked, this, [this] { answer(ProblemSearchRounds::Answer::Skip); });
    connect(m_cancelSearch, &QPushButton::clicked, this, &ProblemSearchDialog::cancelSearch);
    connect(later, &QPushButton::clicked, this, &QDialog::reject);
    return page;
}

QWidget *ProblemSearchDialog::buildFoundPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_found = wrappingLabel(QString(), page);
    layout->addWidget(m_found);
    m_foundTree = valueTree({tr("Setting"), tr("Path"), tr("Bad value"), tr("Good value")}, tr("Found"), page);
    m_foundTree->setRootIsDecorated(false);
    m_foundTree->header()->resizeSection(0, 200);
    m_foundTree->header()->resizeSection(1, 260);
    layout->addWidget(m_foundTree, 1);
    m_useGood = new QPushButton(page);
    m_putBack = new QPushButton(tr("Put the file back as it was"), page);
    m_keep = new QPushButton(tr("Keep the file as it is now"), page);
    setAccessKey(m_useGood, u'k');
    setAccessKey(m_putBack, u'p');
    setAccessKey(m_keep, u'f');
    for (QPushButton *button : {m_useGood, m_putBack, m_keep})
        layout->addWidget(button);
    connect(m_useGood, &QPushButton::clicked, this, [this] { end(ProblemSearch::End::UseGoodValue); });
    // A state that cannot be read still leaves the backup made when the search started.
    connect(m_putBack, &QPushButton::clicked, this,
            [this] { end(m_damaged ? ProblemSearch::End::FromBackup : ProblemSearch::End::PutBack); });
    connect(m_keep, &QPushButton::clicked, this, [this] { end(ProblemSearch::End::KeepCurrent); });
    return page;
}

ProblemSearchDialog::Page ProblemSearchDialog::page() const
{
    return Page(m_pages->currentIndex());
}

QString ProblemSearchDialog::labelOf(const SearchSuspect &suspect) const
{
    return suspect.label(m_context.schema, m_bad.root.children.empty() ? nullptr : &m_bad.root);
}

void ProblemSearchDialog::showError(const QString &text)
{
    m_error->setText(text);
    m_error->setVisible(!text.isEmpty());
}

void ProblemSearchDialog::showNotice(const QString &text)
{
    // Stays until the next one: the user may look away while PixInsight runs.
    if (text.isEmpty())
        return;
    m_notice->setText(text);
    m_notice->show();
}

void ProblemSearchDialog::fillStateBox()
{
    m_stateBox->clear();
    // Newest first, as the restore chooser lists them.
    for (const QString &path : listBackups(m_context.settingsPath)) {
        const QFileInfo info(path);
        m_stateBox->addItem(DisplayText::backup(path), path);
    }
    if (!m_goodPath.isEmpty() && m_stateBox->findData(m_goodPath) < 0)
        m_stateBox->addItem(QDir::toNativeSeparators(m_goodPath), m_goodPath);
    m_stateBox->addItem(tr("Other settings file..."), QStringLiteral("?"));
    const int current = m_stateBox->findData(m_goodPath);
    m_stateBox->setCurrentIndex(qMax(0, current));
}

void ProblemSearchDialog::stateChosen(int index)
{
    QString path = m_stateBox->itemData(index).toString();
    if (path == u"?") {
        path = QFileDialog::getOpenFileName(this, tr("Last good state"),
                                            QFileInfo(m_context.settingsPath).absolutePath(),
                                            tr("PixInsight settings (*.settings *.bak-*);;All files (*)"));
        if (path.isEmpty()) {
            fillStateBox();
            return;
        }
    }
    chooseGoodState(path);
}

void ProblemSearchDialog::chooseGoodState(const QString &path)
{
    showError(QString());
    m_goodPath = path;
    m_plan = SearchPlan();
    m_good.clear();
    m_differences->clear();
    QString error;
    if (path.isEmpty()) {
        // Nothing chosen yet.
    } else if (!SettingsDocument::readSettingsFile(path, &m_good, &error)) {
        showError(error);
    } else if (m_context.openTree) {
        m_plan = SearchPlan::make(*m_context.openTree, m_good.root, m_context.policy);
    }
    fillStateBox();

    const SettingsSchema *schema = m_context.schema;
    // A row by the setting's label and group, its path behind it, values as the editors show them.
    const auto row = [schema](QTreeWidgetItem *parent, const QString &settingPath, const XsdtNode *named,
                              const XsdtNode *first, const QString &firstValue, const XsdtNode *second,
                              const QString &secondValue) {
        const auto shown = [schema](const XsdtNode *node, const QString &value) {
            return node ? ReadableValue::text(schema, *node, value) : tr("(absent)");
        };
        auto *item = new QTreeWidgetItem(parent,
                                         {named ? SettingLabel::text(schema, *named) : settingPath,
                                          shown(first, firstValue), shown(second, secondValue)});
        item->setToolTip(0, settingPath);
        for (const auto &[column, node, value] :
             {std::tuple{1, first, firstValue}, std::tuple{2, second, secondValue}}) {
            if (const std::optional<quint32> argb = node ? ReadableValue::colour(schema, *node, value) : std::nullopt)
                item->setIcon(column, QIcon(ColorButton::swatch(*argb)));
            if (node)
                item->setToolTip(column, value.left(DisplayText::kTipLength));
        }
        return item;
    };
    const auto group = [this](const QString &title, int count) {
        auto *item = new QTreeWidgetItem(m_differences, {title.arg(count)});
        QFont bold = item->font(0);
        bold.setBold(true);
        item->setFont(0, bold);
        item->setFirstColumnSpanned(true);
        return item;
    };
    if (!m_plan.suspects.isEmpty()) {
        QTreeWidgetItem *tested = group(tr("Tested (%1)"), int(m_plan.suspects.size()));
        for (const SearchSuspect &suspect : std::as_const(m_plan.suspects)) {
            const XsdtNode *bad = m_bad.root.findPath(suspect.path);
            const XsdtNode *good = suspect.kind == SearchSuspect::Remove ? nullptr : m_good.root.findPath(suspect.path);
            row(tested, suspect.path, bad ? bad : good, bad, suspect.badValue, good, suspect.goodValue);
        }
        tested->setExpanded(true);
    }
    if (!m_plan.onlyInGood.isEmpty()) {
        QTreeWidgetItem *only = group(tr("Only in the good state, not tested (%1)"), int(m_plan.onlyInGood.size()));
        for (const QString &settingPath : std::as_const(m_plan.onlyInGood)) {
            const XsdtNode *good = m_good.root.findPath(settingPath);
            row(only, settingPath, good, nullptr, QString(), good, good ? good->value : QString());
        }
    }
    if (!m_plan.leftOut.isEmpty() && m_context.openTree) {
        QTreeWidgetItem *left = group(tr("Protected or locked, not tested (%1)"), int(m_plan.leftOut.size()));
        for (const QString &settingPath : std::as_const(m_plan.leftOut)) {
            const XsdtNode *open = m_context.openTree->findPath(settingPath);
            const XsdtNode *good = m_good.root.findPath(settingPath);
            row(left, settingPath, open ? open : good, open, open ? open->value : QString(), good,
                good ? good->value : QString());
        }
    }

    QStringList lines;
    const int tested = int(m_plan.suspects.size());
    if (m_good.root.children.empty())
        lines << tr("Pick the last good state: a backup, or another settings file.");
    else if (tested == 0)
        lines << tr("Nothing can be tested: the file and that state differ only in what a search leaves alone.");
    else
        lines << tr("%n differences can be tested, in %1.", nullptr, tested)
                     .arg(ProblemSearchRounds::aboutLaunches(tested));
    if (!m_plan.onlyInGood.isEmpty())
        lines << tr("%n entries exist only in the good state and are not tested", nullptr,
                    int(m_plan.onlyInGood.size()));
    if (!m_plan.leftOut.isEmpty())
        lines << tr("%n values are not tested (protected, locked, or holding characters a settings file cannot hold)",
                    nullptr, int(m_plan.leftOut.size()));
    if (m_plan.hidden > 0)
        lines << tr("%1 statistics, window state and generated lists never take part").arg(m_plan.hidden);
    m_summary->setText(lines.join(u'\n'));
    m_start->setEnabled(tested > 0 && !m_running);
    m_start->setToolTip(m_running ? tr("Close PixInsight first.") : QString());
}

void ProblemSearchDialog::start()
{
    showError(QString());
    QString error;
    if (!m_search.start(m_goodPath, m_context.policy, m_context.fingerprint, &error)) {
        showError(error);
        return;
    }
    m_sawRunning = false;
    showSearch();
}

void ProblemSearchDialog::showSearch()
{
    m_stateIdentity = FileIdentity::of(m_search.statePath());
    QString error;
    if (!m_search.hasState()) {
        m_pages->setCurrentIndex(ChoosePage);
        const QStringList backups = listBackups(m_context.settingsPath);
        if (m_goodPath.isEmpty() && !backups.isEmpty())
            chooseGoodState(backups.constFirst());
        else
            chooseGoodState(m_goodPath);
        return;
    }
    m_damaged = !m_search.read(&error);
    m_putBack->setText(m_damaged ? tr("Put back the file as it was when the search started")
                                 : tr("Put the file back as it was"));
    if (m_damaged) {
        // Ending it is what is left: from the backup made at its start, or keeping the file as it is.
        m_pages->setCurrentIndex(FoundPage);
        m_found->setText(error);
        m_foundTree->clear();
        m_useGood->setText(tr("Keep everything and use the good value for this setting"));
        m_useGood->setEnabled(false);
        m_putBack->setEnabled(!m_search.startBackup().isEmpty());
        return;
    }
    QByteArray bad;
    if (!m_search.readBadBytes(&bad, &error) || !m_bad.parse(bad))
        showError(error);
    const ProblemSearchRounds &search = m_search.search();
    if (!search.isFinished()) {
        m_pages->setCurrentIndex(RoundPage);
        const int remaining = int(search.remaining().size());
        m_round->setText(tr("Round %1: %2 settings are still suspected (%3 left).")
                             .arg(search.rounds() + 1)
                             .arg(remaining)
                             .arg(ProblemSearchRounds::aboutLaunches(remaining)));
        m_roundList->clear();
        for (const int index : search.testing()) {
            const SearchSuspect &suspect = m_search.suspects().at(index);
            m_roundList->addItem(QStringLiteral("%1   (%2)").arg(labelOf(suspect), suspect.path));
        }
        updateRoundButtons();
        return;
    }
    m_pages->setCurrentIndex(FoundPage);
    const QList<SearchSuspect> found = m_search.remainingSuspects();
    m_found->setText(found.size() == 1
                         ? tr("The problem setting was found in %n launches:", nullptr, search.rounds())
                         : tr("After %n launches these %1 settings could not be told apart (every way of halving "
                              "them was answered \"Can't tell\"):",
                              nullptr, search.rounds())
                               .arg(found.size()));
    m_foundTree->clear();
    for (const SearchSuspect &suspect : found) {
        const XsdtNode *node = m_bad.root.findPath(suspect.path);
        const bool removed = suspect.kind == SearchSuspect::Remove;
        auto *item = new QTreeWidgetItem(
            m_foundTree,
            {labelOf(suspect), suspect.path,
             node ? ReadableValue::text(m_context.schema, *node, suspect.badValue)
                  : DisplayText::value(suspect.badType, suspect.badValue),
             node && !removed ? ReadableValue::text(m_context.schema, *node, suspect.goodValue)
                              : DisplayText::oneLine(suspect.goodValueText(), DisplayText::kCellLength)});
        for (const auto &[column, value] : {std::pair{2, suspect.badValue}, std::pair{3, suspect.goodValue}}) {
            if (const std::optional<quint32> argb = node && (column == 2 || !removed)
                    ? ReadableValue::colour(m_context.schema, *node, value)
                    : std::nullopt)
                item->setIcon(column, QIcon(ColorButton::swatch(*argb)));
        }
        item->setToolTip(2, suspect.badValue);
        item->setToolTip(3, suspect.goodValueText());
    }
    m_useGood->setText(found.size() == 1 ? tr("Keep everything and use the good value for this setting")
                                         : tr("Keep everything and use the good values for these settings"));
    m_useGood->setEnabled(true);
    m_putBack->setEnabled(true);
}

void ProblemSearchDialog::updateRoundButtons()
{
    const bool written = m_search.isCandidateWritten();
    for (QPushButton *button : {m_yes, m_no, m_cantTell})
        button->setEnabled(written && !m_running);
    m_question->setEnabled(written && !m_running);
    if (!written)
        m_status->setText(m_running ? tr("This round's file is written once PixInsight is closed.")
                                    : tr("Writing this round's file..."));
    else if (m_running)
        m_status->setText(tr("PixInsight is running. Close it when you have seen whether the problem occurs."));
    else if (m_sawRunning)
        m_status->setText(tr("PixInsight has exited."));
    else
        m_status->setText(tr("Waiting for PixInsight to start."));
}

void ProblemSearchDialog::answer(ProblemSearchRounds::Answer answer)
{
    showError(QString());
    QString error;
    const bool answered = m_search.answer(answer, m_search.search().rounds(), &error);
    const QString notice = m_search.notice();
    // A refused answer may still have moved the search on (elsewhere, or a file written).
    m_sawRunning = false;
    showSearch();
    if (!answered)
        showError(notice.isEmpty() ? error : notice + u' ' + error);
    else
        showNotice(notice);
}

void ProblemSearchDialog::cancelSearch()
{
    if (QMessageBox::question(this, tr("Cancel the search"),
                              tr("Put the file back as it was before the search, and end the search?"),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    end(ProblemSearch::End::PutBack);
}

void ProblemSearchDialog::end(ProblemSearch::End how)
{
    showError(QString());
    QString error, backup;
    const QString culprits = [this] {
        QStringList labels;
        for (const SearchSuspect &suspect : m_search.remainingSuspects())
            labels << labelOf(suspect);
        return labels.join(QLatin1String(", "));
    }();
    if (!m_search.end(how, &error, &backup)) {
        showError(error);
        return;
    }
    switch (how) {
    case ProblemSearch::End::PutBack:
        m_outcome = tr("The search is over; the file is back as it was before it.");
        break;
    case ProblemSearch::End::UseGoodValue:
        m_outcome = tr("The search is over; the file keeps everything, with the good value of %1.").arg(culprits);
        break;
    case ProblemSearch::End::KeepCurrent:
        m_outcome = tr("The search is over; the file is kept as it is now.");
        break;
    case ProblemSearch::End::FromBackup:
        m_outcome
            = tr("The search is over; the file is back as it was before it, from the backup made when it started.");
        break;
    }
    if (!backup.isEmpty())
        m_outcome += u' ' + tr("Backup: %1").arg(QFileInfo(backup).fileName());
    QStringList during;
    for (const QString &path : m_search.duringSearchBackups())
        during << QFileInfo(path).fileName();
    if (!during.isEmpty())
        m_outcome += u' '
            + tr("What PixInsight changed during the search is kept in: %1.").arg(during.join(QLatin1String(", ")));
    if (!m_search.notice().isEmpty())
        m_outcome += u' ' + m_search.notice();
    accept();
}

void ProblemSearchDialog::poll()
{
    m_running = m_context.session ? m_context.session->isHostRunning() : m_context.isHostRunning();
    m_sawRunning = m_sawRunning || m_running;
    // Moved on or ended from a terminal.
    if (FileIdentity::of(m_search.statePath()) != m_stateIdentity) {
        showSearch();
    } else if (page() == RoundPage && !m_search.isCandidateWritten() && !m_running) {
        QString error;
        const bool written = m_search.writePendingCandidate(&error);
        const QString notice = m_search.notice();
        showSearch();
        showError(written ? QString() : error);
        if (written)
            showNotice(notice);
    }
    if (page() == RoundPage)
        updateRoundButtons();
    else if (page() == ChoosePage)
        m_start->setEnabled(!m_plan.suspects.isEmpty() && !m_running);
}

} // namespace pfw
