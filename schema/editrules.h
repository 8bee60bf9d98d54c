#pragma once

#include <QCoreApplication>
#include <QString>

namespace pfw {

class DeletionPolicy;
class SettingsSchema;
struct XsdtNode;

// What an edit of one value may be, asked by every writer alike: the window's rows, its
// delegate and raw tree, the command-line tool and Compare's copy. A value may be refused as a
// whole (protected type, inside a deletion, locked, read-only) or for its text (its type, the
// schema's range and allowed values). Without a schema there is no range; without a policy,
// nothing is locked.
class EditRules final
{
    Q_DECLARE_TR_FUNCTIONS(EditRules)

public:
    enum class Refusal { None, NotAValue, Protected, InsideDeletion, Locked, ReadOnly };

    EditRules() = default;
    EditRules(const SettingsSchema *schema, const DeletionPolicy *policy);

    const SettingsSchema *schema() const { return m_schema; }
    const DeletionPolicy *policy() const { return m_policy; }

    Refusal refusal(const XsdtNode &node) const;
    bool mayEdit(const XsdtNode &node) const { return refusal(node) == Refusal::None; }
    // The text stored for text: false with why when its type, the schema's range or its
    // allowed values refuse it; a type's complaint names the value as name (its key when
    // empty). The refusal of the value as a whole is not asked here.
    [[nodiscard]] bool normalize(const XsdtNode &node, const QString &text, QString *normalized, QString *error,
                                 const QString &name = QString()) const;

    // Why the schema refuses an already normalized text (its range, its allowed values), or empty.
    QString schemaProblem(const XsdtNode &node, const QString &normalized) const;

private:
    const SettingsSchema *m_schema = nullptr;
    const DeletionPolicy *m_policy = nullptr;
};

} // namespace pfw
