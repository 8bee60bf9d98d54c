#include "platform/filereplace.h"

namespace pfw::filereplace {

int attempts()
{
    return 1;
}

int pauseMs()
{
    return 0;
}

} // namespace pfw::filereplace
