#pragma once

#include <QSortFilterProxyModel>

namespace pfw {

// Filters the All settings tree by a text (path, or the value of an editable value) and by
// a changed-only switch. A row shows when it or any descendant is accepted.
class SettingsFilterProxy final : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit SettingsFilterProxy(QObject *parent = nullptr);

    void setFilterText(const QString &text);
    QString filterText() const { return m_text; }
    void setChangedOnly(bool on);
    bool isChangedOnly() const { return m_changedOnly; }
    // Applies the filter again after edits (the proxy does not re-filter on every change).
    void refilter();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    QString m_text;
    bool m_changedOnly = false;
};

} // namespace pfw
