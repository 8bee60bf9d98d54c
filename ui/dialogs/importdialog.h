#pragma once

#include "modules/importplan.h"

#include <QDialog>
#include <QHash>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace pfw {

class EditingSession;
class SettingsSchema;
struct XsdtNode;

// The preview of an import: each entry of the snippet with its value here and in the snippet
// and what would happen to it, a tick for each that can be taken, the groups' other entries
// when they are to be replaced, and a rewrite for paths that do not exist on this computer.
// Applying makes the ticked ones pending changes, as one step.
class ImportDialog final : public QDialog
{
    Q_OBJECT

public:
    enum Column { SettingColumn = 0, HereColumn, SnippetColumn, StatusColumn };

    ImportDialog(EditingSession &session, const XsdtNode &snippet, const QString &snippetName,
                 QWidget *parent = nullptr);

    QTreeWidget *entries() const { return m_entries; }
    QCheckBox *replace() const { return m_replace; }
    QLineEdit *rewriteFrom() const { return m_from; }
    QLineEdit *rewriteTo() const { return m_to; }
    QPushButton *rewriteButton() const { return m_rewrite; }
    QPushButton *importButton() const { return m_import; }
    const ImportPlan &plan() const { return m_plan; }
    // How many changes were made pending, once accepted.
    int applied() const { return m_applied; }

    void accept() override;

    // What would become of an entry ("new", "refused: ..."), and one of its values as shown.
    static QString statusText(const ImportPlan::Entry &entry);
    static QString valueText(const SettingsSchema *schema, const ImportPlan::Entry &entry, const QString &value);

private:
    void recompute();
    void refill();
    void rewrite();
    void updateCount();
    QTreeWidgetItem *entryRow(int index);
    QTreeWidgetItem *removalRow(int index);

    EditingSession &m_session;
    const XsdtNode &m_snippet;
    QString m_name;
    ImportPlan m_plan;
    quint64 m_generation;
    QTreeWidget *m_entries;
    QCheckBox *m_replace;
    QLabel *m_summary;
    QWidget *m_rewriteRow;
    QLabel *m_missing;
    QLineEdit *m_from;
    QLineEdit *m_to;
    QPushButton *m_rewrite;
    QLabel *m_rewriteError;
    QPushButton *m_import = nullptr;
    // What the user ticked or unticked, kept over a new comparison.
    QHash<QString, bool> m_choices;
    int m_applied = 0;
};

} // namespace pfw
