#include "ui/transferflow.h"

#include "core/safewrite.h"
#include "core/settingsdocument.h"
#include "core/xsdtfile.h"
#include "core/xsdtnode.h"
#include "model/settingsmodel.h"
#include "schema/settinglabel.h"
#include "session/busyscope.h"
#include "session/editingsession.h"
#include "ui/dialogs/importdialog.h"
#include "ui/dialogs/instancecopydialog.h"
#include "modules/instancecopy.h"
#include "platform/hostlocations.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSet>
#include <QStandardPaths>

namespace pfw {

namespace {

QString exportFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

} // namespace

TransferFlow::TransferFlow(EditingSession &session, QWidget *parent)
    : m_session(session)
    , m_parent(parent)
{
}

QList<ExportDialog::Choice> TransferFlow::wholeFileChoices(const EditingSession &session)
{
    QList<ExportDialog::Choice> choices;
    if (!session.isLoaded())
        return choices;
    const XsdtFile &file = session.document().file();
    QSet<const XsdtNode *> taken;
    for (const PageSpec &page : session.schema().pages(file)) {
        ExportDialog::Choice choice{tr("Preferences: %1").arg(page.title), {}};
        for (const QString &path : page.paths) {
            if (const XsdtNode *node = file.root.findPath(path); node && !taken.contains(node)) {
                choice.nodes << node;
                taken.insert(node);
            }
        }
        if (!choice.nodes.isEmpty())
            choices << choice;
    }
    // Whatever else the file holds, a group at a time: what the pages hold is not offered twice.
    const std::function<void(const XsdtNode &)> rest = [&](const XsdtNode &group) {
        for (const auto &child : group.children) {
            if (child->deleted || taken.contains(child.get()))
                continue;
            bool holdsTaken = false;
            for (const XsdtNode *node : std::as_const(taken)) {
                for (const XsdtNode *at = node->parent; at && !holdsTaken; at = at->parent)
                    holdsTaken = at == child.get();
            }
            if (holdsTaken)
                rest(*child);
            else
                choices << ExportDialog::Choice{SettingLabel::text(&session.schema(), *child), {child.get()}};
        }
    };
    rest(file.root);
    return choices;
}

QList<ExportDialog::Choice> TransferFlow::choicesFor(const EditingSession &session,
                                                     const QList<const XsdtNode *> &nodes, const QString &title)
{
    QList<const XsdtNode *> live;
    for (const XsdtNode *node : nodes) {
        if (node && !node->isInsideDeleted() && !live.contains(node))
            live << node;
    }
    if (live.isEmpty())
        return {};
    QString name = title;
    if (name.isEmpty())
        name = live.size() == 1 ? SettingLabel::text(&session.schema(), *live.constFirst())
                                : tr("%n entries", nullptr, int(live.size()));
    return {ExportDialog::Choice{name, live}};
}

bool TransferFlow::exportChoices(const QList<ExportDialog::Choice> &choices)
{
    const BusyScope busy;
    m_message.clear();
    if (!m_session.isLoaded() || choices.isEmpty()) {
        m_message = tr("Nothing to export.");
        return false;
    }
    ExportDialog dialog(m_session, choices, exportFolder(), m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    m_message = dialog.message();
    return true;
}

bool TransferFlow::importSnippet(QString path)
{
    const BusyScope busy;
    m_message.clear();
    if (!m_session.isLoaded())
        return false;
    if (m_session.isHostRunning()) {
        m_message = tr("PixInsight is running: settings can be imported once it exits.");
        return false;
    }
    if (path.isEmpty())
        path = QFileDialog::getOpenFileName(m_parent, tr("Import settings"), exportFolder(),
                                            tr("Settings snippets (*.xsdt *.settings);;All files (*)"));
    if (path.isEmpty())
        return false;
    const auto refuse = [this](const QString &text) {
        QMessageBox::warning(m_parent, tr("Import settings"), text);
        m_message = text;
        return false;
    };
    QByteArray bytes;
    QString error;
    if (!SafeWrite::readFile(path, &bytes, &error))
        return refuse(error);
    XsdtFile snippet;
    if (!SettingsDocument::parseSettingsFile(path, bytes, &snippet, &error))
        return refuse(error);
    // Its text would come in with U+FFFD in place of what it really holds.
    if (!snippet.validUtf8)
        return refuse(tr("%1 holds bytes that are not valid UTF-8 (first at line %2, column %3), so its texts "
                         "cannot be taken as they are. Nothing was imported.")
                          .arg(QDir::toNativeSeparators(path))
                          .arg(snippet.invalidUtf8Line)
                          .arg(snippet.invalidUtf8Column));
    if (QFileInfo(path).canonicalFilePath() == QFileInfo(m_session.path()).canonicalFilePath())
        return refuse(tr("That is the open settings file itself: there is nothing to import from it."));
    ImportDialog dialog(m_session, snippet.root, path, m_parent);
    if (dialog.exec() != QDialog::Accepted || dialog.applied() == 0)
        return false;
    m_message = tr("%n changes imported from %1; review them with Save.", nullptr, dialog.applied())
                    .arg(QFileInfo(path).fileName());
    return true;
}

QStringList TransferFlow::copyToInstances(const QList<const XsdtNode *> &nodes)
{
    const BusyScope busy;
    m_message.clear();
    if (!m_session.isLoaded() || nodes.isEmpty())
        return {};
    const QString title = tr("Copy to other instances");
    if (m_session.isHostRunning()) {
        m_message = tr("PixInsight is running: values can be copied to its other instances once it exits.");
        QMessageBox::warning(m_parent, title, m_message);
        return {};
    }
    InstanceCopy copy(&m_session.schema(), &m_session.policy());
    if (m_session.services().isHostRunning)
        copy.setRunningCheck(m_session.services().isHostRunning);
    QString error;
    if (!copy.setSource(m_session.document().file(), nodes, &error)) {
        m_message = error;
        QMessageBox::warning(m_parent, title, error);
        return {};
    }
    copy.prepare(findSettingsFiles(m_session.services().environment), m_session.path());
    if (copy.targets().empty()) {
        m_message = tr("There is no other PixInsight settings file on this computer.");
        QMessageBox::information(m_parent, title, m_message);
        return {};
    }
    InstanceCopyDialog dialog(m_session, copy, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QString report = dialog.report().join(u'\n');
    if (dialog.anyFailed())
        QMessageBox::warning(m_parent, title, report);
    else
        QMessageBox::information(m_parent, title, report);
    m_message = dialog.anyFailed() ? tr("Some instances were not changed; see the report.")
                                   : tr("Copied into %n other instances.", nullptr, int(dialog.written().size()));
    return dialog.written();
}

} // namespace pfw
