#include "core/textmatch.h"

#include <QString>

#include <iterator>

namespace pfw {

namespace {

char16_t asciiLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}

bool isAscii(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

bool containsIgnoringCase(QStringView text, QStringView needle)
{
    const qsizetype n = needle.size();
    if (n == 0)
        return true;
    // Some letters outside ASCII fold onto ASCII ones (the Kelvin sign onto "k"): those texts
    // are Qt's to judge.
    const auto byQt = [&] { return text.contains(needle, Qt::CaseInsensitive); };
    if (!isAscii(needle))
        return byQt();
    const char16_t *h = text.utf16();
    char16_t lowered[64];
    if (n > qsizetype(std::size(lowered)))
        return byQt();
    for (qsizetype j = 0; j < n; ++j)
        lowered[j] = asciiLower(needle.utf16()[j]);
    const qsizetype size = text.size();
    for (qsizetype i = 0; i + n <= size; ++i) {
        const char16_t c = h[i];
        if (c >= 0x80)
            return byQt();
        if (asciiLower(c) != lowered[0])
            continue;
        qsizetype j = 1;
        for (; j < n; ++j) {
            const char16_t d = h[i + j];
            if (d >= 0x80)
                return byQt();
            if (asciiLower(d) != lowered[j])
                break;
        }
        if (j == n)
            return true;
    }
    return false;
}

} // namespace pfw
