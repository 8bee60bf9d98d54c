#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>

class QWidget;

namespace pfw {

class EditingSession;

// The window's dialogs that look at things beside the open file: what could not be read of
// the built-in descriptions and rules, About, Installed updates and Manage backups.
class WindowDialogs final
{
    Q_DECLARE_TR_FUNCTIONS(WindowDialogs)

public:
    WindowDialogs(EditingSession &session, QWidget *parent);

    void warnAboutBuiltIns();
    void about();
    void installedUpdates();
    // False when no file is open; message receives what was done to the backups.
    bool manageBackups(const std::function<void(const QString &)> &message);
    // PixInsight's installed.xri on this computer, or empty.
    QString installedRecordPath() const;

private:
    EditingSession &m_session;
    QWidget *m_parent;
};

} // namespace pfw
