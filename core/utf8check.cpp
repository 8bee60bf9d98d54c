#include "core/utf8check.h"

#include <cstring>

namespace pfw {

qsizetype firstInvalidUtf8Offset(QByteArrayView bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        // Settings files are nearly all ASCII: skip it eight bytes at a time.
        while (i + 8 <= n) {
            quint64 word;
            std::memcpy(&word, s + i, 8);
            if (word & 0x8080808080808080ULL)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0)
                low = 0xA0; // overlong
            else if (c == 0xED)
                high = 0x9F; // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0)
                low = 0x90; // overlong
            else if (c == 0xF4)
                high = 0x8F; // above U+10FFFF
        } else {
            return i;
        }
        if (i + length > n)
            return i;
        if (s[i + 1] < low || s[i + 1] > high)
            return i;
        for (int k = 2; k < length; ++k) {
            if (s[i + k] < 0x80 || s[i + k] > 0xBF)
                return i;
        }
        i += length;
    }
    return -1;
}

} // namespace pfw
