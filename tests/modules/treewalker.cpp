// Runs one of the folder walks on a path, so that a test can run it inside a private mount
// namespace. Exit code 0 when everything went, 1 when something was left.
#include "platform/treeremover.h"

#include <cstring>

int main(int argc, char *argv[])
{
    if (argc != 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[2]);
    const bool portable = std::strcmp(argv[1], "portable") == 0;
    return (portable ? pfw::removeTreePortable(path) : pfw::removeTree(path)) ? 0 : 1;
}
