#pragma once

#include <QWidget>

#include <functional>

class QToolButton;
class QVBoxLayout;

namespace pfw {

// A bold header that folds its content away; used for nested groups and cards.
class CollapsibleSection final : public QWidget
{
    Q_OBJECT

public:
    CollapsibleSection(const QString &title, bool expanded, QWidget *parent = nullptr);

    QVBoxLayout *contentLayout() const { return m_contentLayout; }
    QWidget *content() const { return m_content; }
    QToolButton *header() const { return m_header; }
    bool initiallyExpanded() const { return m_initiallyExpanded; }
    bool isExpanded() const;
    void setExpanded(bool expanded);
    void setContextMenuHandler(std::function<void(const QPoint &)> handler) { m_menuHandler = std::move(handler); }
    // Runs once, the next time the section becomes expanded.
    void setFirstExpansion(std::function<void()> action) { m_firstExpansion = std::move(action); }

private:
    void expansionChanged(bool expanded);

    bool m_initiallyExpanded;
    QToolButton *m_header;
    QWidget *m_content;
    QVBoxLayout *m_contentLayout;
    std::function<void(const QPoint &)> m_menuHandler;
    std::function<void()> m_firstExpansion;
};

} // namespace pfw
