// Programs of 10 KiB, 100 KiB and 1 MiB written to a controller and read
// back through ModbusDevice, against the floor: libmodbus (when it was found
// at build time) sending the identical request sequence, built by the same
// codec, to the same simulator process. A bare QModbusClient doing the same
// shows what Qt's client costs by itself; TCP writes are also made with a
// shown progress bar, as the upload dialog makes them, and with the check
// after writing (read back and compared, as SET has it by default; the other
// ModbusDevice columns write without it). Over Modbus TCP on
// loopback and over Modbus RTU on a socat pseudo-terminal pair.
//
//   bench/bench_transfer [rounds = 5] [tcp | rtu | both | large = both]
//
// "large" moves a 13,000,000-byte program (and 1 MiB beside it) over TCP instead.
//
// Run it in a network namespace of its own. The simulator is build/sim/vexa-sim
// in a process of its own, on 127.0.0.80:1502 (TCP) or one end of the pty pair
// (RTU, 115200 baud, odd parity). The clients take turns, in an order that
// rotates from round to round; the figures are medians over the rounds.
#include "bench/benchclock.h"
#include "config/configstore.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "link/transfercodec.h"
#include "sim/servers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QModbusReply>
#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QProcess>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#ifdef VEXA_HAVE_LIBMODBUS
#include <modbus.h>
#endif

namespace {

using BenchClock::median;
using BenchClock::waitFor;

const char *const TcpHost = "127.0.0.80";
const QVector<int> Sizes{10 * 1024, 100 * 1024, 1024 * 1024};
// A CAM program as large as a controller takes (the window holds 13,106,999
// bytes) beside 1 MiB, over TCP only: over RTU it would take hours.
const QVector<int> LargeSizes{1024 * 1024, 13000000};
constexpr quint16 TcpPort = 1502;
constexpr int Station = 10;
constexpr int Program = 1;

QByteArray programText(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = (i % 61 == 60) ? '\n' : static_cast<char>('A' + (i * 7) % 26);
    return bytes;
}

QString sizeLabel(int size)
{
    return size % 1024 == 0 ? QStringLiteral("%1 KiB").arg(size / 1024)
                            : QStringLiteral("%L1 bytes").arg(size);
}

int writeRequests(int size)
{
    return 1 + TransferCodec::chunkCount(size) + 1;
}

int readRequests(int size)
{
    const int dataChunks = (size + Protocol::ChunkBytes - 1) / Protocol::ChunkBytes;
    return 1 + 2 * (dataChunks + 1) + 1;
}

// One client of the comparison: writes the text as program 1 and reads it back.
class Client
{
public:
    virtual ~Client() = default;
    virtual const char *name() const = 0;
    virtual bool connectLink() = 0;
    virtual void disconnectLink() = 0;
    virtual bool write(const QByteArray &text) = 0;
    virtual bool read(QByteArray *text) = 0;
};

class DeviceClient : public Client
{
public:
    DeviceClient(int type, QProgressBar *bar, bool verify = false) : m_bar(bar), m_verify(verify)
    {
        DeviceRecord record = m_device.record();
        record.Type = type;
        record.IP = QString::fromLatin1(TcpHost);
        record.Address = Station;
        m_device.setRecord(record);
    }
    const char *name() const override
    {
        return m_verify ? "ModbusDevice, verify after writing"
               : m_bar  ? "ModbusDevice, shown progress bar"
                        : "ModbusDevice";
    }
    bool connectLink() override
    {
        if (m_device.isReady())
            return true;
        m_device.open();
        m_device.tryConnect();
        return waitFor([this] { return m_device.isReady(); }, 10000) &&
               waitFor([this] { return m_device.pollState() == 3; }, 10000);
    }
    void disconnectLink() override
    {
        m_device.close();
        waitFor([] { return false; }, 100); // the port is closed and released
    }
    bool write(const QByteArray &text) override
    {
        TransferProgress progress;
        if (m_bar)
            progress = [this](qint64 done, qint64 total) {
                m_bar->setValue(TransferCodec::chunkProgress(done, total));
            };
        ConfigStore::instance()->setVerifyAfterWrite(m_verify);
        return m_device.writeProgram(text, Program, progress) == 0;
    }
    bool read(QByteArray *text) override { return m_device.readProgram(text, Program) == 0; }

private:
    ModbusDevice m_device;
    QProgressBar *m_bar;
    bool m_verify;
};

// What Qt's Modbus client costs by itself: the same requests, each sent from
// the previous reply's finished signal, one event loop for the whole text,
// and nothing else. The difference to ModbusDevice is the program's own.
class BareQtClient : public Client
{
public:
    explicit BareQtClient(bool serial, const ModbusSettings &settings)
    {
        if (serial) {
            m_client = std::make_unique<QModbusRtuSerialMaster>();
            m_client->setConnectionParameter(QModbusDevice::SerialPortNameParameter, settings.Port);
            m_client->setConnectionParameter(QModbusDevice::SerialParityParameter, settings.Parity);
            m_client->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, settings.BaudRate);
            m_client->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, settings.DataBits);
            m_client->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, settings.StopBits);
        } else {
            m_client = std::make_unique<QModbusTcpClient>();
            m_client->setConnectionParameter(QModbusDevice::NetworkAddressParameter,
                                             QString::fromLatin1(TcpHost));
            m_client->setConnectionParameter(QModbusDevice::NetworkPortParameter, TcpPort);
        }
        m_client->setTimeout(1000);
        m_client->setNumberOfRetries(0);
    }
    const char *name() const override { return "bare QModbusClient"; }
    bool connectLink() override
    {
        if (m_client->state() == QModbusDevice::ConnectedState)
            return true;
        m_client->connectDevice();
        return waitFor([this] { return m_client->state() == QModbusDevice::ConnectedState; }, 10000);
    }
    void disconnectLink() override
    {
        m_client->disconnectDevice();
        waitFor([this] { return m_client->state() == QModbusDevice::UnconnectedState; }, 10000);
    }
    bool write(const QByteArray &text) override
    {
        QVector<QVector<quint16>> commands{
            TransferCodec::openProgramCommand(Protocol::KindWriteProgram, Program)};
        const int chunks = TransferCodec::chunkCount(text.size());
        for (int n = 1; n <= chunks; ++n)
            commands << TransferCodec::writeChunk(text, n);
        commands << TransferCodec::plainCommand(Protocol::CmdClose);
        int next = 0;
        return run([&](const QModbusDataUnit &, bool ok) -> QModbusReply * {
            if (!ok || next == commands.size())
                return nullptr;
            return m_client->sendWriteRequest(QModbusDataUnit(QModbusDataUnit::HoldingRegisters,
                                                              Protocol::TransferCommand, commands.at(next++)),
                                              Station);
        });
    }
    bool read(QByteArray *text) override
    {
        enum Stage { Start, Asked, ChunkRead, Closed } stage = Start;
        QByteArray received;
        int n = 0;
        bool failed = false;
        const auto command = [this](const QVector<quint16> &values) {
            return m_client->sendWriteRequest(
                QModbusDataUnit(QModbusDataUnit::HoldingRegisters, Protocol::TransferCommand, values),
                Station);
        };
        const auto ask = [&] {
            stage = Asked;
            return command(TransferCodec::requestCommand(Protocol::CmdReadChunk, ++n));
        };
        const bool ok = run([&](const QModbusDataUnit &answer, bool ok) -> QModbusReply * {
            if (!ok)
                return nullptr;
            switch (stage) {
            case Start:
                stage = ChunkRead; // the open command's answer leads to the first ask
                return command(TransferCodec::openProgramCommand(Protocol::KindReadProgram, Program));
            case Asked:
                stage = ChunkRead;
                return m_client->sendReadRequest(QModbusDataUnit(QModbusDataUnit::HoldingRegisters,
                                                                 Protocol::TransferReply,
                                                                 Protocol::ChunkReadCount),
                                                 Station);
            case ChunkRead:
                if (n > 0) {
                    const TransferCodec::ChunkResult chunk =
                        TransferCodec::appendChunk(answer.values(), &received);
                    if (chunk == TransferCodec::ChunkResult::Invalid) {
                        failed = true;
                        return nullptr;
                    }
                    if (chunk == TransferCodec::ChunkResult::End) {
                        stage = Closed;
                        return command(TransferCodec::plainCommand(Protocol::CmdClose));
                    }
                }
                return ask();
            case Closed:
                return nullptr;
            }
            return nullptr;
        });
        *text = received;
        return ok && !failed;
    }

private:
    // Sends what next() returns, each from the previous reply's finished
    // signal, until it returns none; waits in one event loop.
    bool run(const std::function<QModbusReply *(const QModbusDataUnit &, bool)> &next)
    {
        QEventLoop loop;
        bool ok = true;
        std::function<void(QModbusReply *)> follow = [&](QModbusReply *reply) {
            if (!reply) {
                loop.quit();
                return;
            }
            QObject::connect(reply, &QModbusReply::finished, &loop, [&, reply] {
                reply->deleteLater();
                ok = ok && reply->error() == QModbusDevice::NoError;
                follow(next(reply->result(), ok));
            });
        };
        follow(next(QModbusDataUnit(), true));
        loop.exec();
        return ok;
    }

    std::unique_ptr<QModbusClient> m_client;
};

#ifdef VEXA_HAVE_LIBMODBUS
// The floor: the same requests, built by the same codec, sent by libmodbus,
// which blocks in its own read and does nothing else.
class FloorClient : public Client
{
public:
    explicit FloorClient(const QString &serialPort) : m_serialPort(serialPort) {}
    ~FloorClient() override { disconnectLink(); }
    const char *name() const override { return "libmodbus"; }
    bool connectLink() override
    {
        if (m_ctx)
            return true;
        m_ctx = m_serialPort.isEmpty()
                    ? modbus_new_tcp(TcpHost, TcpPort)
                    : modbus_new_rtu(m_serialPort.toLocal8Bit().constData(), 115200, 'O', 8, 1);
        if (!m_ctx)
            return false;
        modbus_set_slave(m_ctx, Station);
        modbus_set_response_timeout(m_ctx, 1, 0);
        if (modbus_connect(m_ctx) != 0) {
            modbus_free(m_ctx);
            m_ctx = nullptr;
            return false;
        }
        return true;
    }
    void disconnectLink() override
    {
        if (!m_ctx)
            return;
        modbus_close(m_ctx);
        modbus_free(m_ctx);
        m_ctx = nullptr;
    }
    bool write(const QByteArray &text) override
    {
        if (!send(TransferCodec::openProgramCommand(Protocol::KindWriteProgram, Program)))
            return false;
        const int chunks = TransferCodec::chunkCount(text.size());
        for (int n = 1; n <= chunks; ++n) {
            if (!send(TransferCodec::writeChunk(text, n)))
                return false;
        }
        return send(TransferCodec::plainCommand(Protocol::CmdClose));
    }
    bool read(QByteArray *text) override
    {
        if (!send(TransferCodec::openProgramCommand(Protocol::KindReadProgram, Program)))
            return false;
        QByteArray received;
        uint16_t words[Protocol::ChunkReadCount];
        for (int n = 1;; ++n) {
            if (!send(TransferCodec::requestCommand(Protocol::CmdReadChunk, n)))
                return false;
            const int got =
                modbus_read_registers(m_ctx, Protocol::TransferReply, Protocol::ChunkReadCount, words);
            if (got < 0)
                return false;
            QVector<quint16> unit(got);
            std::copy(words, words + got, unit.begin());
            const TransferCodec::ChunkResult chunk = TransferCodec::appendChunk(unit, &received);
            if (chunk == TransferCodec::ChunkResult::End)
                break;
            if (chunk == TransferCodec::ChunkResult::Invalid)
                return false;
        }
        *text = received;
        return send(TransferCodec::plainCommand(Protocol::CmdClose));
    }

private:
    bool send(const QVector<quint16> &values)
    {
        return modbus_write_registers(m_ctx, Protocol::TransferCommand, values.size(), values.constData()) ==
               values.size();
    }

    QString m_serialPort;
    modbus_t *m_ctx = nullptr;
};
#endif

struct Link
{
    const char *name;
    bool serial;
};

// Bytes on the line for one request and its reply in Modbus RTU: station,
// function, fields, CRC. A write of n registers (function 16) answers with
// station, function, address, count and CRC; a read (function 3) with
// station, function, byte count, the registers and CRC.
int rtuWriteBytes(int registers)
{
    return (1 + 1 + 2 + 2 + 1 + 2 * registers + 2) + 8;
}

int rtuReadBytes(int registers)
{
    return 8 + (1 + 1 + 1 + 2 * registers + 2);
}

// What a real serial line needs at least for the transfers of the table: the
// frames' characters at 115200 baud, 8 data bits, parity and a stop bit (11
// bits a character), and the silent interval of 1.75 ms before each request
// and before each reply. Beside it the program's time per request on the pty
// pair, where characters take no time, less the 1.75 ms before the request
// the client itself keeps: what the program adds on a real line.
void printWireFloor(const QVector<int> &sizes, const std::function<double(int, int)> &deviceMs)
{
    constexpr double BitsPerCharacter = 11;
    constexpr double Baud = 115200;
    constexpr double SilenceMs = 1.75;
    std::printf("\nModbus RTU at 115200 baud on a real line: the wire floor\n\n");
    std::printf(
        "| text | direction | requests | frame bytes per chunk (requests and replies) | frame bytes in all |"
        " wire floor: ms, ms per request | ModbusDevice on the pty less 1.75 ms: ms per request |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (int size : sizes) {
        const QByteArray text = programText(size);
        for (int dir = 0; dir < 2; ++dir) {
            const QVector<quint16> open = TransferCodec::openProgramCommand(
                dir == 0 ? Protocol::KindWriteProgram : Protocol::KindReadProgram, Program);
            const int close = rtuWriteBytes(TransferCodec::plainCommand(Protocol::CmdClose).size());
            int perChunk = 0;
            qint64 bytes = rtuWriteBytes(open.size()) + close;
            int requests = 2;
            if (dir == 0) {
                const int chunks = TransferCodec::chunkCount(size);
                for (int n = 1; n <= chunks; ++n) {
                    const int chunk = rtuWriteBytes(TransferCodec::writeChunk(text, n).size());
                    perChunk = qMax(perChunk, chunk);
                    bytes += chunk;
                }
                requests += chunks;
            } else {
                // Each chunk is asked for and then read; the last ask answers
                // the end of the text.
                const int asks = (size + Protocol::ChunkBytes - 1) / Protocol::ChunkBytes + 1;
                perChunk = rtuWriteBytes(TransferCodec::requestCommand(Protocol::CmdReadChunk, 1).size()) +
                           rtuReadBytes(Protocol::ChunkReadCount);
                bytes += qint64(perChunk) * asks;
                requests += 2 * asks;
            }
            const double floorMs = bytes * BitsPerCharacter / Baud * 1000 + requests * 2 * SilenceMs;
            const double programMs = deviceMs(size, dir) / requests - SilenceMs;
            std::printf("| %s | %s | %d | %d | %lld | %.0f, %.2f | %.2f |\n", qPrintable(sizeLabel(size)),
                        dir == 0 ? "write" : "read", requests, perChunk, static_cast<long long>(bytes),
                        floorMs, floorMs / requests, programMs);
        }
    }
}

// Runs the rounds on one link; prints one table. False when a transfer failed.
bool compare(const Link &link, const std::vector<Client *> &clients, int rounds, const QVector<int> &sizes)
{
#ifdef VEXA_HAVE_LIBMODBUS
    const bool hasFloor = clients.size() > 1;
#else
    const bool hasFloor = false;
#endif
    // [client][size][direction] -> milliseconds per round
    QHash<QString, QVector<double>> ms;
    const auto key = [](int c, int size, int dir) {
        return QStringLiteral("%1/%2/%3").arg(c).arg(size).arg(dir);
    };
    for (int round = 0; round < rounds; ++round) {
        for (int size : sizes) {
            const QByteArray text = programText(size);
            for (size_t k = 0; k < clients.size(); ++k) {
                // Alternate who goes first.
                const int c = int((k + size_t(round)) % clients.size());
                Client *client = clients[size_t(c)];
                if (!client->connectLink()) {
                    std::fprintf(stderr, "%s: %s did not connect\n", link.name, client->name());
                    return false;
                }
                QElapsedTimer clock;
                clock.start();
                const bool written = client->write(text);
                ms[key(c, size, 0)] << clock.nsecsElapsed() / 1e6;
                QByteArray back;
                clock.restart();
                const bool read = client->read(&back);
                ms[key(c, size, 1)] << clock.nsecsElapsed() / 1e6;
                if (!written || !read || back != text) {
                    std::fprintf(stderr, "%s: %s failed (%d bytes: write %d, read %d, exact %d)\n", link.name,
                                 client->name(), size, written, read, back == text);
                    return false;
                }
                if (link.serial)
                    client->disconnectLink(); // one client at a time on the line
            }
        }
    }

    std::printf("\n%s, medians over %d rounds (time per request = total / requests)\n\n", link.name, rounds);
    std::printf("| text | direction | requests |");
    for (Client *client : clients)
        std::printf(" %s: ms, µs per request |", client->name());
    if (hasFloor)
        std::printf(" ratio to %s |", clients.back()->name());
    std::printf("\n|---|---|---|");
    for (size_t i = 0; i < clients.size() + (hasFloor ? 1 : 0); ++i)
        std::printf("---|");
    std::printf("\n");
    for (int size : sizes) {
        for (int dir = 0; dir < 2; ++dir) {
            const int requests = dir == 0 ? writeRequests(size) : readRequests(size);
            std::printf("| %s | %s | %d |", qPrintable(sizeLabel(size)), dir == 0 ? "write" : "read",
                        requests);
            for (size_t c = 0; c < clients.size(); ++c) {
                const double t = median(ms.value(key(int(c), size, dir)));
                std::printf(" %.1f, %.1f |", t, t * 1000 / requests);
            }
            if (hasFloor) {
                const double floor = median(ms.value(key(int(clients.size()) - 1, size, dir)));
                for (size_t c = 0; c + 1 < clients.size(); ++c)
                    std::printf("%s %.2f", c ? "," : "", median(ms.value(key(int(c), size, dir))) / floor);
                std::printf(" |");
            }
            std::printf("\n");
        }
    }
    if (link.serial)
        printWireFloor(sizes, [&](int size, int dir) { return median(ms.value(key(0, size, dir))); });
    std::fflush(stdout);
    return true;
}

QString simulatorPath()
{
    return QStringLiteral(VEXA_SIM_PATH);
}

bool startSimulator(QProcess *process, const QStringList &arguments)
{
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(simulatorPath(), arguments);
    if (!process->waitForStarted(5000))
        return false;
    while (!process->canReadLine()) {
        if (!process->waitForReadyRead(5000))
            return false;
    }
    return process->readLine().startsWith("vexa-sim listening");
}

void stopSimulator(QProcess *process)
{
    process->kill();
    process->waitForFinished(3000);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(BenchClock::quietDebug);
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 5;
    const QByteArray which = argc > 2 ? QByteArray(argv[2]) : QByteArray("both");

#ifndef VEXA_HAVE_LIBMODBUS
    std::printf("libmodbus was not found when this benchmark was built (pkg-config libmodbus): the floor "
                "column is left out.\n");
#endif

    QProgressBar bar;
    bar.setRange(0, 100);
    bar.show();

    ModbusSettings settings = ConfigStore::instance()->modbusSettings();
    settings.NetworkPort = TcpPort;
    settings.Timeout = 1000;
    settings.NumberOfRetries = 0;

    bool ok = true;
    if (which == "tcp" || which == "both" || which == "large") {
        ConfigStore::instance()->setModbusSettings(settings);
        QProcess simulator;
        if (!startSimulator(&simulator, {QStringLiteral("--address"), QString::fromLatin1(TcpHost),
                                         QStringLiteral("--port"), QString::number(TcpPort)})) {
            std::fprintf(stderr, "cannot start %s on %s:%d (run in a network namespace)\n",
                         qPrintable(simulatorPath()), TcpHost, TcpPort);
            return 1;
        }
        DeviceClient device(1, nullptr);
        DeviceClient withBar(1, &bar);
        DeviceClient verifying(1, nullptr, true);
        BareQtClient bare(false, settings);
        std::vector<Client *> clients{&device, &withBar, &verifying, &bare};
#ifdef VEXA_HAVE_LIBMODBUS
        FloorClient floor{QString()};
        clients.push_back(&floor);
#endif
        ok = compare({"Modbus TCP, loopback", false}, clients, rounds,
                     which == "large" ? LargeSizes : Sizes) &&
             ok;
        stopSimulator(&simulator);
    }
    if (which == "rtu" || which == "both") {
        sim::PtyPair pty;
        if (!pty.start()) {
            std::printf("\nModbus RTU: socat is missing, or made no pty pair: left out.\n");
            return ok ? 0 : 1;
        }
        settings.Port = pty.second();
        settings.BaudRate = 115200;
        settings.Parity = 3; // odd
        settings.DataBits = 8;
        settings.StopBits = 1;
        ConfigStore::instance()->setModbusSettings(settings);
        QProcess simulator;
        if (!startSimulator(&simulator, {QStringLiteral("--no-tcp"), QStringLiteral("--serial"), pty.first(),
                                         QStringLiteral("--baud"), QStringLiteral("115200")})) {
            std::fprintf(stderr, "cannot start %s on %s\n", qPrintable(simulatorPath()),
                         qPrintable(pty.first()));
            return 1;
        }
        DeviceClient device(0, nullptr);
        BareQtClient bare(true, settings);
        std::vector<Client *> clients{&device, &bare};
#ifdef VEXA_HAVE_LIBMODBUS
        FloorClient floor{pty.second()};
        clients.push_back(&floor);
#endif
        ok = compare({"Modbus RTU, socat pty pair, 115200 baud", true}, clients, rounds, Sizes) && ok;
        stopSimulator(&simulator);
    }
    return ok ? 0 : 1;
}
