#include "modules/standardprocesses.h"

#include <QFile>

namespace pfw {

const QSet<QString> &StandardProcesses::ids()
{
    static const QSet<QString> known = [] {
        QSet<QString> names;
        QFile list(QStringLiteral(":/modules/standardprocesses.txt"));
        if (!list.open(QIODevice::ReadOnly | QIODevice::Text))
            return names;
        for (const QByteArray &line : list.readAll().split('\n')) {
            const QString name = QString::fromUtf8(line).section(u'#', 0, 0).trimmed();
            if (!name.isEmpty())
                names.insert(name);
        }
        return names;
    }();
    return known;
}

} // namespace pfw
