#pragma once

#include "schema/variablespec.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QStringList>

namespace pfw {

class XsdtFile;
struct XsdtNode;

struct PageSpec
{
    QString title;
    QStringList paths;
};

// PixInsight's global settings described for the editor: PixInsight's own documentation
// (globals.json) with hand-made refinements merged over it (overlay.json).
class SettingsSchema final
{
public:
    // Replaces the whole schema. On failure the schema is empty and error says why.
    [[nodiscard]] bool load(const QByteArray &globalsBytes, const QByteArray &overlayBytes, QString *error);
    // Loads the two documents built into the program.
    [[nodiscard]] bool loadBuiltIn(QString *error);

    VariableSpec spec(const XsdtNode &node) const;
    bool isHidden(const XsdtNode &node) const;
    QList<PageSpec> pages(const XsdtFile &file) const;

    static QString variableId(const XsdtNode &node);
    static QString humanizeKey(const QString &key);
    // Why a number is outside the setting's documented range, or empty when it is not.
    static QString rangeProblem(const VariableSpec &spec, double number);
    // A description without PixInsight's cross-references ("See the ... namespace.").
    static QString cleanDescription(const QString &description);

private:
    struct Documented
    {
        QString description;
        bool readOnly = false;
    };

    void clear();

    QHash<QString, Documented> m_documented;
    QHash<QString, QJsonObject> m_refinements;
    QList<PageSpec> m_pages;
    QSet<QString> m_hidden;
};

} // namespace pfw
