#pragma once

#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

// What the benchmarks that run the program's event loop share.
namespace BenchClock {

// The process's CPU time so far, every thread, in seconds.
inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the program's event loop for a while, as the application would.
inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace BenchClock
