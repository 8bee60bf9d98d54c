#include "ui/openflow.h"

#include "core/backups.h"
#include "platform/hostlocations.h"
#include "session/editingsession.h"
#include "ui/busycheck.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace pfw {

namespace {

std::function<void(const QString &)> &errorSink()
{
    static std::function<void(const QString &)> sink;
    return sink;
}

} // namespace

OpenFlow::OpenFlow(EditingSession &session, QWidget *dialogParent)
    : m_session(session)
    , m_dialogParent(dialogParent)
{
}

void OpenFlow::reportErrorsTo(std::function<void(const QString &)> sink)
{
    errorSink() = std::move(sink);
}

bool OpenFlow::confirmDiscard(const QString &reason)
{
    BusyCheck::commitTyping(m_dialogParent);
    const int n = m_session.unsavedCount();
    if (n == 0)
        return true;
    QMessageBox box(QMessageBox::Question, tr("Discard changes?"),
                    tr("You have %n unsaved change(s). %1", nullptr, n).arg(reason),
                    QMessageBox::Discard | QMessageBox::Cancel, m_dialogParent);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Discard;
}

QString OpenFlow::askForFile()
{
    QString start;
    if (m_session.isLoaded())
        start = QFileInfo(m_session.path()).absolutePath();
    else if (const QStringList folders = defaultSettingsFolders(m_session.services().environment); !folders.isEmpty())
        start = folders.constFirst();
    return QFileDialog::getOpenFileName(m_dialogParent, tr("Open PixInsight settings file"), start,
                                        tr("PixInsight settings (*.settings);;All files (*)"));
}

bool OpenFlow::open(const QString &named)
{
    // A name relative to the working folder is kept whole: it is shown, reported and watched.
    QString error;
    if (m_session.open(wholeFilePath(named), &error))
        return true;
    reportError(error);
    return false;
}

void OpenFlow::reportError(const QString &error)
{
    if (errorSink())
        errorSink()(error);
    else
        QMessageBox::critical(m_dialogParent, tr("Cannot open file"), error);
}

} // namespace pfw
