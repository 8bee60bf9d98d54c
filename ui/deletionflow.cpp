#include "ui/deletionflow.h"

#include "core/xsdtnode.h"
#include "session/busyscope.h"
#include "model/settingsmodel.h"
#include "ui/accesskeys.h"

#include <QCheckBox>
#include <QMessageBox>

namespace pfw {

DeletionFlow::DeletionFlow(SettingsModel *model, QWidget *dialogParent)
    : QObject(dialogParent)
    , m_model(model)
    , m_dialogParent(dialogParent)
{
}

void DeletionFlow::explainRefusal(const XsdtNode *node)
{
    const BusyScope busy;
    QMessageBox::information(m_dialogParent, tr("Cannot delete"),
                             QStringLiteral("%1\n\n%2").arg(node->path(), m_model->verdict(node).reason));
}

void DeletionFlow::confirmAndQueueDeletion(XsdtNode *node)
{
    if (!node || node->deleted)
        return;
    const DeletionVerdict verdict = m_model->verdict(node);
    if (verdict.level == DeletionLevel::Never) {
        explainRefusal(node);
        return;
    }
    const BusyScope busy;
    const quint64 generation = m_model->generation();
    const int values = int(node->valueCount());
    if (verdict.level == DeletionLevel::Warn && !m_dontAskAgain) {
        QMessageBox box(QMessageBox::Warning, tr("Delete saved information?"),
                        tr("Delete %1?\n(%n values)", nullptr, values).arg(node->path()),
                        QMessageBox::Yes | QMessageBox::Cancel, m_dialogParent);
        box.setInformativeText(verdict.reason
                               + tr("\n\nNothing is removed until you save, and you can undo it before then."));
        box.setDefaultButton(QMessageBox::Cancel);
        auto *check = new QCheckBox(tr("Don't ask again until I close the program"), &box);
        setAccessKey(check, u'd');
        box.setCheckBox(check);
        if (box.exec() != QMessageBox::Yes)
            return;
        m_dontAskAgain = check->isChecked();
        // The answer was about that tree: if it was replaced meanwhile, the node is gone.
        if (m_model->generation() != generation)
            return;
    }
    QString whyNot;
    if (m_model->requestDeletion(node, &whyNot))
        emit message(tr("%1 queued for deletion (%n values). Save to apply.", nullptr, values).arg(node->path()), 8000);
    else
        QMessageBox::information(m_dialogParent, tr("Cannot delete"), whyNot);
}

} // namespace pfw
