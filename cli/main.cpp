#include "cli/settingscli.h"
#include "core/translations.h"
#include "platform/interrupthold.h"
#include "platform/rawarguments.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // roundtrip writes the file's exact bytes; text mode would turn every \n into \r\n.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    pfw::reportFileSizeLimitsAsErrors();
    QCoreApplication app(argc, argv);
    pfw::Translations::install();
    QCoreApplication::setApplicationName(QStringLiteral("prefwright-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PFW_VERSION));
    QFile out, err;
    if (!out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)
        || !err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return pfw::SettingsCli::BadFile;
    pfw::SettingsCli cli(&out, &err);
    pfw::RawArgument unusable;
    if (pfw::firstUnencodableArgument(argc, argv, &unusable) > 0)
        return cli.refuseArgument(unusable.shown(), QCoreApplication::arguments().mid(1));
    return cli.run(QCoreApplication::arguments().mid(1));
}
