#pragma once

#include <QHash>
#include <QWidget>

namespace pfw {

class SettingRow;
class SettingsModel;
class XsdtFile;
struct XsdtNode;

// A tab that shows the model's tree as cards of setting rows. It follows the model alone: a row
// is refreshed when its node changes or the model is reset, and when the model is given another
// tree (an open, a reload, a restore, a save that removed entries) every row is let go of and
// the view shows the tree the model holds now.
class CardView : public QWidget
{
    Q_OBJECT

public:
    explicit CardView(SettingsModel *model, QWidget *parent = nullptr);

    // While PixInsight runs the rows only show. The poll says so every few seconds: only a
    // change touches the rows.
    void setViewOnly(bool on);
    bool isViewOnly() const { return m_viewOnly; }

protected:
    // The model's tree, or none; the rows of the tree before are forgotten already.
    virtual void showTree(XsdtFile *file) = 0;
    // Rows were refreshed because their nodes changed (wholeTree: every row, after a reset
    // over the same tree): counts and badges follow.
    virtual void rowsRefreshed(bool wholeTree) { Q_UNUSED(wholeTree) }
    virtual void viewOnlyChanged() {}

    void addRow(const XsdtNode *node, SettingRow *row);
    void forgetRows() { m_rowOf.clear(); }
    const QHash<const XsdtNode *, SettingRow *> &rowOf() const { return m_rowOf; }

    SettingsModel *const m_model;
    bool m_viewOnly = false;

private:
    void onModelReset();

    QHash<const XsdtNode *, SettingRow *> m_rowOf;
    quint64 m_shownGeneration;
};

} // namespace pfw
