#pragma once

#include <QCoreApplication>
#include <QList>
#include <QStringList>

namespace pfw {

struct CliOptions;
class SettingsCli;

// One prefwright-cli command: what it takes, how its help reads and what runs it, so that
// parsing, help and dispatch cannot disagree about it.
struct CliCommand
{
    using Handler = int (SettingsCli::*)(const CliOptions &);

    // Which arguments name files, to be known by their whole path before the command runs.
    enum class Files { None, First, FirstTwo, AfterStep };

    struct Help
    {
        QString synopsis;
        // Lines after the first are continued under it.
        QString description;
    };

    QString name;
    int minArguments = 0;
    int maxArguments = 0; // -1: no limit
    QStringList options;
    Files files = Files::First;
    // Whether it changes files: it then finishes, whatever the terminal says meanwhile.
    bool writes = false;
    QList<Help> help;
    Handler handler = nullptr;

    bool fits(qsizetype argumentCount) const;
    // Whether one of the arguments that name files is empty.
    bool namesAnEmptyFile(const QStringList &arguments) const;
    QStringList withWholePaths(const QStringList &arguments) const;
    // The command's lines in the usage text, descriptions in one column.
    QString helpText() const;

private:
    // The arguments that name files: from first to before end.
    void fileArguments(qsizetype count, qsizetype *first, qsizetype *end) const;
};

} // namespace pfw
