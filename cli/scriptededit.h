#pragma once

#include "schema/editrules.h"

#include <QCoreApplication>
#include <QString>

namespace pfw {

class DeletionPolicy;
class SettingsDocument;
class SettingsSchema;
struct XsdtNode;

// Changes asked for by a script, held to the editor's rules (EditRules): a value is checked by
// its type, the schema's range and options, the lock and protection lists; a deletion by the
// policy.
// Nobody reviews a script's save, so it also refuses what the editor would only warn about.
class ScriptedEdit final
{
    Q_DECLARE_TR_FUNCTIONS(ScriptedEdit)

public:
    ScriptedEdit(SettingsDocument *document, const SettingsSchema *schema, const DeletionPolicy *policy);

    // Queues one value change. False with the reason when it is refused; the tree is unchanged.
    [[nodiscard]] bool setValue(const QString &path, const QString &text, QString *error);
    // Queues one deletion; a Warn verdict needs confirmed.
    [[nodiscard]] bool requestDeletion(const QString &path, bool confirmed, QString *error);
    // The document's save, after the checks only a person at the editor could have waived.
    // expectedFingerprint, when not empty, is the SHA-256 (hex) the file must still have.
    [[nodiscard]] bool save(const QString &expectedFingerprint, QString *error, QString *backupPath);

    // The path as a user writes it; the root is "/".
    static QString displayPath(const XsdtNode &node);
    // The value at a setting path, or null with why there is none.
    static XsdtNode *findValue(const XsdtNode &root, const QString &path, QString *error);

private:
    SettingsDocument *m_document;
    const DeletionPolicy *m_policy;
    EditRules m_rules;
};

} // namespace pfw
