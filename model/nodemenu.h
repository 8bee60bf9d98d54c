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
};

// The one context menu for a node, whichever view shows it. The caller owns the menu.
QMenu *buildNodeMenu(QWidget *parent, SettingsModel *model, XsdtNode *node, bool viewOnly,
                     const NodeMenuCallbacks &callbacks);
void showNodeMenu(QWidget *parent, SettingsModel *model, XsdtNode *node, const QPoint &globalPos, bool viewOnly,
                  const NodeMenuCallbacks &callbacks);

} // namespace pfw
