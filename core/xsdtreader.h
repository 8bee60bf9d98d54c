#pragma once

#include <QCoreApplication>
#include <QLocale>
#include <QString>

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
        QStringView name;
        QString k, t, v, c;
        bool hasK = false, hasT = false, hasV = false, hasC = false;
        bool closing = false;
        bool selfClosing = false;
    };

    class StringPool final
    {
    public:
        const QString &intern(QStringView text);

    private:
        void grow();
        std::vector<QString> m_slots;
        std::vector<bool> m_used;
        size_t m_count = 0;
    };

    bool readContent(XsdtNode &parent, int depth);
    bool readValue(XsdtNode &parent, Tag &tag);
    bool readTag(Tag &tag);
    bool readAttribute(Tag &tag);
    bool attributeText(QStringView raw, QString &out);
    qsizetype nameLengthAt(qsizetype pos) const;
    void skipSpace();
    bool startsWithAt(qsizetype pos, QStringView text) const;
    bool fail(const QString &message) { return failAt(message, m_pos); }
    bool failAt(const QString &message, qsizetype pos);
    QString blockDisplayText(const QString &compression, quint64 uncompressedSize);

    QString m_text;
    const char16_t *m_s = nullptr;
    qsizetype m_n = 0;
    qsizetype m_pos = 0;
    QString m_error;
    std::vector<QString> m_keyStack;
    QString m_currentKey;
    StringPool m_pool;
    QString m_blockFormat;
    QLocale m_locale;
};

} // namespace pfw
