#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QStringList>

namespace pfw {

class DeletionPolicy;

// What PixInsight changed in its settings file while it ran: the file as it was when PixInsight
// started, compared with the file it left.
class HostRunReport final
{
    Q_DECLARE_TR_FUNCTIONS(HostRunReport)

public:
    // Compares the two files' bytes; statistics, window state and generated lists (the
    // policy's noise) are not counted. False when either cannot be read as a settings file.
    [[nodiscard]] bool build(const QByteArray &before, const QByteArray &after, const DeletionPolicy *policy);

    bool isEmpty() const { return m_changes == 0 && m_modulesAdded.isEmpty() && m_modulesRemoved.isEmpty(); }
    int changes() const { return m_changes; }
    const QStringList &modulesAdded() const { return m_modulesAdded; }
    const QStringList &modulesRemoved() const { return m_modulesRemoved; }
    // The file as PixInsight found it when it started.
    const QByteArray &before() const { return m_before; }
    // The SHA-256 of the file it left: the report belongs to that file only.
    const QByteArray &afterFingerprint() const { return m_afterFingerprint; }
    // "PixInsight changed 3 settings while it ran."
    QString text() const;
    // What became of the module list, or empty.
    QString modulesText() const;

private:
    int m_changes = 0;
    QStringList m_modulesAdded;
    QStringList m_modulesRemoved;
    QByteArray m_before;
    QByteArray m_afterFingerprint;
};

} // namespace pfw
