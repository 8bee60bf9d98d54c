#pragma once

#include "modules/healthchecks.h"

#include <QHash>
#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace pfw {

class SettingRow;
class SettingsModel;
class SettingsSchema;
class XsdtFile;
struct XsdtNode;

// The Health check tab: findings as cards, the settings concerned as editable rows.
class HealthView final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kNodesPerCard = 12;

    HealthView(SettingsModel *model, const SettingsSchema *schema, QWidget *parent = nullptr);

    void setFile(XsdtFile *file);
    void setEnvironment(const HealthEnv &env) { m_env = env; }
    void setViewOnly(bool on);
    void run();
    QWidget *buildCard(const Finding &finding);

    bool hasRun() const { return m_ran; }
    const QList<Finding> &findings() const { return m_findings; }
    const QList<QWidget *> &cards() const { return m_cards; }
    QLabel *summaryLabel() const { return m_summary; }

signals:
    void message(const QString &text);
    void deleteRequested(pfw::XsdtNode *node);
    void restoreRequested(pfw::XsdtNode *node);
    void revealRequested(pfw::XsdtNode *node);
    void openUnusedModules();
    void summaryChanged(int problems, int warnings);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void clearCards();
    void markStale();

    SettingsModel *m_model;
    const SettingsSchema *m_schema;
    XsdtFile *m_file = nullptr;
    HealthEnv m_env;
    bool m_viewOnly = false;
    bool m_ran = false;
    bool m_stale = false;
    QList<Finding> m_findings;
    QList<QWidget *> m_cards;
    QHash<const XsdtNode *, SettingRow *> m_rowOf;
    QList<QWidget *> m_deleteButtons;
    QLabel *m_summary;
    QVBoxLayout *m_list;
};

} // namespace pfw
