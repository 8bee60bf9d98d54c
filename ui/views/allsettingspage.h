#pragma once

#include <QKeySequence>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QMenu;
class QTreeView;

namespace pfw {

class DeletionFlow;
class SettingsFilterProxy;
class SettingsModel;
struct XsdtNode;

// The "All settings (advanced)" tab: the whole tree, filtered, edited in place.
class AllSettingsPage final : public QWidget
{
    Q_OBJECT

public:
    // About how many rows a filter opens by itself.
    static constexpr int kExpandedRows = 3000;

    AllSettingsPage(SettingsModel *model, SettingsFilterProxy *proxy, DeletionFlow *deletion,
                    QWidget *parent = nullptr);

    QTreeView *tree() const { return m_tree; }
    QLineEdit *filterEdit() const { return m_filter; }
    QCheckBox *changedOnlyBox() const { return m_changedOnly; }

    void expandPreferences();
    // Everything closed but the Preferences (under a filter: its matches opened again).
    void collapseToPreferences();
    void revealNode(const XsdtNode *node);
    void deleteSelected();
    // The context menu for a node; the caller owns it.
    QMenu *buildContextMenu(XsdtNode *node);
    void editCurrentValue();
    void copyCurrentPath();
    static QKeySequence copyPathKey();

signals:
    void historyRequested(pfw::XsdtNode *node);
    // Export of entries this view shows: one from its menu, or a whole page.
    void exportRequested(const QList<pfw::XsdtNode *> &nodes, const QString &title);
    // Copy of entries into the other instances' files.
    void copyRequested(const QList<pfw::XsdtNode *> &nodes);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showContextMenu(const QPoint &pos);
    void filterChanged(const QString &text);
    // After the filter changed: the matches opened, and the row that was current again.
    void showFiltered(const XsdtNode *current);
    void expandShown();

    SettingsModel *m_model;
    SettingsFilterProxy *m_proxy;
    DeletionFlow *m_deletion;
    QLineEdit *m_filter;
    QCheckBox *m_changedOnly;
    QTreeView *m_tree;
    // While the page itself changes the filter (it then opens the matches itself).
    bool m_filtering = false;
    QString m_currentPath;
};

} // namespace pfw
