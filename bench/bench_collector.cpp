// A shop's collector at scale: the windowless program as a shop server runs
// it, watching 1,000 controllers with its history recorded and every state
// published to a mosquitto broker on loopback. What does it cost, and how
// regularly does it still poll each controller?
//
//   bench/bench_collector [seconds = 60] [healthy | faulty] [controllers = 1000]
//
// `faulty`: of the controllers, the first tenth never answer (their
// connections stay open) and the next tenth flap (silent 5 s, answering 5 s).
//
// Three processes: this one runs the simulated controllers (sim::Farm on
// 127.32.0.1 onwards, port 1502, animated from seed 32) and measures; the
// collector is this program started again with --collector, which runs the
// windowless mode on a Configure.xml of the 1,000 (time-out 300 ms, 3
// retries, publishing on); the broker is mosquitto, with a mosquitto_sub
// counting what reaches it. Poll periods are taken where the controllers see
// the status reads; CPU and peak memory from /proc of the collector and the
// broker. The window starts once every controller answered a status read
// (or every healthy one, for `faulty`) and a few seconds passed.
#include "app/headless.h"
#include "bench/benchclock.h"
#include "config/configstore.h"
#include "sim/controller.h"
#include "sim/farm.h"
#include "sim/servers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

using BenchClock::runFor;
using BenchClock::Spread;
using BenchClock::spreadOf;
using BenchClock::waitFor;

constexpr quint16 Port = 1502;
constexpr quint16 StatusBlock = 0x3E00;
constexpr quint16 CounterBlock = 0x1000;
const char *const FirstAddress = "127.32.0.1";

// ---- /proc ---------------------------------------------------------------

// Seconds of CPU the process used so far, every thread.
double cpuOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = file.readAll();
    // The fields after the command's closing parenthesis; utime and stime are
    // fields 14 and 15 of the whole line.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// A line of /proc/PID/status, in MiB ("VmHWM": the peak resident size).
double statusMiB(qint64 pid, const QByteArray &key)
{
    QFile file(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

// ---- figures ---------------------------------------------------------------

// What the controllers see of the collector, per controller.
struct Seen
{
    QVector<qint64> polls; // µs of each status read
    qint64 requests = 0;   // answered
    qint64 counterReads = 0;
};

// ---- the collector's process ---------------------------------------------

int runCollector(int argc, char **argv)
{
    ModbusSettings settings = ConfigStore::instance()->modbusSettings();
    settings.NetworkPort = Port;
    ConfigStore::instance()->setModbusSettings(settings);
    return Headless::run(argc, argv);
}

// ---- this process: the controllers and the measurement ---------------------

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray configuration(const sim::Farm &farm, quint16 brokerPort)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configure>\n";
    for (int i = 0; i < farm.count(); ++i)
        xml += QStringLiteral("<Device Type=\"1\" Name=\"M%1\" Model=\"0\" IP=\"%2\" Address=\"10\"/>\n")
                   .arg(i + 1, 4, 10, QLatin1Char('0'))
                   .arg(farm.address(i).toString())
                   .toUtf8();
    xml += "<Modbus Port=\"COM3\" Parity=\"3\" BaudRate=\"115200\" DataBits=\"8\" StopBits=\"1\" "
           "NumberOfRetries=\"3\" Timeout=\"300\"/>\n";
    xml += QStringLiteral("<Mqtt Enabled=\"1\" Host=\"127.0.0.1\" Port=\"%1\" Prefix=\"vexa\"/>\n")
               .arg(brokerPort)
               .toUtf8();
    xml += "</Configure>\n";
    return xml;
}

// Rows of the history's tables that grow: closed periods and piece counts.
qint64 historyRows(const QString &path)
{
    qint64 rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT (SELECT count(*) FROM periods) + (SELECT count(*) FROM "
                                          "pieces)")) &&
                query.next())
                rows = query.value(0).toLongLong();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    return rows;
}

int runShop(int seconds, bool faulty, int count)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const double rssBefore = statusMiB(0, "VmRSS");

    // The controllers.
    sim::Controller model;
    model.setRequestLogLimit(1);
    sim::Farm farm;
    QString error;
    if (!farm.start(model, QHostAddress(QLatin1String(FirstAddress)), Port, count, &error)) {
        std::fprintf(stderr, "bench_collector: %s\n", qPrintable(error));
        return 1;
    }
    farm.setAnimated(true, 32);
    const int silent = faulty ? count / 10 : 0;
    const int flapping = faulty ? count / 10 : 0;
    farm.setSilent(0, silent);
    farm.setFlapping(silent, flapping, 5000);

    QElapsedTimer clock;
    clock.start();
    std::vector<Seen> seen(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Seen *s = &seen[size_t(i)];
        QObject::connect(farm.controller(i), &sim::Controller::requestHandled, farm.controller(i),
                         [s, &clock](const sim::Request &r) {
                             ++s->requests;
                             if (r.function == 0x03 && r.address == StatusBlock)
                                 s->polls << clock.nsecsElapsed() / 1000;
                             else if (r.function == 0x03 && r.address == CounterBlock)
                                 ++s->counterReads;
                         });
    }

    // The broker and a subscriber to everything the collector publishes.
    const quint16 brokerPort = freePort();
    if (!writeFile(dir.filePath(QStringLiteral("broker.conf")),
                   QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n").arg(brokerPort).toUtf8()))
        return 1;
    QProcess broker;
    broker.setProcessChannelMode(QProcess::MergedChannels);
    QByteArray brokerLog;
    QObject::connect(&broker, &QProcess::readyRead, [&] { brokerLog += broker.readAll(); });
    broker.start(QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin"}),
                 {QStringLiteral("-c"), dir.filePath(QStringLiteral("broker.conf"))});
    if (!waitFor([&] { return brokerLog.contains(" running"); }, 10000)) {
        std::fprintf(stderr, "bench_collector: mosquitto (Debian: mosquitto) did not start\n");
        return 1;
    }
    QProcess subscriber;
    qint64 messages = 0;
    QObject::connect(&subscriber, &QProcess::readyReadStandardOutput,
                     [&] { messages += subscriber.readAllStandardOutput().count('\n'); });
    subscriber.start(QStringLiteral("mosquitto_sub"),
                     {"-h", "127.0.0.1", "-p", QString::number(brokerPort), "-t", "vexa/#", "-F", "%t"});
    if (!subscriber.waitForStarted())
        return 1;
    runFor(500);

    // The collector.
    if (!writeFile(dir.filePath(QStringLiteral("Configure.xml")), configuration(farm, brokerPort)))
        return 1;
    QProcess collector;
    collector.setStandardErrorFile(dir.filePath(QStringLiteral("collector.log")));
    collector.setWorkingDirectory(dir.path());
    QElapsedTimer sinceStart;
    sinceStart.start();
    collector.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--collector")});
    if (!collector.waitForStarted())
        return 1;
    const int answering = count - silent - flapping;
    const auto connected = [&](int n) {
        int k = 0;
        for (int i = silent + flapping; i < count; ++i)
            k += !seen[size_t(i)].polls.isEmpty();
        return k >= n;
    };
    if (!waitFor([&] { return connected(answering); }, 300000)) {
        std::fprintf(stderr, "bench_collector: not every controller was polled within 5 minutes\n");
        return 1;
    }
    const double startSeconds = sinceStart.nsecsElapsed() / 1e9;
    runFor(5000);

    // The window.
    for (Seen &s : seen) {
        s.polls.clear();
        s.requests = 0;
        s.counterReads = 0;
    }
    QVector<int> ignored0;
    for (int i = 0; i < count; ++i)
        ignored0 << farm.server(i)->ignoredCount();
    const qint64 pid = collector.processId();
    const qint64 brokerPid = broker.processId();
    const QString history = dir.filePath(QStringLiteral("history.sqlite"));
    const qint64 rows0 = historyRows(history);
    const qint64 messages0 = messages;
    const double cpu0 = cpuOf(pid), brokerCpu0 = cpuOf(brokerPid), farmCpu0 = BenchClock::cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const double cpu = cpuOf(pid) - cpu0, brokerCpu = cpuOf(brokerPid) - brokerCpu0;
    const double farmCpu = BenchClock::cpuSeconds() - farmCpu0;
    const double peak = statusMiB(pid, "VmHWM"), brokerPeak = statusMiB(brokerPid, "VmHWM");
    const qint64 rows = historyRows(history) - rows0;
    const qint64 published = messages - messages0;
    const double rssPerController = (statusMiB(0, "VmRSS") - rssBefore) * 1024 / count;

    // Per controller: its poll periods; the figures are the spread over controllers.
    const auto periodsOf = [](const QVector<qint64> &times) {
        QVector<double> periods;
        for (int i = 1; i < times.size(); ++i)
            periods << (times.at(i) - times.at(i - 1)) / 1000.0;
        return periods;
    };
    QVector<double> medians, p99s, maxima;
    double healthyRequests = 0, healthyCounters = 0, silentRequests = 0, flappingRequests = 0;
    int overMedian = 0, overP99 = 0;
    const double medianGoal = faulty ? 800 : 550, p99Goal = faulty ? 1500 : 1000;
    for (int i = 0; i < count; ++i) {
        const Seen &s = seen[size_t(i)];
        const qint64 unanswered = farm.server(i)->ignoredCount() - ignored0.at(i);
        if (i < silent) {
            silentRequests += unanswered;
            continue;
        }
        if (i < silent + flapping) {
            flappingRequests += unanswered + s.requests;
            continue;
        }
        const Spread p = spreadOf(periodsOf(s.polls));
        medians << p.median;
        p99s << p.p99;
        maxima << p.max;
        overMedian += p.median > medianGoal || s.polls.size() < 2;
        overP99 += p.p99 > p99Goal || s.polls.size() < 2;
        healthyRequests += s.requests;
        healthyCounters += s.counterReads;
    }
    const Spread ofMedians = spreadOf(medians), ofP99 = spreadOf(p99s), ofMax = spreadOf(maxima);
    const auto perSecondEach = [&](double total, int n) { return n ? total / n / elapsed : 0.0; };

    std::printf("%d controllers (%d answering, %d silent, %d flapping), time-out 300 ms x 4 attempts, "
                "%.0f s window; 2-core machine shared with other builds\n\n",
                count, answering, silent, flapping, elapsed);
    std::printf("| figure | value |\n|---|---|\n");
    std::printf("| time from start until every answering controller was polled | %.1f s |\n", startSeconds);
    std::printf("| collector CPU (one core) | %.1f %% |\n", 100 * cpu / elapsed);
    std::printf("| collector peak memory (VmHWM) | %.0f MiB |\n", peak);
    std::printf("| broker CPU (one core) / peak memory | %.1f %% / %.0f MiB |\n", 100 * brokerCpu / elapsed,
                brokerPeak);
    std::printf("| simulated controllers' CPU (this process) | %.1f %% |\n", 100 * farmCpu / elapsed);
    std::printf("| memory per simulated controller (this process's growth) | %.0f KB |\n", rssPerController);
    std::printf("| poll period median: median controller / worst controller | %.0f / %.0f ms |\n",
                ofMedians.median, ofMedians.max);
    std::printf("| poll period p99: median controller / worst controller | %.0f / %.0f ms |\n", ofP99.median,
                ofP99.max);
    std::printf("| longest poll period of any controller | %.0f ms |\n", ofMax.max);
    std::printf("| controllers over the goal (median %.0f ms / p99 %.0f ms) | %d / %d |\n", medianGoal,
                p99Goal, overMedian, overP99);
    std::printf("| broker messages per second | %.0f |\n", published / elapsed);
    std::printf("| history rows per second (periods and pieces) | %.1f |\n", rows / elapsed);
    std::printf("| requests per second, each answering controller (counter reads) | %.2f (%.2f) |\n",
                perSecondEach(healthyRequests, answering), perSecondEach(healthyCounters, answering));
    if (faulty)
        std::printf("| requests per second, each silent / flapping controller | %.2f / %.2f |\n",
                    perSecondEach(silentRequests, silent), perSecondEach(flappingRequests, flapping));
    std::fflush(stdout);

    collector.terminate();
    if (!collector.waitForFinished(30000))
        collector.kill();
    subscriber.kill();
    subscriber.waitForFinished();
    broker.disconnect();
    broker.terminate();
    broker.waitForFinished();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--collector") == 0)
        return runCollector(argc, argv);
    qInstallMessageHandler(BenchClock::quietDebug);
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(5, QByteArray(argv[1]).toInt()) : 60;
    const bool faulty = argc > 2 && QByteArray(argv[2]) == "faulty";
    const int count = argc > 3 ? qBound(10, QByteArray(argv[3]).toInt(), 60000) : 1000;
    return runShop(seconds, faulty, count);
}
