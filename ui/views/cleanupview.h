#pragma once

#include "ui/views/cardview.h"

#include <QHash>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace pfw {

class SettingsModel;
class XsdtFile;
struct XsdtNode;

// The Cleanup tab: what PixInsight recreates by itself, and the saved settings of tools and
// scripts, ticked and queued for deletion.
class CleanupView final : public CardView
{
    Q_OBJECT

public:
    explicit CleanupView(SettingsModel *model, QWidget *parent = nullptr);

    void refresh(XsdtFile *file);
    void tickAll(bool safeOnly);
    void setConfirmWarn(bool on) { m_confirmWarn = on; }
    void queueTicked();
    void undoTicked();

    static QString cleanupLabel(const XsdtNode &node);
    // "Image calibration" for ModuleData/ImageCalibration; a group named by a number is a
    // version record.
    static QString savedSettingsLabel(const XsdtNode &node);

    QTreeWidget *tree() const { return m_tree; }
    QLabel *statusLabel() const { return m_status; }
    QPushButton *queueButton() const { return m_queue; }
    QPushButton *undoButton() const { return m_undo; }
    const QHash<QTreeWidgetItem *, QList<XsdtNode *>> &entries() const { return m_entries; }

signals:
    void message(const QString &text);

private:
    void showTree(XsdtFile *file) override { refresh(file); }
    void viewOnlyChanged() override { updateStatus(); }
    QTreeWidgetItem *addEntry(QTreeWidgetItem *parent, const QString &text, const QList<XsdtNode *> &nodes,
                              const QString &tip, bool savedSettings);
    QList<QTreeWidgetItem *> tickedEntries() const;
    // What Undo acts on: the ticked entries, or else the queued ones selected.
    QList<QTreeWidgetItem *> undoable() const;
    void updateStatus();

    XsdtFile *m_file = nullptr;
    bool m_confirmWarn = true;
    bool m_bulk = false;
    QTreeWidget *m_tree;
    QLabel *m_status;
    QPushButton *m_undo;
    QPushButton *m_queue;
    QTreeWidgetItem *m_safeTier = nullptr;
    QTreeWidgetItem *m_savedTier = nullptr;
    QHash<QTreeWidgetItem *, QList<XsdtNode *>> m_entries;
    QHash<QTreeWidgetItem *, bool> m_savedSettings;
    // What each entry's nodes take in the file, as listed.
    QHash<QTreeWidgetItem *, qint64> m_sizes;
};

} // namespace pfw
