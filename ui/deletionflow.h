#pragma once

#include <QObject>

class QWidget;

namespace pfw {

class SettingsModel;
struct XsdtNode;

// The one way an entry gets queued for deletion, whichever view asks: Never explains why not,
// Warn asks first (unless the user said not to for this run), Safe goes straight through.
class DeletionFlow final : public QObject
{
    Q_OBJECT

public:
    DeletionFlow(SettingsModel *model, QWidget *dialogParent);

    void confirmAndQueueDeletion(XsdtNode *node);
    bool dontAskAgain() const { return m_dontAskAgain; }
    // The information box for a node that cannot be deleted.
    void explainRefusal(const XsdtNode *node);

signals:
    void message(const QString &text, int timeoutMs);

private:
    SettingsModel *m_model;
    QWidget *m_dialogParent;
    bool m_dontAskAgain = false;
};

} // namespace pfw
