#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QStringList>

namespace pfw {

class DeletionPolicy;
class SettingsSchema;
class XsdtFile;
struct XsdtNode;

// Chosen entries of a settings file written as a small settings file of their own: the same
// head and compact layout, each entry at its full path, nothing else. Prefwright, the
// command-line tool and PixInsight's own reader take it as any settings file.
class SettingsExport final
{
    Q_DECLARE_TR_FUNCTIONS(SettingsExport)

public:
    struct Result
    {
        QByteArray bytes;
        qsizetype valueCount = 0;
        // What a portable export left out, "Window geometry and state (4 values)", in the
        // order met.
        QStringList leftOut;
    };

    // nodes: items or values of file (its root for all of it); entries queued for deletion are
    // left out, pending edits are taken as they stand. machineBound, when given, leaves out
    // what belongs to this computer alone.
    [[nodiscard]] static bool build(const XsdtFile &file, const QList<const XsdtNode *> &nodes,
                                    const DeletionPolicy *machineBound, Result *result, QString *error);
    // A name that says what it holds: "preferences-processes.xsdt" for the Processes page.
    static QString defaultFileName(const SettingsSchema *schema, const XsdtFile &file,
                                   const QList<const XsdtNode *> &nodes);
    // Whether out names source, through links too.
    static bool isSameFile(const QString &out, const QString &source);
    // Writes a snippet to out at once or not at all; never over source, the file it comes from,
    // nor over a folder. Whether to replace an existing file is the caller's to ask.
    [[nodiscard]] static bool writeSnippet(const QString &out, const QString &source, const QByteArray &bytes,
                                           QString *error);
};

} // namespace pfw
