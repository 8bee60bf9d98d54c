#include "ui/views/unusedmodulesview.h"

#include "core/displaytext.h"
#include "core/xsdtfile.h"
#include "core/xsdtwriter.h"
#include "session/busyscope.h"
#include "ui/widgets/nodemenu.h"
#include "ui/widgets/settingrow.h"
#include "model/settingsmodel.h"
#include "schema/settingsschema.h"
#include "session/pendingfiles.h"
#include "ui/accesskeys.h"
#include "ui/views/collapsiblesection.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace pfw {

namespace {

qint64 dataSize(const ModuleInfo &info)
{
    qint64 size = 0;
    for (const XsdtNode *node : info.dataNodes)
        size += serializedSize(*node);
    return size;
}

} // namespace

UnusedModulesView::UnusedModulesView(SettingsModel *model, PendingFiles *pending, const SettingsSchema *schema,
                                     QWidget *parent)
    : CardView(model, parent)
    , m_pending(pending)
    , m_schema(schema)
{
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(tr("Modules that still have saved data but are <b>not in PixInsight's current module "
                                "list</b>: uninstalled, renamed or replaced. Expand one to see its entries and values. "
                                "The list is what PixInsight last recorded, so a module that failed to load or was "
                                "disabled for a while would appear here too. Nothing is removed until you save."),
                             this);
    intro->setTextFormat(Qt::RichText);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_summary = new QLabel(this);
    layout->addWidget(m_summary);
    auto *scroll = new QScrollArea(this);
    scroll->setAccessibleName(tr("Unused modules"));
    scroll->setWidgetResizable(true);
    auto *content = new QWidget(scroll);
    m_list = new QVBoxLayout(content);
    m_list->addStretch();
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);
    auto *buttons = new QHBoxLayout;
    m_tickAll = new QPushButton(tr("Tick all"), this);
    m_undo = new QPushButton(tr("Undo queued deletion"), this);
    m_queue = new QPushButton(tr("Queue ticked for deletion"), this);
    setAccessKey(m_tickAll, u't');
    setAccessKey(m_undo, u'u');
    setAccessKey(m_queue, u'q');
    buttons->addWidget(m_tickAll);
    buttons->addWidget(m_undo);
    buttons->addWidget(m_queue);
    layout->addLayout(buttons);

    connect(m_tickAll, &QPushButton::clicked, this, &UnusedModulesView::tickAll);
    connect(m_undo, &QPushButton::clicked, this, &UnusedModulesView::undoQueued);
    connect(m_queue, &QPushButton::clicked, this, &UnusedModulesView::queueTicked);
    connect(m_model, &SettingsModel::edited, this, &UnusedModulesView::updateTexts);
    connect(m_pending, &PendingFiles::changed, this, &UnusedModulesView::updateTexts);
    updateTexts();
}

UnusedModulesView::~UnusedModulesView() = default;

void UnusedModulesView::clearCards()
{
    forgetRows();
    for (const auto &card : m_cards)
        delete card->row;
    m_cards.clear();
}

void UnusedModulesView::setDocument(XsdtFile *file)
{
    clearCards();
    m_file = file;
    if (m_file)
        refresh();
    else
        updateTexts();
}

void UnusedModulesView::setFolders(const QString &installFolder, const QString &userFolder)
{
    const bool changed = installFolder != m_pending->installFolder() || userFolder != m_pending->userFolder();
    m_pending->setFolders(installFolder, userFolder);
    if (changed && m_file)
        refresh();
}

void UnusedModulesView::rowsRefreshed(bool wholeTree)
{
    if (wholeTree)
        updateTexts();
}

void UnusedModulesView::refresh()
{
    clearCards();
    if (!m_file) {
        updateTexts();
        return;
    }
    for (const ModuleInfo &info : unusedModules(*m_file, m_model->policy())) {
        auto card = std::make_unique<Card>();
        card->info = info;
        card->leftovers = findLeftovers(m_pending->installFolder(), m_pending->userFolder(), info.name, false);
        card->row = new QWidget;
        auto *rowLayout = new QHBoxLayout(card->row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        card->tick = new QCheckBox(card->row);
        card->tick->setAccessibleName(tr("Include %1").arg(info.name));
        card->tick->setToolTip(tr("Tick to include in the bulk actions below."));
        card->section = new CollapsibleSection(info.name, false, card->row);
        rowLayout->addWidget(card->tick, 0, Qt::AlignTop);
        rowLayout->addWidget(card->section, 1);
        m_list->insertWidget(m_list->count() - 1, card->row);
        Card *raw = card.get();
        card->section->setFirstExpansion([this, raw] { buildCard(*raw); });
        connect(card->tick, &QCheckBox::toggled, this, &UnusedModulesView::updateTexts);
        m_cards.push_back(std::move(card));
    }
    updateTexts();
}

void UnusedModulesView::buildCard(Card &card)
{
    if (card.built)
        return;
    card.built = true;
    QVBoxLayout *layout = card.section->contentLayout();
    if (!card.leftovers.isEmpty()) {
        auto *heading = new QLabel(QStringLiteral("<b>%1</b>").arg(tr("Files and folders left on disk")));
        layout->addWidget(heading);
        for (Leftover leftover : std::as_const(card.leftovers)) {
            measureLeftover(leftover);
            auto *line = new QWidget;
            auto *lineLayout = new QHBoxLayout(line);
            lineLayout->setContentsMargins(0, 0, 0, 0);
            LeftoverRow row;
            row.leftover = leftover;
            row.tick = new QCheckBox(QDir::toNativeSeparators(leftover.path), line);
            row.tick->setToolTip(leftover.isProtected ? tr(
                                     "Inside the PixInsight installation: deleting it needs administrator permission.")
                                                      : tr("Tick to queue it for deletion."));
            row.detail = new QLabel(line);
            auto *open = new QToolButton(line);
            open->setAutoRaise(true);
            open->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
            open->setToolTip(tr("Open the folder in the file manager"));
            open->setAccessibleName(tr("Open folder"));
            const QString folder = leftover.isFolder ? leftover.path : QFileInfo(leftover.path).absolutePath();
            connect(open, &QToolButton::clicked, this,
                    [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
            connect(row.tick, &QCheckBox::toggled, this, &UnusedModulesView::updateTexts);
            lineLayout->addWidget(row.tick, 1);
            lineLayout->addWidget(row.detail);
            lineLayout->addWidget(open);
            layout->addWidget(line);
            card.leftoverRows.append(row);
        }
    }
    QList<XsdtNode *> nodes = card.info.dataNodes;
    std::stable_sort(nodes.begin(), nodes.end(), [](const XsdtNode *a, const XsdtNode *b) {
        return a->path().compare(b->path(), Qt::CaseInsensitive) < 0;
    });
    int built = 0;
    for (XsdtNode *node : std::as_const(nodes)) {
        auto *header = new QLabel(
            QStringLiteral("<b>%1</b>")
                .arg(tr("%1  (%n values)", nullptr, int(node->valueCount())).arg(node->path()).toHtmlEscaped()));
        header->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(header, &QLabel::customContextMenuRequested, this,
                [this, node, header](const QPoint &pos) { showMenu(node, header->mapToGlobal(pos)); });
        layout->addWidget(header);
        for (XsdtNode *value : node->valueNodes()) {
            if (built >= kRowsPerCard)
                break;
            auto *row = new SettingRow(value, m_schema->spec(*value), m_model);
            row->setViewOnly(m_viewOnly);
            connect(row, &SettingRow::rejected, this, &UnusedModulesView::message);
            connect(row, &SettingRow::menuRequested, this, &UnusedModulesView::showMenu);
            layout->addWidget(row);
            addRow(value, row);
            ++built;
        }
    }
    const qsizetype total = moduleValueCount(card.info) - (card.info.registryEntry ? 1 : 0);
    if (total > built)
        layout->addWidget(new QLabel(tr("...and %n more values. Use \"Show in All settings\" from the right-click menu "
                                        "to see the rest.",
                                        nullptr, int(total - built))));
    updateTexts();
}

void UnusedModulesView::showMenu(XsdtNode *node, const QPoint &globalPos)
{
    pfw::showNodeMenu(this, m_model, node, globalPos, m_viewOnly, forwardingCallbacks(this));
}

void UnusedModulesView::updateTexts()
{
    int queuedModules = 0;
    int tickedModules = 0;
    int tickedLeftovers = 0;
    qint64 tickedSize = 0;
    for (const auto &card : m_cards) {
        // Counted as Cleanup counts them: what deleting the module's data removes. Its
        // protected entries stay whatever is ticked.
        int queuedNodes = 0;
        int deletableNodes = 0;
        qsizetype deletableValues = 0;
        qsizetype keptValues = 0;
        for (const XsdtNode *node : std::as_const(card->info.dataNodes)) {
            queuedNodes += node->isInsideDeleted() ? 1 : 0;
            if (m_model->verdict(node).level == DeletionLevel::Never) {
                keptValues += node->valueCount();
            } else {
                ++deletableNodes;
                deletableValues += node->valueCount();
            }
        }
        const qint64 size = dataSize(card->info);
        QString title = tr("%1  -  %n values, %2", nullptr, int(deletableValues))
                            .arg(SettingsSchema::humanizeKey(card->info.name), DisplayText::size(size));
        if (keptValues > 0)
            title += tr(" (%n protected values stay)", nullptr, int(keptValues));
        if (std::any_of(card->leftovers.cbegin(), card->leftovers.cend(),
                        [](const Leftover &l) { return l.isProtected; }))
            title += tr("   (contains protected files)");
        if (queuedNodes > 0) {
            title += queuedNodes >= deletableNodes ? tr("   [queued for deletion]")
                                                   : tr("   [partly queued for deletion]");
            ++queuedModules;
        }
        card->section->header()->setText(title);
        if (card->tick->isChecked()) {
            ++tickedModules;
            tickedSize += size;
        }
        card->tick->setEnabled(!m_viewOnly);
        for (const LeftoverRow &row : std::as_const(card->leftoverRows)) {
            const Leftover &l = row.leftover;
            QString detail = l.isFolder
                ? tr("%1, %n files, %2", nullptr, l.files).arg(Leftovers::label(l.kind), DisplayText::size(l.bytes))
                : tr("%1, %2").arg(Leftovers::label(l.kind), DisplayText::size(l.bytes));
            if (l.isProtected)
                detail += tr(" - protected");
            const bool queued = m_pending->isQueued(leftoverRequest(l));
            if (queued)
                detail += tr("   [queued for deletion]");
            row.detail->setText(detail);
            row.tick->setEnabled(!m_viewOnly && !queued);
            tickedLeftovers += row.tick->isChecked() ? 1 : 0;
        }
    }
    const bool anyTicked = tickedModules > 0 || tickedLeftovers > 0;
    m_queue->setEnabled(!m_viewOnly && anyTicked);
    m_undo->setEnabled(!m_viewOnly && anyTicked);
    m_tickAll->setEnabled(!m_cards.empty());
    if (!m_file) {
        m_summary->clear();
        return;
    }
    QString summary;
    if (m_cards.empty())
        summary = tr("No unused module data: every module with saved data is in the module list.");
    else if (tickedModules == 0)
        summary
            = tr("%n unused modules", nullptr, int(m_cards.size())) + tr("; %1 queued for deletion").arg(queuedModules);
    else
        summary = tr("%n unused modules", nullptr, int(m_cards.size()))
            + tr("; %1 ticked (about %2); %3 queued for deletion")
                  .arg(QString::number(tickedModules), DisplayText::size(tickedSize), QString::number(queuedModules));
    if (m_pending->count() > 0)
        summary += tr("; %n files or folders queued for deletion from disk", nullptr, m_pending->count());
    m_summary->setText(summary);
}

void UnusedModulesView::tickAll()
{
    for (const auto &card : m_cards)
        card->tick->setChecked(true);
}

void UnusedModulesView::queueTicked()
{
    const BusyScope busy;
    if (m_viewOnly)
        return;
    const quint64 generation = m_model->generation();
    QList<Card *> cards;
    for (const auto &card : m_cards) {
        if (card->tick->isChecked())
            cards << card.get();
    }
    QList<LeftoverRow *> rows;
    for (const auto &card : m_cards) {
        for (LeftoverRow &row : card->leftoverRows) {
            if (row.tick->isChecked() && !m_pending->isQueued(leftoverRequest(row.leftover)))
                rows << &row;
        }
    }
    if (cards.isEmpty() && rows.isEmpty())
        return;
    if (!cards.isEmpty()) {
        QStringList names;
        for (const Card *card : std::as_const(cards))
            names << card->info.name;
        QMessageBox box(QMessageBox::Warning, tr("Delete unused module data?"),
                        tr("This removes the saved data of %n modules that are not in the module list.", nullptr,
                           int(cards.size())),
                        QMessageBox::Yes | QMessageBox::Cancel, this);
        box.setInformativeText(tr("Nothing is removed until you save, and you can undo it before then."));
        box.setDetailedText(names.join(u'\n'));
        box.setDefaultButton(QMessageBox::Cancel);
        // The cards point into the tree the question was about.
        if (box.exec() != QMessageBox::Yes || m_model->generation() != generation || m_viewOnly)
            return;
    }
    if (!rows.isEmpty()) {
        QStringList lines;
        bool anyProtected = false;
        for (const LeftoverRow *row : std::as_const(rows)) {
            const Leftover &l = row->leftover;
            anyProtected = anyProtected || l.isProtected;
            lines << (l.isFolder ? tr("%1   (%n files, %2)", nullptr, l.files)
                                       .arg(QDir::toNativeSeparators(l.path), DisplayText::size(l.bytes))
                                 : tr("%1   (%2)").arg(QDir::toNativeSeparators(l.path), DisplayText::size(l.bytes)));
        }
        QMessageBox box(
            QMessageBox::Warning, tr("Delete files and folders?"),
            tr("This permanently deletes %n files or folders from disk when you save.", nullptr, int(rows.size())),
            QMessageBox::Yes | QMessageBox::Cancel, this);
        QString informative = tr("They are not moved to the Recycle Bin or Trash: once deleted they cannot be brought "
                                 "back. Until you save, you can still undo it.")
                                  .toHtmlEscaped();
        if (anyProtected)
            informative
                = tr("<b>Some of them are inside the PixInsight installation. Deleting those needs administrator "
                     "permission:</b> you will be asked for it when you save.")
                + QLatin1String("<br><br>") + informative;
        box.setTextFormat(Qt::PlainText);
        box.setInformativeText(informative);
        box.setDetailedText(lines.join(u'\n'));
        box.setDefaultButton(QMessageBox::Cancel);
        // The cards point into the tree the question was about.
        if (box.exec() != QMessageBox::Yes || m_model->generation() != generation || m_viewOnly)
            return;
    }
    int queuedNodes = 0;
    QStringList refused;
    const SettingsModel::Batch batch(m_model);
    for (Card *card : std::as_const(cards)) {
        for (XsdtNode *node : std::as_const(card->info.dataNodes)) {
            if (m_model->requestDeletion(node, nullptr, tr("%1 (unused module)").arg(card->info.name)))
                ++queuedNodes;
            else
                refused << node->path();
        }
        card->tick->setChecked(false);
    }
    QStringList requests;
    for (LeftoverRow *row : std::as_const(rows)) {
        requests << leftoverRequest(row->leftover);
        const QSignalBlocker blocker(row->tick);
        row->tick->setChecked(false);
    }
    m_pending->queue(requests);
    updateTexts();
    QString text;
    if (!cards.isEmpty())
        text = refused.isEmpty() ? tr("Queued %n entries", nullptr, queuedNodes)
                + tr(" of %n modules for deletion.", nullptr, int(cards.size()))
                                 : tr("Queued %n entries", nullptr, queuedNodes)
                + tr("; %n protected entries were left alone (%1).", nullptr, int(refused.size()))
                      .arg(refused.join(QLatin1String(", ")));
    if (!rows.isEmpty()) {
        const QString files = tr("Queued %n files or folders for deletion from disk.", nullptr, int(rows.size()));
        text = text.isEmpty() ? files : text + u' ' + files;
    }
    emit message(text + tr(" Save to apply."));
}

void UnusedModulesView::undoQueued()
{
    QStringList removed;
    const SettingsModel::Batch batch(m_model);
    for (const auto &card : m_cards) {
        if (card->tick->isChecked()) {
            for (XsdtNode *node : std::as_const(card->info.dataNodes))
                m_model->undoDeletion(node);
            card->tick->setChecked(false);
        }
        for (LeftoverRow &row : card->leftoverRows) {
            if (row.tick->isChecked()) {
                removed << leftoverRequest(row.leftover);
                row.tick->setChecked(false);
            }
        }
    }
    m_pending->unqueue(removed);
}

void UnusedModulesView::expandModule(const QString &name)
{
    for (const auto &card : m_cards) {
        if (card->info.name == name)
            card->section->setExpanded(true);
    }
}

} // namespace pfw
