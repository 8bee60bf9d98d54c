#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

class QWidget;

namespace pfw {

class XsdtFile;
struct XsdtNode;

// File > Find module data: asks for a module name, then gathers what the file records about
// it in the places module names usually go, or hands over to a full search.
class ModuleFinder final
{
    Q_DECLARE_TR_FUNCTIONS(ModuleFinder)

public:
    struct Result
    {
        enum Kind { Nothing, FullSearch, Found };
        Kind kind = Nothing;
        QString name;
        QList<XsdtNode *> nodes;
        QString heading;
    };

    // The dialog and, when nothing is recorded, the question whether to search everywhere.
    static Result ask(const XsdtFile &file, QWidget *dialogParent);
    // The module's values and the heading above them; no nodes when nothing is recorded.
    static Result lookup(const XsdtFile &file, const QString &name);
    // The names offered for completion: registered modules and module data, sorted.
    static QStringList knownNames(const XsdtFile &file);
};

} // namespace pfw
