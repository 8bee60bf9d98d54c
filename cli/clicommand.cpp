#include "cli/clicommand.h"

#include "core/backups.h"

namespace pfw {

namespace {

constexpr int kDescriptionColumn = 33;

} // namespace

bool CliCommand::fits(qsizetype argumentCount) const
{
    return argumentCount >= minArguments && (maxArguments < 0 || argumentCount <= maxArguments);
}

void CliCommand::fileArguments(qsizetype count, qsizetype *first, qsizetype *end) const
{
    *first = files == Files::AfterStep ? 1 : 0;
    *end = files == Files::None ? 0 : files == Files::First ? 1 : files == Files::FirstTwo ? 2 : count;
    *end = qMin(*end, count);
}

bool CliCommand::namesAnEmptyFile(const QStringList &arguments) const
{
    qsizetype first = 0, end = 0;
    fileArguments(arguments.size(), &first, &end);
    for (qsizetype i = first; i < end; ++i) {
        if (arguments.at(i).isEmpty())
            return true;
    }
    return false;
}

QStringList CliCommand::withWholePaths(const QStringList &arguments) const
{
    // "link/../name" is the file the system opens, not the one the text suggests, and backups
    // go beside that one.
    QStringList resolved = arguments;
    qsizetype first = 0, end = 0;
    fileArguments(arguments.size(), &first, &end);
    for (qsizetype i = first; i < end; ++i)
        resolved[i] = wholeFilePath(resolved.at(i));
    return resolved;
}

QString CliCommand::helpText() const
{
    QString text;
    for (const Help &entry : help) {
        const QStringList lines = entry.description.split(u'\n');
        QString synopsis = QStringLiteral("  ") + entry.synopsis;
        // A synopsis too long for its column gets one of its own.
        synopsis = synopsis.size() < kDescriptionColumn ? synopsis.leftJustified(kDescriptionColumn)
                                                        : synopsis + u'\n' + QString(kDescriptionColumn, u' ');
        text += synopsis + lines.first() + u'\n';
        for (qsizetype i = 1; i < lines.size(); ++i)
            text += QString(kDescriptionColumn, u' ') + lines.at(i) + u'\n';
    }
    return text;
}

} // namespace pfw
