#pragma once

#include "core/settinghistory.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace pfw {

class HistoryReader;
class SettingsDocument;
class SettingsModel;
struct XsdtNode;

// The history of one value: pending, saved, then every backup of the open file, newest first.
// Not modal: the document may be reloaded or replaced under it, so it keeps the setting as a
// path and occurrence and finds the node again after each change of tree.
class SettingHistoryDialog final : public QDialog
{
    Q_OBJECT

public:
    SettingHistoryDialog(SettingsModel *model, const SettingsDocument *document, XsdtNode *node,
                         QWidget *parent = nullptr);
    ~SettingHistoryDialog() override;

    // Makes the selected row's value the pending value, as one undoable step.
    void useSelectedValue();
    void showSelectedInCompare();
    // Reads the backups again, for one added or deleted.
    void reread();

    QString settingPath() const { return m_shownPath; }
    int occurrence() const { return m_occurrence; }
    bool isReading() const;
    const QList<HistoryRow> &rows() const { return m_rows; }
    QTreeWidget *tree() const { return m_tree; }
    QPlainTextEdit *valueView() const { return m_value; }
    QLabel *progressLabel() const { return m_progress; }
    QLabel *statusLabel() const { return m_status; }
    QPushButton *useButton() const { return m_use; }
    QPushButton *compareButton() const { return m_compare; }

signals:
    void compareRequested(const QString &backupPath);
    void readingFinished();

private:
    void documentReset();
    void startReading();
    void entryRead(const HistoryEntry &entry);
    // Pending and saved rows, then the backups read so far.
    void rebuild();
    QList<HistoryEntry> currentEntries() const;
    void addItem();
    void updateItem(int index);
    void updateProgress();
    void selectionChanged();
    const HistoryRow *selectedRow() const;
    // The row that now shows the pending or saved value, or holds that backup; -1 if none.
    int rowShowing(HistoryEntry::Source source, const QString &backupPath) const;

    SettingsModel *m_model;
    const SettingsDocument *m_document;
    HistoryReader *m_reader;
    QString m_filePath;
    // Which setting: its key (a "/" inside a key escaped), and its path as shown.
    QString m_settingPath;
    QString m_shownPath;
    int m_occurrence = 0;
    XsdtNode *m_node;
    quint64 m_generation;
    // Whether the rows and buttons still speak of a node in the open file.
    enum class Follow { Node, FileClosed, Lost };
    Follow m_follow = Follow::Node;
    QString followRefusal() const;
    int m_occurrences = 0;
    QList<HistoryEntry> m_backups;
    QList<HistoryRow> m_rows;

    QLabel *m_heading;
    QTreeWidget *m_tree;
    QLabel *m_progress;
    QPlainTextEdit *m_value;
    QLabel *m_status;
    QPushButton *m_use;
    QPushButton *m_compare;
};

} // namespace pfw
