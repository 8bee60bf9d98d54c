#include "cli/scriptededit.h"

#include "core/failure.h"
#include "core/settingsdocument.h"
#include "schema/deletionpolicy.h"
#include "schema/settingsschema.h"

#include <QStringList>

namespace pfw {

ScriptedEdit::ScriptedEdit(SettingsDocument *document, const SettingsSchema *schema, const DeletionPolicy *policy)
    : m_document(document)
    , m_policy(policy)
    , m_rules(schema, policy)
{
}

QString ScriptedEdit::displayPath(const XsdtNode &node)
{
    return node.parent ? node.path() : QStringLiteral("/");
}

XsdtNode *ScriptedEdit::findValue(const XsdtNode &root, const QString &path, QString *error)
{
    XsdtNode *node = root.findPath(path);
    if (!node) {
        fail(error, tr("%1: no such setting.").arg(path));
        return nullptr;
    }
    if (node->kind != XsdtNode::Value) {
        fail(error, tr("%1 is a group, not a value.").arg(displayPath(*node)));
        return nullptr;
    }
    return node;
}

bool ScriptedEdit::setValue(const QString &path, const QString &text, QString *error)
{
    XsdtNode *node = findValue(m_document->file().root, path, error);
    if (!node) {
        if (error && !m_document->file().root.findPath(path))
            *error += tr(" Adding entries is not offered.");
        return false;
    }
    const QString shown = displayPath(*node);
    switch (m_rules.refusal(*node)) {
    case EditRules::Refusal::None:
        break;
    case EditRules::Refusal::NotAValue:
    case EditRules::Refusal::Protected:
        return fail(error, tr("%1: this value type is protected and cannot be edited.").arg(shown));
    case EditRules::Refusal::InsideDeletion:
        return fail(error, tr("%1 is inside an entry marked for deletion.").arg(shown));
    case EditRules::Refusal::Locked:
        return fail(
            error,
            tr("%1 is part of the module registry or version records and is locked against editing.").arg(shown));
    case EditRules::Refusal::ReadOnly:
        return fail(error, tr("%1 is documented by PixInsight as read-only or write-only.").arg(shown));
    }
    QString normalized;
    if (!m_rules.normalize(*node, text, &normalized, error, shown))
        return false;
    node->value = normalized;
    return true;
}

bool ScriptedEdit::requestDeletion(const QString &path, bool confirmed, QString *error)
{
    XsdtNode *node = m_document->file().root.findPath(path);
    if (!node)
        return fail(error, tr("%1: no such setting.").arg(path));
    const QString shown = displayPath(*node);
    if (node->isInsideDeleted())
        return true;
    const DeletionVerdict verdict = m_policy ? m_policy->verdict(node) : DeletionVerdict{};
    if (!node->parent || verdict.level == DeletionLevel::Never)
        return fail(error, tr("'%1' is protected and cannot be deleted. %2").arg(shown, verdict.reason));
    if (verdict.level == DeletionLevel::Warn && !confirmed)
        return fail(error, tr("'%1' was not deleted: %2 Add --yes to delete it anyway.").arg(shown, verdict.reason));
    node->deleted = true;
    return true;
}

bool ScriptedEdit::save(const QString &expectedFingerprint, QString *error, QString *backupPath)
{
    const XsdtFile &file = m_document->file();
    if (!expectedFingerprint.isEmpty()
        && expectedFingerprint.compare(QString::fromLatin1(m_document->fingerprint().toHex()), Qt::CaseInsensitive)
            != 0)
        return fail(error,
                    tr("The file changed since its fingerprint was taken (PixInsight may have written it). "
                       "Nothing was written."));
    // The editor shows this in a banner before the user saves; a script has no one to see it.
    if (!file.validUtf8)
        return fail(error,
                    tr("The file contains bytes that are not valid UTF-8 (first at line %1, column %2). Saving "
                       "would replace them with the Unicode replacement character, so nothing was written. "
                       "Open it in Prefwright to review that.")
                        .arg(file.invalidUtf8Line)
                        .arg(file.invalidUtf8Column));
    if (m_document->save(error, backupPath))
        return true;
    // A script has nothing to reload: it reads the file and asks again.
    if (error && *error == SafeWrite::changedOnDiskText())
        *error = tr("The file changed on disk after it was read (another Prefwright or PixInsight wrote it). Nothing "
                    "was written; run the command again.");
    return false;
}

} // namespace pfw
