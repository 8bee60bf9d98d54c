#pragma once

#include "ui/views/cardview.h"

#include "modules/healthchecks.h"

#include <QHash>

class QLabel;
class QVBoxLayout;

namespace pfw {

class SettingRow;
class SettingsModel;
class SettingsSchema;
class XsdtFile;
struct XsdtNode;

// The Health check tab: findings as cards, the settings concerned as editable rows.
class HealthView final : public CardView
{
    Q_OBJECT

public:
    static constexpr int kNodesPerCard = 12;

    HealthView(SettingsModel *model, const SettingsSchema *schema, QWidget *parent = nullptr);

    void setFile(XsdtFile *file);
    void setEnvironment(const HealthEnv &env) { m_env = env; }
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
    // Export of entries this view shows: one from its menu, or a whole page.
    void exportRequested(const QList<pfw::XsdtNode *> &nodes, const QString &title);
    // Copy of entries into the other instances' files.
    void copyRequested(const QList<pfw::XsdtNode *> &nodes);
    void revealRequested(pfw::XsdtNode *node);
    void openUnusedModules();
    void summaryChanged(int problems, int warnings);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showTree(XsdtFile *file) override { setFile(file); }
    void viewOnlyChanged() override;
    void clearCards();
    void markStale();

    const SettingsSchema *m_schema;
    XsdtFile *m_file = nullptr;
    HealthEnv m_env;
    bool m_ran = false;
    bool m_stale = false;
    QList<Finding> m_findings;
    QList<QWidget *> m_cards;
    QList<QWidget *> m_deleteButtons;
    QLabel *m_summary;
    QVBoxLayout *m_list;
};

} // namespace pfw
