#pragma once

#include "ui/views/cardview.h"

#include "modules/leftovers.h"
#include "modules/moduleregistry.h"

#include <QHash>
#include <QSet>

#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace pfw {

class CollapsibleSection;
class PendingFiles;
class SettingRow;
class SettingsModel;
class SettingsSchema;
class XsdtFile;
struct XsdtNode;

// The Unused modules tab: data, and files on disk, left by modules that are no longer in
// PixInsight's module list, ticked and queued for deletion.
class UnusedModulesView final : public CardView
{
    Q_OBJECT

public:
    static constexpr int kRowsPerCard = 400;

    struct LeftoverRow
    {
        Leftover leftover;
        QCheckBox *tick = nullptr;
        QLabel *detail = nullptr;
    };
    struct Card
    {
        ModuleInfo info;
        QCheckBox *tick = nullptr;
        CollapsibleSection *section = nullptr;
        QWidget *row = nullptr;
        QList<Leftover> leftovers;
        QList<LeftoverRow> leftoverRows;
        bool built = false;
    };

    // pending: the queue of files to delete, which outlives the view's cards.
    UnusedModulesView(SettingsModel *model, PendingFiles *pending, const SettingsSchema *schema,
                      QWidget *parent = nullptr);
    ~UnusedModulesView() override;

    void setDocument(XsdtFile *file);
    void setFolders(const QString &installFolder, const QString &userFolder);
    void refresh();
    void buildCard(Card &card);
    void expandModule(const QString &name);
    void tickAll();
    void queueTicked();
    void undoQueued();

    const std::vector<std::unique_ptr<Card>> &cards() const { return m_cards; }
    QLabel *summaryLabel() const { return m_summary; }
    QPushButton *queueButton() const { return m_queue; }
    QPushButton *undoButton() const { return m_undo; }

signals:
    void message(const QString &text);
    void deleteRequested(pfw::XsdtNode *node);
    void restoreRequested(pfw::XsdtNode *node);
    // Export of entries this view shows: one from its menu, or a whole page.
    void exportRequested(const QList<pfw::XsdtNode *> &nodes, const QString &title);
    // Copy of entries into the other instances' files.
    void copyRequested(const QList<pfw::XsdtNode *> &nodes);
    void revealRequested(pfw::XsdtNode *node);

private:
    void showTree(XsdtFile *file) override { setDocument(file); }
    void rowsRefreshed(bool wholeTree) override;
    void viewOnlyChanged() override { updateTexts(); }
    void clearCards();
    void updateTexts();
    void showMenu(XsdtNode *node, const QPoint &globalPos);

    PendingFiles *m_pending;
    const SettingsSchema *m_schema;
    XsdtFile *m_file = nullptr;
    std::vector<std::unique_ptr<Card>> m_cards;

    QLabel *m_summary;
    QVBoxLayout *m_list;
    QPushButton *m_tickAll;
    QPushButton *m_undo;
    QPushButton *m_queue;
};

} // namespace pfw
