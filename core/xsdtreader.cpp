#include "core/xsdtreader.h"

#include "core/utf8check.h"
#include "core/xsdtfile.h"
#include "core/xsdtwriter.h"

#include <QStringDecoder>
#include <QStringList>

#include <limits>

namespace pfw {

namespace {

// The whitespace of the block pattern's \s (ASCII only, as in PCRE without Unicode properties).
bool isBlockSpace(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

struct Base64Table
{
    bool allowed[128] = {};
    constexpr Base64Table()
    {
        for (char c = 'A'; c <= 'Z'; ++c)
            allowed[int(c)] = true;
        for (char c = 'a'; c <= 'z'; ++c)
            allowed[int(c)] = true;
        for (char c = '0'; c <= '9'; ++c)
            allowed[int(c)] = true;
        for (char c : {'+', '/', '=', ' ', '\t', '\n', '\v', '\f', '\r'})
            allowed[int(c)] = true;
    }
};
constexpr Base64Table kBase64;

bool isBase64OrSpace(char16_t c)
{
    return c < 128 && kBase64.allowed[c];
}

quint64 saturatingAdd(quint64 a, quint64 b)
{
    return a > std::numeric_limits<quint64>::max() - b ? std::numeric_limits<quint64>::max() : a + b;
}

// Matches the content of a compressed value against
//   ^(?:\s*<s\s+u="\d+"\s*>[A-Za-z0-9+/=\s]*</s>)+\s*$
// by hand: linear, and no backtracking limits on multi-megabyte blocks. The content ends at the
// first "</v>"; since the pattern admits no "</v>", the match may run from the start of the
// content and succeed only where it meets one. Returns the content's length, or -1. Sums the
// u sizes; a number too large for 64 bits counts 0.
qsizetype matchBlocks(QStringView text, quint64 *uncompressedSize)
{
    const char16_t *begin = text.utf16();
    const char16_t *p = begin;
    const char16_t *end = p + text.size();
    const auto skip = [&p, end] {
        while (p != end && isBlockSpace(*p))
            ++p;
    };
    const auto expect = [&p, end](QStringView literal) {
        if (end - p < literal.size() || QStringView(p, literal.size()) != literal)
            return false;
        p += literal.size();
        return true;
    };
    quint64 total = 0;
    int blocks = 0;
    for (;;) {
        skip();
        if (blocks > 0 && end - p >= 4 && QStringView(p, 4) == u"</v>")
            break;
        if (!expect(u"<s") || p == end || !isBlockSpace(*p))
            return -1;
        skip();
        if (!expect(u"u=\""))
            return -1;
        const char16_t *digits = p;
        quint64 number = 0;
        bool fits = true;
        for (; p != end && *p >= u'0' && *p <= u'9'; ++p) {
            const quint64 digit = quint64(*p - u'0');
            if (number > (std::numeric_limits<quint64>::max() - digit) / 10)
                fits = false;
            else
                number = number * 10 + digit;
        }
        if (p == digits || !expect(u"\""))
            return -1;
        skip();
        if (!expect(u">"))
            return -1;
        while (p != end && isBase64OrSpace(*p))
            ++p;
        if (!expect(u"</s>"))
            return -1;
        total = saturatingAdd(total, fits ? number : 0);
        ++blocks;
    }
    *uncompressedSize = total;
    return p - begin;
}

bool parseCodePoint(QStringView digits, int base, char32_t *codePoint)
{
    if (digits.isEmpty())
        return false;
    quint64 number = 0;
    for (const QChar ch : digits) {
        const char16_t c = ch.unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            return false;
        number = number * quint64(base) + quint64(digit);
        if (number > std::numeric_limits<quint32>::max())
            return false;
    }
    *codePoint = char32_t(number);
    return true;
}

} // namespace

bool decodeEntities(QStringView raw, QString *decoded, QString *error)
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    qsizetype amp = raw.indexOf(u'&');
    if (amp < 0) {
        if (decoded)
            *decoded = raw.toString();
        return true;
    }
    QString out;
    out.reserve(raw.size());
    qsizetype copied = 0;
    while (amp >= 0) {
        out.append(raw.mid(copied, amp - copied));
        // An entity name has at most 11 characters, so the ';' lies within 12 of the '&'.
        const qsizetype limit = qMin(raw.size(), amp + 13);
        qsizetype semicolon = -1;
        for (qsizetype i = amp + 1; i < limit; ++i) {
            if (raw[i] == u';') {
                semicolon = i;
                break;
            }
        }
        if (semicolon < 0)
            return fail(XsdtReader::tr("malformed entity reference"));
        const QStringView name = raw.mid(amp + 1, semicolon - amp - 1);
        if (name == u"amp") {
            out.append(u'&');
        } else if (name == u"lt") {
            out.append(u'<');
        } else if (name == u"gt") {
            out.append(u'>');
        } else if (name == u"quot") {
            out.append(u'"');
        } else if (name == u"apos") {
            out.append(u'\'');
        } else if (name.startsWith(u'#')) {
            const bool hex = name.startsWith(u"#x");
            char32_t codePoint = 0;
            // Surrogates are refused: a lone one cannot be written back as UTF-8.
            if (!parseCodePoint(name.mid(hex ? 2 : 1), hex ? 16 : 10, &codePoint) || codePoint == 0
                || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
                return fail(XsdtReader::tr("invalid character reference"));
            const char32_t buffer[1] = {codePoint};
            out.append(QString::fromUcs4(buffer, 1));
        } else {
            return fail(XsdtReader::tr("unknown entity &%1;").arg(name));
        }
        copied = semicolon + 1;
        amp = raw.indexOf(u'&', copied);
    }
    out.append(raw.mid(copied));
    if (decoded)
        *decoded = out;
    return true;
}

const QString &XsdtReader::StringPool::intern(QStringView text)
{
    if ((m_count + 1) * 2 > m_slots.size())
        grow();
    const size_t mask = m_slots.size() - 1;
    for (size_t i = qHash(text) & mask;; i = (i + 1) & mask) {
        if (!m_used[i]) {
            m_used[i] = true;
            ++m_count;
            m_slots[i] = text.toString();
            return m_slots[i];
        }
        if (m_slots[i] == text)
            return m_slots[i];
    }
}

void XsdtReader::StringPool::grow()
{
    std::vector<QString> old = std::move(m_slots);
    std::vector<bool> oldUsed = std::move(m_used);
    const size_t size = old.empty() ? 1024 : old.size() * 2;
    m_slots.assign(size, QString());
    m_used.assign(size, false);
    const size_t mask = size - 1;
    for (size_t j = 0; j < old.size(); ++j) {
        if (!oldUsed[j])
            continue;
        size_t i = qHash(old[j]) & mask;
        while (m_used[i])
            i = (i + 1) & mask;
        m_used[i] = true;
        m_slots[i] = std::move(old[j]);
    }
}

bool XsdtReader::read(const QByteArray &bytes, XsdtFile &file, QString *error)
{
    file.clear();
    m_error.clear();
    m_keyStack.clear();
    m_currentKey.clear();

    // Keep a leading byte-order mark in the text so that head reproduces it.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    m_text = decoder.decode(bytes);
    const qsizetype invalidAt = firstInvalidUtf8Offset(bytes);
    if (invalidAt >= 0) {
        QStringDecoder prefixDecoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        const QString prefix = prefixDecoder.decode(QByteArrayView(bytes).first(invalidAt));
        const qsizetype lineStart = prefix.lastIndexOf(u'\n') + 1;
        file.validUtf8 = false;
        file.invalidUtf8Line = int(prefix.count(u'\n') + 1);
        file.invalidUtf8Column = int(prefix.size() - lineStart + 1);
    }
    m_s = reinterpret_cast<const char16_t *>(m_text.utf16());
    m_n = m_text.size();

    const auto finish = [&](bool ok) {
        if (!ok) {
            file.root.clearChildren();
            file.compactLayout = false;
            if (error)
                *error = m_error;
        }
        m_text.clear();
        m_s = nullptr;
        m_n = 0;
        return ok;
    };
    const auto failPlain = [&](const QString &message) {
        m_error = message;
        return finish(false);
    };

    const qsizetype start = m_text.indexOf(u"<xsdt");
    if (start < 0)
        return failPlain(tr("Not a PixInsight settings file (no <xsdt> element)."));
    const qsizetype close = m_text.indexOf(u'>', start);
    if (close < 0 || m_s[close - 1] == u'/')
        return failPlain(tr("The <xsdt> element is empty or malformed."));
    file.head = m_text.left(close + 1);
    m_pos = close + 1;

    if (!readContent(file.root, 0))
        return finish(false);
    Tag tag;
    if (!readTag(tag))
        return finish(false);
    if (!tag.closing || tag.name != u"xsdt") {
        fail(tr("expected </xsdt>"));
        return finish(false);
    }
    file.tail = m_text.mid(m_pos);
    if (!QStringView(file.tail).trimmed().isEmpty())
        return failPlain(tr("Unexpected content after </xsdt>."));

    const qsizetype contentLength = m_n - file.head.size() - file.tail.size();
    file.compactLayout = file.validUtf8
        && contentWritesAs(file.root, QStringView(m_text).mid(file.head.size(), contentLength));
    file.parsedSize = bytes.size();
    return finish(true);
}

bool XsdtReader::readContent(XsdtNode &parent, int depth)
{
    Tag tag;
    for (;;) {
        skipSpace();
        if (m_pos >= m_n)
            return fail(tr("unexpected end of file"));
        if (startsWithAt(m_pos, u"</"))
            return true;
        m_currentKey.clear();
        if (!readTag(tag))
            return false;
        if (tag.name == u"i") {
            if (!tag.hasK || tag.hasT || tag.hasV || tag.hasC)
                return fail(tr("malformed <i> element"));
            if (depth >= kMaxDepth)
                return fail(tr("items nested more than %1 levels deep").arg(kMaxDepth));
            auto item = std::make_unique<XsdtNode>();
            item->key = tag.k;
            item->selfClosing = tag.selfClosing;
            XsdtNode *node = parent.appendChild(std::move(item));
            if (tag.selfClosing)
                continue;
            m_keyStack.push_back(tag.k);
            m_currentKey.clear();
            if (!readContent(*node, depth + 1))
                return false;
            m_keyStack.pop_back();
            if (!readTag(tag))
                return false;
            if (!tag.closing || tag.name != u"i")
                return fail(tr("expected </i>"));
        } else if (tag.name == u"v") {
            if (!readValue(parent, tag))
                return false;
        } else {
            return fail(tr("unexpected element <%1>").arg(tag.name));
        }
    }
}

bool XsdtReader::readValue(XsdtNode &parent, Tag &tag)
{
    if (!tag.hasK || !tag.hasT || tag.t.size() != 1)
        return fail(tr("malformed <v> element"));
    auto node = std::make_unique<XsdtNode>();
    node->kind = XsdtNode::Value;
    node->key = tag.k;
    node->type = tag.t.at(0);

    if (tag.hasC) {
        if (tag.selfClosing || tag.hasV)
            return fail(tr("malformed compressed <v> element"));
        quint64 size = 0;
        const qsizetype length = matchBlocks(QStringView(m_s + m_pos, m_n - m_pos), &size);
        if (length < 0) {
            if (QStringView(m_text).indexOf(u"</v>", m_pos) < 0)
                return fail(tr("unterminated <v> element"));
            return fail(tr("unsupported content in a compressed <v> element"));
        }
        node->textForm = true;
        node->compressedBlock = true;
        node->compression = tag.c;
        node->blockData = QStringView(m_s + m_pos, length).toLatin1();
        node->value = blockDisplayText(tag.c, size);
        node->savedValue = node->value;
        m_pos += length + 4;
    } else if (tag.selfClosing) {
        if (!tag.hasV)
            return fail(tr("<v> element without a value"));
        node->value = std::move(tag.v);
        node->savedValue = node->value;
        node->selfClosing = true;
    } else {
        if (tag.hasV)
            return fail(tr("<v> element with both an attribute and a text value"));
        const QStringView rest(m_s + m_pos, m_n - m_pos);
        const qsizetype lt = rest.indexOf(u'<');
        if (lt < 0 || !rest.mid(lt).startsWith(u"</v>")) {
            if (lt < 0 || rest.indexOf(u"</v>", lt) < 0)
                return fail(tr("unterminated <v> element"));
            return fail(tr("markup inside a <v> text value"));
        }
        if (!attributeText(rest.first(lt), node->value))
            return false;
        node->savedValue = node->value;
        node->textForm = true;
        m_pos += lt + 4;
    }
    parent.appendChild(std::move(node));
    return true;
}

bool XsdtReader::readTag(Tag &tag)
{
    skipSpace();
    if (m_pos >= m_n || m_s[m_pos] != u'<')
        return fail(tr("expected '<'"));
    ++m_pos;
    tag.hasK = tag.hasT = tag.hasV = tag.hasC = false;
    tag.closing = tag.selfClosing = false;
    if (m_pos < m_n && m_s[m_pos] == u'/') {
        tag.closing = true;
        ++m_pos;
    }
    const qsizetype nameLength = nameLengthAt(m_pos);
    if (nameLength == 0)
        return fail(tr("expected an element name"));
    tag.name = QStringView(m_s + m_pos, nameLength);
    m_pos += nameLength;
    for (;;) {
        skipSpace();
        if (m_pos >= m_n)
            return fail(tr("unexpected end of file inside a tag"));
        const char16_t c = m_s[m_pos];
        if (c == u'>') {
            ++m_pos;
            return true;
        }
        if (c == u'/') {
            if (!tag.closing && m_pos + 1 < m_n && m_s[m_pos + 1] == u'>') {
                tag.selfClosing = true;
                m_pos += 2;
                return true;
            }
            return fail(tr("malformed tag"));
        }
        if (tag.closing)
            return fail(tr("unexpected content in closing tag"));
        if (!readAttribute(tag))
            return false;
    }
}

bool XsdtReader::readAttribute(Tag &tag)
{
    const qsizetype nameLength = nameLengthAt(m_pos);
    if (nameLength == 0)
        return fail(tr("malformed attribute"));
    const QStringView name(m_s + m_pos, nameLength);
    m_pos += nameLength;
    const qsizetype nameEnd = m_pos;
    skipSpace();
    if (m_pos >= m_n || m_s[m_pos] != u'=')
        return fail(tr("expected '=' after attribute name"));
    ++m_pos;
    skipSpace();
    if (m_pos >= m_n || (m_s[m_pos] != u'"' && m_s[m_pos] != u'\''))
        return fail(tr("expected a quoted attribute value"));
    const char16_t quote = m_s[m_pos++];
    const qsizetype valueEnd = QStringView(m_s, m_n).indexOf(QChar(quote), m_pos);
    if (valueEnd < 0)
        return fail(tr("unterminated attribute value"));
    const QStringView raw(m_s + m_pos, valueEnd - m_pos);
    m_pos = valueEnd + 1;

    QString *target = nullptr;
    if (name == u"k") {
        target = &tag.k;
        tag.hasK = true;
    } else if (name == u"t") {
        target = &tag.t;
        tag.hasT = true;
    } else if (name == u"v") {
        target = &tag.v;
        tag.hasV = true;
    } else if (name == u"c") {
        target = &tag.c;
        tag.hasC = true;
    }
    // Keys, types and compression names repeat throughout a file: share one copy of each.
    const bool shared = target && target != &tag.v;
    QString decoded;
    if (shared && raw.indexOf(u'&') < 0) {
        *target = m_pool.intern(raw);
    } else {
        if (!attributeText(raw, decoded))
            return false;
        if (!target)
            return failAt(tr("unsupported attribute '%1'").arg(name), nameEnd);
        *target = shared ? m_pool.intern(decoded) : std::move(decoded);
    }
    if (target == &tag.k)
        m_currentKey = tag.k;
    return true;
}

// Decodes raw attribute or element text; an entity error is reported at the cursor.
bool XsdtReader::attributeText(QStringView raw, QString &out)
{
    if (raw.indexOf(u'&') < 0) {
        out = raw.toString();
        return true;
    }
    QString message;
    if (!decodeEntities(raw, &out, &message))
        return fail(message);
    return true;
}

qsizetype XsdtReader::nameLengthAt(qsizetype pos) const
{
    qsizetype p = pos;
    while (p < m_n) {
        const char16_t c = m_s[p];
        if (c < 0x80) {
            if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'
                || c == u'-' || c == u':' || c == u'.') {
                ++p;
                continue;
            }
            break;
        }
        if (QChar::isHighSurrogate(c) && p + 1 < m_n && QChar::isLowSurrogate(m_s[p + 1])) {
            if (!QChar::isLetterOrNumber(QChar::surrogateToUcs4(c, m_s[p + 1])))
                break;
            p += 2;
            continue;
        }
        if (!QChar::isLetterOrNumber(c))
            break;
        ++p;
    }
    return p - pos;
}

void XsdtReader::skipSpace()
{
    while (m_pos < m_n && QChar::isSpace(m_s[m_pos]))
        ++m_pos;
}

bool XsdtReader::startsWithAt(qsizetype pos, QStringView text) const
{
    return m_n - pos >= text.size() && QStringView(m_s + pos, text.size()) == text;
}

bool XsdtReader::failAt(const QString &message, qsizetype pos)
{
    if (!m_error.isEmpty())
        return false;
    const QStringView before(m_s, pos);
    const qsizetype lineStart = before.lastIndexOf(u'\n') + 1;
    const QString line = QString::number(before.count(u'\n') + 1);
    const QString column = QString::number(pos - lineStart + 1);
    QStringList keys(m_keyStack.cbegin(), m_keyStack.cend());
    if (!m_currentKey.isEmpty())
        keys.append(m_currentKey);
    // One-step substitution: keys and names from the file may themselves contain "%1".
    if (keys.isEmpty())
        m_error = tr("%1 (line %2, column %3)").arg(message, line, column);
    else
        m_error = tr("%1 (line %2, column %3, in %4)").arg(message, line, column, keys.join(QLatin1Char('/')));
    return false;
}

QString XsdtReader::blockDisplayText(const QString &compression, quint64 uncompressedSize)
{
    if (m_blockFormat.isEmpty())
        m_blockFormat = tr("(compressed %1 block, %2 uncompressed)");
    // The locale's formatter takes a signed size; a larger sum is shown as the largest one.
    const auto shown = qint64(qMin<quint64>(uncompressedSize, quint64(std::numeric_limits<qint64>::max())));
    return m_blockFormat.arg(compression, m_locale.formattedDataSize(shown, 2, QLocale::DataSizeIecFormat));
}

} // namespace pfw
