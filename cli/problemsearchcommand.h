#pragma once

#include <QCoreApplication>
#include <QString>

namespace pfw {

class CliOutput;
class ProblemSearch;

// prefwright-cli bisect: finds the setting that broke PixInsight from a terminal, one step per
// call (start, good, bad, skip, status, reset), with the same state file as the window. Each
// step prints what to do next.
class ProblemSearchCommand final
{
    Q_DECLARE_TR_FUNCTIONS(ProblemSearchCommand)

public:
    enum class Ending { PutBack, UseGoodValue, KeepCurrent, FromBackup };

    explicit ProblemSearchCommand(CliOutput &io);

    // arguments: the step and its files. Returns the exit code.
    int run(const QString &step, const QStringList &files, Ending ending);

private:
    int start(const QString &file, const QString &good);
    int answer(const QString &file, const QString &step);
    int status(const QString &file);
    int reset(const QString &file, Ending ending);
    // Where the search stands and the next instruction.
    void report(const ProblemSearch &search, const QString &file);

    CliOutput &m_io;
};

} // namespace pfw
