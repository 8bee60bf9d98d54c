#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

namespace pfw {

// Reads a whole file only when it is a regular file no larger than the caller's limit. The
// checks are made on the opened descriptor, so a file swapped for a link, a FIFO or a device
// between a check and the read is still refused, and opening never waits on a pipe.
class BoundedFile final
{
    Q_DECLARE_TR_FUNCTIONS(BoundedFile)

public:
    enum Status { Ok, Missing, Folder, NotRegular, Link, TooLarge, Failed };
    enum LinkPolicy { FollowLinks, RefuseLinks };

    struct Result
    {
        Status status = Failed;
        QByteArray bytes;
        // A whole sentence for anything but Ok: "It is not a regular file." and the like.
        QString reason;
        bool ok() const { return status == Ok; }
    };

    static Result read(const QString &path, qint64 maxBytes, LinkPolicy links = FollowLinks);

    // For the reading itself, which each system does its own way.
    static Result failure(Status status, const QString &reason);
    static Result tooLarge(qint64 maxBytes);
};

} // namespace pfw
