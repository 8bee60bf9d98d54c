#pragma once

#include "modules/installedrecords.h"
#include "platform/hostservices.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace pfw {

// PixInsight's record of installed updates: tick module records and remove them, or put the
// newest backup back. Changes run in-process when the folder is writable, else in the elevated
// helper.
class InstalledUpdatesDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit InstalledUpdatesDialog(const QString &path, const HostServices &services = HostServices::system(),
                                    QWidget *parent = nullptr);

    EditResult removeChecked();
    EditResult restoreBackup();

    QStringList tickedNames() const;
    void setFilterText(const QString &text);
    void tickAllShown() { setTicks(true, Qt::Checked); }
    bool wasCancelled() const { return m_cancelled; }

    // The question asked before removing names.
    static QString removalQuestion(const QStringList &names);

private:
    void reload();
    void applyFilter();
    void updateState();
    QString elevationProblem() const;
    void onItemChanged(QTreeWidgetItem *item, int column);
    void setTicks(bool onlyShown, Qt::CheckState state);
    void onRemove();
    void onRestore();
    EditResult apply(const QStringList &helperArguments, const std::function<EditResult()> &inProcess);
    void showResult(const EditResult &result, const QString &successText);

    QString m_path;
    HostServices m_services;
    QList<PackageRecord> m_records;
    QString m_loadError;
    bool m_cancelled = false;

    QLabel *m_intro = nullptr;
    QLineEdit *m_filter = nullptr;
    QPushButton *m_tickShown = nullptr;
    QPushButton *m_untickAll = nullptr;
    QTreeWidget *m_tree = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_restore = nullptr;
    QTimer *m_timer = nullptr;
};

} // namespace pfw
