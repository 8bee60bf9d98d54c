#pragma once

#include "schema/pathpattern.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

namespace pfw {

class XsdtFile;
struct XsdtNode;

enum class DeletionLevel : quint32 { Never = 0, Warn = 1, Safe = 2 };

struct DeletionVerdict
{
    DeletionLevel level = DeletionLevel::Never;
    QString reason;
};

struct DeleteRule
{
    PathPattern pattern;
    bool groupsOnly = false;
    DeletionLevel level = DeletionLevel::Never;
    QString reason;
};

struct CleanupGroup
{
    QString title;
    QString description;
    QStringList paths;
    bool each = false;
};

// Entries that belong to one computer, left out of what is carried to another.
struct MachineBoundGroup
{
    QString id;
    QString title;
    QList<PathPattern> patterns;
};

// Which entries of a settings file may be deleted, edited or copied. Only entries known to be
// safe are offered for deletion; everything else is Never.
class DeletionPolicy final
{
    Q_DECLARE_TR_FUNCTIONS(DeletionPolicy)

public:
    DeletionPolicy();

    // Replaces the whole policy from overlay.json; on failure the policy is empty.
    [[nodiscard]] bool load(const QByteArray &overlayBytes, QString *error);
    [[nodiscard]] bool loadBuiltIn(QString *error);

    DeletionVerdict verdict(const XsdtNode *node) const;
    bool isEditLocked(const XsdtNode *node) const;
    bool isCompareNoCopy(const XsdtNode *node) const;
    bool isCompareNoise(const XsdtNode *node) const;
    const QList<CleanupGroup> &cleanupGroups() const { return m_cleanupGroups; }
    // The title of the machine-bound group the entry itself is, or empty.
    QString machineBoundGroup(const XsdtNode &node) const;
    // Its id ("window", "signing"), or empty.
    QString machineBoundId(const XsdtNode &node) const;
    const QList<MachineBoundGroup> &machineBoundGroups() const { return m_machineBound; }
    const QString &defaultReason() const { return m_defaultReason; }
    const QList<DeleteRule> &rules() const { return m_rules; }

    QList<XsdtNode *> warnCandidates(const XsdtFile &file) const;
    static QList<XsdtNode *> findAll(const XsdtFile &file, const QString &pattern);

private:
    void clearLists();
    const MachineBoundGroup *machineBoundOf(const XsdtNode &node) const;
    static bool anyMatches(const QList<PathPattern> &patterns, const XsdtNode &node);

    QList<DeleteRule> m_rules;
    QList<PathPattern> m_compareNoise;
    QList<PathPattern> m_compareNoCopy;
    QList<PathPattern> m_editLocked;
    QList<CleanupGroup> m_cleanupGroups;
    QList<MachineBoundGroup> m_machineBound;
    QString m_defaultReason;
};

} // namespace pfw
