#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <functional>
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

// Runs the event loop until the condition holds; false when it did not within
// ms milliseconds.
inline bool waitFor(const std::function<bool()> &condition, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms)
            return false;
        runFor(5);
    }
    return true;
}

// The middle value; the mean of the two middle ones for an even count.
inline double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return (values.at((n - 1) / 2) + values.at(n / 2)) / 2;
}

// A message handler that drops debug lines: the link logs every error it
// meets, and those lines would bury the figures.
inline void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace BenchClock
