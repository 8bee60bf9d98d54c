#include "ui/views/preferencesview.h"

#include "core/xsdtfile.h"
#include "ui/widgets/nodemenu.h"
#include "ui/widgets/settingrow.h"
#include "model/settingsmodel.h"
#include "ui/views/collapsiblesection.h"
#include "modules/defaultsreset.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace pfw {

PreferencesView::PreferencesView(SettingsModel *model, const SettingsSchema *schema, QWidget *parent)
    : CardView(model, parent)
    , m_schema(schema)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_filter = new QLineEdit(this);
    m_filter->setAccessibleName(tr("Filter the preferences"));
    m_filter->setPlaceholderText(tr("Search names, descriptions and text values"));
    m_filter->setClearButtonEnabled(true);
    layout->addWidget(m_filter);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    m_pageList = new QListWidget(splitter);
    m_pageList->setAccessibleName(tr("Preference pages"));
    m_pageList->setMinimumWidth(170);
    m_pageList->setMaximumWidth(300);
    m_stack = new QStackedWidget(splitter);
    m_nothing = new QLabel(noFileText(), m_stack);
    m_nothing->setAlignment(Qt::AlignCenter);
    m_nothing->setWordWrap(true);
    m_stack->addWidget(m_nothing);
    splitter->addWidget(m_pageList);
    splitter->addWidget(m_stack);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    connect(m_pageList, &QListWidget::currentRowChanged, this,
            [this](int row) { m_stack->setCurrentIndex(row < 0 ? 0 : row + 1); });
    connect(m_filter, &QLineEdit::textChanged, this, &PreferencesView::applyFilter);
}

PreferencesView::~PreferencesView() = default;

void PreferencesView::clear()
{
    forgetRows();
    m_pageList->clear();
    for (const auto &page : m_pages) {
        m_stack->removeWidget(page->scroll);
        delete page->scroll;
    }
    m_pages.clear();
}

QString PreferencesView::noFileText()
{
    return tr("No PixInsight settings file was found. Open one with File > Open, or start PixInsight once to "
              "create it.");
}

void PreferencesView::setDocument(XsdtFile *file)
{
    clear();
    m_file = file;
    m_nothing->setText(m_file ? tr("No matching settings.") : noFileText());
    if (!m_file)
        return;
    for (const PageSpec &spec : m_schema->pages(*m_file))
        buildPage(spec);
    m_pageList->setCurrentRow(m_pages.empty() ? -1 : 0);
    updateBadges();
    applyFilter();
}

bool PreferencesView::hasShowableContent(const XsdtNode &group) const
{
    for (const auto &child : group.children) {
        if (m_schema->isHidden(*child))
            continue;
        if (child->kind == XsdtNode::Value ? child->isEditableValue() : hasShowableContent(*child))
            return true;
    }
    return false;
}

PreferencesView::Page *PreferencesView::buildPage(const PageSpec &spec)
{
    auto page = std::make_unique<Page>();
    page->title = spec.title;
    page->scroll = new QScrollArea;
    page->scroll->setAccessibleName(tr("Settings of %1").arg(spec.title));
    page->scroll->setWidgetResizable(true);
    page->scroll->setFrameShape(QFrame::NoFrame);
    auto *content = new QWidget(page->scroll);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 6);
    header->addStretch();
    page->reset = new QPushButton(tr("Reset to PixInsight's default"), content);
    page->reset->setToolTip(tr("Removes this page's values at the save, so that PixInsight writes its defaults the "
                               "next time it starts. Locked, protected and read-only values stay."));
    page->reset->setEnabled(!m_viewOnly);
    // Export only reads: it works while PixInsight runs too.
    auto *exportPage = new QPushButton(tr("Export..."), content);
    exportPage->setToolTip(tr("Writes this page's values to a small settings file that Import settings brings into "
                              "another file."));
    header->addWidget(exportPage);
    header->addWidget(page->reset);
    layout->addItem(header);
    for (const QString &path : spec.paths) {
        XsdtNode *group = m_file->root.findPath(path);
        if (!group || !hasShowableContent(*group))
            continue;
        page->groups << group;
        if (spec.paths.size() == 1) {
            buildGroup(group, layout, page.get(), 0);
            continue;
        }
        auto *section = new CollapsibleSection(SettingsSchema::humanizeKey(group->key), true, content);
        section->setContextMenuHandler([this, group](const QPoint &pos) { showNodeMenu(group, pos); });
        layout->addWidget(section);
        page->sections.append(section);
        buildGroup(group, section->contentLayout(), page.get(), 1);
    }
    if (page->rows.isEmpty()) {
        delete page->scroll;
        return nullptr;
    }
    layout->addStretch();
    page->scroll->setWidget(content);
    m_stack->addWidget(page->scroll);
    page->item = new QListWidgetItem(spec.title, m_pageList);
    Page *built = page.get();
    connect(page->reset, &QPushButton::clicked, this, [this, built] { resetPage(built); });
    connect(exportPage, &QPushButton::clicked, this,
            [this, built] { emit exportRequested(built->groups, tr("Preferences: %1").arg(built->title)); });
    m_pages.push_back(std::move(page));
    return m_pages.back().get();
}

void PreferencesView::buildGroup(XsdtNode *group, QLayout *layout, Page *page, int depth)
{
    for (const auto &child : group->children) {
        if (child->kind != XsdtNode::Value || !child->isEditableValue() || m_schema->isHidden(*child))
            continue;
        auto *row = new SettingRow(child.get(), m_schema->spec(*child), m_model);
        row->setViewOnly(m_viewOnly);
        connect(row, &SettingRow::rejected, this, &PreferencesView::message);
        connect(row, &SettingRow::menuRequested, this, &PreferencesView::showNodeMenu);
        layout->addWidget(row);
        page->rows.append(row);
        addRow(child.get(), row);
    }
    for (const auto &child : group->children) {
        if (child->kind != XsdtNode::Item || m_schema->isHidden(*child) || !hasShowableContent(*child))
            continue;
        XsdtNode *subgroup = child.get();
        auto *section = new CollapsibleSection(SettingsSchema::humanizeKey(subgroup->key), false);
        section->setContextMenuHandler([this, subgroup](const QPoint &pos) { showNodeMenu(subgroup, pos); });
        layout->addWidget(section);
        page->sections.append(section);
        buildGroup(subgroup, section->contentLayout(), page, depth + 1);
    }
}

void PreferencesView::showNodeMenu(XsdtNode *node, const QPoint &globalPos)
{
    NodeMenuCallbacks callbacks;
    callbacks.deleteNode = [this](XsdtNode *n) { emit deleteRequested(n); };
    callbacks.undoDeletion = [this](XsdtNode *n) { emit restoreRequested(n); };
    callbacks.showHistory = [this](XsdtNode *n) { emit historyRequested(n); };
    callbacks.exportNode = [this](XsdtNode *n) { emit exportRequested({n}, QString()); };
    callbacks.copyToInstances = [this](XsdtNode *n) { emit copyRequested({n}); };
    pfw::showNodeMenu(this, m_model, node, globalPos, m_viewOnly, callbacks);
}

void PreferencesView::resetPage(Page *page)
{
    if (!page || m_viewOnly || !m_file)
        return;
    const DefaultsReset resetter(m_schema, m_model->policy(), m_file);
    QList<XsdtNode *> values;
    for (const XsdtNode *group : std::as_const(page->groups))
        values += resetter.values(*group);
    const int queued = m_model->requestReset(values, page->title);
    emit message(
        queued == 0
            ? tr("Nothing on %1 can be reset: locked, protected and read-only values stay.").arg(page->title)
            : tr("%n values of %1 are reset to PixInsight's defaults at the save.", nullptr, queued).arg(page->title));
}

void PreferencesView::viewOnlyChanged()
{
    for (const auto &page : m_pages)
        page->reset->setEnabled(!m_viewOnly);
}

bool PreferencesView::showPage(int index)
{
    if (index < 0 || index >= int(m_pages.size()) || m_pages.at(size_t(index))->item->isHidden())
        return false;
    m_pageList->setCurrentRow(index);
    return true;
}

void PreferencesView::setFilterText(const QString &text)
{
    m_filter->setText(text);
}

void PreferencesView::updateBadges()
{
    for (const auto &page : m_pages) {
        int edited = 0;
        for (const SettingRow *row : std::as_const(page->rows))
            edited += row->node()->isEdited() ? 1 : 0;
        QFont font = page->item->font();
        font.setWeight(edited > 0 ? QFont::Bold : QFont::Normal);
        page->item->setFont(font);
        page->item->setText(edited > 0 ? QStringLiteral("%1   \u25CF %2").arg(page->title).arg(edited) : page->title);
    }
}

void PreferencesView::applyFilter()
{
    const QString text = m_filter->text().trimmed();
    for (const auto &page : m_pages) {
        int visible = 0;
        for (SettingRow *row : std::as_const(page->rows)) {
            const bool match = row->matches(text);
            row->setVisible(match);
            visible += match ? 1 : 0;
        }
        // Inner sections come later in the list: settle them before the ones holding them.
        for (auto it = page->sections.crbegin(); it != page->sections.crend(); ++it) {
            CollapsibleSection *section = *it;
            if (text.isEmpty()) {
                section->setVisible(true);
                section->setExpanded(section->initiallyExpanded());
                continue;
            }
            bool anyVisible = false;
            for (const QObject *child : section->content()->children()) {
                const auto *widget = qobject_cast<const QWidget *>(child);
                if (widget && !widget->isHidden()) {
                    anyVisible = true;
                    break;
                }
            }
            section->setVisible(anyVisible);
            if (anyVisible)
                section->setExpanded(true);
        }
        page->item->setHidden(!text.isEmpty() && visible == 0);
    }
    QListWidgetItem *current = m_pageList->currentItem();
    if (!current || current->isHidden()) {
        int first = -1;
        for (int i = 0; i < m_pageList->count() && first < 0; ++i) {
            if (!m_pageList->item(i)->isHidden())
                first = i;
        }
        m_pageList->setCurrentRow(first);
    }
    m_stack->setCurrentIndex(
        m_pageList->currentRow() < 0 || m_pageList->currentItem()->isHidden() ? 0 : m_pageList->currentRow() + 1);
}

} // namespace pfw
