#pragma once

#include <QByteArray>
#include <QString>

namespace pfw {

struct XsdtNode;

// The five named entities; everything else, control characters and line breaks included,
// is copied unchanged.
QString escapeXml(QStringView text);

// The document in UTF-8: head, the root's children in the compact form (nodes queued for
// deletion left out), "</xsdt>" and tail.
// sizeHint: about how many bytes it takes, so that the buffer is made once.
QByteArray writeDocument(QStringView head, const XsdtNode &root, QStringView tail, qsizetype sizeHint = 0);

// UTF-8 bytes of the node's compact form, deleted descendants included.
qsizetype serializedSize(const XsdtNode &node);

} // namespace pfw
