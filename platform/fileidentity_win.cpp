#include "core/fileidentity.h"

#include "platform/fileentry.h"
#include "platform/winapi.h"

namespace pfw {

FileIdentity FileIdentity::of(const QString &path)
{
    FileIdentity identity;
    win::FileId id;
    if (!win::fileId(systemPath(path).toStdWString(), &id))
        return identity;
    identity.exists = true;
    identity.size = qint64(id.size);
    // 100 ns units since 1601: compared, never turned into a date, so kept as they are.
    identity.modifiedNs = qint64(id.writeTime) * 100;
    identity.changedNs = qint64(id.changeTime) * 100;
    identity.inode = id.index;
    identity.device = id.volume;
    identity.links = qint64(id.links);
    return identity;
}

} // namespace pfw
