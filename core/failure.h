#pragma once

#include <QString>

namespace pfw {

// How a step that cannot go on says why: the message goes to the caller's error, when the
// caller asked for one, and the step returns false. return fail(error, tr("..."));
inline bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

} // namespace pfw
