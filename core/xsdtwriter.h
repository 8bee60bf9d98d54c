#pragma once

#include <QString>

namespace pfw {

struct XsdtNode;

// The five named entities; everything else, control characters and line breaks included,
// is copied unchanged.
QString escapeXml(QStringView text);

// Appends the node's compact form. With skipDeleted, nodes queued for deletion are left out.
void writeNode(const XsdtNode &node, QString &out, bool skipDeleted);

// UTF-8 bytes of the node's compact form, deleted descendants included.
qsizetype serializedSize(const XsdtNode &node);

// Whether the compact form of the parent's children followed by "</xsdt>" is exactly text.
// Lets the reader detect the compact layout without building the output.
bool contentWritesAs(const XsdtNode &parent, QStringView text);

} // namespace pfw
