#include "core/terminaltext.h"

#include <QRegularExpression>

#include <algorithm>

namespace pfw {

namespace {

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0);
}

QString hexEscape(QChar c)
{
    return QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
}

} // namespace

QString TerminalText::printable(const QString &text, bool keepLineBreaks)
{
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    QString shown;
    shown.reserve(text.size() + 8);
    for (const QChar c : text)
        shown += isControl(c) && !(keepLineBreaks && c == u'\n') ? hexEscape(c) : QString(c);
    return shown;
}

QString TerminalText::shellWord(const QString &text, PlatformFlavour flavour)
{
    if (flavour == PlatformFlavour::Windows) {
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:\\\\@+=,-]+$"));
        return plain.match(text).hasMatch() ? text : u'"' + printable(text) + u'"';
    }
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+=,-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    if (std::none_of(text.cbegin(), text.cend(), isControl)) {
        QString quoted = text;
        quoted.replace(u'\'', QLatin1String("'\\''"));
        return u'\'' + quoted + u'\'';
    }
    // Bash's $'...' spells out control characters.
    QString quoted = QStringLiteral("$'");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'\'') {
            quoted += u'\\' + QString(c);
        } else if (!isControl(c)) {
            quoted += c;
        } else {
            // \xHH is one byte: a control character beyond ASCII is spelled as its UTF-8 bytes.
            for (const char byte : QString(c).toUtf8())
                quoted += hexEscape(QChar(char16_t(uchar(byte))));
        }
    }
    return quoted + u'\'';
}

} // namespace pfw
