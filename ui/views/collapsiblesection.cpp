#include "ui/views/collapsiblesection.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace pfw {

CollapsibleSection::CollapsibleSection(const QString &title, bool expanded, QWidget *parent)
    : QWidget(parent)
    , m_initiallyExpanded(expanded)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header = new QToolButton(this);
    m_header->setText(title);
    m_header->setCheckable(true);
    m_header->setAutoRaise(true);
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    QFont bold = m_header->font();
    bold.setWeight(QFont::Bold);
    m_header->setFont(bold);
    m_header->setContextMenuPolicy(Qt::CustomContextMenu);
    m_content = new QWidget(this);
    m_contentLayout = new QVBoxLayout(m_content);
    m_contentLayout->setContentsMargins(18, 0, 0, 0);
    m_contentLayout->setSpacing(0);
    layout->addWidget(m_header);
    layout->addWidget(m_content);

    connect(m_header, &QToolButton::toggled, this, &CollapsibleSection::expansionChanged);
    connect(m_header, &QToolButton::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (m_menuHandler)
            m_menuHandler(m_header->mapToGlobal(pos));
    });
    m_header->setChecked(expanded);
    expansionChanged(expanded);
}

bool CollapsibleSection::isExpanded() const
{
    return m_header->isChecked();
}

void CollapsibleSection::setExpanded(bool expanded)
{
    m_header->setChecked(expanded);
}

void CollapsibleSection::expansionChanged(bool expanded)
{
    m_content->setVisible(expanded);
    m_header->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    if (expanded && m_firstExpansion) {
        // Taken out first, so the action runs once even if it expands the section again.
        const std::function<void()> action = std::move(m_firstExpansion);
        m_firstExpansion = nullptr;
        action();
    }
}

} // namespace pfw
