#include "core/translations.h"

#include <QCoreApplication>
#include <QTranslator>

namespace pfw {

bool Translations::install()
{
    auto *app = QCoreApplication::instance();
    if (!app)
        return false;
    if (app->findChild<QTranslator *>(QStringLiteral("pfwEnglish"), Qt::FindDirectChildrenOnly))
        return true;
    auto *translator = new QTranslator(app);
    translator->setObjectName(QStringLiteral("pfwEnglish"));
    if (!translator->load(QStringLiteral(":/translations/prefwright_en.qm"))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace pfw
