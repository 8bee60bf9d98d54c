#pragma once

#include <QCoreApplication>
#include <QString>

namespace pfw {

class CliOutput;

// The commands of prefwright-cli about a file's backups: list or prune them (backups) and put
// one back (restore). Each returns the exit code.
class BackupCommands final
{
    Q_DECLARE_TR_FUNCTIONS(BackupCommands)

public:
    explicit BackupCommands(CliOutput &io);

    // keep < 0: list them; otherwise remove all but the newest keep.
    int list(const QString &path, int keep);
    int restore(const QString &file, const QString &backup);

private:
    CliOutput &m_io;
};

} // namespace pfw
