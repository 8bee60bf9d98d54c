#include "cli/problemsearchcommand.h"

#include "cli/clioutput.h"
#include "cli/settingscli.h"
#include "core/problemsearch.h"
#include "core/settingsdocument.h"
#include "core/terminaltext.h"
#include "core/xsdtfile.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace pfw {

namespace {

QJsonObject suspectJson(const SearchSuspect &suspect, const QString &label)
{
    QJsonObject object{{QStringLiteral("path"), suspect.path},
                       {QStringLiteral("label"), label},
                       {QStringLiteral("badValue"), suspect.badValue}};
    object.insert(QStringLiteral("goodValue"),
                  suspect.kind == SearchSuspect::Remove ? QJsonValue(QJsonValue::Null) : QJsonValue(suspect.goodValue));
    return object;
}

} // namespace

ProblemSearchCommand::ProblemSearchCommand(CliOutput &io)
    : m_io(io)
{
}

int ProblemSearchCommand::run(const QString &step, const QStringList &files, Ending ending)
{
    const auto usageError = [this](const QString &message) {
        return m_io.fail(SettingsCli::UsageError, {message, tr("Run prefwright-cli --help for the commands.")});
    };
    static const QStringList steps{QStringLiteral("start"), QStringLiteral("good"),   QStringLiteral("bad"),
                                   QStringLiteral("skip"),  QStringLiteral("status"), QStringLiteral("reset")};
    if (!steps.contains(step))
        return usageError(tr("Unknown bisect step '%1'; use start, good, bad, skip, status or reset.").arg(step));
    if (files.size() != (step == u"start" ? 2 : 1))
        return usageError(tr("Wrong number of arguments for bisect %1.").arg(step));
    if (ending != Ending::PutBack && step != u"reset")
        return usageError(tr("--use-good, --keep-current and --from-backup apply to bisect reset only."));
    if (step == u"start")
        return start(files.at(0), files.at(1));
    if (step == u"status")
        return status(files.at(0));
    if (step == u"reset")
        return reset(files.at(0), ending);
    return answer(files.at(0), step);
}

int ProblemSearchCommand::start(const QString &file, const QString &good)
{
    SettingsDocument bad, goodState;
    DeletionPolicy policy;
    if (!m_io.load(&bad, file) || !m_io.load(&goodState, good))
        return SettingsCli::BadFile;
    if (!m_io.loadRules(nullptr, &policy))
        return SettingsCli::Refused;
    ProblemSearch search(file);
    QString error;
    // The file the search starts from is the one just read: a write since then is refused.
    if (!search.start(good, &policy, bad.fingerprint(), &error) || !search.read(&error))
        return m_io.fail(SettingsCli::Refused, error);
    m_io.noteDone(
        tr("The search started; the file as it was is kept in %1.").arg(QFileInfo(search.backupPath()).fileName()));
    if (!m_io.json()) {
        m_io.say(tr("The file as it is now is kept in %1.")
                     .arg(TerminalText::printable(QDir::toNativeSeparators(search.backupPath()))));
        QString counts = tr("%n differences will be tested", nullptr, int(search.suspects().size()));
        counts += u' ' + tr("(%1).").arg(ProblemSearchRounds::aboutLaunches(int(search.suspects().size())));
        if (search.onlyInGoodCount() > 0)
            counts += u' '
                + tr("%n entries exist only in the good state and are not tested.", nullptr,
                     int(search.onlyInGoodCount()));
        if (search.leftOutCount() > 0)
            counts += u' '
                + tr("%n values are not tested (protected, locked, or holding characters a settings file cannot "
                     "hold).",
                     nullptr, int(search.leftOutCount()));
        m_io.say(counts);
    }
    report(search, file);
    return SettingsCli::Success;
}

int ProblemSearchCommand::answer(const QString &file, const QString &step)
{
    const ProblemSearchRounds::Answer answer = step == u"good" ? ProblemSearchRounds::Answer::Good
        : step == u"bad"                                       ? ProblemSearchRounds::Answer::Bad
                                                               : ProblemSearchRounds::Answer::Skip;
    DeletionPolicy policy;
    if (!m_io.loadRules(nullptr, &policy))
        return SettingsCli::Refused;
    ProblemSearch search(file);
    search.setPolicy(&policy);
    QString error;
    const bool answered = search.answer(answer, -1, &error);
    const QString notice = search.notice();
    if (!notice.isEmpty() && !m_io.json())
        m_io.say(TerminalText::printable(notice));
    if (!answered) {
        // The step may have moved the search on (a file written) before it was refused.
        QString unused;
        if (search.read(&unused) && !m_io.json())
            report(search, file);
        return m_io.fail(SettingsCli::Refused, error);
    }
    if (!search.read(&error))
        return m_io.fail(SettingsCli::Refused, error);
    m_io.noteDone(tr("The answer was recorded."));
    report(search, file);
    return SettingsCli::Success;
}

int ProblemSearchCommand::status(const QString &file)
{
    ProblemSearch search(file);
    QString error;
    if (!search.hasState()) {
        if (m_io.json())
            m_io.printJson(QJsonObject{{QStringLiteral("inProgress"), false}});
        else
            m_io.say(tr("No search for a problem setting is in progress for %1.")
                         .arg(TerminalText::printable(QDir::toNativeSeparators(file))));
        return SettingsCli::Success;
    }
    QByteArray original;
    // A search whose backup is gone cannot go on: that is the one thing status must tell.
    if (!search.read(&error) || !search.readBadBytes(&original, &error))
        return m_io.fail(SettingsCli::Refused, error);
    report(search, file);
    return SettingsCli::Success;
}

int ProblemSearchCommand::reset(const QString &file, Ending ending)
{
    ProblemSearch search(file);
    QString error, backup;
    const ProblemSearch::End how = ending == Ending::UseGoodValue ? ProblemSearch::End::UseGoodValue
        : ending == Ending::KeepCurrent                           ? ProblemSearch::End::KeepCurrent
        : ending == Ending::FromBackup                            ? ProblemSearch::End::FromBackup
                                                                  : ProblemSearch::End::PutBack;
    if (!search.end(how, &error, &backup))
        return m_io.fail(SettingsCli::Refused, error);
    QStringList during;
    for (const QString &path : search.duringSearchBackups())
        during << QFileInfo(path).fileName();
    QString done;
    switch (how) {
    case ProblemSearch::End::PutBack:
        done = tr("The search is over; the file is back as it was before it.");
        break;
    case ProblemSearch::End::UseGoodValue:
        done = tr("The search is over; the file is as it was before it, with the good value of what was found.");
        break;
    case ProblemSearch::End::KeepCurrent:
        done = tr("The search is over; the file is kept as it is now.");
        break;
    case ProblemSearch::End::FromBackup:
        done = tr("The search is over; the file is back as it was before it, from the backup made when it started.");
        break;
    }
    if (!backup.isEmpty())
        done += u' ' + tr("Backup: %1").arg(TerminalText::printable(QDir::toNativeSeparators(backup)));
    if (!during.isEmpty())
        done += u' '
            + tr("What PixInsight changed during the search is kept in: %1.")
                  .arg(TerminalText::printable(during.join(QLatin1String(", "))));
    if (!search.notice().isEmpty())
        done += u' ' + TerminalText::printable(search.notice());
    m_io.noteDone(done);
    if (m_io.json())
        m_io.printJson(
            QJsonObject{{QStringLiteral("inProgress"), false},
                        {QStringLiteral("backup"), backup},
                        {QStringLiteral("duringSearch"), QJsonArray::fromStringList(search.duringSearchBackups())}});
    else
        m_io.say(done);
    return SettingsCli::Success;
}

void ProblemSearchCommand::report(const ProblemSearch &search, const QString &file)
{
    SettingsSchema schema;
    QString unused;
    const bool haveSchema = schema.loadBuiltIn(&unused);
    XsdtFile bad;
    QByteArray badBytes;
    const bool haveBad = search.readBadBytes(&badBytes, nullptr) && bad.parse(badBytes);
    const auto labelOf = [&](const SearchSuspect &suspect) {
        return suspect.label(haveSchema ? &schema : nullptr, haveBad ? &bad.root : nullptr);
    };
    const ProblemSearchRounds &state = search.search();
    const int remaining = int(state.remaining().size());
    const QString name = TerminalText::shellWord(QDir::toNativeSeparators(file));
    if (m_io.json()) {
        QJsonArray culprits, testing;
        if (state.isFinished()) {
            for (const SearchSuspect &suspect : search.remainingSuspects())
                culprits << suspectJson(suspect, labelOf(suspect));
        }
        for (const int index : state.testing())
            testing << search.suspects().at(index).path;
        m_io.printJson(
            QJsonObject{{QStringLiteral("inProgress"), true},
                        {QStringLiteral("finished"), state.isFinished()},
                        {QStringLiteral("round"), state.rounds() + (state.isFinished() ? 0 : 1)},
                        {QStringLiteral("launches"), state.rounds()},
                        {QStringLiteral("remaining"), remaining},
                        {QStringLiteral("expectedLaunches"),
                         state.isFinished() ? 0 : ProblemSearchRounds::expectedRounds(remaining)},
                        {QStringLiteral("fileWritten"), search.isCandidateWritten()},
                        {QStringLiteral("goodValuesIn"), testing},
                        {QStringLiteral("found"), culprits},
                        {QStringLiteral("backup"), search.backupPath()},
                        {QStringLiteral("duringSearch"), QJsonArray::fromStringList(search.duringSearchBackups())},
                        {QStringLiteral("notice"), search.notice()},
                        {QStringLiteral("state"), search.statePath()}});
        return;
    }
    if (state.isFinished()) {
        const QList<SearchSuspect> found = search.remainingSuspects();
        m_io.say(found.size() == 1
                     ? tr("Found after %n launches:", nullptr, state.rounds())
                     : tr("After %n launches these settings could not be told apart:", nullptr, state.rounds()));
        for (const SearchSuspect &suspect : found) {
            m_io.say(QStringLiteral("  %1 (%2)")
                         .arg(TerminalText::printable(labelOf(suspect)), TerminalText::printable(suspect.path)));
            m_io.say(tr("    bad value:  %1").arg(TerminalText::printable(SettingsCli::escapeField(suspect.badValue))));
            m_io.say(tr("    good value: %1")
                         .arg(TerminalText::printable(SettingsCli::escapeField(suspect.goodValueText()))));
        }
        m_io.say(tr("End the search with one of:"));
        m_io.say(
            tr("  prefwright-cli bisect reset %1 --use-good      keep everything and use the good value").arg(name));
        m_io.say(tr("  prefwright-cli bisect reset %1                 put the file back as it was").arg(name));
        m_io.say(tr("  prefwright-cli bisect reset %1 --keep-current  keep the file as it is now").arg(name));
        return;
    }
    m_io.say(tr("Round %1: %2 settings are still suspected; this file has the good value of %3 of them "
                "(%4 left).")
                 .arg(state.rounds() + 1)
                 .arg(remaining)
                 .arg(state.testing().size())
                 .arg(ProblemSearchRounds::aboutLaunches(remaining)));
    if (!search.isCandidateWritten()) {
        m_io.say(tr("The file for this round has not been written yet (an earlier step was interrupted). Close "
                    "PixInsight; the next answer writes it and is not counted."));
        return;
    }
    m_io.say(tr("Start PixInsight now and check whether the problem occurs; close it, then answer."));
    m_io.say(tr("  prefwright-cli bisect bad %1    the problem occurred").arg(name));
    m_io.say(tr("  prefwright-cli bisect good %1   it did not").arg(name));
    m_io.say(tr("  prefwright-cli bisect skip %1   you cannot tell").arg(name));
}

} // namespace pfw
