#pragma once

#include "core/fileidentity.h"

#include <QByteArray>
#include <QObject>
#include <QString>

template<typename T>
class QFutureWatcher;

namespace pfw {

class SettingsDocument;

// Whether the open file still holds the bytes that were loaded or saved, for one stat per
// check: the file is read and hashed only when its identity (size, modification time, inode,
// device) is not one already vouched for, and then on a worker thread.
class DiskChangeMonitor final : public QObject
{
    Q_OBJECT

public:
    enum class State { Same, Changed, Checking };

    explicit DiskChangeMonitor(QObject *parent = nullptr);
    ~DiskChangeMonitor() override;

    // Another path or fingerprint (a load, a save) starts over from the document's identity.
    State check(const SettingsDocument &document);
    bool isChecking() const { return m_job != nullptr; }

signals:
    // A hash has finished: the next check has a verdict.
    void settled();

private:
    struct Hashed
    {
        bool stable = false;
        bool readable = false;
        QByteArray fingerprint;
    };
    void start(const FileIdentity &identity);
    void finished();
    void stop();

    QString m_path;
    QByteArray m_fingerprint;
    FileIdentity m_same;
    FileIdentity m_changed;
    FileIdentity m_jobFor;
    QFutureWatcher<Hashed> *m_job = nullptr;
};

} // namespace pfw
