#pragma once

#include "modules/instancecopy.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace pfw {

class EditingSession;

// The review of a copy into PixInsight's other instances: each other settings file with what
// would change in it, a tick for each that can take the values. Copying saves every ticked file
// on its own, each with its own backup.
class InstanceCopyDialog final : public QDialog
{
    Q_OBJECT

public:
    enum Column { SettingColumn = 0, ThereColumn, CopiedColumn, StatusColumn };

    // copy: prepared already, its targets read and compared.
    InstanceCopyDialog(EditingSession &session, InstanceCopy &copy, QWidget *parent = nullptr);

    QTreeWidget *targets() const { return m_targets; }
    QPushButton *copyButton() const { return m_copyButton; }
    // What was written and what failed, one line a file, once accepted.
    const QStringList &report() const { return m_report; }
    const QStringList &written() const { return m_written; }
    bool anyFailed() const { return m_failed; }

    void accept() override;

private:
    void fill();
    void updateCount();

    EditingSession &m_session;
    InstanceCopy &m_copy;
    QLabel *m_summary;
    QTreeWidget *m_targets;
    QPushButton *m_copyButton = nullptr;
    QStringList m_report;
    QStringList m_written;
    bool m_failed = false;
};

} // namespace pfw
