#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

namespace pfw {

class DeletionPolicy;
class SettingsSchema;
class XsdtFile;
struct XsdtNode;

// Which values a reset to PixInsight's defaults removes: the preferences on the Preferences
// pages that PixInsight writes again when they are missing. Locked, protected and read-only
// values are left as they are.
class DefaultsReset final
{
    Q_DECLARE_TR_FUNCTIONS(DefaultsReset)

public:
    DefaultsReset(const SettingsSchema *schema, const DeletionPolicy *policy, const XsdtFile *file);

    // Whether node lies on a Preferences page.
    bool isOnAPage(const XsdtNode &node) const;
    bool isResettable(const XsdtNode &node) const;
    // The values of node (itself, when a value) that a reset removes; kept counts those it leaves.
    QList<XsdtNode *> values(const XsdtNode &node, qsizetype *kept = nullptr) const;
    // Every preference of Global/Preferences a reset removes; the module list, repositories and
    // signing identity stay.
    QList<XsdtNode *> allPreferences(qsizetype *kept = nullptr) const;
    // The window and workspace layout: window geometry and state the deletion rules let go.
    // Those are not preferences but remembered places; they are deleted, not reset.
    QList<XsdtNode *> windowLayout() const;
    // The modules with saved settings of their own (ModuleData/<name>), by name.
    QList<XsdtNode *> moduleSettings() const;
    // Queues them; returns how many.
    static qsizetype queue(const QList<XsdtNode *> &values);

private:
    const SettingsSchema *m_schema;
    const DeletionPolicy *m_policy;
    const XsdtFile *m_file;
    QStringList m_pagePaths;
};

} // namespace pfw
