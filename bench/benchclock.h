#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QString>
#include <QTextStream>
#include <QTimer>
#include <QVector>

#include <algorithm>
#include <cmath>
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

// The value of sorted values at rank q (0 to 1): the smallest one that a
// share q of them do not exceed; 0 for none.
inline double rankOfSorted(const QVector<double> &sorted, double q)
{
    if (sorted.isEmpty())
        return 0;
    return sorted.at(qBound(0, int(std::ceil(q * sorted.size())) - 1, sorted.size() - 1));
}

inline double rank(QVector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return rankOfSorted(values, q);
}

// How a set of times spreads: how many, the median, the 99th percentile and the largest.
struct Spread
{
    int count = 0;
    double median = 0, p99 = 0, max = 0;
};

inline Spread spreadOf(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    Spread s;
    s.count = values.size();
    s.median = rankOfSorted(values, 0.5);
    s.p99 = rankOfSorted(values, 0.99);
    s.max = rankOfSorted(values, 1.0);
    return s;
}

// A Configure.xml in the current folder: `count` Modbus TCP controllers
// M1, M2, … at addressOf(1), addressOf(2), …, station 10, time-out 300 ms,
// 3 retries, the window in English.
template<typename AddressOf> void writeConfiguration(int count, AddressOf addressOf)
{
    QFile file(QStringLiteral("Configure.xml"));
    if (!file.open(QIODevice::WriteOnly))
        return;
    QTextStream out(&file);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configure>\n";
    for (int card = 1; card <= count; ++card)
        out << QStringLiteral("<Device Type=\"1\" Name=\"M%1\" Model=\"0\" IP=\"%2\" Address=\"10\"/>\n")
                   .arg(card)
                   .arg(addressOf(card));
    out << "<Modbus Port=\"COM3\" Parity=\"3\" BaudRate=\"115200\" DataBits=\"8\" StopBits=\"1\" "
           "NumberOfRetries=\"3\" Timeout=\"300\"/>\n<Set Language=\"1\"/>\n</Configure>\n";
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
