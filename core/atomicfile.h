#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <functional>

class QFileDevice;

namespace pfw {

// The one way Prefwright puts a file in place: the bytes go to a partial file beside the target,
// are synced to the disk, and the partial file is renamed over the target. A kill, a full disk
// or a power cut leaves the old file or the whole new one, and at worst a partial file whose
// name says it is one.
class AtomicFile final
{
    Q_DECLARE_TR_FUNCTIONS(AtomicFile)

public:
    // The steps a write is made of. Tests replace them to fail or stop at any step.
    struct Steps
    {
        std::function<bool(QFileDevice &partial, const QByteArray &bytes)> writeAll;
        // Calls rename, which puts the partial file in place, and says whether it did.
        std::function<bool(const std::function<bool()> &rename)> commit;
    };
    static Steps defaultSteps();

    struct Options
    {
        // Whose permission bits, owner and attributes the new file takes; empty: the target's.
        QString ownerOf;
        // Looked at last, right before the rename; false leaves the target as it is.
        std::function<bool()> lastLook;
        // The caller holds the target's writer lock, so any partial file of the target is a
        // leftover of a writer that was killed, and goes.
        bool underLock = false;
        Steps steps = defaultSteps();
    };

    enum Status { Written, OpenFailed, WriteFailed, Cancelled, HeldOpen, RenameFailed };
    struct Result
    {
        Status status = Written;
        // The system's reason for anything but Written and Cancelled.
        QString reason;
        bool ok() const { return status == Written; }
    };

    static Result write(const QString &path, const QByteArray &bytes, const Options &options);
    static Result write(const QString &path, const QByteArray &bytes);

    // The start of the name of a partial file of the file named "owner" in folder, for the file
    // itself and for its backups: short whatever the owner's name (a long one would not fit),
    // and alike for all of them, so that what a killed writer left is found again.
    static QString partialPrefix(const QString &folder, const QString &owner);
    // Only under the owner's writer lock: removes the partial files a killed writer left.
    static void removeLeftOverPartials(const QString &folder, const QString &owner);
};

} // namespace pfw
