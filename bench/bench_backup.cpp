// A whole-controller backup of the mill sample (sim/samples/mill: the
// directory, five programs, six system files, 212,044 bytes) through
// BackupRunner, as the card's dialog and the command line run it, to disk and
// into memory (as the compare with a backup reads the controller), against the
// same texts read one after another straight through ModbusDevice in the same
// run (the program's floor), over Modbus TCP on loopback and over Modbus RTU on a socat
// pseudo-terminal pair; for RTU also the wire floor of a real 115200-baud line
// for the same request sequence.
//
//   bench/bench_backup [rounds = 5] [tcp | rtu | both = both]
//
// Run it in a network namespace of its own (scripts/bench.sh backup). The
// simulator is build/sim/vexa-sim in a process of its own, on 127.0.0.84:1502
// (TCP) or one end of the pty pair (RTU, 115200 baud, odd parity). The three
// ways take turns, in an order that rotates from round to round; the
// figures are medians over the rounds.
#include "archive/backuprunner.h"
#include "bench/benchclock.h"
#include "config/configstore.h"
#include "link/devicewatch.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "sim/servers.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

using BenchClock::median;
using BenchClock::waitFor;

const char *const TcpHost = "127.0.0.84";
constexpr quint16 TcpPort = 1502;
constexpr int Station = 10;
const char *const Sample = VEXA_SOURCE_DIR "/sim/samples/mill";

// The texts of the sample as the controller serves them: programs by their
// O number, the other files by name.
struct Text
{
    QString name;
    qint64 bytes;
};

QList<Text> sampleTexts()
{
    QList<Text> texts;
    for (const QFileInfo &info : QDir(QString::fromUtf8(Sample)).entryInfoList(QDir::Files, QDir::Name))
        texts.append(
            {info.fileName().startsWith('O') ? info.completeBaseName() : info.fileName(), info.size()});
    return texts;
}

// Requests and frame bytes of the backup's sequence on an RTU line: the
// directory (open, an ask and a read of 38 registers per entry and one for its
// end, close), then per text an open, an ask and a read of 101 registers per
// chunk and one for the empty end, and a close.
struct Wire
{
    int requests = 0;
    qint64 frameBytes = 0;
};

Wire rtuWire(const QList<Text> &texts, int programs)
{
    // A write of n registers: 9 + 2n bytes, its reply 8. A read of n: 8, reply 5 + 2n.
    auto write = [](int registers) { return qint64(9 + 2 * registers + 8); };
    auto read = [](int registers) { return qint64(8 + 5 + 2 * registers); };
    Wire wire;
    auto add = [&wire](int requests, qint64 bytes) {
        wire.requests += requests;
        wire.frameBytes += bytes;
    };
    add(1, write(4));                                                // open the directory
    add(2 * (programs + 1), (programs + 1) * (write(4) + read(38))); // entries and the end
    add(1, write(4));                                                // close it
    for (const Text &text : texts) {
        const int chunks = int((text.bytes + Protocol::ChunkBytes - 1) / Protocol::ChunkBytes) + 1;
        add(1, write(4 + Protocol::NameRegisters)); // open, with the name
        add(2 * chunks, chunks * (write(4) + read(Protocol::ChunkReadCount)));
        add(1, write(4)); // close
    }
    return wire;
}

// 115200 baud, 11 bits a character, 1.75 ms of silence before each request
// and each reply.
double wireFloorMs(const Wire &wire)
{
    return wire.frameBytes * 11.0 * 1000.0 / 115200.0 + wire.requests * 2 * 1.75;
}

bool startSimulator(QProcess *process, const QStringList &arguments)
{
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(QStringLiteral(VEXA_SIM_PATH), arguments);
    if (!process->waitForStarted(5000))
        return false;
    while (!process->canReadLine()) {
        if (!process->waitForReadyRead(5000))
            return false;
    }
    return process->readLine().startsWith("vexa-sim listening");
}

double backupMs(ModbusDevice *device, const QString &root, int *saved)
{
    BackupRunner runner(device);
    runner.setBackupRoot(root);
    QElapsedTimer clock;
    clock.start();
    runner.start();
    waitFor([&runner] { return runner.summary().finished; }, 600000);
    const double ms = clock.nsecsElapsed() / 1e6;
    *saved = runner.summary().complete() ? runner.summary().saved : -1;
    return ms;
}

double directMs(ModbusDevice *device, int *read)
{
    QElapsedTimer clock;
    clock.start();
    *read = 0;
    QList<ProgramEntry> entries;
    if (device->readProgramList(&entries, true) != Result::Ok)
        return -1;
    QByteArray bytes;
    for (const ProgramEntry &entry : entries)
        *read += device->readProgram(&bytes, entry.name.mid(1).toInt()) == Result::Ok ? 1 : 0;
    for (const QString &name : BackupRunner::systemFiles())
        *read += device->readSystemFile(&bytes, name) == Result::Ok ? 1 : 0;
    return clock.nsecsElapsed() / 1e6;
}

bool run(const char *transport, const DeviceRecord &record, int rounds, const QList<Text> &texts)
{
    ModbusDevice device;
    device.setRecord(record);
    DeviceWatch watch(&device);
    watch.setOn(true);
    if (!waitFor([&] { return device.isReady() && watch.snapshot().state == DeviceState::Idle; }, 20000)) {
        std::fprintf(stderr, "%s: the simulator was not reached\n", transport);
        return false;
    }
    // Only the transfers are timed: the card's poll would come between them.
    watch.stopTicks();
    QTemporaryDir dir;
    QVector<double> backups, memory, directs;
    int saved = 0, read = 0, kept = 0;
    for (int round = 0; round < rounds; ++round) {
        // The order rotates: each way comes first, second and last in turn.
        for (int k = 0; k < 3; ++k) {
            switch ((round + k) % 3) {
            case 0:
                backups.append(backupMs(&device, dir.path(), &saved));
                break;
            case 1:
                memory.append(backupMs(&device, QString(), &kept));
                break;
            default:
                directs.append(directMs(&device, &read));
                break;
            }
        }
    }
    qint64 bytes = 0;
    for (const Text &text : texts)
        bytes += text.bytes;
    const int programs =
        int(std::count_if(texts.begin(), texts.end(), [](const Text &t) { return t.name.startsWith('O'); }));
    const Wire wire = rtuWire(texts, programs);
    const double backup = median(backups);
    const double inMemory = median(memory);
    const double direct = median(directs);
    std::printf("| %s | %d (%d, %d) | %lld | %d | %.1f, %.1f | %.1f, %.1f | %.1f, %.1f | %.2f, %.2f |",
                transport, saved, kept, read, bytes, wire.requests, backup, backup * 1000 / wire.requests,
                inMemory, inMemory * 1000 / wire.requests, direct, direct * 1000 / wire.requests,
                backup / direct, inMemory / direct);
    if (QByteArray(transport) == "RTU")
        std::printf(" %lld, %.0f |\n", wire.frameBytes, wireFloorMs(wire));
    else
        std::printf(" - |\n");
    std::fflush(stdout);
    watch.setOn(false);
    return saved > 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler(BenchClock::quietDebug);
    const int rounds = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 5;
    const QByteArray which = argc > 2 ? QByteArray(argv[2]) : QByteArray("both");
    const QList<Text> texts = sampleTexts();

    std::printf(
        "| link | items saved (in memory, read straight) | bytes | requests | backup to disk: ms, µs per "
        "request | backup in memory: ms, µs per request | the same reads straight: ms, µs per request | "
        "ratio to the straight reads (disk, memory) | RTU frame bytes, wire floor at 115200 baud: ms |\n"
        "|---|---|---|---|---|---|---|---|---|\n");
    bool ok = true;
    if (which == "tcp" || which == "both") {
        QProcess simulator;
        if (!startSimulator(&simulator,
                            {"--address", TcpHost, "--port", QString::number(TcpPort), "--station",
                             QString::number(Station), "--folder", QString::fromUtf8(Sample)})) {
            std::fprintf(stderr, "TCP: the simulator did not start\n");
            return 1;
        }
        ModbusSettings settings = ConfigStore::instance()->modbusSettings();
        settings.NetworkPort = TcpPort;
        ConfigStore::instance()->setModbusSettings(settings);
        ok = run("TCP", DeviceRecord{1, "mill", 0, QString::fromLatin1(TcpHost), Station}, rounds, texts) &&
             ok;
        simulator.kill();
        simulator.waitForFinished(3000);
    }
    if (which == "rtu" || which == "both") {
        sim::PtyPair pty;
        if (!pty.start()) {
            std::fprintf(stderr, "RTU: no pseudo-terminal pair (socat)\n");
            return 1;
        }
        QProcess simulator;
        if (!startSimulator(&simulator, {"--no-tcp", "--serial", pty.first(), "--station",
                                         QString::number(Station), "--folder", QString::fromUtf8(Sample)})) {
            std::fprintf(stderr, "RTU: the simulator did not start\n");
            return 1;
        }
        ModbusSettings settings = ConfigStore::instance()->modbusSettings();
        settings.Port = pty.second();
        settings.Parity = 3;
        settings.BaudRate = 115200;
        ConfigStore::instance()->setModbusSettings(settings);
        ok = run("RTU", DeviceRecord{0, "mill", 0, QString(), Station}, rounds, texts) && ok;
        simulator.kill();
        simulator.waitForFinished(3000);
    }
    return ok ? 0 : 1;
}
