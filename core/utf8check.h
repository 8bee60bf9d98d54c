#pragma once

#include <QByteArrayView>

namespace pfw {

// Offset of the first byte that does not start a well-formed UTF-8 sequence (RFC 3629: no
// overlong forms, no surrogates, nothing above U+10FFFF), or -1 when all bytes are valid.
qsizetype firstInvalidUtf8Offset(QByteArrayView bytes);

} // namespace pfw
