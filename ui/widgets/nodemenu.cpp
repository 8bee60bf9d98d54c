#include "ui/widgets/nodemenu.h"

#include "core/xsdtnode.h"
#include "session/busyscope.h"
#include "model/settingsmodel.h"
#include "modules/defaultsreset.h"
#include "schema/settinglabel.h"

#include <QCoreApplication>
#include <QMenu>
#include <QMessageBox>

namespace pfw {

namespace {
struct NodeMenu
{
    Q_DECLARE_TR_FUNCTIONS(NodeMenu)
};
} // namespace

QMenu *buildNodeMenu(QWidget *parent, SettingsModel *model, XsdtNode *node, bool viewOnly,
                     const NodeMenuCallbacks &callbacks)
{
    auto *menu = new QMenu(parent);
    menu->setToolTipsVisible(true);
    if (!node || !model)
        return menu;
    const auto call = [node](const std::function<void(XsdtNode *)> &callback) {
        return [node, callback] {
            if (callback)
                callback(node);
        };
    };
    const bool isValue = node->kind == XsdtNode::Value;
    if (isValue) {
        QAction *revert = menu->addAction(NodeMenu::tr("Revert this value"));
        revert->setEnabled(node->isEdited() && !viewOnly && !node->isInsideDeleted());
        QObject::connect(revert, &QAction::triggered, menu, [model, node] { model->revertValue(node); });
        if (callbacks.showHistory) {
            QAction *history = menu->addAction(NodeMenu::tr("Show &history..."));
            QObject::connect(history, &QAction::triggered, menu, call(callbacks.showHistory));
        }
        menu->addSeparator();
    }
    const QString word = isValue ? NodeMenu::tr("setting") : NodeMenu::tr("group");
    if (node->deleted) {
        QAction *undo = menu->addAction(NodeMenu::tr("Undo deletion"));
        QObject::connect(undo, &QAction::triggered, menu, call(callbacks.undoDeletion));
    } else if (node->isInsideDeleted()) {
        menu->addAction(NodeMenu::tr("Inside a group marked for deletion"))->setEnabled(false);
    } else {
        const DeletionVerdict verdict = model->verdict(node);
        if (verdict.level == DeletionLevel::Never) {
            QAction *why = menu->addAction(NodeMenu::tr("Why can't this be deleted?"));
            const QString text = QStringLiteral("%1\n\n%2").arg(node->path(), verdict.reason);
            QObject::connect(why, &QAction::triggered, menu,
                             [parent, text] { QMessageBox::information(parent, NodeMenu::tr("Cannot delete"), text); });
        } else {
            const QString label = verdict.level == DeletionLevel::Warn ? NodeMenu::tr("Delete this %1...").arg(word)
                                                                       : NodeMenu::tr("Delete this %1").arg(word);
            QAction *remove = menu->addAction(label);
            remove->setToolTip(verdict.reason);
            remove->setEnabled(!viewOnly);
            QObject::connect(remove, &QAction::triggered, menu, call(callbacks.deleteNode));
        }
    }
    // A preference, a section or a page: PixInsight writes its default for what is missing.
    const DefaultsReset resetter(model->rules().schema(), model->policy(), model->file());
    if (!node->isInsideDeleted() && resetter.isOnAPage(*node)) {
        const QList<XsdtNode *> values = resetter.values(*node);
        QAction *reset = menu->addAction(NodeMenu::tr("Reset to PixInsight's default"));
        reset->setToolTip(values.isEmpty()
                              ? NodeMenu::tr("Nothing here can be reset: locked, protected and read-only values stay.")
                              : NodeMenu::tr("Removed at the save; PixInsight writes its default for %n values the "
                                             "next time it starts.",
                                             nullptr, int(values.size())));
        reset->setEnabled(!viewOnly && !values.isEmpty());
        const QString group = isValue ? QString() : SettingLabel::text(model->rules().schema(), *node);
        QObject::connect(reset, &QAction::triggered, menu,
                         [model, values, group] { model->requestReset(values, group); });
    }
    if (callbacks.exportNode && !node->isInsideDeleted()) {
        menu->addSeparator();
        QAction *exported = menu->addAction(NodeMenu::tr("E&xport..."));
        exported->setToolTip(NodeMenu::tr("Write this %1 to a small settings file that Import settings brings into "
                                          "another file")
                                 .arg(word));
        QObject::connect(exported, &QAction::triggered, menu, call(callbacks.exportNode));
    }
    if (callbacks.copyToInstances && !node->isInsideDeleted()) {
        QAction *copied = menu->addAction(NodeMenu::tr("Copy to other &instances..."));
        copied->setToolTip(NodeMenu::tr("Write this %1 into the settings files of PixInsight's other instances, "
                                        "each after a review and with its own backup")
                               .arg(word));
        copied->setEnabled(!viewOnly);
        QObject::connect(copied, &QAction::triggered, menu, call(callbacks.copyToInstances));
    }
    if (callbacks.reveal) {
        menu->addSeparator();
        QAction *reveal = menu->addAction(NodeMenu::tr("Show in All settings"));
        QObject::connect(reveal, &QAction::triggered, menu, call(callbacks.reveal));
    }
    return menu;
}

void showNodeMenu(QWidget *parent, SettingsModel *model, XsdtNode *node, const QPoint &globalPos, bool viewOnly,
                  const NodeMenuCallbacks &callbacks)
{
    const BusyScope busy;
    QMenu *menu = buildNodeMenu(parent, model, node, viewOnly, callbacks);
    menu->exec(globalPos);
    menu->deleteLater();
}

} // namespace pfw
