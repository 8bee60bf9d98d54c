#pragma once

#include "core/xsdtnode.h"

#include <QByteArray>
#include <QString>

namespace pfw {

// One parsed settings file. The text around the root element is kept as read so that an
// unchanged file written by PixInsight is reproduced byte for byte.
class XsdtFile final
{
public:
    QString head;
    QString tail;
    XsdtNode root;
    bool compactLayout = false;
    // The reader replaces invalid UTF-8 with U+FFFD; saving would then change those bytes.
    bool validUtf8 = true;
    int invalidUtf8Line = 0;
    int invalidUtf8Column = 0;
    // The size of the bytes it was parsed from: about what writing it back takes.
    qsizetype parsedSize = 0;

    XsdtFile() = default;
    XsdtFile(const XsdtFile &) = delete;
    XsdtFile &operator=(const XsdtFile &) = delete;

    // Replaces the content with the parsed bytes. On failure the root has no children and
    // error (when given) holds the message with its position.
    [[nodiscard]] bool parse(const QByteArray &bytes, QString *error = nullptr);

    // The whole document in the compact layout, without nodes queued for deletion.
    QByteArray serialize() const;

    void clear();
};

} // namespace pfw
