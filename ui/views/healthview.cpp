#include "ui/views/healthview.h"

#include "core/xsdtfile.h"
#include "ui/widgets/nodemenu.h"
#include "ui/widgets/settingrow.h"
#include "model/settingsmodel.h"
#include "schema/settingsschema.h"
#include "ui/accesskeys.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace pfw {

namespace {

QColor stripeColour(Finding::Severity severity)
{
    switch (severity) {
    case Finding::Problem:
        return {214, 60, 60};
    case Finding::Warning:
        return {226, 150, 0};
    case Finding::Note:
        return {60, 140, 230};
    default:
        return {128, 128, 128};
    }
}

} // namespace

HealthView::HealthView(SettingsModel *model, const SettingsSchema *schema, QWidget *parent)
    : CardView(model, parent)
    , m_schema(schema)
    , m_env(HealthEnv::system())
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 0);
    auto *intro
        = new QLabel(tr("Looks through the file for things that are probably wrong: folders and files that do "
                        "not exist here, numbers outside their documented range, keys that appear twice, modules "
                        "whose file is missing. Nothing is changed by the check; fix a setting right in the list."),
                     this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto *summaryRow = new QHBoxLayout;
    m_summary = new QLabel(this);
    auto *again = new QPushButton(tr("Run the check again"), this);
    setAccessKey(again, u'u');
    summaryRow->addWidget(m_summary, 1);
    summaryRow->addWidget(again);
    layout->addLayout(summaryRow);
    auto *scroll = new QScrollArea(this);
    scroll->setAccessibleName(tr("Findings"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto *content = new QWidget(scroll);
    m_list = new QVBoxLayout(content);
    m_list->setContentsMargins(0, 0, 0, 0);
    m_list->setSpacing(10);
    m_list->addStretch();
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);

    connect(again, &QPushButton::clicked, this, &HealthView::run);
    connect(m_model, &SettingsModel::edited, this, &HealthView::markStale);
}

void HealthView::clearCards()
{
    for (QWidget *card : std::as_const(m_cards)) {
        card->hide();
        card->deleteLater();
    }
    m_cards.clear();
    forgetRows();
    m_deleteButtons.clear();
}

void HealthView::setFile(XsdtFile *file)
{
    clearCards();
    m_findings.clear();
    m_ran = false;
    m_stale = false;
    m_summary->clear();
    emit summaryChanged(0, 0);
    m_file = file;
    if (m_file && isVisible())
        run();
}

void HealthView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_ran && m_file)
        run();
}

void HealthView::viewOnlyChanged()
{
    for (QWidget *button : std::as_const(m_deleteButtons)) {
        const XsdtNode *node = static_cast<const XsdtNode *>(button->property("node").value<void *>());
        button->setEnabled(!m_viewOnly && m_model->verdict(node).level != DeletionLevel::Never);
    }
}

void HealthView::run()
{
    clearCards();
    m_findings.clear();
    m_stale = false;
    if (!m_file) {
        m_ran = false;
        return;
    }
    m_ran = true;
    m_env.policy = m_model->policy();
    m_findings = runHealthChecks(*m_file, *m_schema, m_env);
    for (const Finding &finding : std::as_const(m_findings)) {
        QWidget *card = buildCard(finding);
        m_list->insertWidget(m_list->count() - 1, card);
        m_cards.append(card);
    }
    int counts[3] = {0, 0, 0};
    for (const Finding &finding : std::as_const(m_findings)) {
        if (finding.severity <= Finding::Problem)
            ++counts[finding.severity];
    }
    m_summary->setText(m_findings.isEmpty() ? tr("No problems found.")
                                            : tr("%1, %2, %3")
                                                  .arg(tr("%n problems", nullptr, counts[Finding::Problem]),
                                                       tr("%n warnings", nullptr, counts[Finding::Warning]),
                                                       tr("%n notes", nullptr, counts[Finding::Note])));
    emit summaryChanged(counts[Finding::Problem], counts[Finding::Warning]);
}

void HealthView::markStale()
{
    if (!m_ran || m_findings.isEmpty() || m_stale)
        return;
    m_stale = true;
    m_summary->setText(m_summary->text() + tr("   (You changed settings: run the check again to re-check.)"));
}

QWidget *HealthView::buildCard(const Finding &finding)
{
    auto *card = new QFrame;
    card->setFrameShape(QFrame::NoFrame);
    auto *layout = new QHBoxLayout(card);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *stripe = new QFrame(card);
    stripe->setFixedWidth(6);
    stripe->setAutoFillBackground(true);
    QPalette palette = stripe->palette();
    palette.setColor(QPalette::Window, stripeColour(finding.severity));
    stripe->setPalette(palette);
    layout->addWidget(stripe);
    auto *body = new QVBoxLayout;
    body->setContentsMargins(12, 6, 6, 6);
    body->setSpacing(4);
    layout->addLayout(body, 1);

    auto *title = new QLabel(
        QStringLiteral("<b>%1:</b> %2")
            .arg(HealthChecks::severityName(finding.severity).toHtmlEscaped(), finding.title.toHtmlEscaped()),
        card);
    title->setTextFormat(Qt::RichText);
    title->setWordWrap(true);
    body->addWidget(title);
    auto *detail = new QLabel(finding.detail, card);
    detail->setTextFormat(Qt::PlainText);
    detail->setWordWrap(true);
    body->addWidget(detail);

    for (qsizetype i = 0; i < finding.nodes.size() && i < kNodesPerCard; ++i) {
        XsdtNode *node = finding.nodes.at(i);
        if (node->kind == XsdtNode::Value) {
            auto *row = new SettingRow(node, m_schema->spec(*node), m_model, card);
            row->setShowPath(true);
            row->setViewOnly(m_viewOnly);
            connect(row, &SettingRow::rejected, this, &HealthView::message);
            connect(row, &SettingRow::menuRequested, this, [this](XsdtNode *target, const QPoint &pos) {
                pfw::showNodeMenu(this, m_model, target, pos, m_viewOnly, forwardingCallbacks(this));
            });
            body->addWidget(row);
            addRow(node, row);
            continue;
        }
        auto *line = new QHBoxLayout;
        auto *label
            = new QLabel(QStringLiteral("<b>%1</b>  (%2)")
                             .arg(node->path().toHtmlEscaped(), tr("%n values", nullptr, int(node->valueCount()))),
                         card);
        label->setTextFormat(Qt::RichText);
        auto *reveal = new QPushButton(tr("Show in All settings"), card);
        auto *remove = new QPushButton(tr("Delete this one..."), card);
        const DeletionVerdict verdict = m_model->verdict(node);
        const bool deletable = verdict.level != DeletionLevel::Never;
        remove->setEnabled(deletable && !m_viewOnly);
        remove->setToolTip(deletable ? verdict.reason : tr("Protected: %1").arg(verdict.reason));
        remove->setProperty("node", QVariant::fromValue(static_cast<void *>(node)));
        m_deleteButtons.append(remove);
        connect(reveal, &QPushButton::clicked, this, [this, node] { emit revealRequested(node); });
        connect(remove, &QPushButton::clicked, this, [this, node] { emit deleteRequested(node); });
        line->addWidget(label, 1);
        line->addWidget(reveal);
        line->addWidget(remove);
        body->addLayout(line);
    }
    if (finding.nodes.size() > kNodesPerCard)
        body->addWidget(new QLabel(tr("...and %1 more.").arg(finding.nodes.size() - kNodesPerCard), card));
    if (finding.offersUnusedModules) {
        auto *open = new QPushButton(tr("Open Unused modules"), card);
        connect(open, &QPushButton::clicked, this, &HealthView::openUnusedModules);
        body->addWidget(open, 0, Qt::AlignLeft);
    }
    return card;
}

} // namespace pfw
