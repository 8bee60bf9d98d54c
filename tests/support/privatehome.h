#pragma once

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <array>
#include <optional>

namespace pfw::test {

// Points HOME and the XDG folders at a fresh temporary folder and turns on the test mode of the
// standard locations, so that the settings and the trash a test uses stay inside that folder.
// On Windows the settings go to an INI file in there too: the registry, where they would go
// otherwise, knows no test mode (and takes nothing without an organization name).
// The previous environment comes back when it goes.
class PrivateHome final
{
public:
    PrivateHome()
    {
        for (size_t i = 0; i < kVariables.size(); ++i) {
            if (qEnvironmentVariableIsSet(kVariables[i]))
                m_saved[i] = qgetenv(kVariables[i]);
        }
        const QByteArray home = QFile::encodeName(m_dir.path());
        qputenv("HOME", home);
        qputenv("XDG_DATA_HOME", home + "/.local/share");
        qputenv("XDG_CONFIG_HOME", home + "/.config");
        qputenv("XDG_CACHE_HOME", home + "/.cache");
        QStandardPaths::setTestModeEnabled(true);
#ifdef Q_OS_WIN
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path() + QLatin1String("/.config"));
        QSettings::setDefaultFormat(QSettings::IniFormat);
#endif
    }
    ~PrivateHome()
    {
        for (size_t i = 0; i < kVariables.size(); ++i) {
            if (m_saved[i])
                qputenv(kVariables[i], *m_saved[i]);
            else
                qunsetenv(kVariables[i]);
        }
#ifdef Q_OS_WIN
        QSettings::setDefaultFormat(QSettings::NativeFormat);
#endif
    }
    PrivateHome(const PrivateHome &) = delete;
    PrivateHome &operator=(const PrivateHome &) = delete;

    bool isValid() const
    {
        return m_dir.isValid();
    }
    QString path() const
    {
        return m_dir.path();
    }

private:
    static constexpr std::array<const char *, 4> kVariables{"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                                                            "XDG_CACHE_HOME"};

    QTemporaryDir m_dir;
    std::array<std::optional<QByteArray>, 4> m_saved;
};

} // namespace pfw::test
