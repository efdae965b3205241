// The simulator's carriers: Modbus TCP framing over a raw socket, and one
// Modbus RTU exchange through a pseudo-terminal pair.
#include "sim/controller.h"
#include "sim/farm.h"
#include "sim/servers.h"

#include <QPointer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

const QHostAddress Loopback(QStringLiteral("127.0.0.8"));
constexpr quint16 Port = 1502;

// "Read 2 registers at 0x7376" for station 10, transaction 0x0102.
const QByteArray ReadSignature = QByteArray::fromHex("010200000006"
                                                     "0a"
                                                     "0373760002");
const QByteArray SignatureAbsent = QByteArray::fromHex("010200000007"
                                                       "0a"
                                                       "030400000000");

QByteArray mbap(quint16 transaction, quint8 unit, const QByteArray &pdu)
{
    QByteArray frame;
    frame.append(char(transaction >> 8));
    frame.append(char(transaction & 0xFF));
    frame.append(2, '\0');
    frame.append(char((pdu.size() + 1) >> 8));
    frame.append(char((pdu.size() + 1) & 0xFF));
    frame.append(char(unit));
    frame.append(pdu);
    return frame;
}

} // namespace

class TestSimServers : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<sim::Controller> m_controller;
    std::unique_ptr<sim::TcpServer> m_server;

    bool connectClient(QTcpSocket &socket)
    {
        socket.connectToHost(Loopback, Port);
        return socket.waitForConnected(5000);
    }
    // Waits until n bytes arrived (the server runs in this thread's event loop).
    static QByteArray receive(QTcpSocket &socket, int n)
    {
        QSignalSpy spy(&socket, &QTcpSocket::readyRead);
        QDeadlineTimer deadline(5000);
        while (socket.bytesAvailable() < n && !deadline.hasExpired())
            spy.wait(int(qMax<qint64>(1, deadline.remainingTime())));
        return socket.read(n);
    }
    // A probe answered as the very next bytes proves that nothing was sent
    // for the requests before it.
    static bool probeAnsweredFirst(QTcpSocket &socket)
    {
        const QByteArray probe = mbap(0x7777, 10, QByteArray::fromHex("0350000001"));
        socket.write(probe);
        const QByteArray answer = QByteArray::fromHex("777700000005"
                                                      "0a"
                                                      "03020000");
        return receive(socket, answer.size()) == answer;
    }

private slots:
    void init()
    {
        m_controller = std::make_unique<sim::Controller>();
        m_server = std::make_unique<sim::TcpServer>(m_controller.get());
        QVERIFY(m_server->listen(Loopback, Port));
        QCOMPARE(m_server->port(), Port);
    }
    void cleanup()
    {
        m_server.reset();
        m_controller.reset();
    }

    void framing_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("one frame") << QList<QByteArray>{ReadSignature} << SignatureAbsent;
        QTest::newRow("split in three")
            << QList<QByteArray>{ReadSignature.left(3), ReadSignature.mid(3, 5), ReadSignature.mid(8)}
            << SignatureAbsent;
        QTest::newRow("two frames at once")
            << QList<QByteArray>{mbap(7, 10,
                                      QByteArray::fromHex("10"
                                                          "1e00"
                                                          "0002"
                                                          "04"
                                                          "7376"
                                                          "0003")) +
                                 mbap(8, 10, QByteArray::fromHex("0373760002"))}
            << QByteArray::fromHex("000700000006"
                                   "0a"
                                   "101e000002"
                                   "000800000007"
                                   "0a"
                                   "030473760003");
        QTest::newRow("other station skipped")
            << QList<QByteArray>{mbap(1, 11, QByteArray::fromHex("0373760002")) + ReadSignature}
            << SignatureAbsent;
        QTest::newRow("other protocol skipped") << QList<QByteArray>{QByteArray::fromHex("000100010006"
                                                                                         "0a"
                                                                                         "0373760002") +
                                                                     ReadSignature}
                                                << SignatureAbsent;
        QTest::newRow("exception") << QList<QByteArray>{mbap(0xABCD, 10, QByteArray::fromHex("0600010002"))}
                                   << QByteArray::fromHex("abcd00000003"
                                                          "0a"
                                                          "8601");
    }
    void framing()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QByteArray, expected);
        QTcpSocket socket;
        QVERIFY(connectClient(socket));
        for (const QByteArray &piece : pieces) {
            socket.write(piece);
            QVERIFY(socket.waitForBytesWritten(5000));
            QCoreApplication::processEvents();
        }
        QCOMPARE(receive(socket, expected.size()), expected);
        QVERIFY(probeAnsweredFirst(socket)); // and nothing else
    }

    void badLengthClosesTheConnection()
    {
        QTcpSocket socket;
        QVERIFY(connectClient(socket));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount(), 1, 5000);
        socket.write(QByteArray::fromHex("000100000000"
                                         "0a"));
        QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount(), 0, 5000);
    }

    void installationOutlivesConnections()
    {
        {
            QTcpSocket first;
            QVERIFY(connectClient(first));
            first.write(mbap(1, 10,
                             QByteArray::fromHex("101e00000204"
                                                 "73760000")));
            QCOMPARE(receive(first, 12), QByteArray::fromHex("000100000006"
                                                             "0a"
                                                             "101e000002"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount(), 0, 5000);
        QTcpSocket second;
        QVERIFY(connectClient(second));
        second.write(ReadSignature);
        QCOMPARE(receive(second, 13), QByteArray::fromHex("010200000007"
                                                          "0a"
                                                          "030473760000"));
    }

    void severalConnectionsAndDrop()
    {
        QTcpSocket a, b;
        QVERIFY(connectClient(a));
        QVERIFY(connectClient(b));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount(), 2, 5000);
        b.write(ReadSignature);
        a.write(ReadSignature);
        QCOMPARE(receive(a, SignatureAbsent.size()), SignatureAbsent);
        QCOMPARE(receive(b, SignatureAbsent.size()), SignatureAbsent);

        m_server->dropConnections();
        QCOMPARE(m_server->connectionCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(a.state(), QAbstractSocket::UnconnectedState, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(b.state(), QAbstractSocket::UnconnectedState, 5000);
        // Still listening.
        QTcpSocket c;
        QVERIFY(connectClient(c));
        c.write(ReadSignature);
        QCOMPARE(receive(c, SignatureAbsent.size()), SignatureAbsent);
    }

    void silenceAndPause()
    {
        QTcpSocket socket;
        QVERIFY(connectClient(socket));
        m_server->setSilent(true);
        socket.write(ReadSignature);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->ignoredCount(), 1, 5000);
        QVERIFY(m_controller->requests().isEmpty()); // not acted on either
        m_server->setSilent(false);
        QVERIFY(probeAnsweredFirst(socket));

        const QDeadlineTimer pause(300); // as the simulator's own
        m_server->stopAnsweringFor(300);
        socket.write(ReadSignature);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->ignoredCount(), 2, 5000);
        // Requests that arrive during the pause are gone for good; afterwards
        // the next one is answered.
        QTRY_VERIFY_WITH_TIMEOUT(pause.hasExpired(), 5000);
        QVERIFY(probeAnsweredFirst(socket));
        QCOMPARE(m_server->ignoredCount(), 2);
    }

    void receiverTearsDownMidRequest_data()
    {
        QTest::addColumn<int>("action");
        QTest::newRow("drop connections") << 0;
        QTest::newRow("delete server") << 1;
        QTest::newRow("close server") << 2;
    }
    void receiverTearsDownMidRequest()
    {
        QFETCH(int, action);
        QTcpSocket socket;
        QVERIFY(connectClient(socket));
        connect(m_controller.get(), &sim::Controller::requestHandled, this, [this, action]() {
            if (action == 0)
                m_server->dropConnections();
            else if (action == 1)
                m_server.reset();
            else
                m_server->close();
        });
        // Two frames in one segment: the second must not be touched after the teardown.
        socket.write(ReadSignature + ReadSignature);
        QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 5000);
        QCOMPARE(m_controller->requests().size(), 1);
    }

    void controllerGoneFirst()
    {
        QTcpSocket socket;
        QVERIFY(connectClient(socket));
        m_controller.reset();
        socket.write(ReadSignature);
        QSignalSpy spy(&socket, &QTcpSocket::readyRead);
        QVERIFY(!spy.wait(200));
        QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
    }

    void farmAddresses_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("expected"); // empty: refused
        QTest::newRow("first") << "127.0.1.1" << 0 << "127.0.1.1";
        QTest::newRow("last octet counts up") << "127.0.1.1" << 253 << "127.0.1.254";
        QTest::newRow("then the one before") << "127.0.1.1" << 999 << "127.0.4.232";
        QTest::newRow("past loopback") << "127.255.255.254" << 2 << "";
        QTest::newRow("not loopback") << "192.168.0.1" << 0 << "";
        QTest::newRow("IPv6") << "::1" << 0 << "";
    }
    void farmAddresses()
    {
        QFETCH(QString, first);
        QFETCH(int, index);
        QFETCH(QString, expected);
        QCOMPARE(sim::Farm::addressAt(QHostAddress(first), index), QHostAddress(expected));
    }

    // Controllers of one farm start from one set-up, then go their own ways.
    void farmControllersAreSeparate()
    {
        sim::Controller model;
        model.setProgram(1, "O0001\n");
        sim::Farm farm;
        QVERIFY(farm.start(model, QHostAddress(QStringLiteral("127.0.0.232")), Port, 2));
        farm.controller(1)->setProgram(2, "O0002\n");
        farm.controller(1)->setExceptionAt(0x7376);
        QVERIFY(farm.controller(0)->hasProgram(1) && !farm.controller(0)->hasProgram(2));
        QVERIFY(!model.hasProgram(2));
        const QByteArray refused = QByteArray::fromHex("010200000003"
                                                       "0a"
                                                       "8302");
        for (int i = 0; i < 2; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress(QStringLiteral("127.0.0.%1").arg(232 + i)), Port);
            QVERIFY(socket.waitForConnected(5000));
            socket.write(ReadSignature);
            QCOMPARE(receive(socket, i ? refused.size() : SignatureAbsent.size()),
                     i ? refused : SignatureAbsent);
        }
    }

    void rtuThroughPtyPair()
    {
        m_server.reset();
        sim::PtyPair pty;
        if (!pty.start())
            QSKIP("socat is not available");
        QVERIFY(pty.first().startsWith(QLatin1String("/dev/")));
        QVERIFY(pty.first() != pty.second());

        sim::RtuServer rtu(m_controller.get());
        QVERIFY(rtu.open(pty.first()));
        QSerialPort pc;
        pc.setPortName(pty.second());
        QVERIFY(pc.open(QIODevice::ReadWrite));
        pc.setBaudRate(115200);
        pc.setParity(QSerialPort::OddParity);

        const auto exchange = [&pc](const QByteArray &request, int answerSize) {
            pc.write(request);
            QSignalSpy spy(&pc, &QSerialPort::readyRead);
            QDeadlineTimer deadline(5000);
            while (pc.bytesAvailable() < answerSize && !deadline.hasExpired())
                spy.wait(int(qMax<qint64>(1, deadline.remainingTime())));
            return pc.read(answerSize);
        };
        // Write the signature (0x7376, 1) to 0x1E00, then read it back at 0x7376.
        QCOMPARE(exchange(QByteArray::fromHex("0a101e0000020473760001"
                                              "6db5"),
                          8),
                 QByteArray::fromHex("0a101e000002"
                                     "469b"));
        QVERIFY(m_controller->signatureInstalled());
        // Garbage and a frame with a bad CRC in front of a good read.
        QCOMPARE(exchange(QByteArray::fromHex("ff00"
                                              "0a0373760002ffff"
                                              "0a0373760002"
                                              "3e2e"),
                          9),
                 QByteArray::fromHex("0a030473760001"
                                     "7a6d"));
        // Another station: no answer; an unknown function: exception 1.
        QCOMPARE(exchange(QByteArray::fromHex("0b0373760002"
                                              "3fff"),
                          0),
                 QByteArray());
        QCOMPARE(exchange(QByteArray::fromHex("0a0600010002"
                                              "58b0"),
                          5),
                 QByteArray::fromHex("0a8601"
                                     "f262"));
        QCOMPARE(m_controller->requests().size(), 4);
        rtu.close();

        // A receiver of the request signal may delete the carrier mid-frame.
        auto *doomed = new sim::RtuServer(m_controller.get());
        QPointer<sim::RtuServer> guard(doomed);
        QVERIFY(doomed->open(pty.first()));
        connect(m_controller.get(), &sim::Controller::requestHandled, doomed, [doomed]() { delete doomed; });
        pc.write(QByteArray::fromHex("0a0373760002"
                                     "3e2e"
                                     "0a0373760002"
                                     "3e2e"));
        QTRY_VERIFY_WITH_TIMEOUT(!guard, 5000);
        QCOMPARE(m_controller->requests().size(), 5);
    }
};

QTEST_GUILESS_MAIN(TestSimServers)
#include "tst_simservers.moc"
