#include "schema/pathpattern.h"

#include "core/xsdtnode.h"

namespace pfw {

PathPattern::PathPattern(const QString &pattern)
{
    m_parts = pattern.split(u'/', Qt::SkipEmptyParts);
    m_null = m_parts.isEmpty();
    if (!m_parts.isEmpty() && m_parts.constLast() == u"**") {
        m_parts.removeLast();
        m_recursive = true;
    }
    for (const QString &part : std::as_const(m_parts))
        m_literalCount += part == u"*" ? 0 : 1;
}

bool PathPattern::matches(const QList<QStringView> &pathParts) const
{
    if (m_null)
        return false;
    const qsizetype m = m_parts.size();
    const qsizetype n = pathParts.size();
    if (m_recursive ? m >= n : m != n)
        return false;
    for (qsizetype i = 0; i < m; ++i) {
        const QString &part = m_parts.at(i);
        if (part != u"*" && part != pathParts.at(i))
            return false;
    }
    return true;
}

bool PathPattern::matches(const XsdtNode &node) const
{
    QString storage;
    return matches(pathParts(node, &storage));
}

QList<QStringView> PathPattern::pathParts(const XsdtNode &node, QString *storage)
{
    QList<QStringView> keys;
    bool plain = true;
    for (const XsdtNode *at = &node; at->parent; at = at->parent) {
        keys.prepend(at->key);
        plain = plain && !at->key.isEmpty() && !at->key.contains(u'/');
    }
    if (plain)
        return keys;
    // A key that is empty or holds "/" makes the path differ from the key chain.
    *storage = node.path();
    return QStringView(*storage).split(u'/', Qt::SkipEmptyParts);
}

} // namespace pfw
