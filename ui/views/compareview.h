#pragma once

#include "core/treediff.h"
#include "core/xsdtfile.h"
#include "platform/hostenvironment.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace pfw {

class SettingsModel;

// The Compare tab: the open file against another settings file or a backup; chosen values are
// copied across as ordinary pending edits.
class CompareView final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kExpandLimit = 400;

    explicit CompareView(SettingsModel *model, QWidget *parent = nullptr);

    void setDocument(XsdtFile *tree, const QString &path);
    void setViewOnly(bool on);
    void setEnvironment(const HostEnvironment &environment) { m_environment = environment; }
    [[nodiscard]] bool loadOther(const QString &path, QString *error);
    // Loads a file and shows it as the chosen one; a failure comes out as message().
    void showFile(const QString &path);
    // Shows a file kept in memory (what PixInsight found when it started), listed as title
    // until another is kept.
    [[nodiscard]] bool showBytes(const QByteArray &bytes, const QString &title, QString *error);
    void recompute();
    void copyEntries(const QList<int> &entries);
    void copySelected();
    void copyAllShown();
    bool isCopyable(const DiffEntry &entry) const;
    QList<int> selectedEntries() const;
    // This file's side of the selected entries: what an export or a copy to other instances takes.
    QList<XsdtNode *> selectedHereNodes() const;

    QComboBox *fileBox() const { return m_fileBox; }
    QCheckBox *differentBox() const { return m_different; }
    QCheckBox *onlyHereBox() const { return m_onlyHere; }
    QCheckBox *onlyThereBox() const { return m_onlyThere; }
    QCheckBox *noiseBox() const { return m_noise; }
    QLineEdit *searchEdit() const { return m_search; }
    QLabel *summaryLabel() const { return m_summary; }
    QTreeWidget *tree() const { return m_tree; }
    QPushButton *copySelectedButton() const { return m_copySelected; }
    QPushButton *copyAllButton() const { return m_copyAll; }
    const QList<DiffEntry> &entries() const { return m_entries; }
    const QString &otherPath() const { return m_otherPath; }

signals:
    void revealRequested(pfw::XsdtNode *node);
    void message(const QString &text);
    void exportRequested(const QList<pfw::XsdtNode *> &nodes, const QString &title);
    void copyRequested(const QList<pfw::XsdtNode *> &nodes);

protected:
    void changeEvent(QEvent *event) override;

private:
    void fitSearchBox();
    void rebuildFileBox();
    void fileChosen(int index);
    void fill();
    void updateButtons();
    void scheduleRecompute();
    void showContextMenu(const QPoint &pos);
    int entryOf(const QTreeWidgetItem *item) const;

    SettingsModel *m_model;
    HostEnvironment m_environment;
    XsdtFile *m_here = nullptr;
    QString m_herePath;
    XsdtFile m_other;
    QString m_otherPath;
    QByteArray m_memoryBytes;
    QString m_memoryTitle;
    QString m_memoryFor;
    QList<DiffEntry> m_entries;
    QList<int> m_shown;
    bool m_viewOnly = false;
    bool m_recomputePending = false;

    QComboBox *m_fileBox;
    QCheckBox *m_different;
    QCheckBox *m_onlyHere;
    QCheckBox *m_onlyThere;
    QCheckBox *m_noise;
    QLineEdit *m_search;
    QLabel *m_summary;
    QTreeWidget *m_tree;
    QPushButton *m_copySelected;
    QPushButton *m_copyAll;
};

} // namespace pfw
