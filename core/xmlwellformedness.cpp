#include "core/xmlwellformedness.h"

#include <vector>

namespace pfw {

namespace {

bool isNameStart(char32_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u':';
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF)
        || (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D)
        || (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF)
        || (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(char32_t c)
{
    if (c < 0x80)
        return isNameStart(c) || c == u'-' || c == u'.' || (c >= u'0' && c <= u'9');
    return isNameStart(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

constexpr bool isSpace(uchar c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

class Scanner final
{
public:
    explicit Scanner(QByteArrayView bytes)
        : m_s(reinterpret_cast<const uchar *>(bytes.data()))
        , m_n(bytes.size())
    {
    }

    XmlWellFormedness::Report run()
    {
        if (m_n >= 3 && m_s[0] == 0xEF && m_s[1] == 0xBB && m_s[2] == 0xBF)
            m_p = 3;
        if (startsWith("<?xml") && m_p + 5 < m_n && isSpace(m_s[m_p + 5])) {
            if (!xmlDeclaration())
                return finish();
        }
        if (!misc(true))
            return finish();
        if (m_p >= m_n || m_s[m_p] != '<') {
            fail(XmlWellFormedness::tr("no root element"));
            return finish();
        }
        if (!element())
            return finish();
        if (!misc(false))
            return finish();
        if (m_p < m_n)
            fail(XmlWellFormedness::tr("content after the root element"));
        return finish();
    }

private:
    bool startsWith(const char *text) const
    {
        qsizetype i = 0;
        for (; text[i]; ++i) {
            if (m_p + i >= m_n || m_s[m_p + i] != uchar(text[i]))
                return false;
        }
        return true;
    }

    bool fail(const QString &what, qsizetype at = -1)
    {
        if (!m_report.structural) {
            m_report.structural = true;
            note(what, at < 0 ? m_p : at);
        }
        return false;
    }

    void note(const QString &what, qsizetype at)
    {
        if (m_faultAt >= 0 && m_faultAt <= at)
            return;
        m_faultAt = at;
        m_report.what = what;
    }

    void forbidden(char32_t c, qsizetype at)
    {
        ++m_report.forbidden[c];
        note(XmlWellFormedness::tr("the character %1, which XML does not allow")
                 .arg(XmlWellFormedness::codePointName(c)),
             at);
    }

    // The character at the cursor, advancing past it; false at the end or on invalid UTF-8.
    bool next(char32_t *out)
    {
        if (m_p >= m_n)
            return fail(XmlWellFormedness::tr("the document ends too early"));
        const uchar lead = m_s[m_p];
        if (lead < 0x80) {
            *out = lead;
            if (lead < 0x20 && !isSpace(lead))
                forbidden(lead, m_p);
            ++m_p;
            return true;
        }
        int length = 0;
        char32_t c = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
        } else {
            return fail(XmlWellFormedness::tr("bytes that are not valid UTF-8"));
        }
        if (m_p + length > m_n)
            return fail(XmlWellFormedness::tr("bytes that are not valid UTF-8"));
        for (int i = 1; i < length; ++i) {
            const uchar byte = m_s[m_p + i];
            if ((byte & 0xC0) != 0x80)
                return fail(XmlWellFormedness::tr("bytes that are not valid UTF-8"));
            c = (c << 6) | (byte & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF))
            || (c >= 0xD800 && c <= 0xDFFF))
            return fail(XmlWellFormedness::tr("bytes that are not valid UTF-8"));
        if (!XmlWellFormedness::isXmlChar(c))
            forbidden(c, m_p);
        m_p += length;
        *out = c;
        return true;
    }

    void skipSpace()
    {
        while (m_p < m_n && isSpace(m_s[m_p]))
            ++m_p;
    }

    bool requireSpace()
    {
        if (m_p >= m_n || !isSpace(m_s[m_p]))
            return fail(XmlWellFormedness::tr("a space is missing"));
        skipSpace();
        return true;
    }

    // A Name at the cursor; its bytes in name.
    bool name(QByteArrayView *name)
    {
        const qsizetype start = m_p;
        char32_t c = 0;
        // ASCII names, nearly all of them, without decoding.
        if (m_p < m_n && m_s[m_p] < 0x80) {
            if (!isNameStart(m_s[m_p]))
                return fail(XmlWellFormedness::tr("a name is expected"));
            ++m_p;
        } else {
            if (!next(&c))
                return false;
            if (!isNameStart(c))
                return fail(XmlWellFormedness::tr("a name is expected"), start);
        }
        while (m_p < m_n) {
            const uchar byte = m_s[m_p];
            if (byte < 0x80) {
                if (!isNameChar(byte))
                    break;
                ++m_p;
                continue;
            }
            const qsizetype at = m_p;
            if (!next(&c))
                return false;
            if (!isNameChar(c)) {
                m_p = at;
                break;
            }
        }
        if (name)
            *name = QByteArrayView(reinterpret_cast<const char *>(m_s) + start, m_p - start);
        return true;
    }

    // After "&": a character or entity reference, through its ";".
    bool reference()
    {
        const qsizetype at = m_p - 1;
        if (m_p < m_n && m_s[m_p] == '#') {
            ++m_p;
            const bool hex = m_p < m_n && m_s[m_p] == 'x';
            if (hex)
                ++m_p;
            char32_t value = 0;
            int digits = 0;
            while (m_p < m_n && m_s[m_p] != ';') {
                const uchar d = m_s[m_p];
                int digit = -1;
                if (d >= '0' && d <= '9')
                    digit = d - '0';
                else if (hex && d >= 'a' && d <= 'f')
                    digit = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F')
                    digit = d - 'A' + 10;
                if (digit < 0)
                    return fail(XmlWellFormedness::tr("a malformed character reference"), at);
                if (value <= 0x10FFFF)
                    value = value * (hex ? 16 : 10) + char32_t(digit);
                ++digits;
                ++m_p;
            }
            if (digits == 0 || m_p >= m_n)
                return fail(XmlWellFormedness::tr("a malformed character reference"), at);
            ++m_p;
            if (!XmlWellFormedness::isXmlChar(value))
                forbidden(value > 0x10FFFF ? 0x110000 : value, at);
            return true;
        }
        QByteArrayView entity;
        if (!name(&entity))
            return false;
        if (m_p >= m_n || m_s[m_p] != ';')
            return fail(XmlWellFormedness::tr("a malformed entity reference"), at);
        ++m_p;
        if (entity == "lt" || entity == "gt" || entity == "amp" || entity == "apos" || entity == "quot"
            || m_internalSubset)
            return true;
        return fail(XmlWellFormedness::tr("an undeclared entity &%1;").arg(QString::fromUtf8(entity)), at);
    }

    // Characters up to the closing text, which is taken too; false when it never comes.
    bool until(const char *close, const QString &unterminated, bool noDoubleDash = false)
    {
        const qsizetype start = m_p;
        while (m_p < m_n) {
            if (startsWith(close))
                break;
            if (noDoubleDash && startsWith("--"))
                return fail(XmlWellFormedness::tr("\"--\" inside a comment"));
            char32_t c = 0;
            if (!next(&c))
                return false;
        }
        if (m_p >= m_n)
            return fail(unterminated, start);
        m_p += qsizetype(qstrlen(close));
        return true;
    }

    bool comment()
    {
        m_p += 4;
        return until("-->", XmlWellFormedness::tr("an unterminated comment"), true);
    }

    bool processingInstruction()
    {
        const qsizetype at = m_p;
        m_p += 2;
        QByteArrayView target;
        if (!name(&target))
            return false;
        if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l')
            return fail(XmlWellFormedness::tr("an XML declaration that is not at the start"), at);
        if (startsWith("?>")) {
            m_p += 2;
            return true;
        }
        if (!requireSpace())
            return false;
        return until("?>", XmlWellFormedness::tr("an unterminated processing instruction"));
    }

    bool quoted(QByteArrayView *text)
    {
        if (m_p >= m_n || (m_s[m_p] != '"' && m_s[m_p] != '\''))
            return fail(XmlWellFormedness::tr("a quoted value is expected"));
        const uchar quote = m_s[m_p++];
        const qsizetype start = m_p;
        while (m_p < m_n && m_s[m_p] != quote) {
            char32_t c = 0;
            if (!next(&c))
                return false;
        }
        if (m_p >= m_n)
            return fail(XmlWellFormedness::tr("an unterminated quoted value"), start - 1);
        *text = QByteArrayView(reinterpret_cast<const char *>(m_s) + start, m_p - start);
        ++m_p;
        return true;
    }

    bool xmlDeclaration()
    {
        m_p += 5;
        bool first = true;
        for (;;) {
            const bool spaced = m_p < m_n && isSpace(m_s[m_p]);
            skipSpace();
            if (startsWith("?>")) {
                m_p += 2;
                return !first || fail(XmlWellFormedness::tr("an XML declaration without a version"));
            }
            if (!spaced)
                return fail(XmlWellFormedness::tr("a space is missing"));
            QByteArrayView key, value;
            if (!name(&key))
                return false;
            skipSpace();
            if (m_p >= m_n || m_s[m_p] != '=')
                return fail(XmlWellFormedness::tr("\"=\" is expected"));
            ++m_p;
            skipSpace();
            if (!quoted(&value))
                return false;
            if (first && key != "version")
                return fail(XmlWellFormedness::tr("an XML declaration without a version"));
            const auto all = [&value](qsizetype from, bool (*accepted)(char)) {
                for (qsizetype i = from; i < value.size(); ++i) {
                    if (!accepted(value[i]))
                        return false;
                }
                return true;
            };
            const auto digit = [](char c) { return c >= '0' && c <= '9'; };
            const auto encodingChar = [](char c) {
                return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
                    || c == '_' || c == '-';
            };
            if (key == "version" && !(value.size() >= 3 && value.startsWith("1.") && all(2, digit)))
                return fail(XmlWellFormedness::tr("an XML version other than 1.x"));
            if (key == "encoding"
                && (value.isEmpty() || !((value[0] | 0x20) >= 'a' && (value[0] | 0x20) <= 'z')
                    || !all(1, encodingChar)))
                return fail(XmlWellFormedness::tr("a malformed encoding name"));
            // The bytes are UTF-8: a reader that believes another encoding reads other characters.
            if (key == "encoding" && value.compare("UTF-8", Qt::CaseInsensitive) != 0
                && value.compare("UTF8", Qt::CaseInsensitive) != 0)
                return fail(XmlWellFormedness::tr("an encoding other than UTF-8 (%1)").arg(QString::fromLatin1(value)));
            if (key == "standalone" && value != "yes" && value != "no")
                return fail(XmlWellFormedness::tr("a standalone declaration other than yes or no"));
            if (!first && key != "encoding" && key != "standalone")
                return fail(XmlWellFormedness::tr("an unknown part of the XML declaration"));
            first = false;
        }
    }

    bool doctype()
    {
        if (m_sawDoctype)
            return fail(XmlWellFormedness::tr("a second document type declaration"));
        m_sawDoctype = true;
        m_p += 9;
        if (!requireSpace() || !name(nullptr))
            return false;
        // Its inner workings are not checked: PixInsight writes none. A declared entity is then
        // taken on trust.
        int brackets = 0;
        while (m_p < m_n) {
            const uchar c = m_s[m_p];
            if (c == '"' || c == '\'') {
                QByteArrayView ignored;
                if (!quoted(&ignored))
                    return false;
                continue;
            }
            if (c == '[') {
                ++brackets;
                m_internalSubset = true;
            } else if (c == ']') {
                --brackets;
            } else if (c == '>' && brackets <= 0) {
                ++m_p;
                return true;
            }
            char32_t ignored = 0;
            if (!next(&ignored))
                return false;
        }
        return fail(XmlWellFormedness::tr("an unterminated document type declaration"));
    }

    // Comments, processing instructions and space around the root element.
    bool misc(bool beforeRoot)
    {
        for (;;) {
            skipSpace();
            if (m_p >= m_n)
                return true;
            if (startsWith("<!--")) {
                if (!comment())
                    return false;
            } else if (startsWith("<?")) {
                if (!processingInstruction())
                    return false;
            } else if (beforeRoot && startsWith("<!DOCTYPE")) {
                if (!doctype())
                    return false;
            } else if (m_s[m_p] == '<' && beforeRoot) {
                return true;
            } else {
                return fail(beforeRoot ? XmlWellFormedness::tr("text before the root element")
                                       : XmlWellFormedness::tr("content after the root element"));
            }
        }
    }

    // A start tag at the cursor ("<" included); pushes its name unless it closes itself.
    bool startTag(bool *empty)
    {
        const qsizetype at = m_p;
        ++m_p;
        QByteArrayView tag;
        if (!name(&tag))
            return false;
        m_attributes.clear();
        for (;;) {
            const bool spaced = m_p < m_n && isSpace(m_s[m_p]);
            skipSpace();
            if (m_p >= m_n)
                return fail(XmlWellFormedness::tr("an unterminated tag"), at);
            if (m_s[m_p] == '>') {
                ++m_p;
                *empty = false;
                m_open.push_back(tag);
                return true;
            }
            if (startsWith("/>")) {
                m_p += 2;
                *empty = true;
                return true;
            }
            if (!spaced)
                return fail(XmlWellFormedness::tr("a space is missing between attributes"));
            const qsizetype attributeAt = m_p;
            QByteArrayView attribute;
            if (!name(&attribute))
                return false;
            for (const QByteArrayView &seen : m_attributes) {
                if (seen == attribute)
                    return fail(XmlWellFormedness::tr("an attribute given twice"), attributeAt);
            }
            m_attributes.push_back(attribute);
            skipSpace();
            if (m_p >= m_n || m_s[m_p] != '=')
                return fail(XmlWellFormedness::tr("\"=\" is expected"));
            ++m_p;
            skipSpace();
            if (!attributeValue())
                return false;
        }
    }

    bool attributeValue()
    {
        if (m_p >= m_n || (m_s[m_p] != '"' && m_s[m_p] != '\''))
            return fail(XmlWellFormedness::tr("a quoted value is expected"));
        const uchar quote = m_s[m_p++];
        const qsizetype start = m_p;
        for (;;) {
            // The plain run, most of any value, byte by byte.
            while (m_p < m_n) {
                const uchar c = m_s[m_p];
                if (c == quote || c == '<' || c == '&' || c < 0x20 || c >= 0x80)
                    break;
                ++m_p;
            }
            if (m_p >= m_n)
                return fail(XmlWellFormedness::tr("an unterminated quoted value"), start - 1);
            const uchar c = m_s[m_p];
            if (c == quote) {
                ++m_p;
                return true;
            }
            if (c == '<')
                return fail(XmlWellFormedness::tr("\"<\" inside an attribute value"));
            if (c == '&') {
                ++m_p;
                if (!reference())
                    return false;
                continue;
            }
            char32_t ignored = 0;
            if (!next(&ignored))
                return false;
        }
    }

    bool element()
    {
        bool empty = false;
        if (!startTag(&empty))
            return false;
        while (!m_open.empty()) {
            // Character data up to the next markup.
            while (m_p < m_n) {
                const uchar c = m_s[m_p];
                if (c == '<' || c == '&' || c == ']' || (c < 0x20 && !isSpace(c)) || c >= 0x80) {
                    if (c == ']' && !startsWith("]]>")) {
                        ++m_p;
                        continue;
                    }
                    break;
                }
                ++m_p;
            }
            if (m_p >= m_n)
                return fail(
                    XmlWellFormedness::tr("the element <%1> is not closed").arg(QString::fromUtf8(m_open.back())));
            const uchar c = m_s[m_p];
            if (c == ']')
                return fail(XmlWellFormedness::tr("\"]]>\" in text"));
            if (c == '&') {
                ++m_p;
                if (!reference())
                    return false;
                continue;
            }
            if (c != '<') {
                char32_t ignored = 0;
                if (!next(&ignored))
                    return false;
                continue;
            }
            if (startsWith("</")) {
                const qsizetype at = m_p;
                m_p += 2;
                QByteArrayView tag;
                if (!name(&tag))
                    return false;
                skipSpace();
                if (m_p >= m_n || m_s[m_p] != '>')
                    return fail(XmlWellFormedness::tr("an unterminated end tag"), at);
                ++m_p;
                if (tag != m_open.back())
                    return fail(XmlWellFormedness::tr("</%1> where </%2> is expected")
                                    .arg(QString::fromUtf8(tag), QString::fromUtf8(m_open.back())),
                                at);
                m_open.pop_back();
            } else if (startsWith("<!--")) {
                if (!comment())
                    return false;
            } else if (startsWith("<![CDATA[")) {
                m_p += 9;
                if (!until("]]>", XmlWellFormedness::tr("an unterminated CDATA section")))
                    return false;
            } else if (startsWith("<?")) {
                if (!processingInstruction())
                    return false;
            } else if (!startTag(&empty)) {
                return false;
            }
        }
        return true;
    }

    XmlWellFormedness::Report finish()
    {
        m_report.wellFormed = !m_report.structural && m_report.forbidden.isEmpty();
        if (m_faultAt >= 0) {
            int line = 1;
            qsizetype lineStart = 0;
            for (qsizetype i = 0; i < m_faultAt && i < m_n; ++i) {
                if (m_s[i] == '\n') {
                    ++line;
                    lineStart = i + 1;
                }
            }
            // Columns count characters, not bytes.
            int column = 1;
            for (qsizetype i = lineStart; i < m_faultAt && i < m_n; ++i) {
                if ((m_s[i] & 0xC0) != 0x80)
                    ++column;
            }
            m_report.line = line;
            m_report.column = column;
        }
        return m_report;
    }

    const uchar *m_s;
    qsizetype m_n;
    qsizetype m_p = 0;
    qsizetype m_faultAt = -1;
    bool m_sawDoctype = false;
    bool m_internalSubset = false;
    std::vector<QByteArrayView> m_open;
    std::vector<QByteArrayView> m_attributes;
    XmlWellFormedness::Report m_report;
};

} // namespace

XmlWellFormedness::Report XmlWellFormedness::check(QByteArrayView bytes)
{
    return Scanner(bytes).run();
}

std::optional<char32_t> XmlWellFormedness::firstForbidden(QStringView text)
{
    const char16_t *p = text.utf16();
    const char16_t *end = p + text.size();
    for (; p != end; ++p) {
        const char16_t c = *p;
        if (c >= 0x20 && c < 0xD800)
            continue;
        if (QChar::isHighSurrogate(c) && p + 1 != end && QChar::isLowSurrogate(p[1])) {
            ++p;
            continue;
        }
        if (!isXmlChar(c))
            return c;
    }
    return std::nullopt;
}

QString XmlWellFormedness::codePointName(char32_t c)
{
    return QLatin1String("U+") + QString::number(uint(c), 16).toUpper().rightJustified(4, u'0');
}

QString XmlWellFormedness::refusal(char32_t c)
{
    const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
    return control
        ? tr("The text contains a control character (%1) that a settings file cannot hold.").arg(codePointName(c))
        : tr("The text contains a character (%1) that a settings file cannot hold.").arg(codePointName(c));
}

bool XmlWellFormedness::keepsWellFormed(QByteArrayView after, const QByteArrayView *before, QString *error)
{
    const Report written = check(after);
    if (written.wellFormed)
        return true;
    const Report old = before ? check(*before) : Report();
    bool worse = written.structural && !old.structural;
    for (auto it = written.forbidden.cbegin(); !worse && it != written.forbidden.cend(); ++it)
        worse = it.value() > old.forbidden.value(it.key());
    if (!worse)
        return true;
    if (error)
        *error = tr("The new file would not be well-formed XML (%1 at line %2, column %3), and a strict reader, "
                    "possibly PixInsight's, would refuse it. Nothing was written.")
                     .arg(written.what)
                     .arg(written.line)
                     .arg(written.column);
    return false;
}

} // namespace pfw
