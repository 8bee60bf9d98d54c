#pragma once

#include <QByteArrayView>
#include <QCoreApplication>
#include <QHash>
#include <QString>
#include <QStringView>

#include <optional>

namespace pfw {

// What a conforming XML 1.0 reader (expat, libxml2, and possibly PixInsight's) would refuse in a
// document. Prefwright's own reader is lenient so that any file PixInsight wrote can be opened;
// this says whether a file is one a strict reader accepts, so no writer of ours makes one it
// would not.
class XmlWellFormedness final
{
    Q_DECLARE_TR_FUNCTIONS(XmlWellFormedness)

public:
    struct Report
    {
        // Nothing wrong at all.
        bool wellFormed = true;
        // Something other than a character XML cannot carry: broken markup, invalid UTF-8.
        bool structural = false;
        // The first fault, where it is (1-based) and what it is, as a phrase.
        int line = 0;
        int column = 0;
        QString what;
        // Characters XML cannot carry, raw or as character references, and how often each occurs.
        QHash<char32_t, int> forbidden;
    };

    static Report check(QByteArrayView bytes);

    // Whether XML 1.0 can carry the character at all (not even as a reference).
    static bool isXmlChar(char32_t c)
    {
        return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
            || (c >= 0x10000 && c <= 0x10FFFF);
    }
    // The first character of the text XML cannot carry (a lone surrogate counts).
    static std::optional<char32_t> firstForbidden(QStringView text);
    // "The text contains a control character (U+001B) that a settings file cannot hold."
    static QString refusal(char32_t c);
    // "U+001B"
    static QString codePointName(char32_t c);

    // Whether writing "after" in place of "before" (null: nothing) adds a fault a strict reader
    // would refuse: a file that already had faults may keep them, never gain new ones.
    // False with a sentence saying where when it does.
    [[nodiscard]] static bool keepsWellFormed(QByteArrayView after, const QByteArrayView *before, QString *error);
};

} // namespace pfw
