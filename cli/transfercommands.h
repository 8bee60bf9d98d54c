#pragma once

#include <QCoreApplication>
#include <QJsonObject>
#include <QStringList>

namespace pfw {

class CliOutput;
class SettingsDocument;
class ScriptedEdit;
struct CliOptions;

// The commands of prefwright-cli that carry settings elsewhere and back: export a selection
// to a snippet, import one, and reset preferences to PixInsight's defaults. Each returns the
// exit code.
class TransferCommands final
{
    Q_DECLARE_TR_FUNCTIONS(TransferCommands)

public:
    explicit TransferCommands(CliOutput &io);

    int exportEntries(const CliOptions &options);
    int importSnippet(const CliOptions &options);
    int reset(const CliOptions &options);

private:
    // Saves what is pending with a backup; report is completed with what was saved.
    int save(SettingsDocument *document, ScriptedEdit *edit, const CliOptions &options, QJsonObject report,
             const QString &done);

    CliOutput &m_io;
};

} // namespace pfw
