#include "core/xsdtreader.h"

#include "core/failure.h"
#include "core/utf8check.h"
#include "core/xsdtfile.h"

#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <limits>

namespace pfw {

namespace {

// A name from the file as a message shows it: a key of megabytes would freeze the message box
// that shows the error, and tell the user nothing more than its start does.
QString shownName(const QString &name)
{
    constexpr qsizetype kLongest = 60;
    if (name.size() <= kLongest)
        return name;
    qsizetype kept = kLongest - 1;
    if (name.at(kept - 1).isHighSurrogate())
        --kept;
    return name.left(kept) + QChar(0x2026);
}

// The whitespace of the block pattern's \s (ASCII only, as in PCRE without Unicode properties).
bool isBlockSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

struct ByteTables
{
    bool base64OrSpace[256] = {};
    // The characters the writer turns into entities, and '&' itself.
    bool special[256] = {};
    // The same in an attribute, where it writes tabs and line breaks as references too.
    bool attributeSpecial[256] = {};
    constexpr ByteTables()
    {
        for (char c = 'A'; c <= 'Z'; ++c)
            base64OrSpace[int(c)] = true;
        for (char c = 'a'; c <= 'z'; ++c)
            base64OrSpace[int(c)] = true;
        for (char c = '0'; c <= '9'; ++c)
            base64OrSpace[int(c)] = true;
        for (char c : {'+', '/', '=', ' ', '\t', '\n', '\v', '\f', '\r'})
            base64OrSpace[int(c)] = true;
        for (char c : {'&', '"', '\'', '<', '>'})
            special[int(c)] = attributeSpecial[int(c)] = true;
        for (char c : {'\t', '\n', '\r'})
            attributeSpecial[int(c)] = true;
    }
};
constexpr ByteTables kTables;

// Whether the table holds all (or none) of the eight bytes at p; without a branch per byte.
bool allOf(const bool (&table)[256], const char *p)
{
    return table[uchar(p[0])] & table[uchar(p[1])] & table[uchar(p[2])] & table[uchar(p[3])] & table[uchar(p[4])]
        & table[uchar(p[5])] & table[uchar(p[6])] & table[uchar(p[7])];
}

bool noneOf(const bool (&table)[256], const char *p)
{
    return !(table[uchar(p[0])] | table[uchar(p[1])] | table[uchar(p[2])] | table[uchar(p[3])] | table[uchar(p[4])]
             | table[uchar(p[5])] | table[uchar(p[6])] | table[uchar(p[7])]);
}

quint64 saturatingAdd(quint64 a, quint64 b)
{
    return a > std::numeric_limits<quint64>::max() - b ? std::numeric_limits<quint64>::max() : a + b;
}

// With the literal's length known here, the comparison is inlined: these run at every tag.
template<size_t N>
bool startsWith(const char *p, const char *end, const char (&literal)[N])
{
    return end - p >= qsizetype(N - 1) && std::memcmp(p, literal, N - 1) == 0;
}

bool isName(QByteArrayView name, char letter)
{
    return name.size() == 1 && name.front() == letter;
}

// Matches the content of a compressed value against
//   ^(?:\s*<s\s+u="\d+"\s*>[A-Za-z0-9+/=\s]*</s>)+\s*$
// by hand: linear, and no backtracking limits on multi-megabyte blocks. The content ends at the
// first "</v>"; since the pattern admits no "</v>", the match may run from the start of the
// content and succeed only where it meets one. Returns the content's length, or -1. Sums the
// u sizes; a number too large for 64 bits counts as the largest, never as nothing.
qsizetype matchBlocks(const char *begin, const char *end, quint64 *uncompressedSize)
{
    const char *p = begin;
    const auto skip = [&p, end] {
        while (p != end && isBlockSpace(*p))
            ++p;
    };
    const auto expect = [&p, end](const auto &literal) {
        if (!startsWith(p, end, literal))
            return false;
        p += sizeof literal - 1;
        return true;
    };
    quint64 total = 0;
    int blocks = 0;
    for (;;) {
        skip();
        if (blocks > 0 && startsWith(p, end, "</v>"))
            break;
        if (!expect("<s") || p == end || !isBlockSpace(*p))
            return -1;
        skip();
        if (!expect("u=\""))
            return -1;
        const char *digits = p;
        quint64 number = 0;
        bool fits = true;
        for (; p != end && *p >= '0' && *p <= '9'; ++p) {
            const quint64 digit = quint64(*p - '0');
            if (number > (std::numeric_limits<quint64>::max() - digit) / 10)
                fits = false;
            else
                number = number * 10 + digit;
        }
        if (p == digits || !expect("\""))
            return -1;
        skip();
        if (!expect(">"))
            return -1;
        // Block data is most of a large file: eight bytes a step while all of them qualify.
        while (end - p >= 8 && allOf(kTables.base64OrSpace, p))
            p += 8;
        while (p != end && kTables.base64OrSpace[uchar(*p)])
            ++p;
        if (!expect("</s>"))
            return -1;
        total = saturatingAdd(total, fits ? number : std::numeric_limits<quint64>::max());
        ++blocks;
    }
    *uncompressedSize = total;
    return p - begin;
}

// The code point of the well-formed UTF-8 sequence at p, and its length.
char32_t codePointAt(const char *p, const char *end, int *length)
{
    const auto lead = uchar(*p);
    const int n = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (end - p < n) {
        *length = 1;
        return 0xFFFD;
    }
    char32_t cp = lead & (0x7F >> n);
    for (int i = 1; i < n; ++i)
        cp = (cp << 6) | (uchar(p[i]) & 0x3F);
    *length = n;
    return cp;
}

// UTF-8 to text, keeping a leading U+FEFF: QString::fromUtf8 would drop it.
QString decodeText(QByteArrayView raw)
{
    if (!raw.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(raw);
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(raw);
}

// The length in UTF-16 units of well-formed UTF-8: columns are counted in those.
qsizetype utf16Length(QByteArrayView bytes)
{
    qsizetype units = 0;
    for (const char c : bytes) {
        const auto b = uchar(c);
        units += (b & 0xC0) != 0x80;
        units += b >= 0xF0;
    }
    return units;
}

// Whether the writer's escaping of the decoded text gives back exactly raw: no special
// character as itself, and every '&' one of the five names.
// Whether raw is as the writer writes it: in an attribute, with tabs and line breaks as
// references too.
bool isCanonicalText(QByteArrayView raw, bool attribute = false)
{
    const bool(&special)[256] = attribute ? kTables.attributeSpecial : kTables.special;
    const char *p = raw.data();
    const char *end = p + raw.size();
    for (; p != end; ++p) {
        if (!special[uchar(*p)])
            continue;
        if (*p != '&')
            return false;
        const QByteArrayView rest(p + 1, end);
        qsizetype length = 0;
        for (const char *entity : {"amp;", "lt;", "gt;", "quot;", "apos;", "#9;", "#10;", "#13;"}) {
            if (rest.startsWith(entity)) {
                length = qsizetype(std::strlen(entity));
                break;
            }
        }
        // Only an attribute's whitespace is written as a reference.
        if (length == 0 || (!attribute && rest.startsWith("#")))
            return false;
        p += length;
    }
    return true;
}

// The attributes' letters, packed as Tag::order packs them.
constexpr quint32 attributeOrder(std::initializer_list<quint32> letters)
{
    quint32 order = 0;
    for (const quint32 letter : letters)
        order = (order << 3) | letter;
    return order;
}
enum AttributeLetter : quint32 {
    OtherAttribute = 0,
    KeyAttribute = 1,
    TypeAttribute = 2,
    ValueAttribute = 3,
    CompressionAttribute = 4
};

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
            return fail(error, XsdtReader::tr("malformed entity reference"));
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
                return fail(error, XsdtReader::tr("invalid character reference"));
            const char32_t buffer[1] = {codePoint};
            out.append(QString::fromUcs4(buffer, 1));
        } else {
            return fail(error, XsdtReader::tr("unknown entity &%1;").arg(name));
        }
        copied = semicolon + 1;
        amp = raw.indexOf(u'&', copied);
    }
    out.append(raw.mid(copied));
    if (decoded)
        *decoded = out;
    return true;
}

const QString *XsdtReader::StringPool::intern(QByteArrayView raw)
{
    if (raw.size() == 1 && uchar(raw.front()) < 0x80) {
        QString &letter = m_ascii[int(raw.front())];
        if (letter.isNull())
            letter = QString(QLatin1Char(raw.front()));
        return &letter;
    }
    if ((m_count + 1) * 2 > m_slots.size())
        grow();
    const size_t mask = m_slots.size() - 1;
    for (size_t i = qHash(raw) & mask;; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (slot.raw.data() == nullptr) {
            ++m_count;
            slot.raw = raw;
            slot.text = keep(decodeText(raw));
            return slot.text;
        }
        if (slot.raw == raw)
            return slot.text;
    }
}

const QString *XsdtReader::StringPool::keep(QString text)
{
    return &m_texts.emplace_back(std::move(text));
}

void XsdtReader::StringPool::grow()
{
    std::vector<Slot> old = std::move(m_slots);
    const size_t size = old.empty() ? 1024 : old.size() * 2;
    m_slots.assign(size, Slot());
    const size_t mask = size - 1;
    for (Slot &slot : old) {
        if (slot.raw.data() == nullptr)
            continue;
        size_t i = qHash(slot.raw) & mask;
        while (m_slots[i].raw.data() != nullptr)
            i = (i + 1) & mask;
        m_slots[i] = std::move(slot);
    }
}

bool XsdtReader::read(const QByteArray &bytes, XsdtFile &file, QString *error)
{
    file.clear();
    m_error.clear();
    m_keyStack.clear();
    m_currentKey = nullptr;
    m_compact = true;
    m_children.resize(kMaxDepth + 1);

    m_bytes = bytes;
    const qsizetype invalidAt = firstInvalidUtf8Offset(bytes);
    if (invalidAt >= 0) {
        // Read the text the replacement characters make: positions and values are then those of
        // the decoded file, and the reader meets only well-formed UTF-8.
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        const QString prefix = decoder.decode(QByteArrayView(bytes).first(invalidAt));
        const qsizetype lineStart = prefix.lastIndexOf(u'\n') + 1;
        file.validUtf8 = false;
        file.invalidUtf8Line = int(prefix.count(u'\n') + 1);
        file.invalidUtf8Column = int(prefix.size() - lineStart + 1);
        QStringDecoder whole(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        m_bytes = QString(whole.decode(bytes)).toUtf8();
    }
    m_s = m_bytes.constData();
    m_n = m_bytes.size();

    const auto finish = [&](bool ok) {
        if (!ok) {
            file.root.clearChildren();
            file.compactLayout = false;
            if (error)
                *error = m_error;
        }
        m_pool = StringPool();
        for (auto &children : m_children)
            children.clear();
        m_bytes.clear();
        m_s = nullptr;
        m_n = 0;
        return ok;
    };
    const auto failPlain = [&](const QString &message) {
        m_error = message;
        return finish(false);
    };

    const qsizetype start = find("<xsdt", 0);
    // A file cut to nothing (a full disk, a crash) is said so, not taken for some other file.
    if (start < 0 && m_n == 0)
        return failPlain(tr("The file is empty."));
    if (start < 0)
        return failPlain(tr("Not a PixInsight settings file (no <xsdt> element)."));
    const qsizetype close = find(">", start);
    if (close < 0 || m_s[close - 1] == '/')
        return failPlain(tr("The <xsdt> element is empty or malformed."));
    file.head = decodeText(QByteArrayView(m_s, close + 1));
    m_pos = close + 1;

    if (!readContent(file.root, 0))
        return finish(false);
    Tag tag;
    if (!readTag(tag))
        return finish(false);
    if (!tag.closing || tag.name != QByteArrayView("xsdt")) {
        fail(tr("expected </xsdt>"));
        return finish(false);
    }
    file.tail = decodeText(QByteArrayView(m_s + m_pos, m_n - m_pos));
    if (!QStringView(file.tail).trimmed().isEmpty())
        return failPlain(tr("Unexpected content after </xsdt>."));

    file.compactLayout = file.validUtf8 && m_compact;
    file.parsedSize = bytes.size();
    return finish(true);
}

bool XsdtReader::readContent(XsdtNode &parent, int depth)
{
    // Not resized during a parse, so this stays valid.
    std::vector<std::unique_ptr<XsdtNode>> &children = m_children[size_t(depth)];
    Tag tag;
    for (;;) {
        // The writer puts nothing between elements.
        if (skipSpace())
            m_compact = false;
        if (m_pos >= m_n)
            return fail(tr("unexpected end of file"));
        if (startsWith(m_s + m_pos, m_s + m_n, "</")) {
            parent.children.reserve(children.size());
            for (auto &child : children)
                parent.appendChild(std::move(child));
            children.clear();
            return true;
        }
        m_currentKey = nullptr;
        if (!readTag(tag))
            return false;
        if (isName(tag.name, 'i')) {
            if (!tag.hasK || tag.hasT || tag.hasV || tag.hasC)
                return fail(tr("malformed <i> element"));
            if (depth >= kMaxDepth)
                return fail(tr("items nested more than %1 levels deep").arg(kMaxDepth));
            if (tag.order != attributeOrder({KeyAttribute}))
                m_compact = false;
            auto item = std::make_unique<XsdtNode>();
            item->key = *tag.k;
            item->selfClosing = tag.selfClosing;
            XsdtNode *node = item.get();
            children.push_back(std::move(item));
            if (tag.selfClosing)
                continue;
            m_keyStack.push_back(tag.k);
            m_currentKey = nullptr;
            if (!readContent(*node, depth + 1))
                return false;
            m_keyStack.pop_back();
            if (!readTag(tag))
                return false;
            if (!tag.closing || !isName(tag.name, 'i'))
                return fail(tr("expected </i>"));
        } else if (isName(tag.name, 'v')) {
            if (!readValue(children, tag))
                return false;
        } else {
            return fail(tr("unexpected element <%1>").arg(shownName(decodeText(tag.name))));
        }
    }
}

bool XsdtReader::readValue(std::vector<std::unique_ptr<XsdtNode>> &siblings, Tag &tag)
{
    if (!tag.hasK || !tag.hasT || tag.t->size() != 1)
        return fail(tr("malformed <v> element"));
    auto node = std::make_unique<XsdtNode>();
    node->kind = XsdtNode::Value;
    node->key = *tag.k;
    node->type = tag.t->front();

    if (tag.hasC) {
        if (tag.selfClosing || tag.hasV)
            return fail(tr("malformed compressed <v> element"));
        quint64 size = 0;
        const qsizetype length = matchBlocks(m_s + m_pos, m_s + m_n, &size);
        if (length < 0) {
            if (find("</v>", m_pos) < 0)
                return fail(tr("unterminated <v> element"));
            return fail(tr("unsupported content in a compressed <v> element"));
        }
        if (tag.order != attributeOrder({KeyAttribute, TypeAttribute, CompressionAttribute}))
            m_compact = false;
        node->textForm = true;
        node->block = std::make_unique<XsdtNode::CompressedBlock>();
        node->block->compression = *tag.c;
        node->block->data = QByteArray(m_s + m_pos, length);
        node->value = blockDisplayText(*tag.c, size);
        node->savedValue = node->value;
        m_pos += length + 4;
    } else if (tag.selfClosing) {
        if (!tag.hasV)
            return fail(tr("<v> element without a value"));
        if (tag.order != attributeOrder({KeyAttribute, TypeAttribute, ValueAttribute}))
            m_compact = false;
        node->value = std::move(tag.v);
        node->savedValue = node->value;
        node->selfClosing = true;
    } else {
        if (tag.hasV)
            return fail(tr("<v> element with both an attribute and a text value"));
        bool special = false;
        const qsizetype lt = scanTo('<', &special, kTables.special);
        if (lt < 0 || !startsWith(m_s + lt, m_s + m_n, "</v>")) {
            if (lt < 0 || find("</v>", lt) < 0)
                return fail(tr("unterminated <v> element"));
            return fail(tr("markup inside a <v> text value"));
        }
        const QByteArrayView raw(m_s + m_pos, lt - m_pos);
        if (!attributeText(raw, special, node->value))
            return false;
        if (tag.order != attributeOrder({KeyAttribute, TypeAttribute}) || (special && !isCanonicalText(raw)))
            m_compact = false;
        node->savedValue = node->value;
        node->textForm = true;
        m_pos = lt + 4;
    }
    siblings.push_back(std::move(node));
    return true;
}

bool XsdtReader::readTag(Tag &tag)
{
    if (skipSpace())
        m_compact = false;
    if (m_pos >= m_n || m_s[m_pos] != '<')
        return fail(tr("expected '<'"));
    ++m_pos;
    tag.hasK = tag.hasT = tag.hasV = tag.hasC = false;
    tag.closing = tag.selfClosing = false;
    tag.order = 0;
    tag.count = 0;
    if (m_pos < m_n && m_s[m_pos] == '/') {
        tag.closing = true;
        ++m_pos;
    }
    const qsizetype nameLength = nameLengthAt(m_pos);
    if (nameLength == 0)
        return fail(tr("expected an element name"));
    tag.name = QByteArrayView(m_s + m_pos, nameLength);
    m_pos += nameLength;
    for (;;) {
        const qsizetype space = spaceLengthAt(m_pos);
        m_pos += space;
        if (m_pos >= m_n)
            return fail(tr("unexpected end of file inside a tag"));
        const char c = m_s[m_pos];
        if (c == '>' || c == '/') {
            if (space != 0)
                m_compact = false;
        }
        if (c == '>') {
            ++m_pos;
            return true;
        }
        if (c == '/') {
            if (!tag.closing && m_pos + 1 < m_n && m_s[m_pos + 1] == '>') {
                tag.selfClosing = true;
                m_pos += 2;
                return true;
            }
            return fail(tr("malformed tag"));
        }
        if (tag.closing)
            return fail(tr("unexpected content in closing tag"));
        // One blank before each attribute.
        if (space != 1 || m_s[m_pos - 1] != ' ')
            m_compact = false;
        if (!readAttribute(tag))
            return false;
    }
}

bool XsdtReader::readAttribute(Tag &tag)
{
    const qsizetype nameLength = nameLengthAt(m_pos);
    if (nameLength == 0)
        return fail(tr("malformed attribute"));
    const QByteArrayView name(m_s + m_pos, nameLength);
    m_pos += nameLength;
    const qsizetype nameEnd = m_pos;
    if (skipSpace())
        m_compact = false;
    if (m_pos >= m_n || m_s[m_pos] != '=')
        return fail(tr("expected '=' after attribute name"));
    ++m_pos;
    if (skipSpace())
        m_compact = false;
    if (m_pos >= m_n || (m_s[m_pos] != '"' && m_s[m_pos] != '\''))
        return fail(tr("expected a quoted attribute value"));
    const char quote = m_s[m_pos++];
    if (quote != '"')
        m_compact = false;
    bool special = false;
    const qsizetype valueEnd = scanTo(quote, &special, kTables.attributeSpecial);
    if (valueEnd < 0)
        return fail(tr("unterminated attribute value"));
    const QByteArrayView raw(m_s + m_pos, valueEnd - m_pos);
    m_pos = valueEnd + 1;

    const QString **shared = nullptr;
    QString *own = nullptr;
    quint32 letter = OtherAttribute;
    switch (name.size() == 1 ? name.front() : '\0') {
    case 'k':
        shared = &tag.k;
        tag.hasK = true;
        letter = KeyAttribute;
        break;
    case 't':
        shared = &tag.t;
        tag.hasT = true;
        letter = TypeAttribute;
        break;
    case 'v':
        own = &tag.v;
        tag.hasV = true;
        letter = ValueAttribute;
        break;
    case 'c':
        shared = &tag.c;
        tag.hasC = true;
        letter = CompressionAttribute;
        break;
    default:
        break;
    }
    tag.order = (tag.order << 3) | letter;
    if (++tag.count > 3)
        m_compact = false;
    if (shared && !special) {
        *shared = m_pool.intern(raw);
    } else {
        QString decoded;
        if (!attributeText(raw, special, decoded))
            return false;
        if (own)
            *own = std::move(decoded);
        else if (shared)
            *shared = m_pool.keep(std::move(decoded));
        else
            return failAt(tr("unsupported attribute '%1'").arg(shownName(decodeText(name))), nameEnd);
    }
    if (special && !isCanonicalText(raw, true))
        m_compact = false;
    if (shared == &tag.k)
        m_currentKey = tag.k;
    return true;
}

// Decodes raw attribute or element text; an entity error is reported at the cursor.
bool XsdtReader::attributeText(QByteArrayView raw, bool special, QString &out)
{
    out = decodeText(raw);
    if (!special || !out.contains(u'&'))
        return true;
    QString message;
    QString decoded;
    if (!decodeEntities(out, &decoded, &message))
        return fail(message);
    out = std::move(decoded);
    return true;
}

qsizetype XsdtReader::nameLengthAt(qsizetype pos) const
{
    qsizetype p = pos;
    while (p < m_n) {
        const char c = m_s[p];
        if (uchar(c) < 0x80) {
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
                || c == ':' || c == '.') {
                ++p;
                continue;
            }
            break;
        }
        int length = 0;
        if (!QChar::isLetterOrNumber(codePointAt(m_s + p, m_s + m_n, &length)))
            break;
        p += length;
    }
    return p - pos;
}

qsizetype XsdtReader::spaceLengthAt(qsizetype pos) const
{
    // Nearly always markup follows at once.
    if (pos < m_n && uchar(m_s[pos]) > ' ' && uchar(m_s[pos]) < 0x80)
        return 0;
    qsizetype p = pos;
    while (p < m_n) {
        const char c = m_s[p];
        if (uchar(c) < 0x80) {
            if (c != ' ' && (c < '\t' || c > '\r'))
                break;
            ++p;
            continue;
        }
        int length = 0;
        if (!QChar::isSpace(codePointAt(m_s + p, m_s + m_n, &length)))
            break;
        p += length;
    }
    return p - pos;
}

// Skips white space; says whether there was any.
bool XsdtReader::skipSpace()
{
    const qsizetype length = spaceLengthAt(m_pos);
    m_pos += length;
    return length != 0;
}

qsizetype XsdtReader::find(QByteArrayView text, qsizetype from) const
{
    return QByteArrayView(m_s, m_n).indexOf(text, from);
}

qsizetype XsdtReader::scanTo(char stop, bool *special, const bool (&table)[256]) const
{
    // Every stop character is itself special: one table look-up per byte finds both.
    const char *p = m_s + m_pos;
    const char *end = m_s + m_n;
    while (end - p >= 8 && noneOf(table, p))
        p += 8;
    while (p != end && !table[uchar(*p)])
        ++p;
    if (p != end && *p == stop)
        return p - m_s;
    *special = true;
    return find(QByteArrayView(&stop, 1), p - m_s);
}

bool XsdtReader::failAt(const QString &message, qsizetype pos)
{
    if (!m_error.isEmpty())
        return false;
    const QByteArrayView before(m_s, pos);
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    const QString line = QString::number(std::count(before.begin(), before.end(), '\n') + 1);
    const QString column = QString::number(utf16Length(before.sliced(lineStart)) + 1);
    QStringList keys;
    for (const QString *key : m_keyStack)
        keys.append(shownName(*key));
    if (m_currentKey && !m_currentKey->isEmpty())
        keys.append(shownName(*m_currentKey));
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
    // What dump and get print, and scripts may compare: its form stays as it always was.
    return m_blockFormat.arg(compression, m_locale.formattedDataSize(shown, 2, QLocale::DataSizeIecFormat));
}

} // namespace pfw
