#pragma once

#include <QPoint>

#include <functional>

class QMenu;
class QWidget;

namespace pfw {

class SettingsModel;
struct XsdtNode;

struct NodeMenuCallbacks
{
    std::function<void(XsdtNode *)> deleteNode;
    std::function<void(XsdtNode *)> undoDeletion;
    std::function<void(XsdtNode *)> reveal;
    std::function<void(XsdtNode *)> showHistory;
    std::function<void(XsdtNode *)> exportNode;
    std::function<void(XsdtNode *)> copyToInstances;
};

// Callbacks that hand the menu's requests on as a view's deleteRequested, restoreRequested and
// revealRequested signals.
template<typename View>
NodeMenuCallbacks forwardingCallbacks(View *view)
{
    NodeMenuCallbacks callbacks;
    callbacks.deleteNode = [view](XsdtNode *n) { emit view->deleteRequested(n); };
    callbacks.undoDeletion = [view](XsdtNode *n) { emit view->restoreRequested(n); };
    callbacks.reveal = [view](XsdtNode *n) { emit view->revealRequested(n); };
    callbacks.exportNode = [view](XsdtNode *n) { emit view->exportRequested({n}, QString()); };
    callbacks.copyToInstances = [view](XsdtNode *n) { emit view->copyRequested({n}); };
    return callbacks;
}

// The one context menu for a node, whichever view shows it. The caller owns the menu.
QMenu *buildNodeMenu(QWidget *parent, SettingsModel *model, XsdtNode *node, bool viewOnly,
                     const NodeMenuCallbacks &callbacks);
void showNodeMenu(QWidget *parent, SettingsModel *model, XsdtNode *node, const QPoint &globalPos, bool viewOnly,
                  const NodeMenuCallbacks &callbacks);

} // namespace pfw
