#pragma once

#include "schema/variablespec.h"

#include <QHash>
#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QToolButton;

namespace pfw {

class ColorButton;
class SettingsModel;
struct XsdtNode;

// One value with its label, description, typed editor and revert button. Every view shows
// values this way; all changes go through SettingsModel::setData.
class SettingRow final : public QWidget
{
    Q_OBJECT

public:
    SettingRow(XsdtNode *node, const VariableSpec &spec, SettingsModel *model, QWidget *parent = nullptr);

    XsdtNode *node() const { return m_node; }
    void refresh();
    void setViewOnly(bool on);
    void setShowPath(bool on);
    bool matches(const QString &text) const;

    // The parts a user sees, for hosts and tests.
    QLabel *labelLine() const { return m_label; }
    QLabel *pathLine() const { return m_pathLine; }
    QLabel *descriptionLine() const { return m_description; }
    // Why the last value was refused, or that typed text waits for PixInsight to exit.
    QLabel *messageLine() const { return m_message; }
    QWidget *editorContainer() const { return m_editorBox; }
    QToolButton *revertButton() const { return m_revert; }
    QWidget *editor() const;

    // Refreshes the rows, among those given, whose nodes lie in a changed range of the model.
    static void refreshChanged(const SettingsModel &model, const QHash<const XsdtNode *, SettingRow *> &rows,
                               const QModelIndex &topLeft, const QModelIndex &bottomRight);

signals:
    void rejected(const QString &reason);
    void menuRequested(pfw::XsdtNode *node, const QPoint &globalPos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void buildEditor();
    QLineEdit *addLineEdit();
    void commitText(const QString &text);
    void commitValue(const QString &text);
    void showMessage(const QString &text);
    void browse();
    void refreshChoice(const QString &value);
    void updateMutedText();
    // The user is typing into the editor and has not committed it yet.
    bool isTyping() const;
    void showValue(const QString &value);

    XsdtNode *m_node;
    VariableSpec m_spec;
    SettingsModel *m_model;
    bool m_viewOnly = false;
    bool m_protected = false;
    bool m_showPath = false;
    // The value last written into the editor; empty to have the next refresh write it.
    std::optional<QString> m_shownValue;

    QLabel *m_label = nullptr;
    QLabel *m_pathLine = nullptr;
    QLabel *m_description = nullptr;
    QLabel *m_message = nullptr;
    QToolButton *m_revert = nullptr;
    QWidget *m_editorBox = nullptr;
    QCheckBox *m_check = nullptr;
    QComboBox *m_combo = nullptr;
    QSpinBox *m_spin = nullptr;
    QDoubleSpinBox *m_doubleSpin = nullptr;
    QLineEdit *m_line = nullptr;
    QToolButton *m_browse = nullptr;
    ColorButton *m_color = nullptr;
};

} // namespace pfw
