#include "config/configstore.h"
#include "link/modbusdevice.h"
#include "link/transfercodec.h"
#include "sim/controller.h"
#include "sim/faults.h"
#include "sim/servers.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <random>

// Device operations in a loop against a controller that injects random faults
// from a seeded generator. After every operation: it returned within its
// bound, busy is released, the device comes back after a drop, and a success
// carries the controller's data: a text read is the controller's text, a
// written text is held by the controller byte for byte, a deleted program is
// gone. VEXA_SOAK_OPERATIONS (default 300) and VEXA_SOAK_SEED repeat or
// lengthen a run; the summary line gives the figures.
namespace {

const QHostAddress SimAddress(QStringLiteral("127.0.0.70"));
constexpr quint16 SimPort = 1502;
constexpr quint8 Station = 10;
constexpr int TimeoutMs = 100;
constexpr int Retries = 1;
constexpr int PerMille = 20;
// Per request the client may wait time-out x (retries + 1); the device's own
// bound adds a second to that.
constexpr int RequestBoundMs = TimeoutMs * (Retries + 1) + 1000;
constexpr int ReconnectBoundMs = 20000;

int envNumber(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariable(name).toInt(&ok);
    return ok && value > 0 ? value : fallback;
}

enum class Op { Poll, Position, Io, Directory, ReadProgram, ReadFile, WriteProgram, WriteFile, Delete };
constexpr int OpCount = 9;
const char *const OpNames[OpCount] = {"poll",      "position",      "io",         "directory", "read program",
                                      "read file", "write program", "write file", "delete"};

class Soak
{
public:
    Soak(sim::Controller *controller, sim::FaultInjector *faults, ModbusDevice *device, quint32 seed)
        : m_controller(controller), m_faults(faults), m_device(device), m_random(seed)
    {
    }

    // Runs `operations` operations; returns the failures (empty when none).
    QStringList run(int operations)
    {
        for (int i = 0; i < operations && m_failures.size() < 10; ++i) {
            if (!reconnect()) {
                fail(i, QStringLiteral("no reconnection within %1 ms").arg(ReconnectBoundMs));
                break;
            }
            runOne(i);
        }
        return m_failures;
    }

    QString summary(qint64 ms) const
    {
        QStringList ops;
        for (int k = 0; k < OpCount; ++k) {
            QStringList results;
            for (auto it = m_results[k].cbegin(); it != m_results[k].cend(); ++it)
                results << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
            ops << QStringLiteral("%1 {%2}").arg(QLatin1String(OpNames[k]), results.join(QLatin1Char(' ')));
        }
        QStringList faults;
        for (int k = 1; k < sim::FaultKindCount; ++k)
            faults << QStringLiteral("%1 %2")
                          .arg(QLatin1String(sim::faultName(sim::Fault(k))))
                          .arg(m_faults->count(sim::Fault(k)));
        return QStringLiteral("%1 operations, %2 requests, %3 reconnections, %4 s; longest operation "
                              "%5 ms (%6% of its bound); results: %7; faults: %8")
            .arg(m_done)
            .arg(m_faults->requestCount())
            .arg(m_reconnections)
            .arg(ms / 1000.0, 0, 'f', 1)
            .arg(m_longest)
            .arg(m_worstShare)
            .arg(ops.join(QStringLiteral(", ")), faults.join(QStringLiteral(", ")));
    }

private:
    int random(int from, int to) { return std::uniform_int_distribution<int>(from, to)(m_random); }

    QByteArray randomText()
    {
        // Sizes around the chunk boundaries as well as anywhere up to 3000 bytes.
        static const int edges[] = {0, 1, 199, 200, 201, 399, 400, 401};
        const int size = random(0, 3) == 0 ? edges[random(0, 7)] : random(0, 3000);
        QByteArray text;
        text.reserve(size);
        for (int i = 0; i < size; ++i)
            text.append(random(0, 30) == 0 ? '\n' : char(random(0x20, 0x7E)));
        return text;
    }

    void fail(int index, const QString &what)
    {
        m_failures << QStringLiteral("operation %1: %2").arg(index).arg(what);
    }

    bool reconnect()
    {
        if (m_device->isReady())
            return true;
        ++m_reconnections;
        return TestSupport::keepConnecting(m_device, ReconnectBoundMs);
    }

    void runOne(int index)
    {
        const Op op = Op(random(0, OpCount - 1));
        const int number = random(1, 12);
        const QString file = QStringLiteral("F%1.TXT").arg(random(1, 4));
        const QByteArray text = randomText();
        const int requestsBefore = m_faults->requestCount();
        QElapsedTimer clock;
        clock.start();

        int result = 0;
        QString check;
        switch (op) {
        case Op::Poll:
            result = m_device->pollState();
            if (result < 0 || result > 4)
                check = QStringLiteral("state code %1").arg(result);
            break;
        case Op::Position: {
            PositionStatus position;
            result = m_device->readPosition(&position);
            break;
        }
        case Op::Io: {
            IoStatus io;
            result = m_device->readIo(&io);
            // A short reply reads as zeros past its end: the words match up to
            // a point and are 0 after it.
            int zerosFrom = io.inputs.size();
            while (zerosFrom > 0 && io.inputs.at(zerosFrom - 1) == 0)
                --zerosFrom;
            for (int i = 0; result == 0 && i < zerosFrom; ++i) {
                if (io.inputs.at(i) != quint16(0x1111 * (i % 15)))
                    check = QStringLiteral("input word %1 is %2").arg(i).arg(io.inputs.at(i));
            }
            break;
        }
        case Op::Directory: {
            QList<ProgramEntry> list;
            result = m_device->readProgramList(&list, true);
            QStringList names;
            for (const ProgramEntry &entry : qAsConst(list))
                names << entry.name;
            QStringList expected;
            for (int n : m_controller->programNumbers())
                expected << QStringLiteral("O%1").arg(n, 4, 10, QLatin1Char('0'));
            if (result == 0 && names != expected)
                check = QStringLiteral("directory %1, controller holds %2")
                            .arg(names.join(QLatin1Char(',')).toUtf8().toPercentEncoding(","),
                                 expected.join(QLatin1Char(',')));
            break;
        }
        case Op::ReadProgram:
        case Op::ReadFile: {
            QByteArray read;
            const bool program = op == Op::ReadProgram;
            result = program ? m_device->readProgram(&read, number) : m_device->readSystemFile(&read, file);
            const QByteArray held = program ? m_controller->program(number) : m_controller->file(file);
            if (result == 0 && read != held)
                check = QStringLiteral("read %1 bytes, the controller holds %2")
                            .arg(read.size())
                            .arg(held.size());
            break;
        }
        case Op::WriteProgram:
        case Op::WriteFile: {
            const bool program = op == Op::WriteProgram;
            if (m_device->stateCode() != 3)
                m_device->pollState();
            result = program ? m_device->writeProgram(text, number) : m_device->writeSystemFile(text, file);
            const QByteArray held = program ? m_controller->program(number) : m_controller->file(file);
            if (result == 0 && held != text)
                check = QStringLiteral("wrote %1 bytes, the controller holds %2")
                            .arg(text.size())
                            .arg(held.size());
            break;
        }
        case Op::Delete:
            if (m_device->stateCode() != 3)
                m_device->pollState();
            result = m_device->deleteProgram(number);
            if (result == 0 && m_controller->hasProgram(number))
                check = QStringLiteral("deleted program %1 is still there").arg(number);
            break;
        }

        const qint64 elapsed = clock.elapsed();
        const int requests = m_faults->requestCount() - requestsBefore;
        const qint64 bound = qint64(requests + 1) * RequestBoundMs;
        ++m_results[int(op)][result];
        ++m_done;
        m_longest = qMax(m_longest, elapsed);
        m_worstShare = qMax(m_worstShare, int(elapsed * 100 / bound));
        const QString what = QStringLiteral("%1 -> %2: ").arg(QLatin1String(OpNames[int(op)])).arg(result);
        if (!check.isEmpty())
            fail(index, what + check);
        if (elapsed > bound)
            fail(index, what + QStringLiteral("took %1 ms for %2 requests").arg(elapsed).arg(requests));
        if (m_device->isBusy())
            fail(index, what + QStringLiteral("still busy"));
    }

    sim::Controller *m_controller;
    sim::FaultInjector *m_faults;
    ModbusDevice *m_device;
    std::mt19937 m_random;
    QStringList m_failures;
    QMap<int, int> m_results[OpCount];
    int m_done = 0;
    int m_reconnections = 0;
    qint64 m_longest = 0;
    int m_worstShare = 0;
};

void useLinkSettings(const QString &serialPort = QString())
{
    ModbusSettings settings = ConfigStore::instance()->modbusSettings();
    settings.NetworkPort = SimPort;
    settings.Timeout = TimeoutMs;
    settings.NumberOfRetries = Retries;
    if (!serialPort.isEmpty()) {
        settings.Port = serialPort;
        settings.BaudRate = 115200;
        settings.Parity = int(QSerialPort::OddParity);
        settings.DataBits = 8;
        settings.StopBits = 1;
    }
    ConfigStore::instance()->setModbusSettings(settings);
}

void stock(sim::Controller *controller)
{
    controller->setStationAddress(Station);
    for (int i = 0; i < 16; ++i)
        controller->setInputWord(i, quint16(0x1111 * (i % 15)));
    for (int n = 1; n <= 6; ++n)
        controller->setProgram(n, QByteArray("O000") + QByteArray::number(n) + "\nG00 X0\nM30\n");
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tcp();
    void rtuLineVanishesMidTransfer();

private:
    QTemporaryDir m_dir;
};

void TestSoak::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
    // An endless text or directory ends at these bounds, not after 13 MB.
    TransferCodec::setReadLimits({200, 64 * 1024});
}

void TestSoak::tcp()
{
    const int operations = envNumber("VEXA_SOAK_OPERATIONS", 300);
    const quint32 seed = quint32(envNumber("VEXA_SOAK_SEED", 20261208));
    sim::Controller controller;
    stock(&controller);
    sim::FaultInjector faults(&controller, seed, PerMille);
    sim::TcpServer server(&controller);
    server.setFaultInjector(&faults);
    QVERIFY(server.listen(SimAddress, SimPort));
    useLinkSettings();

    ModbusDevice device;
    DeviceRecord record = device.record();
    record.Type = 1;
    record.IP = SimAddress.toString();
    record.Address = Station;
    device.setRecord(record);
    device.open();

    Soak soak(&controller, &faults, &device, seed);
    QElapsedTimer clock;
    clock.start();
    const QStringList failures = soak.run(operations);
    qInfo("seed %u: %s", seed, qPrintable(soak.summary(clock.elapsed())));
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
    device.close();
}

// A USB adapter pulled out during a transfer: both ends of the line vanish.
// The transfer ends within its bound and leaves the device free; once the
// line is back under the same name the device connects again by itself.
void TestSoak::rtuLineVanishesMidTransfer()
{
    sim::PtyPair pty;
    pty.setLinks(m_dir.filePath(QStringLiteral("tty-sim")), m_dir.filePath(QStringLiteral("tty-pc")));
    if (!pty.start())
        QSKIP("no pseudo-terminal pair (socat missing or failing)");
    sim::Controller controller;
    stock(&controller);
    controller.setProgram(9, QByteArray(20000, 'G'));
    sim::RtuServer server(&controller);
    QVERIFY(server.open(pty.first()));
    useLinkSettings(pty.second());

    ModbusDevice device;
    DeviceRecord record = device.record();
    record.Type = 0;
    record.Address = Station;
    device.setRecord(record);
    device.open();
    device.tryConnect();
    QTRY_VERIFY_WITH_TIMEOUT(device.isReady(), 10000);

    int chunks = 0;
    connect(&controller, &sim::Controller::requestHandled, this, [&](const sim::Request &request) {
        if (request.function == 0x03 && request.address == 0x3304 && ++chunks == 10) {
            server.close();
            pty.stop();
        }
    });
    QByteArray text;
    QElapsedTimer clock;
    clock.start();
    const int result = device.readProgram(&text, 9);
    QCOMPARE(result, 7);
    QVERIFY(text.isEmpty());
    QVERIFY2(clock.elapsed() <= 2 * RequestBoundMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!device.isBusy());

    QVERIFY(pty.start());
    sim::RtuServer again(&controller);
    QVERIFY(again.open(pty.first()));
    QVERIFY(TestSupport::keepConnecting(&device));
    QCOMPARE(device.readProgram(&text, 9), 0);
    QCOMPARE(text.size(), 20000);
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
