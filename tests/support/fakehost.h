#pragma once

#include <QFile>
#include <QProcess>
#include <QString>

namespace pfw::test {

// A copy of a program that sleeps, under PixInsight's executable name, stands in for the running
// program.
// Tests compare the running check with this process only, so tests that run at the same time
// cannot see each other's fake.
class FakeHost final
{
public:
    // Starts the copy in folder; false when it could not be started.
    bool start(const QString &folder, const QString &name = hostName())
    {
        const QString program = folder + u'/' + name;
        if (!QFile::exists(program) && !QFile::copy(QStringLiteral(PFW_SLEEPER), program))
            return false;
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_process.start(program, {QStringLiteral("60")});
        return m_process.waitForStarted();
    }
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    // PixInsight's executable file name here.
    static QString hostName()
    {
#ifdef Q_OS_WIN
        return QStringLiteral("PixInsight.exe");
#else
        return QStringLiteral("PixInsight");
#endif
    }
    qint64 pid() const
    {
        return m_process.state() == QProcess::NotRunning ? 0 : m_process.processId();
    }
    ~FakeHost()
    {
        stop();
    }

private:
    QProcess m_process;
};

} // namespace pfw::test
