#pragma once

#include "core/safewrite.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QStringList>

#include <functional>

namespace pfw {

// PixInsight's record of installed update packages, etc/update/installed.xri: read, and edited
// by cutting whole records out of the raw text so that nothing else changes by a single byte.

struct PackageRecord
{
    QString fileName;
    QString type;
    QString installDate;
    QString releaseDate;
    QString repo;
    QString title;
    QString sha1;
};

struct PackageSpan
{
    qsizetype start = 0;
    qsizetype end = 0;
    QString fileName;
};

struct EditResult
{
    int status = 5;
    QString message;
    int count = 0;
    QString backupPath;
};

// How an edit checks for PixInsight and, for tests, the file operations its write is made of.
struct RecordEditOptions
{
    bool checkRunning = true;
    std::function<bool()> isHostRunning;
    SafeWrite::FileOperations operations = SafeWrite::defaultFileOperations();
};

class InstalledRecords final
{
    Q_DECLARE_TR_FUNCTIONS(InstalledRecords)
};

QString findInstalledRecordFile(const QStringList &candidates);
bool isInstalledRecordPath(const QString &path);
QList<PackageRecord> parseInstalledRecords(const QByteArray &bytes, QString *error);
QList<PackageRecord> loadInstalledRecords(const QString &path, QString *error);
QList<PackageSpan> packageSpans(const QByteArray &bytes);
QStringList installedBackups(const QString &path);
QString makeInstalledBackupPath(const QString &path);
EditResult removeInstalledRecords(const QString &path, const QStringList &fileNames,
                                  const RecordEditOptions &options = {});
EditResult restoreNewestInstalledBackup(const QString &path, const RecordEditOptions &options = {});
QString displayInstallDate(const PackageRecord &record);

struct ElevatedRun;
// The result of a change that ran in the elevated helper, which reports only its exit code.
EditResult editResultFromElevatedRun(const ElevatedRun &run, const QString &path);

struct HostEnvironment;
int runInstalledUpdatesHelper(const QStringList &arguments, const HostEnvironment &environment,
                              const std::function<bool()> &isHostRunning = {});

} // namespace pfw
