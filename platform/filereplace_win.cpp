#include "platform/filereplace.h"

namespace pfw::filereplace {

// About two seconds in all.
int attempts()
{
    return 40;
}

int pauseMs()
{
    return 50;
}

} // namespace pfw::filereplace
