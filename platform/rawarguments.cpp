#include "platform/rawarguments.h"

#include <QFile>

namespace pfw {

bool RawArgument::roundTrips() const
{
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

QString RawArgument::shown() const
{
    QString text;
    for (const char c : bytes) {
        const uchar byte = uchar(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return text;
}

int firstUnencodableArgument(int argc, char *argv[], RawArgument *found)
{
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    Q_UNUSED(found);
    return -1;
#else
    for (int i = 1; i < argc; ++i) {
        RawArgument argument{QByteArray(argv[i])};
        if (!argument.roundTrips()) {
            if (found)
                *found = argument;
            return i;
        }
    }
    return -1;
#endif
}

} // namespace pfw
