#include "core/xsdtwriter.h"

#include "core/xsdtnode.h"

#include <cstring>
#include <string_view>
#include <type_traits>

namespace pfw {

namespace {

// Bit c is set for each special character c: " & ' < >, all below 64.
constexpr quint64 kSpecials = (1ULL << '"') | (1ULL << '&') | (1ULL << '\'') | (1ULL << '<') | (1ULL << '>');
// In an attribute a reader turns a raw tab, line feed or carriage return into a space, so
// there they are written as character references.
constexpr quint64 kAttributeSpecials = kSpecials | (1ULL << '\t') | (1ULL << '\n') | (1ULL << '\r');

constexpr std::string_view entityFor(char16_t c)
{
    switch (c) {
    case u'"':
        return "&quot;";
    case u'&':
        return "&amp;";
    case u'\'':
        return "&apos;";
    case u'<':
        return "&lt;";
    case u'\t':
        return "&#9;";
    case u'\n':
        return "&#10;";
    case u'\r':
        return "&#13;";
    default:
        return "&gt;";
    }
}

class AppendSink final
{
public:
    explicit AppendSink(QString &out)
        : m_out(out)
    {
    }
    void put(QStringView text) { m_out.append(text); }
    void put(QChar c) { m_out.append(c); }
    void putAscii(QByteArrayView bytes) { m_out.append(QLatin1StringView(bytes)); }
    static constexpr bool failed() { return false; }

private:
    QString &m_out;
};

// Writes UTF-8 straight into a byte array: ASCII, nearly all of a settings file, byte by byte
// (escaping on the way where asked), and any other run through Qt's own encoder so the bytes
// are the ones toUtf8() would give.
class Utf8Sink final
{
public:
    Utf8Sink(QByteArray &out, qsizetype sizeHint)
        : m_out(out)
    {
        room(qMax<qsizetype>(sizeHint, 1 << 16));
    }
    void put(QStringView text) { write<false>(text); }
    void put(QChar c) { put(QStringView(&c, 1)); }
    void putEscaped(QStringView text, quint64 specials) { write<true>(text, specials); }
    void putAscii(QByteArrayView bytes)
    {
        room(bytes.size());
        std::memcpy(m_p, bytes.data(), size_t(bytes.size()));
        m_p += bytes.size();
    }
    static constexpr bool failed() { return false; }
    void finish() { m_out.resize(m_p - m_out.data()); }

private:
    template<bool Escape>
    void write(QStringView text, quint64 specials = 0)
    {
        const char16_t *p = text.utf16();
        const char16_t *end = p + text.size();
        while (p < end) {
            // Room is asked for a chunk at a time: an escaped character takes up to six bytes.
            const char16_t *chunkEnd = p + qMin<qsizetype>(end - p, 4096);
            room((chunkEnd - p) * (Escape ? 6 : 1));
            if constexpr (!Escape) {
                // Four characters at a time while all of them are ASCII: block data is long.
                while (chunkEnd - p >= 4) {
                    quint64 four;
                    std::memcpy(&four, p, sizeof four);
                    if (four & 0xFF80FF80FF80FF80ULL)
                        break;
                    m_p[0] = char(p[0]);
                    m_p[1] = char(p[1]);
                    m_p[2] = char(p[2]);
                    m_p[3] = char(p[3]);
                    m_p += 4;
                    p += 4;
                }
            }
            while (p < chunkEnd) {
                const char16_t c = *p;
                if (c >= 0x80) {
                    // The whole run, even past the chunk: a surrogate pair must stay together.
                    const char16_t *run = p;
                    while (p < end && *p >= 0x80)
                        ++p;
                    const QByteArray encoded = QStringView(run, p).toUtf8();
                    room(encoded.size() + (chunkEnd > p ? (chunkEnd - p) * (Escape ? 6 : 1) : 0));
                    std::memcpy(m_p, encoded.constData(), size_t(encoded.size()));
                    m_p += encoded.size();
                    continue;
                }
                ++p;
                if (Escape && c < 64 && ((specials >> c) & 1)) {
                    const std::string_view entity = entityFor(c);
                    std::memcpy(m_p, entity.data(), entity.size());
                    m_p += entity.size();
                } else {
                    *m_p++ = char(c);
                }
            }
        }
    }

    void room(qsizetype bytes)
    {
        if (m_end - m_p >= bytes)
            return;
        const qsizetype used = m_p ? m_p - m_out.data() : 0;
        m_out.resize(qMax(m_out.size() * 2, used + bytes));
        m_p = m_out.data() + used;
        m_end = m_out.data() + m_out.size();
    }

    QByteArray &m_out;
    char *m_p = nullptr;
    char *m_end = nullptr;
};

class CountSink final
{
public:
    void put(QStringView text)
    {
        const char16_t *p = text.utf16();
        const char16_t *end = p + text.size();
        for (; p != end; ++p) {
            const char16_t c = *p;
            if (c < 0x80) {
                m_bytes += 1;
            } else if (c < 0x800) {
                m_bytes += 2;
            } else if (QChar::isHighSurrogate(c) && p + 1 != end && QChar::isLowSurrogate(p[1])) {
                m_bytes += 4;
                ++p;
            } else {
                m_bytes += 3;
            }
        }
    }
    void put(QChar c) { put(QStringView(&c, 1)); }
    void putAscii(QByteArrayView bytes) { m_bytes += bytes.size(); }
    static constexpr bool failed() { return false; }
    qsizetype bytes() const { return m_bytes; }

private:
    qsizetype m_bytes = 0;
};

template<typename Sink>
void putEscaped(Sink &sink, QStringView text, quint64 specials = kSpecials)
{
    if constexpr (std::is_same_v<Sink, Utf8Sink>) {
        sink.putEscaped(text, specials);
        return;
    }
    const char16_t *p = text.utf16();
    const char16_t *end = p + text.size();
    const char16_t *run = p;
    for (; p != end; ++p) {
        if (*p >= 64 || !((specials >> *p) & 1))
            continue;
        const std::string_view entity = entityFor(*p);
        sink.put(QStringView(run, p));
        sink.putAscii(QByteArrayView(entity.data(), qsizetype(entity.size())));
        run = p + 1;
    }
    sink.put(QStringView(run, end));
}

template<typename Sink>
void putAttribute(Sink &sink, QStringView text)
{
    putEscaped(sink, text, kAttributeSpecials);
}

template<typename Sink>
void writeTo(const XsdtNode &node, Sink &sink, bool skipDeleted)
{
    if (skipDeleted && node.deleted)
        return;
    if (node.kind == XsdtNode::Item) {
        sink.put(u"<i k=\"");
        putAttribute(sink, node.key);
        sink.put(QChar(u'"'));
        if (node.children.empty() && node.selfClosing) {
            sink.put(u"/>");
            return;
        }
        sink.put(QChar(u'>'));
        for (const auto &child : node.children) {
            writeTo(*child, sink, skipDeleted);
            if (sink.failed())
                return;
        }
        sink.put(u"</i>");
        return;
    }
    sink.put(u"<v k=\"");
    putAttribute(sink, node.key);
    sink.put(u"\" t=\"");
    putAttribute(sink, QStringView(&node.type, 1));
    sink.put(QChar(u'"'));
    if (node.block) {
        sink.put(u" c=\"");
        putAttribute(sink, node.block->compression);
        sink.put(u"\">");
        sink.putAscii(node.block->data);
        sink.put(u"</v>");
    } else if (node.textForm) {
        sink.put(QChar(u'>'));
        putEscaped(sink, node.value);
        sink.put(u"</v>");
    } else {
        sink.put(u" v=\"");
        putAttribute(sink, node.value);
        sink.put(u"\"/>");
    }
}

} // namespace

QString escapeXml(QStringView text)
{
    QString out;
    out.reserve(text.size());
    AppendSink sink(out);
    putEscaped(sink, text);
    return out;
}

QByteArray writeDocument(QStringView head, const XsdtNode &root, QStringView tail, qsizetype sizeHint)
{
    QByteArray out;
    Utf8Sink sink(out, sizeHint);
    sink.put(head);
    for (const auto &child : root.children)
        writeTo(*child, sink, true);
    sink.put(u"</xsdt>");
    sink.put(tail);
    sink.finish();
    return out;
}

qsizetype serializedSize(const XsdtNode &node)
{
    CountSink sink;
    writeTo(node, sink, false);
    return sink.bytes();
}

} // namespace pfw
