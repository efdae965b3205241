// Memory of a device card over a long run: the state display changed 10,000
// times by the controller, then the link dropped and brought up again 10,000
// times, against the simulator on loopback (127.0.0.59:1502). Prints resident
// memory and heap in use every 1,000 cycles; after the warm-up both should stay
// flat.
#include "bench/benchclock.h"
#include "config/configstore.h"
#include "devices/devicewidget.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QLabel>
#include <QModbusClient>

#include <cstdio>
#include <functional>
#include <malloc.h>

namespace {

const char *const Address = "127.0.0.59";
constexpr quint16 Port = 1502;

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

long heapInUseKb()
{
    return long(mallinfo2().uordblks / 1024);
}

// Runs events as the program's event loop would, deferred deletions included
// (processEvents() alone leaves them, and the simulator's dropped sockets
// would then pile up and be counted).
bool waitFor(const std::function<bool()> &condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

struct Phase
{
    const char *name;
    int cycles;
    std::function<bool(int)> cycle;
};

// Runs the cycles and prints the figures every thousand; returns false when a
// cycle did not complete.
bool run(const Phase &phase)
{
    const int warmUp = qMin(1000, phase.cycles);
    long rssAtWarmUp = 0;
    long heapAtWarmUp = 0;
    std::printf("%s\n%8s %12s %12s\n", phase.name, "cycles", "resident kB", "heap kB");
    for (int i = 1; i <= phase.cycles; ++i) {
        if (!phase.cycle(i)) {
            std::fprintf(stderr, "%s: cycle %d did not complete\n", phase.name, i);
            return false;
        }
        if (i == warmUp) {
            rssAtWarmUp = residentKb();
            heapAtWarmUp = heapInUseKb();
        }
        if (i % 1000 == 0 || i == phase.cycles)
            std::printf("%8d %12ld %12ld\n", i, residentKb(), heapInUseKb());
    }
    const int measured = phase.cycles - warmUp;
    if (measured > 0) {
        std::printf("after warm-up: %+.2f kB resident, %+.2f kB heap per cycle\n\n",
                    double(residentKb() - rssAtWarmUp) / measured,
                    double(heapInUseKb() - heapAtWarmUp) / measured);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(BenchClock::quietDebug);
    QApplication app(argc, argv);
    const int cycles = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 10000;

    sim::Controller controller;
    controller.setRequestLogLimit(1); // the simulator's wire log would be counted as ours
    sim::TcpServer server(&controller);
    if (!server.listen(QHostAddress(QString::fromLatin1(Address)), Port)) {
        std::fprintf(stderr, "cannot listen on %s:%d\n", Address, Port);
        return 1;
    }
    ModbusSettings settings = ConfigStore::instance()->modbusSettings();
    settings.NetworkPort = Port;
    settings.Timeout = 1000;
    settings.NumberOfRetries = 0;
    ConfigStore::instance()->setModbusSettings(settings);

    deviceWidget card;
    DeviceRecord record = card.record();
    record.Type = 1;
    record.IP = QString::fromLatin1(Address);
    record.Address = controller.stationAddress();
    card.setRecord(record);
    card.show();
    card.findChild<QCheckBox *>(QStringLiteral("checkBox_toConnect"))->setChecked(true);
    ModbusDevice *device = card.device();
    if (!waitFor([&] { return device->isReady() && device->pollState() == 3; }, 10000)) {
        std::fprintf(stderr, "the card did not connect\n");
        return 1;
    }

    // Running, alarm, idle, ... as the controller reports them to the card.
    const sim::RunState states[] = {sim::RunState::Running, sim::RunState::Alarm, sim::RunState::Idle};
    // The card's poll runs in the background: the cycle ends when its answer
    // has reached the display.
    auto *label = card.findChild<QLabel *>(QStringLiteral("label_state"));
    const Phase stateChanges{
        "state display changes", cycles, [&](int i) {
            controller.setRunState(states[i % 3]);
            card.refreshState();
            return waitFor([&] { return label->property("state").toInt() == int(i % 3) + 1; }, 5000);
        }};

    // The link drops (the card shows not connected) and comes back
    // (connecting); the card's own ticks may reconnect first, so the cycle
    // counts the link's transitions rather than looking at its state.
    int drops = 0;
    int connects = 0;
    QObject::connect(device->client(), &QModbusDevice::stateChanged, &card, [&](QModbusDevice::State state) {
        drops += state == QModbusDevice::UnconnectedState;
        connects += state == QModbusDevice::ConnectedState;
    });
    const Phase reconnects{"reconnects", cycles, [&](int i) {
                               server.dropConnections();
                               if (!waitFor([&] { return drops >= i; }, 5000))
                                   return false;
                               card.refreshState();
                               device->tryConnect();
                               card.refreshState();
                               return waitFor([&] { return connects >= i; }, 5000);
                           }};

    std::printf("resident at start: %ld kB, heap in use %ld kB\n\n", residentKb(), heapInUseKb());
    const bool ok = run(stateChanges) && run(reconnects);
    card.releaseConnection();
    return ok ? 0 : 1;
}
