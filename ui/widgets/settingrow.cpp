#include "ui/widgets/settingrow.h"

#include "core/displaytext.h"
#include "core/valuetypes.h"
#include "core/xsdtnode.h"
#include "session/busyscope.h"
#include "ui/widgets/colorbutton.h"
#include "model/settingsmodel.h"
#include "ui/widgets/wheelguard.h"
#include "schema/settingsschema.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <limits>
#include <utility>

namespace pfw {

namespace {

constexpr int kExtraItemRole = Qt::UserRole + 1;
const QColor kEditedRow(255, 190, 0, 55);

QColor mixed(const QPalette &palette, int weight)
{
    const QColor w = palette.color(QPalette::Window);
    const QColor t = palette.color(QPalette::WindowText);
    const auto channel = [weight](int a, int b) { return (a * (4 - weight) + b * weight) / 4; };
    return QColor(channel(w.red(), t.red()), channel(w.green(), t.green()), channel(w.blue(), t.blue()));
}

} // namespace

SettingRow::SettingRow(XsdtNode *node, const VariableSpec &spec, SettingsModel *model, QWidget *parent)
    : QWidget(parent)
    , m_node(node)
    , m_spec(spec)
    , m_model(model)
    , m_protected(SettingsModel::isProtected(*node))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(12);

    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    m_label = new QLabel(m_spec.label, this);
    m_pathLine = new QLabel(this);
    m_pathLine->setWordWrap(true);
    m_pathLine->hide();
    m_description = new QLabel(m_spec.description, this);
    m_description->setWordWrap(true);
    m_description->setVisible(!m_spec.description.isEmpty());
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->hide();
    text->addWidget(m_label);
    text->addWidget(m_pathLine);
    text->addWidget(m_description);
    text->addWidget(m_message);
    row->addLayout(text, 3);

    m_editorBox = new QWidget(this);
    m_editorBox->setMinimumWidth(240);
    m_editorBox->setMaximumWidth(460);
    auto *editorLayout = new QHBoxLayout(m_editorBox);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_editorBox, 2, Qt::AlignTop);

    m_revert = new QToolButton(this);
    m_revert->setText(QString(QChar(0x21BA)));
    m_revert->setAutoRaise(true);
    row->addWidget(m_revert, 0, Qt::AlignTop);
    connect(m_revert, &QToolButton::clicked, this, [this] {
        m_model->revertValue(m_node);
        refresh();
    });

    QString tip = m_node->path();
    if (!m_spec.documented)
        tip += tr("\n(not documented by PixInsight)");
    setToolTip(tip);

    buildEditor();
    // A screen reader names each control by the setting it changes.
    QWidget *control = editor();
    control->setAccessibleName(m_spec.label);
    control->setAccessibleDescription(m_spec.description);
    if (m_spin || m_doubleSpin) {
        // The field inside a spin box is what takes the focus.
        if (auto *field = control->findChild<QLineEdit *>()) {
            field->setAccessibleName(m_spec.label);
            field->setAccessibleDescription(m_spec.description);
        }
    }
    m_revert->setAccessibleName(tr("Revert %1").arg(m_spec.label));
    if (m_browse) {
        const QString choose = m_spec.kind == WidgetKind::Directory ? tr("Choose a folder for %1").arg(m_spec.label)
                                                                    : tr("Choose a file for %1").arg(m_spec.label);
        m_browse->setAccessibleName(choose);
        m_browse->setToolTip(choose);
    }
    updateMutedText();
    refresh();
}

QLineEdit *SettingRow::addLineEdit()
{
    m_line = new QLineEdit(m_editorBox);
    m_line->setReadOnly(m_protected);
    m_editorBox->layout()->addWidget(m_line);
    connect(m_line, &QLineEdit::editingFinished, this, [this] {
        if (m_model->heldText(m_node))
            m_model->holdText(m_node, m_line->text());
        else if (m_line->text() != m_node->value && !m_protected)
            commitText(m_line->text());
    });
    // Typing goes on into text held while PixInsight runs.
    connect(m_line, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (m_model->heldText(m_node))
            m_model->holdText(m_node, text);
    });
    return m_line;
}

void SettingRow::buildEditor()
{
    auto *layout = static_cast<QHBoxLayout *>(m_editorBox->layout());
    auto *guard = new WheelGuard(this);
    const auto guarded = [guard](QWidget *editor) {
        editor->setFocusPolicy(Qt::StrongFocus);
        editor->installEventFilter(guard);
    };
    switch (m_spec.kind) {
    case WidgetKind::Bool:
        m_check = new QCheckBox(m_editorBox);
        layout->addWidget(m_check);
        layout->addStretch();
        connect(m_check, &QCheckBox::clicked, this,
                [this](bool on) { commitValue(on ? QStringLiteral("true") : QStringLiteral("false")); });
        break;
    case WidgetKind::Choice:
        m_combo = new QComboBox(m_editorBox);
        for (const VariableChoice &choice : std::as_const(m_spec.choices))
            m_combo->addItem(choice.text, QVariant::fromValue(choice.value));
        guarded(m_combo);
        layout->addWidget(m_combo);
        connect(m_combo, &QComboBox::activated, this,
                [this](int row) { commitValue(QString::number(m_combo->itemData(row).toLongLong())); });
        break;
    case WidgetKind::Int:
    case WidgetKind::UInt:
        if (m_spec.kind == WidgetKind::Int
            || (m_spec.hasRange && m_spec.min >= 0 && m_spec.max <= std::numeric_limits<qint32>::max())) {
            m_spin = new QSpinBox(m_editorBox);
            m_spin->setKeyboardTracking(false);
            guarded(m_spin);
            // A digit the range refuses is dropped by the spin box without a sign: say why.
            if (auto *field = m_spin->findChild<QLineEdit *>())
                field->installEventFilter(this);
            layout->addWidget(m_spin);
            connect(m_spin, &QSpinBox::valueChanged, this, [this](int value) { commitValue(QString::number(value)); });
        } else {
            m_doubleSpin = new QDoubleSpinBox(m_editorBox);
            m_doubleSpin->setDecimals(0);
            m_doubleSpin->setKeyboardTracking(false);
            guarded(m_doubleSpin);
            layout->addWidget(m_doubleSpin);
            connect(m_doubleSpin, &QDoubleSpinBox::valueChanged, this,
                    [this](double value) { commitValue(QString::number(qulonglong(qMax(0.0, value)))); });
        }
        break;
    case WidgetKind::Real:
    case WidgetKind::Text:
        addLineEdit();
        break;
    case WidgetKind::File:
    case WidgetKind::Directory:
        addLineEdit();
        m_browse = new QToolButton(m_editorBox);
        m_browse->setText(QString(QChar(0x2026)));
        layout->addWidget(m_browse);
        connect(m_browse, &QToolButton::clicked, this, &SettingRow::browse);
        break;
    case WidgetKind::Color:
        m_color = new ColorButton(m_editorBox);
        m_color->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        m_color->setMinimumWidth(150);
        layout->addWidget(m_color);
        layout->addStretch();
        connect(m_color, &ColorButton::colorPicked, this, [this](quint32 argb) { commitValue(QString::number(argb)); });
        break;
    }
}

QWidget *SettingRow::editor() const
{
    if (m_check)
        return m_check;
    if (m_combo)
        return m_combo;
    if (m_spin)
        return m_spin;
    if (m_doubleSpin)
        return m_doubleSpin;
    if (m_color)
        return m_color;
    return m_line;
}

void SettingRow::browse()
{
    const BusyScope busy;
    const QPointer<SettingRow> self(this);
    const QString chosen = m_spec.kind == WidgetKind::Directory
        ? QFileDialog::getExistingDirectory(this, m_spec.label, m_node->value, QFileDialog::ShowDirsOnly)
        : QFileDialog::getOpenFileName(this, m_spec.label, m_node->value);
    if (self && !chosen.isEmpty())
        commitValue(chosen);
}

bool SettingRow::isTyping() const
{
    return (m_line && m_line->hasFocus() && m_line->isModified()) || (m_spin && m_spin->hasFocus())
        || (m_doubleSpin && m_doubleSpin->hasFocus());
}

void SettingRow::commitText(const QString &text)
{
    // A number out of range is said here, beside the field; the range is the model's rules'.
    QString normalized;
    if (m_spec.kind == WidgetKind::Real && normalizeValue(m_node->type, text, &normalized, nullptr)) {
        if (const QString problem = m_model->rules().schemaProblem(*m_node, normalized); !problem.isEmpty()) {
            emit rejected(problem);
            showMessage(problem);
            m_shownValue.reset();
            refresh();
            return;
        }
    }
    commitValue(text);
}

void SettingRow::commitValue(const QString &text)
{
    // Why a value is refused is said beside the field too, not only in the status bar.
    QString normalized, why = m_model->editRefusal(m_node);
    if (why.isEmpty() && !m_model->rules().normalize(*m_node, text, &normalized, &why, m_spec.label))
        why = why.isEmpty() ? tr("This value cannot be stored.") : why;
    showMessage(why);
    m_model->setData(m_model->indexFor(m_node, SettingsModel::ValueColumn), text, Qt::EditRole);
    m_shownValue.reset();
    refresh();
}

bool SettingRow::eventFilter(QObject *watched, QEvent *event)
{
    auto *field = qobject_cast<QLineEdit *>(watched);
    if (event->type() == QEvent::KeyPress && field && m_spin && field->parent() == m_spin) {
        const QString typed = static_cast<QKeyEvent *>(event)->text();
        if (!typed.isEmpty() && typed.at(0).isPrint()) {
            QString next = field->text();
            if (field->hasSelectedText())
                next.replace(field->selectionStart(), field->selectedText().size(), typed);
            else
                next.insert(field->cursorPosition(), typed);
            bool ok = false;
            const qlonglong number = next.trimmed().toLongLong(&ok);
            if (ok && (number < m_spin->minimum() || number > m_spin->maximum()))
                showMessage(tr("%1 takes a whole number from %2 to %3.")
                                .arg(m_spec.label)
                                .arg(m_spin->minimum())
                                .arg(m_spin->maximum()));
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SettingRow::showMessage(const QString &text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

void SettingRow::refreshChoice(const QString &value)
{
    const qint64 number = value.toLongLong();
    for (int i = m_combo->count() - 1; i >= 0; --i) {
        if (m_combo->itemData(i, kExtraItemRole).toBool())
            m_combo->removeItem(i);
    }
    int found = -1;
    for (int i = 0; i < m_combo->count() && found < 0; ++i) {
        if (m_combo->itemData(i).toLongLong() == number)
            found = i;
    }
    if (found < 0) {
        m_combo->addItem(tr("Other (%1)").arg(value), QVariant::fromValue(number));
        found = m_combo->count() - 1;
        m_combo->setItemData(found, true, kExtraItemRole);
    }
    m_combo->setCurrentIndex(found);
}

void SettingRow::showValue(const QString &value)
{
    if (m_check)
        m_check->setChecked(value == u"true");
    if (m_combo)
        refreshChoice(value);
    if (m_spin) {
        const int number = value.toInt();
        const double low = m_spec.hasRange ? qMax(m_spec.min, double(std::numeric_limits<qint32>::min()))
                                           : double(std::numeric_limits<qint32>::min());
        const double high = m_spec.hasRange ? qMin(m_spec.max, double(std::numeric_limits<qint32>::max()))
                                            : double(std::numeric_limits<qint32>::max());
        // Widen to the stored value, so an out-of-range value shows unchanged.
        m_spin->setRange(qMin(number, int(low)), qMax(number, int(high)));
        m_spin->setValue(number);
    }
    if (m_doubleSpin) {
        const double number = value.toDouble();
        const double low = m_spec.hasRange ? m_spec.min : 0.0;
        const double high = m_spec.hasRange ? m_spec.max : 4294967295.0;
        m_doubleSpin->setRange(qMin(number, low), qMax(number, high));
        m_doubleSpin->setValue(number);
    }
    if (m_line) {
        QString shown = value;
        if (m_protected) {
            shown.replace(u'\n', QChar(0x23CE));
            if (m_node->type == u'B' && !m_node->block)
                shown = DisplayText::value(*m_node, DisplayText::kLineLength);
        }
        m_line->setText(shown);
        m_line->setCursorPosition(0);
    }
    if (m_color)
        m_color->setColor(value.toUInt());
}

void SettingRow::refresh()
{
    const QString value = m_node->value;
    const bool edited = m_node->isEdited();
    const bool inside = m_node->isInsideDeleted();
    const QSignalBlocker blockers[] = {QSignalBlocker(m_check),      QSignalBlocker(m_combo), QSignalBlocker(m_spin),
                                       QSignalBlocker(m_doubleSpin), QSignalBlocker(m_line),  QSignalBlocker(m_color)};
    Q_UNUSED(blockers);
    // Half-typed text stays until it is committed, unless the stored value itself changed;
    // text held while PixInsight runs stays whatever happens, in this row or one made later.
    const QString *held = m_model->heldText(m_node);
    const bool keepEditor = (m_shownValue == value && isTyping()) || (held && m_line && m_line->text() == *held);
    m_shownValue = value;
    if (held && m_line) {
        if (!keepEditor)
            m_line->setText(*held);
        showMessage(tr("Not applied yet: PixInsight is running. It is applied when PixInsight exits."));
    } else if (!keepEditor) {
        showValue(value);
    }

    QFont font = m_label->font();
    font.setWeight(edited ? QFont::Bold : QFont::Normal);
    font.setStrikeOut(inside);
    m_label->setFont(font);

    QPalette rowPalette = palette();
    rowPalette.setColor(QPalette::Window, kEditedRow);
    setPalette(rowPalette);
    setAutoFillBackground(edited);

    m_revert->setVisible(true);
    m_revert->setEnabled(edited && !m_viewOnly && !inside);
    m_revert->setToolTip(edited ? tr("Revert to the value on disk: %1").arg(m_node->savedValue.left(80))
                                : tr("Unchanged"));
    m_revert->setAccessibleDescription(m_revert->toolTip());

    const bool locked = m_model->isEditLocked(m_node);
    m_editorBox->setEnabled((!m_viewOnly || held) && !m_spec.readOnly && !inside && !m_protected && !locked);
    if (m_spec.readOnly)
        m_editorBox->setToolTip(tr("Documented by PixInsight as read-only or write-only."));
    else if (m_protected)
        m_editorBox->setToolTip(tr("Protected value type: shown for reference only."));
    else if (locked)
        m_editorBox->setToolTip(tr("Module registry and version records are locked against editing."));
    else
        m_editorBox->setToolTip(QString());
}

void SettingRow::refreshChanged(const SettingsModel &model, const QHash<const XsdtNode *, SettingRow *> &rows,
                                const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    if (rows.isEmpty())
        return;
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        if (SettingRow *shown = rows.value(model.nodeFor(topLeft.siblingAtRow(row))))
            shown->refresh();
    }
}

void SettingRow::setViewOnly(bool on)
{
    if (on == m_viewOnly)
        return;
    // Typing under way when PixInsight starts is kept, not taken for the value nor dropped.
    m_viewOnly = on;
    if (on && m_line && m_line->hasFocus() && m_line->isModified() && m_line->text() != m_node->value)
        m_model->holdText(m_node, m_line->text());
    if (!on) {
        if (const std::optional<QString> held = m_model->takeHeldText(m_node)) {
            showMessage(QString());
            if (*held != m_node->value)
                commitText(*held);
            else
                refresh();
            return;
        }
    }
    refresh();
}

void SettingRow::setShowPath(bool on)
{
    m_showPath = on;
    QStringList keys = m_node->path().split(u'/');
    keys.removeLast();
    m_pathLine->setText(keys.join(QStringLiteral(" \u203A ")));
    m_pathLine->setVisible(on && !keys.isEmpty());
}

bool SettingRow::matches(const QString &text) const
{
    if (text.isEmpty())
        return true;
    return m_spec.label.contains(text, Qt::CaseInsensitive) || m_node->key.contains(text, Qt::CaseInsensitive)
        || m_spec.description.contains(text, Qt::CaseInsensitive)
        || (m_node->type == u's' && m_node->value.contains(text, Qt::CaseInsensitive));
}

void SettingRow::updateMutedText()
{
    // Mix from the surroundings' colours, not from the amber an edited row paints itself with.
    const QPalette base = parentWidget() ? parentWidget()->palette() : QPalette();
    for (const auto &[label, weight] : {std::pair{m_description, 3}, std::pair{m_pathLine, 2}}) {
        QFont font = this->font();
        font.setPointSizeF(font.pointSizeF() * 0.9);
        label->setFont(font);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, mixed(base, weight));
        label->setPalette(palette);
    }
}

void SettingRow::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::ApplicationFontChange:
    case QEvent::ApplicationPaletteChange:
        updateMutedText();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void SettingRow::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    QColor line = palette().color(QPalette::WindowText);
    line.setAlpha(30);
    painter.setPen(line);
    painter.drawLine(0, height() - 1, width(), height() - 1);
}

void SettingRow::contextMenuEvent(QContextMenuEvent *event)
{
    emit menuRequested(m_node, event->globalPos());
    event->accept();
}

} // namespace pfw
