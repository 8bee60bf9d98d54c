#pragma once

#include "core/xsdtfile.h"

#include <QByteArray>
#include <QString>

namespace pfw::test {

// A settings file that went bad after a good state: 30 values changed (numbers, switches,
// texts, a real), 10 values added by a script, plus what a search must leave alone: a usage
// counter that PixInsight bumps on every exit, a version record, a time stamp (not a type that
// can be edited) and an entry only the good state has. One of the 40 differences is "the problem".
struct SearchFixture
{
    static constexpr int kDifferences = 40;

    static QString changedPath(int i)
    {
        return QStringLiteral("Global/Preferences/Tuning/Value%1").arg(i, 2, 10, QLatin1Char('0'));
    }
    static QString addedPath(int i) { return QStringLiteral("ScriptData/Helper/Option%1").arg(i); }

    static QByteArray file(bool bad)
    {
        QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xsdt version=\"1.0\"><i k=\"Global\">"
                         "<i k=\"Preferences\"><i k=\"Tuning\">";
        for (int i = 0; i < 30; ++i) {
            const QByteArray key = "Value" + QByteArray::number(i).rightJustified(2, '0');
            switch (i % 4) {
            case 0:
                xml += "<v k=\"" + key + "\" t=\"i\" v=\"" + QByteArray::number(bad ? 100 + i : i) + "\"/>";
                break;
            case 1:
                xml += "<v k=\"" + key + "\" t=\"b\" v=\"" + (bad ? "true" : "false") + "\"/>";
                break;
            case 2:
                xml += "<v k=\"" + key + "\" t=\"s\" v=\"" + (bad ? "after &amp; " : "before ") + key + "\"/>";
                break;
            default:
                xml += "<v k=\"" + key + "\" t=\"F\" v=\"" + (bad ? "2.5" : "0.5") + "\"/>";
                break;
            }
        }
        xml += "<v k=\"Steady\" t=\"i\" v=\"7\"/><v k=\"Checked\" t=\"t\" v=\"";
        xml += bad ? "2026-11-30T21:45:10Z" : "2026-10-01T08:00:00Z";
        xml += "\"/></i>";
        if (!bad)
            xml += "<i k=\"Retired\"><v k=\"Gone\" t=\"b\" v=\"true\"/></i>";
        xml += "</i><i k=\"Statistics\"><i k=\"Process\"><v k=\"Launches\" t=\"u\" v=\"";
        xml += bad ? "90" : "10";
        xml += "\"/></i></i></i><i k=\"ScriptData\"><i k=\"Helper\">";
        if (bad) {
            for (int i = 0; i < 10; ++i)
                xml += "<v k=\"Option" + QByteArray::number(i) + "\" t=\"s\" v=\"on\"/>";
        }
        xml += "</i></i><v k=\"LastVersion\" t=\"s\" v=\"";
        xml += bad ? "1.9.3" : "1.9.2";
        xml += "\"/></xsdt>";
        return xml;
    }

    // The n-th difference (0..39), as a path.
    static QString differencePath(int n) { return n < 30 ? changedPath(n) : addedPath(n - 30); }

    // The problem occurs when that difference still has its bad value in the file.
    static bool problemOccurs(const QByteArray &bytes, int culprit)
    {
        XsdtFile file;
        if (!file.parse(bytes))
            return true;
        const XsdtNode *node = file.root.findPath(differencePath(culprit));
        if (culprit >= 30)
            return node != nullptr;
        XsdtFile bad;
        (void)bad.parse(SearchFixture::file(true));
        return node && node->value == bad.root.findPath(differencePath(culprit))->value;
    }

    // What PixInsight does on exit: counts the launch and writes its settings back.
    static QByteArray pixInsightExit(const QByteArray &bytes)
    {
        XsdtFile file;
        if (!file.parse(bytes))
            return bytes;
        if (XsdtNode *launches = file.root.findPath(u"Global/Statistics/Process/Launches"))
            launches->value = QString::number(launches->value.toInt() + 1);
        return file.serialize();
    }
};

} // namespace pfw::test
