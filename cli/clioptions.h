#pragma once

#include <QCoreApplication>
#include <QStringList>

namespace pfw {

// The words of one prefwright-cli command line: the command, its arguments and its options.
struct CliOptions
{
    Q_DECLARE_TR_FUNCTIONS(CliOptions)

public:
    enum class Outcome { Run, Help, Version, Failed };

    QString command;
    QStringList positional;
    // The options given, --json aside, to be checked against the command's own.
    QStringList given;
    bool json = false;
    bool yes = false;
    bool all = false;
    bool useGood = false;
    bool keepCurrent = false;
    bool fromBackup = false;
    bool portable = false;
    bool dryRun = false;
    bool replace = false;
    // --map OLD=NEW, in the order given.
    QStringList maps;
    int keep = -1;
    QString fingerprint;

    // Reads the words; on Failed, *error says what is wrong with them.
    static Outcome parse(const QStringList &arguments, CliOptions *options, QString *error);
    // Whether the output is to be JSON, known before anything else is read.
    static bool wantsJson(const QStringList &arguments);
};

} // namespace pfw
