#pragma once

#include <QDialog>

class QPushButton;
class QTreeWidget;

namespace pfw {

class PendingRebase;

// Before the user's changes are put back on the file PixInsight wrote: the values PixInsight
// changed as well, each with a tick for keeping the user's value, and what cannot be put back.
class RebaseDialog final : public QDialog
{
    Q_OBJECT

public:
    enum Column { SettingColumn = 0, BeforeColumn, TheirsColumn, MineColumn };

    RebaseDialog(PendingRebase &rebase, QWidget *parent = nullptr);

    QTreeWidget *conflicts() const { return m_conflicts; }
    QPushButton *applyButton() const { return m_apply; }
    void accept() override;

private:
    PendingRebase &m_rebase;
    QTreeWidget *m_conflicts;
    QPushButton *m_apply = nullptr;
};

} // namespace pfw
