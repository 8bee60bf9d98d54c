#include "core/xsdtfile.h"

#include "core/xsdtreader.h"
#include "core/xsdtwriter.h"

namespace pfw {

void XsdtFile::clear()
{
    root.clearChildren();
    head.clear();
    tail.clear();
    compactLayout = false;
    validUtf8 = true;
    invalidUtf8Line = 0;
    invalidUtf8Column = 0;
    parsedSize = 0;
}

bool XsdtFile::parse(const QByteArray &bytes, QString *error)
{
    XsdtReader reader;
    return reader.read(bytes, *this, error);
}

QByteArray XsdtFile::serialize() const
{
    return writeDocument(head, root, tail, parsedSize + parsedSize / 64);
}

} // namespace pfw
