#include "config/configstore.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"

#include <QtTest>

// The serial link end to end: the simulator on one end of a pseudo-terminal
// pair, the device's RTU master on the other.
class TestModbusDeviceRtu : public QObject
{
    Q_OBJECT

private slots:
    void endToEnd();
};

void TestModbusDeviceRtu::endToEnd()
{
    sim::PtyPair pty;
    if (!pty.start())
        QSKIP("no pseudo-terminal pair (socat missing or failing)");

    sim::Controller controller;
    controller.setStationAddress(7);
    controller.setRunState(sim::RunState::Running);
    controller.setAxisValues(0, -12345, 0, 0, 0);
    controller.setInputWord(1, 0x8001);
    sim::RtuServer server(&controller);
    QVERIFY(
        server.open(pty.first(), 115200, QSerialPort::OddParity, QSerialPort::Data8, QSerialPort::OneStop));

    ModbusSettings s;
    s.Port = pty.second();
    s.BaudRate = 115200;
    s.Parity = int(QSerialPort::OddParity);
    s.DataBits = 8;
    s.StopBits = 1;
    s.Timeout = 500;
    s.NumberOfRetries = 1;
    ConfigStore::instance()->setModbusSettings(s);

    ModbusDevice device;
    DeviceRecord r = device.record();
    r.Type = 0;
    r.Address = 7;
    device.setRecord(r);
    device.open();
    device.tryConnect();
    QCOMPARE(device.stateCode(), 4);
    QTRY_VERIFY_WITH_TIMEOUT(device.isReady(), 10000);
    QVERIFY(controller.signatureInstalled());
    QCOMPARE(device.axisList(), (QList<quint8>{0, 1, 2}));

    QCOMPARE(device.pollState(), 1);
    PositionStatus pos;
    QCOMPARE(device.readPosition(&pos), 0);
    QCOMPARE(pos.absolute.value(0), QStringLiteral("-12.345"));
    IoStatus io;
    QCOMPARE(device.readIo(&io), 0);
    QCOMPARE(io.inputs.value(1), quint16(0x8001));
    for (const sim::Request &request : controller.requests())
        QCOMPARE(request.station, quint8(7));

    // A silent line times out within the client's bound and the device stays usable.
    server.setSilent(true);
    QCOMPARE(device.readIo(&io), 7);
    QVERIFY(!device.isBusy());
    server.setSilent(false);
    QCOMPARE(device.readIo(&io), 0);

    device.close();
    QCOMPARE(device.stateCode(), 0);
    QVERIFY(!device.isReady());
}

QTEST_MAIN(TestModbusDeviceRtu)
#include "tst_modbusdevice_rtu.moc"
