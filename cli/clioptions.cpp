#include "cli/clioptions.h"

#include <algorithm>
#include <cctype>

namespace pfw {

bool CliOptions::wantsJson(const QStringList &arguments)
{
    const qsizetype end = arguments.indexOf(QLatin1String("--"));
    return arguments.mid(0, end < 0 ? arguments.size() : end).contains(QLatin1String("--json"));
}

CliOptions::Outcome CliOptions::parse(const QStringList &arguments, CliOptions *options, QString *error)
{
    const auto failed = [error](const QString &message) {
        *error = message;
        return Outcome::Failed;
    };
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        // Single-dash words are arguments: "-5" is a value to normalise, not an option, and "-h"
        // asks for help only in place of a command.
        if (optionsEnded || !argument.startsWith(QLatin1String("--"))) {
            if (!optionsEnded && options->command.isEmpty() && argument == QLatin1String("-h"))
                return Outcome::Help;
            if (options->command.isEmpty())
                options->command = argument;
            else
                options->positional << argument;
            continue;
        }
        QString name = argument;
        QString value;
        bool inlineValue = false;
        const qsizetype equals = argument.indexOf(u'=');
        if (equals > 0) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
            inlineValue = true;
        }
        const bool takesValue = name == QLatin1String("--keep") || name == QLatin1String("--fingerprint")
            || name == QLatin1String("--map");
        if (inlineValue && !takesValue)
            return failed(tr("The option %1 takes no value.").arg(name));
        if (takesValue && !inlineValue) {
            if (i + 1 >= arguments.size())
                return failed(tr("The option %1 needs a value.").arg(name));
            value = arguments.at(++i);
        }
        if (takesValue && name != QLatin1String("--map") && options->given.contains(name))
            return failed(tr("The option %1 is given twice.").arg(name));
        if (name == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (name == QLatin1String("--help"))
            return Outcome::Help;
        if (name == QLatin1String("--version"))
            return Outcome::Version;
        if (name == QLatin1String("--json")) {
            options->json = true;
        } else if (name == QLatin1String("--yes")) {
            options->yes = true;
        } else if (name == QLatin1String("--all")) {
            options->all = true;
        } else if (name == QLatin1String("--use-good")) {
            options->useGood = true;
        } else if (name == QLatin1String("--keep-current")) {
            options->keepCurrent = true;
        } else if (name == QLatin1String("--from-backup")) {
            options->fromBackup = true;
        } else if (name == QLatin1String("--portable")) {
            options->portable = true;
        } else if (name == QLatin1String("--dry-run")) {
            options->dryRun = true;
        } else if (name == QLatin1String("--replace")) {
            options->replace = true;
        } else if (name == QLatin1String("--map")) {
            options->maps << value;
        } else if (name == QLatin1String("--keep")) {
            bool ok = false;
            options->keep = value.toInt(&ok);
            if (!ok || options->keep < 0)
                return failed(tr("--keep needs a whole number of backups, 0 or more; got '%1'.").arg(value));
        } else if (name == QLatin1String("--fingerprint")) {
            const bool hex = value.size() == 64 && std::all_of(value.cbegin(), value.cend(), [](QChar c) {
                                 return c.unicode() < 128 && isxdigit(c.unicode());
                             });
            if (!hex)
                return failed(tr("--fingerprint needs the 64 hexadecimal digits of a SHA-256; got '%1'.").arg(value));
            options->fingerprint = value;
        } else {
            return failed(tr("Unknown option %1.").arg(name));
        }
        if (name != QLatin1String("--json"))
            options->given << name;
    }
    return Outcome::Run;
}

} // namespace pfw
