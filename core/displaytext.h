#pragma once

#include <QCoreApplication>
#include <QString>

class QDateTime;

namespace pfw {

struct XsdtNode;

// How a value, a size, a time and a backup are shown to people: the same on every screen, so a
// value reads alike in the tree, the review, Compare, the history and the problem search.
class DisplayText final
{
    Q_DECLARE_TR_FUNCTIONS(DisplayText)

public:
    // A value in a list's cell, and on a line of its own (the tree, the history).
    static constexpr qsizetype kCellLength = 120;
    static constexpr qsizetype kLineLength = 200;
    static constexpr qsizetype kTipLength = 500;

    // On one line (line breaks as U+23CE, tabs as U+21E5) and cut to length with an ellipsis. Encoded data is
    // shown as its length, as its characters mean nothing to read; a compressed block's text
    // (describesBlock) already says what it holds.
    static QString value(QChar type, const QString &text, qsizetype length = kCellLength, bool describesBlock = false);
    static QString value(const XsdtNode &node, qsizetype length = kCellLength);
    static QString savedValue(const XsdtNode &node, qsizetype length = kCellLength);
    static QString oneLine(QString text, qsizetype length);
    // "1023 bytes", "1.5 KiB", "3.0 MiB": binary units with one decimal, in the user's locale.
    static QString size(qint64 bytes);
    static QString dateTime(const QDateTime &when);
    // A backup as every list of backups names it: "name   (2026-01-03 10:00:00, 1.5 KiB)".
    static QString backup(const QString &path);
};

} // namespace pfw
