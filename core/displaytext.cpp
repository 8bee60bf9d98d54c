#include "core/displaytext.h"

#include "core/xsdtnode.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

namespace pfw {

QString DisplayText::value(QChar type, const QString &text, qsizetype length, bool describesBlock)
{
    if (type == u'B' && !describesBlock)
        return tr("(%1 characters of encoded data)").arg(text.size());
    return oneLine(text, length);
}

QString DisplayText::value(const XsdtNode &node, qsizetype length)
{
    return value(node.type, node.value, length, node.block != nullptr);
}

QString DisplayText::savedValue(const XsdtNode &node, qsizetype length)
{
    return value(node.type, node.savedValue, length, node.block != nullptr);
}

QString DisplayText::oneLine(QString text, qsizetype length)
{
    // Every way of breaking a line shows as one mark, and a tab as its own: a list's cell would
    // hide what follows them, or show a gap.
    text.replace(QLatin1String("\r\n"), QString(QChar(0x23CE)));
    for (const char16_t lineBreak : {u'\n', u'\r', u'\u0085', u'\u2028', u'\u2029'})
        text.replace(QChar(lineBreak), QChar(0x23CE));
    text.replace(u'\t', QChar(0x21E5));
    if (text.size() > length) {
        text.truncate(length);
        text += QChar(0x2026);
    }
    return text;
}

QString DisplayText::size(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat);
}

QString DisplayText::dateTime(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString DisplayText::backup(const QString &path)
{
    const QFileInfo info(path);
    return QStringLiteral("%1   (%2, %3)").arg(info.fileName(), dateTime(info.lastModified()), size(info.size()));
}

} // namespace pfw
