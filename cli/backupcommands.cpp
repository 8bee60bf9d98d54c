#include "cli/backupcommands.h"

#include "cli/clioutput.h"
#include "cli/settingscli.h"
#include "core/backups.h"
#include "core/safewrite.h"
#include "core/settingsdocument.h"
#include "core/terminaltext.h"
#include "core/xmlwellformedness.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace pfw {

BackupCommands::BackupCommands(CliOutput &io)
    : m_io(io)
{
}

int BackupCommands::restore(const QString &file, const QString &backup)
{
    // As the window offers them: only this file's own backups.
    if (!QFileInfo::exists(backup) && !QFileInfo(backup).isSymLink())
        return m_io.fail(SettingsCli::Refused, tr("%1 does not exist.").arg(QDir::toNativeSeparators(backup)));
    if (QFileInfo(backup).isDir())
        return m_io.fail(SettingsCli::Refused,
                         tr("%1 is a folder, not a backup.").arg(QDir::toNativeSeparators(backup)));
    if (!isBackupOf(file, backup))
        return m_io.fail(
            SettingsCli::Refused,
            tr("%1 is not a backup of %2 (its backups are beside it, named %3.bak-...).")
                .arg(QDir::toNativeSeparators(backup), QDir::toNativeSeparators(file), QFileInfo(file).fileName()));
    SettingsDocument document;
    QString error, kept;
    if (!document.restoreFile(file, backup, &error, &kept))
        return m_io.fail(SettingsCli::Refused, error);
    // Put back as it was written, faults and all: the user is told, as check would.
    QByteArray restored;
    if (SafeWrite::readFile(file, &restored, nullptr)) {
        if (const XmlWellFormedness::Report strict = XmlWellFormedness::check(restored); !strict.wellFormed)
            m_io.error(tr("warning: the restored file is not well-formed XML (%1 at line %2, column %3); a strict "
                          "reader, possibly PixInsight's, would refuse it.\n")
                           .arg(strict.what)
                           .arg(strict.line)
                           .arg(strict.column)
                           .toUtf8());
    }
    const QString done = kept.isEmpty() ? tr("Restored %1.").arg(QFileInfo(backup).fileName())
                                        : tr("Restored %1. The file as it was is kept in %2.")
                                              .arg(QFileInfo(backup).fileName(), QFileInfo(kept).fileName());
    m_io.noteDone(done);
    if (m_io.json())
        m_io.printJson(QJsonObject{{QStringLiteral("restored"), backup}, {QStringLiteral("backup"), kept}});
    else
        m_io.say(TerminalText::printable(done));
    return SettingsCli::Success;
}

int BackupCommands::list(const QString &path, int keep)
{
    // The settings file itself is not read: its backups matter most when it is damaged or gone.
    const QFileInfo given(path);
    if (given.isDir())
        return m_io.fail(SettingsCli::BadFile,
                         tr("Cannot read %1: It is a folder.").arg(QDir::toNativeSeparators(path)));
    if (const QString problem = backupListingProblem(path); !problem.isEmpty())
        return m_io.fail(SettingsCli::BadFile, problem);
    const QStringList found = listBackups(path);
    if (found.isEmpty() && !given.exists() && !given.isSymLink())
        return m_io.fail(SettingsCli::BadFile,
                         tr("Cannot read %1: It does not exist, and there are no backups of it.")
                             .arg(QDir::toNativeSeparators(path)));
    if (keep < 0) {
        QJsonArray array;
        for (const QString &backup : found) {
            const QFileInfo info(backup);
            const QString modified = info.lastModified().toString(Qt::ISODate);
            if (m_io.json())
                array << QJsonObject{{QStringLiteral("path"), QDir::toNativeSeparators(backup)},
                                     {QStringLiteral("size"), info.size()},
                                     {QStringLiteral("modified"), modified}};
            else
                // Named as the file was typed, before the field is escaped.
                m_io.print(QStringLiteral("%1\t%2\t%3")
                               .arg(modified, QString::number(info.size()),
                                    SettingsCli::escapeField(m_io.asTyped(QDir::toNativeSeparators(backup)))));
        }
        if (m_io.json())
            m_io.printJson(QJsonObject{{QStringLiteral("backups"), array}});
        return SettingsCli::Success;
    }
    const BackupRemoval removal = pruneBackups(path, keep, true);
    if (!removal.error.isEmpty())
        return m_io.fail(SettingsCli::Refused, removal.error);
    if (removal.removed > 0)
        m_io.noteDone(describeRemoval(removal));
    if (m_io.json())
        m_io.printJson(
            QJsonObject{{QStringLiteral("removed"), removal.removed},
                        {QStringLiteral("movedToTrash"), removal.movedToTrash},
                        {QStringLiteral("trashed"), removal.trashed},
                        {QStringLiteral("deleted"), removal.deleted},
                        {QStringLiteral("bytes"), removal.bytes},
                        {QStringLiteral("notRemoved"), QJsonArray::fromStringList(removal.notRemoved)},
                        {QStringLiteral("skipped"), QJsonArray::fromStringList(removal.skipped)},
                        {QStringLiteral("keptForSearch"), QJsonArray::fromStringList(removal.keptForSearch)}});
    else
        m_io.say(TerminalText::printable(describeRemoval(removal)));
    return removal.notRemoved.isEmpty() ? SettingsCli::Success : SettingsCli::Refused;
}

} // namespace pfw
