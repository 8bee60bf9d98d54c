#include "core/boundedfile.h"

namespace pfw {

BoundedFile::Result BoundedFile::failure(Status status, const QString &reason)
{
    Result result;
    result.status = status;
    result.reason = reason;
    return result;
}

BoundedFile::Result BoundedFile::tooLarge(qint64 maxBytes)
{
    const QString limit
        = maxBytes >= (qint64(1) << 20) ? tr("%1 MiB").arg(maxBytes >> 20) : tr("%1 KiB").arg(maxBytes >> 10);
    return failure(TooLarge, tr("It is larger than %1.").arg(limit));
}

} // namespace pfw
