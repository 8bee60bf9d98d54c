// Whatever the reader accepts must write back to a file that reads as the same tree; a valid
// file is called compact exactly when it writes back to its own bytes.
#include "core/xsdtfile.h"
#include "core/xsdtwriter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void finding(const char *what, const QString &detail = QString())
{
    std::fprintf(stderr, "xsdtfuzz: %s %s\n", what, qPrintable(detail));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    pfw::XsdtFile file;
    QString error;
    if (!file.parse(bytes, &error)) {
        if (error.isEmpty())
            finding("a failed parse gave no message");
        if (!file.root.children.empty() || file.compactLayout)
            finding("a failed parse left a tree behind");
        return 0;
    }
    const QByteArray written = file.serialize();
    if (file.compactLayout && written != bytes)
        finding("a compact file did not write back to its own bytes");
    if (!file.compactLayout && file.validUtf8 && written == bytes)
        finding("a file that writes back to its own bytes was not called compact");

    qsizetype expected = file.head.toUtf8().size() + file.tail.toUtf8().size() + 7;
    for (const auto &child : file.root.children)
        expected += pfw::serializedSize(*child);
    if (expected != written.size())
        finding("serializedSize disagrees with the written size");

    pfw::XsdtFile again;
    if (!again.parse(written, &error))
        finding("the written file does not parse:", error);
    QString where;
    if (!pfw::sameTree(file.root, again.root, &where))
        finding("the written file reads as another tree at", where);
    if (!again.compactLayout)
        finding("the written file is not in the compact layout");
    return 0;
}
