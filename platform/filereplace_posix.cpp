#include "platform/filereplace.h"

#include <QFile>

#include <cerrno>
#include <cstdio>

namespace pfw::filereplace {

bool renameOver(const QString &from, const QString &to, QString *reason)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    if (reason)
        *reason = qt_error_string(errno);
    return false;
}

} // namespace pfw::filereplace
