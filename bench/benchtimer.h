#pragma once

#include <QElapsedTimer>

#include <functional>

namespace pfw::bench {

// Wall time of one run of work, in milliseconds.
inline double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace pfw::bench
