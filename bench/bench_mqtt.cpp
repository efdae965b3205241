// What publishing to a broker costs a shop of 64 controllers, and how late a
// consumer hears of a change.
//
//   bench/bench_mqtt [seconds per phase = 20] [rounds = 3]
//
// Run it in a network namespace of its own (scripts/bench.sh mqtt). 64
// simulated controllers on 127.0.1.1 to 127.0.1.64, port 1502, in this
// process, each watched and polled as its card would be (time-out 300 ms,
// 3 retries); a mosquitto broker on 127.0.0.1; a subscriber to vexa/# in a
// process of its own (this program again, with --subscribe) that stamps every
// message with the monotonic clock.
//
// The controllers change all the time: one piece more on one controller every
// 8 ms (each controller about every 0.5 s: nearly every poll finds a change,
// the most a poll can bring), and once a second one controller
// switches between running and idle (at a random moment, 0.75 to 1.25 s
// after the last). Each round measures one phase with
// publishing off and one with it on, in alternating order, after 3 s to
// settle: this process's CPU time, the messages the broker took and, in the
// phases with publishing, the time from a run-state switch on the controller
// to its state message at the subscriber, split at the moment the fleet told
// the publisher.
#include "config/configstore.h"
#include "link/devicefleet.h"
#include "link/devicewatch.h"
#include "link/modbusdevice.h"
#include "mqtt/mqttclient.h"
#include "mqtt/mqttservice.h"
#include "sim/controller.h"
#include "sim/servers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mosquitto.h>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int Controllers = 64;
constexpr quint16 Port = 1502;
constexpr quint16 BrokerPort = 18830;

qint64 nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The broker's CPU time so far, from /proc (clock ticks of 10 ms).
double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(' ');
    return fields.size() > 15 ? (fields.at(13).toDouble() + fields.at(14).toDouble()) / 100.0 : 0;
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5)));
}

int runSubscriber(int port)
{
    mosquitto_lib_init();
    mosquitto *client = mosquitto_new(nullptr, true, nullptr);
    mosquitto_message_callback_set(client, [](mosquitto *, void *, const mosquitto_message *message) {
        std::printf("%lld %s %.*s\n", static_cast<long long>(nowUs()), message->topic, message->payloadlen,
                    static_cast<const char *>(message->payload));
        std::fflush(stdout);
    });
    mosquitto_connect_callback_set(client, [](mosquitto *m, void *, int) {
        mosquitto_subscribe(m, nullptr, "vexa/#", 0);
        std::printf("subscribed\n");
        std::fflush(stdout);
    });
    if (mosquitto_connect(client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
        return 1;
    return mosquitto_loop_forever(client, -1, 1);
}

struct Node
{
    sim::Controller controller;
    sim::TcpServer server{&controller};
};

// A run-state switch waiting for its message.
struct Flip
{
    qint64 changed = 0; // on the controller
    qint64 told = 0;    // the fleet told the publisher
    QString word;
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], "--subscribe") == 0)
        return runSubscriber(QByteArray(argv[2]).toInt());
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, QByteArray(argv[1]).toInt()) : 20;
    const int rounds = argc > 2 ? std::max(1, QByteArray(argv[2]).toInt()) : 3;

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    ModbusSettings link = ConfigStore::instance()->modbusSettings();
    link.NetworkPort = Port;
    ConfigStore::instance()->setModbusSettings(link);

    QFile conf(dir.filePath(QStringLiteral("broker.conf")));
    if (!conf.open(QIODevice::WriteOnly))
        return 1;
    conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n").arg(BrokerPort).toUtf8());
    conf.close();
    QProcess broker;
    broker.start(QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin"}),
                 {QStringLiteral("-c"), conf.fileName()});
    QProcess subscriber;
    wait(500);
    subscriber.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--subscribe"), QString::number(BrokerPort)});
    if (!broker.waitForStarted() || !subscriber.waitForReadyRead(5000)) {
        std::fprintf(stderr, "bench_mqtt: mosquitto (Debian: mosquitto) did not start\n");
        return 1;
    }
    subscriber.readAll();

    std::vector<std::unique_ptr<Node>> nodes;
    QObject links;
    DeviceFleet fleet;
    QHash<QString, DeviceWatch *> watches;
    for (int i = 1; i <= Controllers; ++i) {
        auto node = std::make_unique<Node>();
        node->controller.setPieceTarget(1000);
        node->controller.setRunState(i % 2 ? sim::RunState::Running : sim::RunState::Idle);
        if (!node->server.listen(QHostAddress(QStringLiteral("127.0.1.%1").arg(i)), Port)) {
            std::fprintf(stderr,
                         "bench_mqtt: cannot listen on 127.0.1.%d (run it through scripts/bench.sh)\n", i);
            return 1;
        }
        auto *device = new ModbusDevice(&links);
        const QString name = QStringLiteral("M%1").arg(i, 2, 10, QLatin1Char('0'));
        device->setRecord({1, name, 0, QStringLiteral("127.0.1.%1").arg(i), 10});
        auto *watch = new DeviceWatch(device, &fleet);
        fleet.add(watch);
        watch->setOn(true);
        watches.insert(name, watch);
        nodes.push_back(std::move(node));
    }

    // The shop at work: pieces on every controller, and run-state switches.
    int next = 0;
    QTimer pieces;
    QObject::connect(&pieces, &QTimer::timeout, [&] {
        sim::Controller &c = nodes.at(size_t(next++ % Controllers))->controller;
        c.setPieceCount(quint32(next));
    });
    pieces.start(8);
    QHash<QString, Flip> flips;
    int flipped = 0;
    // At random moments, about once a second, so a switch meets the polls
    // anywhere in their period.
    QRandomGenerator random(20261208);
    QTimer flipper;
    flipper.setSingleShot(true);
    QObject::connect(&flipper, &QTimer::timeout, [&] {
        const int i = (flipped++ * 7) % Controllers;
        sim::Controller &c = nodes.at(size_t(i))->controller;
        const bool run = c.runState() != sim::RunState::Running;
        c.setRunState(run ? sim::RunState::Running : sim::RunState::Idle);
        flips.insert(QStringLiteral("M%1").arg(i + 1, 2, 10, QLatin1Char('0')),
                     Flip{nowUs(), 0, run ? QStringLiteral("running") : QStringLiteral("idle")});
        flipper.start(750 + int(random.bounded(500)));
    });
    flipper.start(1000);
    QObject::connect(&fleet, &DeviceFleet::snapshotChanged, [&](DeviceWatch *watch, const DeviceSnapshot &s) {
        const auto it = flips.find(watch->name());
        if (it != flips.end() && !it->told && s.state == (it->word == QLatin1String("running") ? 1 : 3))
            it->told = nowUs();
    });

    bool measuring = false;
    quint64 received = 0;
    std::vector<double> total, publishing;
    QObject::connect(&subscriber, &QProcess::readyReadStandardOutput, [&] {
        while (subscriber.canReadLine()) {
            const QList<QByteArray> parts = subscriber.readLine().trimmed().split(' ');
            if (parts.size() < 3)
                continue;
            received += measuring ? 1 : 0;
            const QList<QByteArray> topic = parts.at(1).split('/');
            if (topic.size() != 3 || topic.at(2) != "state")
                continue;
            const auto it = flips.find(QString::fromUtf8(topic.at(1)));
            if (it == flips.end() || !parts.at(2).contains("\"" + it->word.toUtf8() + "\""))
                continue;
            const qint64 at = parts.at(0).toLongLong();
            if (measuring && it->told) {
                total.push_back(double(at - it->changed) / 1000.0);
                publishing.push_back(double(at - it->told) / 1000.0);
            }
            flips.erase(it);
        }
    });

    MqttService service(&fleet, false);
    MqttSettings settings;
    settings.Port = BrokerPort;
    std::printf("64 controllers, %d s per phase, %d rounds\n", seconds, rounds);
    std::printf("round  phase        CPU %%   msgs/s at the broker  received/s  broker CPU %%\n");
    std::vector<double> ratios;
    for (int round = 1; round <= rounds; ++round) {
        double cpu[2] = {};
        for (int step = 0; step < 2; ++step) {
            const bool on = (step + round) % 2 == 0;
            settings.Enabled = on;
            service.apply(settings);
            wait(3000);
            const quint64 sent = service.client()->counters().sent;
            received = 0;
            const double start = cpuSeconds();
            const double brokerStart = processCpuSeconds(broker.processId());
            QElapsedTimer elapsed;
            elapsed.start();
            measuring = on;
            wait(seconds * 1000);
            measuring = false;
            const double s = double(elapsed.elapsed()) / 1000.0;
            cpu[on] = (cpuSeconds() - start) / s * 100.0;
            std::printf("%5d  %-11s %6.1f  %20.1f  %10.1f  %11.1f\n", round, on ? "publishing" : "off",
                        cpu[on], double(service.client()->counters().sent - sent) / s, double(received) / s,
                        (processCpuSeconds(broker.processId()) - brokerStart) / s * 100.0);
            std::fflush(stdout);
        }
        ratios.push_back(cpu[1] / cpu[0]);
    }
    std::printf("CPU with publishing / without: median %.2f\n", percentile(ratios, 0.5));
    std::printf("change on a controller -> message at the subscriber (%zu switches): median %.0f ms, "
                "95%% %.0f ms, max %.0f ms\n",
                total.size(), percentile(total, 0.5), percentile(total, 0.95), percentile(total, 1));
    std::printf(
        "  of which fleet -> subscriber (queue, client thread, broker): median %.1f ms, 95%% %.1f ms, "
        "max %.1f ms\n",
        percentile(publishing, 0.5), percentile(publishing, 0.95), percentile(publishing, 1));

    service.apply(MqttSettings());
    subscriber.kill();
    broker.kill();
    subscriber.waitForFinished();
    broker.waitForFinished();
    return 0;
}
