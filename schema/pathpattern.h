#pragma once

#include <QStringList>

namespace pfw {

struct XsdtNode;

// A setting path whose parts may be "*" (exactly one key) and whose last part may be "**"
// (one or more further keys).
class PathPattern final
{
public:
    PathPattern() = default;
    explicit PathPattern(const QString &pattern);

    // True for a pattern string without any key ("", "/"); such patterns are dropped when read.
    bool isNull() const { return m_null; }
    const QStringList &parts() const { return m_parts; }
    bool isRecursive() const { return m_recursive; }
    int literalCount() const { return m_literalCount; }

    bool matches(const QList<QStringView> &pathParts) const;
    bool matches(const XsdtNode &node) const;

    // The node's setting path split on "/" without empty parts.
    static QList<QStringView> pathParts(const XsdtNode &node, QString *storage);

private:
    QStringList m_parts;
    bool m_recursive = false;
    bool m_null = true;
    int m_literalCount = 0;
};

} // namespace pfw
