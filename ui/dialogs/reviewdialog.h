#pragma once

#include "modules/leftovers.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace pfw {

class SettingsModel;
struct XsdtNode;

// Every queued edit and deletion, and the leftover files that go with the save, listed before
// anything is written; changes can still be taken back here.
class ReviewDialog final : public QDialog
{
    Q_OBJECT

public:
    enum RowKind { EditRow = 0, DeletionRow = 1, RemovedValueRow = 2, GroupRow = 3, AddedRow = 4 };
    static constexpr int kRemovedValueRows = 300;

    ReviewDialog(SettingsModel *model, XsdtNode *tree, QWidget *parent = nullptr);

    void setLeftovers(const QList<Leftover> &items);
    // Says above the list that saving replaces the bytes that are not valid UTF-8.
    void setInvalidUtf8(int line, int column);
    QLabel *utf8Notice() const { return m_utf8Notice; }
    // Says that the file has another name (a hard link), which the save leaves as it was.
    void setOtherNames();
    QLabel *otherNamesNotice() const { return m_otherNamesNotice; }
    void populateDeletion(QTreeWidgetItem *item);

    QLabel *summaryLabel() const { return m_summary; }
    QLineEdit *filterEdit() const { return m_filter; }
    QCheckBox *editsBox() const { return m_edits; }
    QCheckBox *deletionsBox() const { return m_deletions; }
    QTreeWidget *changeTree() const { return m_changes; }
    QPlainTextEdit *detailsBox() const { return m_details; }
    QPlainTextEdit *leftoversBox() const { return m_leftoverBox; }
    QPushButton *revertButton() const { return m_revert; }
    QPushButton *saveButton() const { return m_save; }
    void revertSelected();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refill();
    void updateDetails();
    bool passes(const XsdtNode &node, const QString &filter) const;

    SettingsModel *m_model;
    XsdtNode *m_tree;
    QList<Leftover> m_leftovers;
    QLabel *m_summary;
    QLabel *m_otherNamesNotice = nullptr;
    QLabel *m_utf8Notice;
    QLineEdit *m_filter;
    QCheckBox *m_edits;
    QCheckBox *m_deletions;
    QTreeWidget *m_changes;
    QPlainTextEdit *m_details;
    QPlainTextEdit *m_leftoverBox;
    QPushButton *m_revert;
    QPushButton *m_save;
};

} // namespace pfw
