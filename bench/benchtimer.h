#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QList>

#include <algorithm>
#include <functional>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace pfw::bench {

// Wall time of one run of work, in milliseconds.
inline double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// The median of several runs: one slow run (a page-fault storm, another process) does not count.
// prepare, when given, runs untimed before each run.
inline double medianMilliseconds(int runs, const std::function<void()> &work, const std::function<void()> &prepare = {})
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        times.push_back(milliseconds(work));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Resident memory of this process in bytes, what was freed given back first; -1 where the
// system does not tell.
inline qint64 residentBytes()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * 4096 : -1;
}

} // namespace pfw::bench
