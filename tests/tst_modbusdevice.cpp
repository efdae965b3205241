#include "config/configstore.h"
#include "link/busyretry.h"
#include "link/devicefleet.h"
#include "link/devicewatch.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QModbusClient>
#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(sim::AxisConfig)

// Every test talks to the simulator over real sockets, on this test's own
// loopback addresses so parallel test executables never meet.
static const QHostAddress HostA(QStringLiteral("127.0.0.3"));
static const QHostAddress HostB(QStringLiteral("127.0.0.13"));
static const quint16 Port = 1502;

// One request as a line of text: "R addr count", "C addr count" (coils) or
// "W addr v0 v1 ...", addresses in hex. The expected sequences below are
// written out literally from the controller's register map.
static QString describe(const sim::Request &r)
{
    QString line;
    if (r.function == 0x03)
        line = QStringLiteral("R %1 %2").arg(r.address, 0, 16).arg(r.count);
    else if (r.function == 0x01)
        line = QStringLiteral("C %1 %2").arg(r.address, 0, 16).arg(r.count);
    else if (r.function == 0x10) {
        line = QStringLiteral("W %1").arg(r.address, 0, 16);
        for (quint16 v : r.values)
            line += QStringLiteral(" %1").arg(v);
    } else
        line = QStringLiteral("F%1 %2").arg(r.function).arg(r.address, 0, 16);
    return line;
}

static QStringList wire(const sim::Controller &controller)
{
    QStringList lines;
    for (const sim::Request &r : controller.requests())
        lines << describe(r);
    return lines;
}

static const QStringList StaticReads{"R 7376 2",  "R 1100 12", "R 1200 8", "R 2400 70", "R 2500 70",
                                     "R 2600 70", "R 2700 8",  "R 2800 8", "R 2900 8",  "R 3400 70"};

static const QStringList GlobalWrites{
    "W 2400 4 0 10 0",   "W 2500 4 0 12 0",  "W 2600 4 0 13 0", "W 2700 4 0 3355 0", "W 2800 4 0 3356 0",
    "W 2900 4 0 3357 0", "W 3100 6 0 433 0", "W 1100 6 0 4 0",  "W 3000 6 0 300 0",  "W 3600 6 0 302 0",
    "W 3700 6 0 431 0",  "W 1a00 1 0 88 0",  "W 1800 1 0 89 0", "W 1200 6 0 10 0",   "W 3400 4 0 22 0",
    "W 3500 4 0 23 0",   "W 3200 6 0 333 0"};

static QStringList channelWrites(int channel, int axes)
{
    const QString c = QString::number(channel);
    QStringList lines{"W 1e00 29558 " + c, "W 1000 2 " + c + " 0 0", "W 1010 3 " + c + " 0 0",
                      "W 1d00 1 " + c + " 70 0"};
    for (int i = 0; i < axes; ++i) {
        lines << QStringLiteral("W %1 11 %2 %3 0").arg(0x1500 + 16 * i, 0, 16).arg(c).arg(i);
        lines << QStringLiteral("W %1 12 %2 %3 0").arg(0x1600 + 16 * i, 0, 16).arg(c).arg(i);
    }
    lines << "W 15e0 11 " + c + " 101 0"
          << "W 15f0 11 " + c + " 200 0"
          << "W 16e0 11 " + c + " 101 0"
          << "W 16f0 11 " + c + " 200 0";
    return lines;
}

// Write-multiple PDU, for preparing the controller's installation directly.
static QByteArray writePdu(int address, const QVector<quint16> &values)
{
    QByteArray pdu;
    pdu.append(char(0x10));
    pdu.append(char(address >> 8)).append(char(address & 0xFF));
    pdu.append(char(values.size() >> 8)).append(char(values.size() & 0xFF));
    pdu.append(char(values.size() * 2));
    for (quint16 v : values)
        pdu.append(char(v >> 8)).append(char(v & 0xFF));
    return pdu;
}

// Calls fn from a timer while the caller's transaction waits.
template<typename Fn> static void during(int ms, QObject *context, Fn fn)
{
    QTimer::singleShot(ms, context, fn);
}

class TestModbusDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newDeviceRefusesEverything();
    void busyRetryStopsAtTheWaitBound();
    void unknownLinkKind();
    void connectionParameters();
    void setUpSequence_data();
    void setUpSequence();
    void channelBlocksFollowPreviousAxisCount();
    void setUpWaitsAfterConnect();
    void staticData_data();
    void staticData();
    void shortCountsBlock();
    void pollState_data();
    void pollState();
    void pollKeepsStateOnFailure();
    void pollVisitsChannelsUpToTheBound_data();
    void pollVisitsChannelsUpToTheBound();
    void muteControllerReconnects();
    void fleetHearsStatesAndOperations();
    void readPosition();
    void readPositionKeepsCacheOnFailure();
    void readIo_data();
    void readIo();
    void busyWhileWaiting();
    void silentDeviceHoldsUpNoOther();
    void operationWaitsForBackgroundPoll();
    void dropWhilePolling();
    void droppedLink();
    void dropDuringSetUpRetries();
    void quickReconnectWaitsForItsOwnSetUp();
    void waitingReadSendsNothingOnTheNextLink();
    void closeWhileWaiting();
    void releaseWhileWaiting();
    void releaseWhenIdleAtOnce();
    void twoDevicesNested();

private:
    std::unique_ptr<ModbusDevice> makeDevice(const QHostAddress &host = HostA);

    std::unique_ptr<sim::Controller> m_controller;
    std::unique_ptr<sim::TcpServer> m_server;
};

void TestModbusDevice::initTestCase()
{
    TestSupport::useQuickLink(Port);
}

void TestModbusDevice::init()
{
    m_controller = std::make_unique<sim::Controller>();
    m_server = std::make_unique<sim::TcpServer>(m_controller.get());
    QVERIFY(m_server->listen(HostA, Port));
}

void TestModbusDevice::cleanup()
{
    m_server.reset();
    m_controller.reset();
    // Replies and retired clients go through deleteLater().
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::unique_ptr<ModbusDevice> TestModbusDevice::makeDevice(const QHostAddress &host)
{
    auto device = std::make_unique<ModbusDevice>();
    DeviceRecord r = device->record();
    r.Type = 1;
    r.IP = host.toString();
    r.Address = 10;
    device->setRecord(r);
    return device;
}

// A refusal is tried again until the device's wait bound has passed since the
// first one; then it stands, and the next refusal starts a new bound.
void TestModbusDevice::busyRetryStopsAtTheWaitBound()
{
    const ModbusDevice device; // no link: the bound is the margin alone
    BusyRetry retry;
    QVERIFY(!retry.again(nullptr));
    QElapsedTimer clock;
    clock.start();
    int tries = 0;
    for (; retry.again(&device); ++tries)
        QTest::qWait(BusyRetry::IntervalMs); // as the callers' timers do
    QVERIFY(clock.elapsed() >= device.waitBoundMs());
    QVERIFY(tries > 1);
    QVERIFY(!retry.isWaiting());
    QVERIFY(retry.again(&device));
}

void TestModbusDevice::newDeviceRefusesEverything()
{
    ModbusDevice device;
    PositionStatus pos;
    IoStatus io;
    QCOMPARE(device.readPosition(&pos), 2);
    QCOMPARE(device.readIo(&io), 2);
    QCOMPARE(device.pollState(), 0);
    device.close(); // never opened: nothing happens
    QCOMPARE(device.stateCode(), 0);
    QVERIFY(!device.client());
    device.tryConnect(); // no client: only the state code moves
    QCOMPARE(device.stateCode(), 4);
    QVERIFY(!device.isReady());
    QCOMPARE(pos.programName, QStringLiteral("O0000")); // untouched
}

void TestModbusDevice::unknownLinkKind()
{
    auto device = makeDevice();
    DeviceRecord r = device->record();
    r.Type = 7;
    device->setRecord(r);
    device->open();
    QVERIFY(!device->client());
    device->tryConnect();
    QCOMPARE(device->stateCode(), 4);
    auto probe = makeDevice(); // connects after any attempt of the other
    QVERIFY(TestSupport::connectUp(probe.get()));
    QCOMPARE(m_server->connectionCount(), 1);
    probe.reset();
    IoStatus io;
    QCOMPARE(device->readIo(&io), 2);
    device->close();
    QCOMPARE(device->stateCode(), 0);

    // A device opened as TCP and re-opened with an unknown kind drops its client.
    r.Type = 1;
    device->setRecord(r);
    QVERIFY(TestSupport::connectUp(device.get()));
    r.Type = 9;
    device->setRecord(r);
    device->open();
    QVERIFY(!device->client());
    QVERIFY(!device->isReady());
    QCOMPARE(device->readIo(&io), 2);
}

void TestModbusDevice::connectionParameters()
{
    ModbusSettings saved = ConfigStore::instance()->modbusSettings();
    ModbusSettings s = saved;
    s.Port = QStringLiteral("/nonexistent/ttyVEXA");
    s.Parity = 2;
    s.BaudRate = 9600;
    s.DataBits = 7;
    s.StopBits = 2;
    s.Timeout = 250;
    s.NumberOfRetries = 2;
    ConfigStore::instance()->setModbusSettings(s);

    auto device = makeDevice();
    DeviceRecord r = device->record();
    r.Type = 0;
    device->setRecord(r);
    device->open();
    QVERIFY(qobject_cast<QModbusRtuSerialMaster *>(device->client()));
    device->tryConnect();
    QModbusClient *client = device->client();
    QCOMPARE(client->connectionParameter(QModbusDevice::SerialPortNameParameter).toString(),
             s.Port.toString());
    QCOMPARE(client->connectionParameter(QModbusDevice::SerialParityParameter).toInt(), 2);
    QCOMPARE(client->connectionParameter(QModbusDevice::SerialBaudRateParameter).toInt(), 9600);
    QCOMPARE(client->connectionParameter(QModbusDevice::SerialDataBitsParameter).toInt(), 7);
    QCOMPARE(client->connectionParameter(QModbusDevice::SerialStopBitsParameter).toInt(), 2);
    QCOMPARE(client->timeout(), 250);
    QCOMPARE(client->numberOfRetries(), 2);
    QTRY_COMPARE(client->state(), QModbusDevice::UnconnectedState); // no such port
    QVERIFY(!device->isReady());

    // A new kind takes effect at the next open(); the next attempt already
    // sets the parameters of the new kind.
    r.Type = 1;
    device->setRecord(r);
    ConfigStore::instance()->setModbusSettings(saved);
    device->tryConnect();
    QVERIFY(qobject_cast<QModbusRtuSerialMaster *>(device->client()));
    QCOMPARE(client->connectionParameter(QModbusDevice::NetworkAddressParameter).toString(),
             HostA.toString());
    QCOMPARE(client->connectionParameter(QModbusDevice::NetworkPortParameter).toInt(), int(Port));
    QTRY_COMPARE(client->state(), QModbusDevice::UnconnectedState);
    QVERIFY(TestSupport::connectUp(device.get())); // open() makes the TCP client
    QVERIFY(qobject_cast<QModbusTcpClient *>(device->client()));
}

void TestModbusDevice::setUpSequence_data()
{
    QTest::addColumn<int>("installedChannel"); // -1: nothing installed
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("fresh controller")
        << -1 << QStringList{"R 7376 2"} + GlobalWrites + channelWrites(0, 1) + StaticReads.mid(1);
    QTest::newRow("same channel: no write") << 0 << StaticReads;
    QTest::newRow("other channel: channel blocks only")
        << 1 << QStringList{"R 7376 2"} + channelWrites(0, 1) + StaticReads.mid(1);
}

void TestModbusDevice::setUpSequence()
{
    QFETCH(int, installedChannel);
    QFETCH(QStringList, expected);
    if (installedChannel >= 0)
        m_controller->handlePdu(10, writePdu(0x1E00, {0x7376, quint16(installedChannel)}));
    m_controller->clearRequests();

    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    QCOMPARE(wire(*m_controller), expected);
    QVERIFY(m_controller->signatureInstalled());
    QCOMPARE(m_controller->signatureChannel(), quint16(0));
    for (const sim::Request &r : m_controller->requests())
        QCOMPARE(r.station, quint8(10));
}

void TestModbusDevice::channelBlocksFollowPreviousAxisCount()
{
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    QCOMPARE(device->axisCount(), quint8(3));
    device->close();

    // Someone else installed the signature for channel 1 meanwhile.
    m_controller->handlePdu(10, writePdu(0x1E00, {0x7376, 1}));
    m_controller->clearRequests();
    QVERIFY(TestSupport::connectUp(device.get()));
    QCOMPARE(wire(*m_controller), QStringList{"R 7376 2"} + channelWrites(0, 3) + StaticReads.mid(1));
}

void TestModbusDevice::setUpWaitsAfterConnect()
{
    auto device = makeDevice();
    device->open();
    QElapsedTimer clock;
    qint64 connectedAt = -1;
    qint64 firstRequestAt = -1;
    int refusedWhileSettingUp = 0;
    connect(device->client(), &QModbusDevice::stateChanged, this, [&](QModbusDevice::State s) {
        if (s == QModbusDevice::ConnectedState)
            connectedAt = clock.elapsed();
    });
    connect(m_controller.get(), &sim::Controller::requestHandled, this, [&] {
        if (firstRequestAt < 0)
            firstRequestAt = clock.elapsed();
        IoStatus io;
        PositionStatus pos;
        if (device->readIo(&io) == 2 && device->readPosition(&pos) == 2)
            ++refusedWhileSettingUp;
    });
    clock.start();
    device->tryConnect();
    QTRY_VERIFY_WITH_TIMEOUT(device->isReady(), 5000);
    QVERIFY(connectedAt >= 0);
    QVERIFY2(firstRequestAt - connectedAt >= 199,
             qPrintable(QStringLiteral("%1 ms").arg(firstRequestAt - connectedAt)));
    QCOMPARE(refusedWhileSettingUp, m_controller->requests().size());
}

void TestModbusDevice::staticData_data()
{
    QTest::addColumn<QVector<sim::AxisConfig>>("axes");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QList<int>>("failing"); // addresses answered with an exception
    QTest::addColumn<QList<quint8>>("axisList");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("decimals");
    QTest::addColumn<QList<float>>("divisors");

    sim::AxisConfig x{1, 1, 3, 60000};
    sim::AxisConfig y{1, 2, 4, 120000};
    sim::AxisConfig z{1, 166, 0, 0};
    sim::AxisConfig other{2, 3, 3, 60000};

    QTest::newRow("one channel") << QVector<sim::AxisConfig>{x, y, z} << 1 << QList<int>{}
                                 << QList<quint8>{0, 1, 2} << QStringList{"X", "Y", "XB"}
                                 << QList<int>{3, 4, 0} << QList<float>{10.0f, 20.0f, 0.0f};
    QTest::newRow("axes of channel 1 among two")
        << QVector<sim::AxisConfig>{x, other, y, other} << 2 << QList<int>{} << QList<quint8>{0, 2}
        << QStringList{"X", "Y"} << QList<int>{3, 4} << QList<float>{10.0f, 20.0f};
    QTest::newRow("axis list fallback")
        << QVector<sim::AxisConfig>{x, y, z} << 1 << QList<int>{0x2400} << QList<quint8>{0, 1, 2}
        << QStringList{"X", "Y", "XB"} << QList<int>{3, 4, 0} << QList<float>{10.0f, 20.0f, 0.0f};
    // Names, decimals and speed parameters all fail on the first set-up: the
    // lists still have one entry per axis.
    QTest::newRow("per-axis reads fail")
        << QVector<sim::AxisConfig>{x, y, z} << 1 << QList<int>{0x2500, 0x2600, 0x3400}
        << QList<quint8>{0, 1, 2} << QStringList{"X", "Y", "Z"} << QList<int>{3, 3, 3}
        << QList<float>{0.0f, 0.0f, 0.0f};
    QTest::newRow("no channel and no list")
        << QVector<sim::AxisConfig>{x, y} << 2 << QList<int>{0x2400} << QList<quint8>{} << QStringList{}
        << QList<int>{} << QList<float>{};
}

void TestModbusDevice::staticData()
{
    QFETCH(QVector<sim::AxisConfig>, axes);
    QFETCH(int, channels);
    QFETCH(QList<int>, failing);
    QFETCH(QList<quint8>, axisList);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, decimals);
    QFETCH(QList<float>, divisors);

    m_controller->setAxes(axes);
    m_controller->setChannelCount(quint16(channels));
    for (int address : failing)
        m_controller->setExceptionAt(address);
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));

    QCOMPARE(device->axisCount(), quint8(axes.size()));
    QCOMPARE(device->channelCount(), quint16(channels));
    QCOMPARE(device->speedScale(), 10000u);
    QCOMPARE(device->axisList(), axisList);
    QCOMPARE(device->positionCache().axisNames, names);
    QCOMPARE(device->decimals(), decimals);
    QCOMPARE(device->speedDivisors(), divisors);
    const PositionStatus cache = device->positionCache();
    QCOMPARE(cache.absolute.size(), axisList.size());
    QCOMPARE(cache.machine.size(), axisList.size());
    QCOMPARE(cache.speed.size(), axisList.size());
    QCOMPARE(cache.torque.size(), axisList.size());
    QVERIFY(!device->statusCoilMode());

    PositionStatus pos;
    QCOMPARE(device->readPosition(&pos), 0);
    QCOMPARE(pos.absolute.size(), axisList.size());
    QCOMPARE(pos.axisNames.size(), axisList.size());
}

void TestModbusDevice::shortCountsBlock()
{
    m_controller->setShortRead(0x1100, 10);
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    QCOMPARE(device->axisCount(), quint8(0));
    QCOMPARE(device->channelCount(), quint16(0));
    QCOMPARE(device->axisList(), QList<quint8>{});

    // No channel to ask: the poll sends nothing and the state stays 4.
    m_controller->clearRequests();
    QCOMPARE(device->pollState(), 4);
    QCOMPARE(m_controller->requests().size(), 0);
}

void TestModbusDevice::pollState_data()
{
    QTest::addColumn<bool>("coils");
    QTest::addColumn<int>("runState"); // sim::RunState
    QTest::addColumn<int>("flags");    // -1: from the run state
    QTest::addColumn<int>("expected");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<bool>("counters"); // an observer wants them: read after the state

    const QStringList status{"W 3e00 1 0 70 0", "R 3e00 6"};
    QTest::newRow("register idle") << false << int(sim::RunState::Idle) << -1 << 3 << status << false;
    QTest::newRow("register running") << false << int(sim::RunState::Running) << -1 << 1 << status << false;
    QTest::newRow("register alarm") << false << int(sim::RunState::Alarm) << -1 << 2 << status << false;
    QTest::newRow("alarm wins over running")
        << false << int(sim::RunState::Idle) << 0x0180 << 2 << status << false;
    QTest::newRow("other bits are idle")
        << false << int(sim::RunState::Idle) << 0x7E7F << 3 << status << false;
    QTest::newRow("coil idle") << true << int(sim::RunState::Idle) << -1 << 3 << QStringList{"C 6 1"}
                               << false;
    QTest::newRow("coil running") << true << int(sim::RunState::Running) << -1 << 1
                                  << QStringList{"C 6 1", "C 4 1"} << false;
    QTest::newRow("coil alarm") << true << int(sim::RunState::Alarm) << -1 << 2
                                << QStringList{"C 6 1", "C 4 1", "C 5 1"} << false;
    QTest::newRow("register, counters") << false << int(sim::RunState::Running) << -1 << 1
                                        << QStringList{"W 3e00 1 0 70 0", "R 3e00 6", "R 1000 10"} << true;
    QTest::newRow("coil, counters") << true << int(sim::RunState::Running) << -1 << 1
                                    << QStringList{"C 6 1", "C 4 1", "R 1000 10"} << true;
}

void TestModbusDevice::pollState()
{
    QFETCH(bool, coils);
    QFETCH(int, runState);
    QFETCH(int, flags);
    QFETCH(int, expected);
    QFETCH(QStringList, requests);
    QFETCH(bool, counters);

    if (coils)
        m_controller->setStateCoils(5, 6, 7); // run, alarm, idle: coils 4, 5, 6
    m_controller->setRunState(sim::RunState(runState));
    m_controller->setStatusFlags(flags);
    m_controller->setPieceCount(70000);
    m_controller->setPieceTarget(500);
    m_controller->setProgramNumber(12);
    auto device = makeDevice();
    device->setCountersWanted(counters);
    QVERIFY(TestSupport::connectUp(device.get()));
    QCOMPARE(device->statusCoilMode(), coils);
    QCOMPARE(device->stateCode(), 4);

    m_controller->clearRequests();
    QCOMPARE(device->pollState(), expected);
    QCOMPARE(wire(*m_controller), requests);
    QVERIFY(!device->isBusy());
    const DeviceSnapshot snapshot = device->snapshot();
    QCOMPARE(snapshot.state, expected);
    QCOMPARE(snapshot.program, counters ? QStringLiteral("O0012") : QString());
    QCOMPARE(snapshot.pieces, counters ? 70000 : -1);
    QCOMPARE(snapshot.target, counters ? 500 : -1);

    // While the state holds, the counters wait for their interval; a change
    // of state brings them at once.
    m_controller->setPieceCount(70001);
    m_controller->clearRequests();
    QCOMPARE(device->pollState(), expected);
    QCOMPARE(wire(*m_controller), requests.mid(0, requests.size() - int(counters)));
    if (counters) {
        m_controller->setRunState(sim::RunState::Idle);
        QCOMPARE(device->pollState(), 3);
        QCOMPARE(wire(*m_controller).constLast(), QStringLiteral("R 1000 10"));
        QCOMPARE(device->snapshot().pieces, 70001);
    }
}

void TestModbusDevice::pollKeepsStateOnFailure()
{
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    QCOMPARE(device->pollState(), 3);
    m_controller->setRunState(sim::RunState::Running);
    m_controller->setExceptionAt(0x3E00);
    QCOMPARE(device->pollState(), 3);
    m_controller->clearFaults();
    m_controller->setShortRead(0x3E00, 4); // flags word missing: idle
    QCOMPARE(device->pollState(), 3);
    m_controller->clearFaults();
    m_server->setSilent(true);
    QCOMPARE(device->pollState(), 3);
    QVERIFY(!device->isBusy());
    m_server->setSilent(false);
    QCOMPARE(device->pollState(), 1);
    // Counters cut short are not counters: the pieces stay unknown.
    device->setCountersWanted(true);
    m_controller->setShortRead(0x1000, 6);
    QCOMPARE(device->pollState(), 1);
    QCOMPARE(device->snapshot().pieces, -1);
}

void TestModbusDevice::pollVisitsChannelsUpToTheBound_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("visited");
    QTest::addColumn<int>("first"); // sim::RunState of channel 0
    QTest::addColumn<int>("later"); // and of every later channel
    QTest::addColumn<int>("expected");
    const int idle = int(sim::RunState::Idle), running = int(sim::RunState::Running);
    const int alarm = int(sim::RunState::Alarm);
    // The worst answer stands, whichever channel gives it.
    QTest::newRow("three channels, alarm first") << 3 << 3 << alarm << running << 2;
    QTest::newRow("two channels, running first") << 2 << 2 << running << idle << 1;
    QTest::newRow("two channels, running later") << 2 << 2 << idle << running << 1;
    QTest::newRow("a controller claiming 40") << 40 << 16 << alarm << running << 2;
}

void TestModbusDevice::pollVisitsChannelsUpToTheBound()
{
    QFETCH(int, channels);
    QFETCH(int, visited);
    QFETCH(int, first);
    QFETCH(int, later);
    QFETCH(int, expected);
    m_controller->setChannelCount(quint16(channels));
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    m_controller->setRunState(sim::RunState(first));
    connect(m_controller.get(), &sim::Controller::requestHandled, device.get(),
            [this, later](const sim::Request &r) {
                if (r.function == 0x03)
                    m_controller->setRunState(sim::RunState(later));
            });
    m_controller->clearRequests();
    QCOMPARE(device->pollState(), expected);
    QStringList expectedWire;
    for (int i = 0; i < visited; ++i)
        expectedWire << QStringLiteral("W 3e00 1 %1 70 0").arg(i) << QStringLiteral("R 3e00 6");
    QCOMPARE(wire(*m_controller), expectedWire);
}

// Each poll of a mute controller costs one time-out, whatever the channels it
// claims; the third in a row shows connecting and opens the link afresh, which
// then comes back by itself.
void TestModbusDevice::muteControllerReconnects()
{
    m_controller->setChannelCount(40);
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    QCOMPARE(device->pollState(), 3);
    QPointer<QModbusClient> first = device->client();
    m_server->setSilent(true);
    for (int poll = 1; poll <= 3; ++poll) {
        QCOMPARE(device->pollState(), poll < 3 ? 3 : 4);
        QCOMPARE(m_server->ignoredCount(), poll);
    }
    QVERIFY(!device->isReady());
    QVERIFY(device->client() != first);
    QTRY_VERIFY(first.isNull());
    QTRY_COMPARE(m_server->connectionCount(), 0);

    m_server->setSilent(false);
    device->tryConnect();
    QTRY_VERIFY_WITH_TIMEOUT(device->isReady(), 5000);
    QCOMPARE(device->pollState(), 3);
}

// What the observers of a run hear: the state and counters of each switched-on
// device, every operation that went over the wire, and a write or delete the
// controller was not idle for.
void TestModbusDevice::fleetHearsStatesAndOperations()
{
    m_controller->setProgramNumber(7);
    auto device = makeDevice();
    DeviceFleet fleet;
    DeviceWatch watch(device.get());
    fleet.add(&watch);
    fleet.wantCounters();
    QVERIFY(device->countersWanted());
    QSignalSpy operations(&fleet, &DeviceFleet::operationFinished);
    QSignalSpy removed(&fleet, &DeviceFleet::removed);

    watch.setOn(true);
    QTRY_COMPARE_WITH_TIMEOUT(watch.snapshot().state, int(DeviceState::Idle), 5000);
    QTRY_COMPARE(watch.snapshot().program, QStringLiteral("O0007"));

    QCOMPARE(device->writeProgram(QByteArray("O0012\n"), 12), 0);
    QCOMPARE(device->deleteProgram(12), 0);
    m_controller->setRunState(sim::RunState::Running);
    QTRY_COMPARE(watch.snapshot().state, int(DeviceState::Running));
    QCOMPARE(device->deleteProgram(12), int(Result::NotIdle));
    QCOMPARE(operations.count(), 3);
    const auto event = [&](int i) { return qvariant_cast<DeviceEvent>(operations.at(i).at(1)); };
    QCOMPARE(event(0).kind, DeviceEvent::WriteProgram);
    QCOMPARE(event(0).target, QStringLiteral("O0012"));
    QCOMPARE(event(0).result, 0);
    QCOMPARE(event(0).bytes, qint64(6));
    QCOMPARE(event(1).kind, DeviceEvent::DeleteProgram);
    QCOMPARE(event(2).result, int(Result::NotIdle));
    QCOMPARE(event(2).target, QStringLiteral("O0012"));

    fleet.remove(&watch);
    QCOMPARE(removed.count(), 1);
    QVERIFY(fleet.watches().isEmpty());
    watch.setOn(false);
    QCOMPARE(watch.snapshot().state, int(DeviceState::NotConnected));
}

void TestModbusDevice::readPosition()
{
    sim::AxisConfig x{1, 1, 3, 60000};
    sim::AxisConfig y{1, 203, 0, 60000};
    m_controller->setAxes({x, y});
    m_controller->setAxisValues(0, -12345, 500, 12345, -1239);
    m_controller->setAxisValues(1, -12345, 7, -99, 10);
    m_controller->setPieceCount(70000);
    m_controller->setPieceTarget(1);
    m_controller->setProgramNumber(12);
    m_controller->setCycleTime(605);
    m_controller->setRunTime(36005);
    m_controller->setWorkMode(32);
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));

    m_controller->clearRequests();
    PositionStatus pos;
    pos.state = 9;
    QCOMPARE(device->readPosition(&pos), 0);
    QCOMPARE(wire(*m_controller), (QStringList{"R 1000 10", "R 1010 8", "R 1d00 6", "R 3000 70", "R 3600 70",
                                               "R 3200 70", "R 3100 70"}));
    QCOMPARE(pos.state, quint8(0));
    QCOMPARE(pos.pieceCount, 70000);
    QCOMPARE(pos.pieceTarget, 1);
    QCOMPARE(pos.programName, QStringLiteral("O0012"));
    QCOMPARE(pos.cycleTime, QStringLiteral("01:00.500"));
    QCOMPARE(pos.runTime, QStringLiteral("01:00:00"));
    QCOMPARE(pos.workMode, QStringLiteral("自动"));
    QCOMPARE(pos.axisNames, (QStringList{"X", "Y3"}));
    QCOMPARE(pos.absolute, (QStringList{"-12.345", "-12345"}));
    QCOMPARE(pos.machine, (QStringList{"0.500", "7"}));
    QCOMPARE(pos.speed, (QList<int>{1234, 9}));
    QCOMPARE(pos.torque, (QList<int>{123, 1}));
    QVERIFY(!device->isBusy());

    // A work-mode read of five registers reads the mode as 0.
    m_controller->setShortRead(0x1D00, 5);
    QCOMPARE(device->readPosition(&pos), 0);
    QCOMPARE(pos.workMode, QStringLiteral("回零"));
}

void TestModbusDevice::readPositionKeepsCacheOnFailure()
{
    m_controller->setAxisValues(0, 1000, 2000, 0, 0);
    m_controller->setProgramNumber(7);
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    PositionStatus pos;
    QCOMPARE(device->readPosition(&pos), 0);
    QCOMPARE(pos.absolute.value(0), QStringLiteral("1.000"));

    m_controller->setAxisValues(0, 3000, 4000, 0, 0);
    m_controller->setProgramNumber(8);
    m_controller->setExceptionAt(0x3000);
    m_controller->setExceptionAt(0x1000);
    PositionStatus again;
    QCOMPARE(device->readPosition(&again), 0);
    QCOMPARE(again.absolute.value(0), QStringLiteral("1.000")); // kept
    QCOMPARE(again.programName, QStringLiteral("O0007"));       // kept
    QCOMPARE(again.machine.value(0), QStringLiteral("4.000"));  // read

    // A controller gone quiet costs one time-out, not seven.
    m_controller->clearFaults();
    m_server->setSilent(true);
    QCOMPARE(device->readPosition(&again), 7);
    QCOMPARE(m_server->ignoredCount(), 1);
    QCOMPARE(again.machine.value(0), QStringLiteral("4.000")); // kept
}

void TestModbusDevice::readIo_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("lastResult");
    QTest::addColumn<int>("state"); // state code afterwards

    QTest::newRow("ok") << "" << 0 << int(QModbusDevice::NoError) << 4;
    QTest::newRow("short read") << "short" << 0 << int(QModbusDevice::NoError) << 4;
    QTest::newRow("exception on inputs") << "exception inputs" << 7 << int(QModbusDevice::ProtocolError) << 4;
    QTest::newRow("exception on outputs")
        << "exception outputs" << 7 << int(QModbusDevice::ProtocolError) << 4;
    QTest::newRow("silence") << "silence" << 7 << int(QModbusDevice::TimeoutError) << 4;
    QTest::newRow("dropped connection") << "drop" << 7 << -1 << 0;
    QTest::newRow("wrong station") << "station" << 7 << int(QModbusDevice::TimeoutError) << 4;
}

void TestModbusDevice::readIo()
{
    QFETCH(QString, fault);
    QFETCH(int, result);
    QFETCH(int, lastResult);
    QFETCH(int, state);

    for (int i = 0; i < 16; ++i) {
        m_controller->setInputWord(i, quint16(0x100 + i));
        m_controller->setOutputWord(i, quint16(0x200 + i));
    }
    auto device = makeDevice();
    DeviceRecord r = device->record();
    r.Model = 2;
    device->setRecord(r);
    QVERIFY(TestSupport::connectUp(device.get()));

    if (fault == "short")
        m_controller->setShortRead(0x1A04, 3);
    else if (fault == "exception inputs")
        m_controller->setExceptionAt(0x1A04);
    else if (fault == "exception outputs")
        m_controller->setExceptionAt(0x1804);
    else if (fault == "silence")
        m_server->setSilent(true);
    else if (fault == "station")
        m_controller->setStationAddress(11);
    else if (fault == "drop")
        connect(m_controller.get(), &sim::Controller::requestHandled, m_server.get(),
                &sim::TcpServer::dropConnections, Qt::QueuedConnection);

    IoStatus io;
    QElapsedTimer t;
    t.start();
    QCOMPARE(device->readIo(&io), result);
    QVERIFY(t.elapsed() < 3000); // the bound is the point: no fault holds the read past its time-out
    if (lastResult >= 0)
        QCOMPARE(device->lastResult(), lastResult);
    QVERIFY(!device->isBusy());
    QCOMPARE(device->stateCode(), state);
    if (result == 0) {
        QCOMPARE(io.model, quint8(2));
        QCOMPARE(io.inputs.size(), 16);
        QCOMPARE(io.outputs.size(), 16);
        QCOMPARE(io.inputs.at(0), quint16(0x100));
        QCOMPARE(io.inputs.at(2), quint16(0x102));
        QCOMPARE(io.inputs.at(3), quint16(fault == "short" ? 0 : 0x103)); // missing words read as 0
        QCOMPARE(io.outputs.at(15), quint16(0x20F));
    }
}

void TestModbusDevice::busyWhileWaiting()
{
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    QCOMPARE(device->pollState(), 3);
    m_server->stopAnsweringFor(400);
    m_controller->clearRequests();

    int ioResult = -1, posResult = -1, polled = -1, sentDuring = -1;
    during(100, this, [&] {
        QVERIFY(device->isWaiting());
        QVERIFY(device->isBusy());
        const int before = m_controller->requests().size();
        IoStatus io;
        PositionStatus pos;
        ioResult = device->readIo(&io);
        posResult = device->readPosition(&pos);
        polled = device->pollState();
        sentDuring = m_controller->requests().size() - before;
    });
    IoStatus io;
    QCOMPARE(device->readIo(&io), 7); // the silent controller times it out
    QCOMPARE(ioResult, 9);
    QCOMPARE(posResult, 9);
    QCOMPARE(polled, 3);
    QCOMPARE(sentDuring, 0);
    QVERIFY(!device->isBusy());
    QVERIFY(!device->isWaiting());
}

// The poll of a controller that stopped answering is under way; another
// device polls three times over meanwhile, and the silent one's operations are
// refused without a request going out.
void TestModbusDevice::silentDeviceHoldsUpNoOther()
{
    sim::Controller controllerB;
    sim::TcpServer serverB(&controllerB);
    QVERIFY(serverB.listen(HostB, Port));
    const ModbusSettings saved = ConfigStore::instance()->modbusSettings();
    ModbusSettings slow = saved;
    slow.Timeout = 10000;
    ConfigStore::instance()->setModbusSettings(slow);
    auto silent = makeDevice(HostB);
    QVERIFY(TestSupport::connectUp(silent.get()));
    ConfigStore::instance()->setModbusSettings(saved);
    auto healthy = makeDevice(HostA);
    QVERIFY(TestSupport::connectUp(healthy.get()));
    serverB.setSilent(true);

    QSignalSpy silentDone(silent.get(), &ModbusDevice::pollFinished);
    QSignalSpy healthyDone(healthy.get(), &ModbusDevice::pollFinished);
    // The silent poll starts while the healthy one is on the wire.
    QVERIFY(healthy->startStatePoll());
    QVERIFY(silent->startStatePoll());
    QVERIFY(!healthy->isWaiting() && !silent->isWaiting());
    for (int polls = 1; polls <= 3; ++polls) {
        QTRY_COMPARE(healthyDone.count(), polls);
        QCOMPARE(healthyDone.last().value(0).toInt(), 3);
        if (polls < 3)
            QVERIFY(healthy->startStatePoll());
    }
    QCOMPARE(silentDone.count(), 0);
    QVERIFY(silent->isBusy());
    QVERIFY(!silent->startStatePoll());
    QCOMPARE(silent->pollState(), 4);
    QCOMPARE(serverB.ignoredCount(), 1);
}

// An operation asked for while the card's poll is on the wire waits for the
// poll, then runs; inside another wait of the device it is refused as busy.
void TestModbusDevice::operationWaitsForBackgroundPoll()
{
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    QSignalSpy done(device.get(), &ModbusDevice::pollFinished);
    m_server->setAnswerDelay(50);
    QVERIFY(device->startStatePoll());
    QVERIFY(device->isBusy());
    IoStatus io;
    QCOMPARE(device->readIo(&io), 0);
    QCOMPARE(done.count(), 1);
    QVERIFY(!device->isBusy());

    int nested = -1;
    QTimer::singleShot(10, device.get(), [&] { nested = device->readIo(&io); });
    QCOMPARE(device->pollState(), 3);
    QCOMPARE(nested, 9);

    // The poll has ended but pollState()'s wait has not returned yet: still
    // busy, not a request that cannot be sent.
    int atEnd = -1;
    bool busyAtEnd = false;
    const auto ended = connect(device.get(), &ModbusDevice::pollFinished, this, [&] {
        busyAtEnd = device->isBusy(); // what the upload dialog asks first
        atEnd = device->readIo(&io);
    });
    QCOMPARE(device->pollState(), 3);
    disconnect(ended);
    QVERIFY(busyAtEnd);
    QCOMPARE(atEnd, 9);
}

// A drop while the poll's request is on the wire ends the poll: not busy, not
// ready, nothing reported; the next link polls afresh.
void TestModbusDevice::dropWhilePolling()
{
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    QCOMPARE(device->pollState(), 3);
    m_server->setSilent(true);
    QSignalSpy done(device.get(), &ModbusDevice::pollFinished);
    QVERIFY(device->startStatePoll());
    QTRY_COMPARE(m_server->ignoredCount(), 1);
    m_server->dropConnections();
    QTRY_COMPARE_WITH_TIMEOUT(device->stateCode(), 0, 3000);
    QVERIFY(!device->isBusy());
    QVERIFY(!device->isReady());
    m_server->setSilent(false);
    m_controller->setRunState(sim::RunState::Running);
    device->tryConnect();
    QTRY_VERIFY_WITH_TIMEOUT(device->isReady(), 5000);
    QCOMPARE(done.count(), 0);
    QCOMPARE(device->pollState(), 1);
    QCOMPARE(done.count(), 1);
}

void TestModbusDevice::droppedLink()
{
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    QCOMPARE(device->pollState(), 3);
    m_server->dropConnections();
    QTRY_COMPARE_WITH_TIMEOUT(device->stateCode(), 0, 3000);
    QVERIFY(!device->isReady());
    QVERIFY(!device->isBusy());
    QCOMPARE(device->channel(), quint16(0));
    IoStatus io;
    QCOMPARE(device->readIo(&io), 2);

    // The card's next tick reconnects; the blocks are still installed.
    m_controller->clearRequests();
    device->tryConnect();
    QCOMPARE(device->stateCode(), 4);
    QTRY_VERIFY_WITH_TIMEOUT(device->isReady(), 5000);
    QCOMPARE(wire(*m_controller), StaticReads);
    QCOMPARE(device->readIo(&io), 0);
}

void TestModbusDevice::dropDuringSetUpRetries()
{
    auto device = makeDevice();
    device->open();
    int handled = 0;
    const auto c = connect(m_controller.get(), &sim::Controller::requestHandled, this, [&] {
        if (++handled == 3)
            QTimer::singleShot(0, m_server.get(), &sim::TcpServer::dropConnections);
    });
    device->tryConnect();
    QTRY_COMPARE_WITH_TIMEOUT(device->stateCode(), 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!device->isWaiting(), 3000);
    disconnect(c);
    // Not ready with a dead link (the card retries), not even once the set-up
    // of a link made afterwards is through.
    auto probe = makeDevice();
    QVERIFY(TestSupport::connectUp(probe.get()));
    QVERIFY(!device->isReady());

    device->tryConnect();
    QTRY_VERIFY_WITH_TIMEOUT(device->isReady(), 5000);
    QCOMPARE(device->axisList(), (QList<quint8>{0, 1, 2}));
}

// The link drops 50 ms after it came up and is back at once: the set-up still
// waits 200 ms from the new connection, not from the first.
void TestModbusDevice::quickReconnectWaitsForItsOwnSetUp()
{
    auto device = makeDevice();
    device->open();
    QElapsedTimer clock;
    QList<qint64> connectedAt;
    qint64 firstRequestAt = -1;
    connect(device->client(), &QModbusDevice::stateChanged, device.get(), [&](QModbusDevice::State s) {
        if (s == QModbusDevice::ConnectedState) {
            connectedAt << clock.elapsed();
            if (connectedAt.size() == 1)
                QTimer::singleShot(50, m_server.get(), &sim::TcpServer::dropConnections);
        } else if (s == QModbusDevice::UnconnectedState) {
            QTimer::singleShot(0, device.get(), [&] { device->tryConnect(); });
        }
    });
    connect(m_controller.get(), &sim::Controller::requestHandled, this, [&] {
        if (firstRequestAt < 0)
            firstRequestAt = clock.elapsed();
    });
    clock.start();
    device->tryConnect();
    QTRY_VERIFY_WITH_TIMEOUT(device->isReady(), 5000);
    QCOMPARE(connectedAt.size(), 2);
    QVERIFY2(firstRequestAt - connectedAt.at(1) >= 199,
             qPrintable(QStringLiteral("%1 ms").arg(firstRequestAt - connectedAt.at(1))));
}

// A position read waits while its link drops and comes back (here inside
// another device's wait, which it cannot return before): the rest of the read
// is not sent on the new link, whose set-up comes first.
void TestModbusDevice::waitingReadSendsNothingOnTheNextLink()
{
    sim::Controller controllerB;
    sim::TcpServer serverB(&controllerB);
    QVERIFY(serverB.listen(HostB, Port));
    auto a = makeDevice(HostA);
    auto b = makeDevice(HostB);
    QVERIFY(TestSupport::connectUp(a.get()));
    QVERIFY(TestSupport::connectUp(b.get()));
    connect(a->client(), &QModbusDevice::stateChanged, a.get(), [&](QModbusDevice::State s) {
        if (s == QModbusDevice::UnconnectedState)
            QTimer::singleShot(0, a.get(), [&] { a->tryConnect(); });
    });
    m_server->stopAnsweringFor(100);
    serverB.setSilent(true);
    m_controller->clearRequests();
    during(30, this, [&] {
        m_server->dropConnections();
        IoStatus io;
        b->readIo(&io);
    });
    PositionStatus pos;
    a->readPosition(&pos);
    QTRY_VERIFY_WITH_TIMEOUT(a->isReady(), 5000);
    QCOMPARE(wire(*m_controller).value(0), QStringLiteral("R 7376 2"));
}

void TestModbusDevice::closeWhileWaiting()
{
    auto device = makeDevice();
    QVERIFY(TestSupport::connectUp(device.get()));
    QPointer<QModbusClient> client = device->client();
    m_server->setSilent(true);

    bool clientAliveInLoop = false;
    during(50, this, [&] {
        device->close();
        clientAliveInLoop = !client.isNull();
        QVERIFY(!device->client());
        IoStatus io;
        QCOMPARE(device->readIo(&io), 2);
    });
    QElapsedTimer t;
    t.start();
    PositionStatus pos;
    QCOMPARE(device->readPosition(&pos), 0); // never reports a read failure
    QVERIFY(t.elapsed() < 1500);             // the rest failed at once
    QVERIFY(clientAliveInLoop);
    QCOMPARE(device->stateCode(), 0);
    QVERIFY(!device->isReady());
    QVERIFY(!device->isBusy());
    QTRY_VERIFY(client.isNull()); // deleted once the wait returned
    device->close();              // a second close does nothing
}

void TestModbusDevice::releaseWhileWaiting()
{
    auto owned = makeDevice();
    QVERIFY(TestSupport::connectUp(owned.get()));
    QPointer<ModbusDevice> device = owned.release(); // the card hands it over to releaseWhenIdle()
    m_server->setSilent(true);

    int duringResult = -1;
    during(50, this, [&] {
        device->releaseWhenIdle();
        QVERIFY(device); // still waiting: not yet deleted
        IoStatus io;
        duringResult = device->readIo(&io);
    });
    IoStatus io;
    QCOMPARE(device->readIo(&io), 7);
    QCOMPARE(duringResult, 9);
    QVERIFY(device); // alive until the event loop takes the deferred delete
    QTRY_VERIFY(device.isNull());
}

void TestModbusDevice::releaseWhenIdleAtOnce()
{
    auto owned = makeDevice();
    QVERIFY(TestSupport::connectUp(owned.get()));
    QPointer<ModbusDevice> device = owned.release();
    device->releaseWhenIdle();
    m_controller->clearRequests();
    QCOMPARE(device->pollState(), 4); // no transaction once released
    QCOMPARE(m_controller->requests().size(), 0);
    QTRY_VERIFY(device.isNull());
}

void TestModbusDevice::twoDevicesNested()
{
    sim::Controller controllerB;
    sim::TcpServer serverB(&controllerB);
    QVERIFY(serverB.listen(HostB, Port));
    controllerB.setInputWord(0, 0xBEEF);
    auto a = makeDevice(HostA);
    auto b = makeDevice(HostB);
    QVERIFY(TestSupport::connectUp(a.get()));
    QVERIFY(TestSupport::connectUp(b.get()));
    m_server->stopAnsweringFor(500);

    int resultB = -1;
    quint16 wordB = 0;
    during(50, this, [&] {
        IoStatus io;
        resultB = b->readIo(&io); // waits inside a's loop; its own replies end it
        wordB = io.inputs.value(0);
    });
    IoStatus io;
    QCOMPARE(a->readIo(&io), 7);
    QCOMPARE(resultB, 0);
    QCOMPARE(wordB, quint16(0xBEEF));
    QCOMPARE(b->readIo(&io), 0);
}

QTEST_MAIN(TestModbusDevice)
#include "tst_modbusdevice.moc"
