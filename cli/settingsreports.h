#pragma once

#include <QCoreApplication>
#include <QString>

namespace pfw {

class CliOutput;

// The commands of prefwright-cli that report on a file and change nothing: check, dump,
// roundtrip, diff, health, modules and history. Each returns the exit code.
class SettingsReports final
{
    Q_DECLARE_TR_FUNCTIONS(SettingsReports)

public:
    explicit SettingsReports(CliOutput &io);

    int check(const QString &path);
    int dump(const QString &file);
    // The bytes saving the unchanged file would write.
    int roundtrip(const QString &file);
    int diff(const QString &file, const QString &otherFile, bool all);
    int health(const QString &file);
    int modules(const QString &path);
    int history(const QString &file, const QString &path);

private:
    CliOutput &m_io;
};

} // namespace pfw
