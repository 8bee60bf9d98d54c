#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QLocale>
#include <QString>

#include <deque>
#include <memory>
#include <vector>

namespace pfw {

class XsdtFile;
struct XsdtNode;

// Decodes the five named entities and numeric character references.
[[nodiscard]] bool decodeEntities(QStringView raw, QString *decoded, QString *error);

// A scanner for exactly the XML subset PixInsight writes into its settings files. One
// reader serves one parse; XsdtFile::parse is the usual way in.
class XsdtReader final
{
    Q_DECLARE_TR_FUNCTIONS(XsdtReader)

public:
    // Items nested deeper than this are refused: no real settings file comes close, and
    // every walk over the tree may then recurse safely.
    static constexpr int kMaxDepth = 256;

    [[nodiscard]] bool read(const QByteArray &bytes, XsdtFile &file, QString *error);

private:
    struct Tag
    {
        QByteArrayView name;
        // Shared by the pool; only values are the tag's own.
        const QString *k = nullptr;
        const QString *t = nullptr;
        const QString *c = nullptr;
        QString v;
        bool hasK = false, hasT = false, hasV = false, hasC = false;
        bool closing = false;
        bool selfClosing = false;
        // The attributes' letters in the order met, one per three bits; past four, zero.
        quint32 order = 0;
        int count = 0;
    };

    // Keys and type letters repeat throughout a file: one copy of each, found by its bytes.
    // What it hands out stays where it is until the pool goes.
    class StringPool final
    {
    public:
        const QString *intern(QByteArrayView raw);
        const QString *keep(QString text);

    private:
        void grow();
        struct Slot
        {
            QByteArrayView raw;
            const QString *text = nullptr;
        };
        std::vector<Slot> m_slots;
        size_t m_count = 0;
        std::deque<QString> m_texts;
        // Type letters, without hashing.
        QString m_ascii[128];
    };

    bool readContent(XsdtNode &parent, int depth);
    bool readValue(std::vector<std::unique_ptr<XsdtNode>> &siblings, Tag &tag);
    bool readTag(Tag &tag);
    bool readAttribute(Tag &tag);
    // special: whether raw may hold an entity reference.
    bool attributeText(QByteArrayView raw, bool special, QString &out);
    qsizetype nameLengthAt(qsizetype pos) const;
    qsizetype spaceLengthAt(qsizetype pos) const;
    bool skipSpace();
    qsizetype find(QByteArrayView text, qsizetype from) const;
    // The position of the first stop character from the cursor, or -1; special is set when
    // a character the writer escapes comes first.
    qsizetype scanTo(char stop, bool *special, const bool (&table)[256]) const;
    bool fail(const QString &message) { return failAt(message, m_pos); }
    bool failAt(const QString &message, qsizetype pos);
    QString blockDisplayText(const QString &compression, quint64 uncompressedSize);

    // The file's bytes, valid UTF-8 (a file that is not was re-encoded with its replacement
    // characters), read in place: only values become text.
    QByteArray m_bytes;
    const char *m_s = nullptr;
    qsizetype m_n = 0;
    qsizetype m_pos = 0;
    // Whether everything so far is exactly what the writer makes of it.
    bool m_compact = true;
    QString m_error;
    // The children read so far at each depth: handed to their parent in one go, so that its
    // list is made once and no larger than it needs to be.
    std::vector<std::vector<std::unique_ptr<XsdtNode>>> m_children;
    std::vector<const QString *> m_keyStack;
    const QString *m_currentKey = nullptr;
    StringPool m_pool;
    QString m_blockFormat;
    QLocale m_locale;
};

} // namespace pfw
