#pragma once

#include <QHostAddress>
#include <QObject>
#include <QSerialPort>
#include <QString>

class QTcpServer;
class QTcpSocket;

namespace sim {

class Controller;
class FaultInjector;

// Modbus TCP carrier: MBAP frames in, Controller::handlePdu(), frames out.
class TcpServer : public QObject
{
    Q_OBJECT

public:
    explicit TcpServer(Controller *controller, QObject *parent = nullptr);
    ~TcpServer() override;

    bool listen(const QHostAddress &address, quint16 port);
    void close();
    quint16 port() const;
    int connectionCount() const;

    void dropConnections();        // closes every PC connection
    void setSilent(bool silent);   // receive but never answer
    void stopAnsweringFor(int ms); // silent for a while
    int ignoredCount() const;      // requests received while silent, never answered
    // Every answer goes out this long after its request (0: at once), so a
    // PC waits a while on every request without failing.
    void setAnswerDelay(int ms);
    // Random faults on every request while set (not owned; null for none).
    void setFaultInjector(FaultInjector *injector);

private:
    void onReadyRead(QTcpSocket *socket);
    void send(QTcpSocket *socket, quint16 transaction, quint8 unit, const QByteArray &response);

    struct Private;
    Private *d;
};

// Modbus RTU carrier on a serial device (for example one end of a pty pair).
class RtuServer : public QObject
{
    Q_OBJECT

public:
    explicit RtuServer(Controller *controller, QObject *parent = nullptr);
    ~RtuServer() override;

    bool open(const QString &device, qint32 baudRate = 115200,
              QSerialPort::Parity parity = QSerialPort::OddParity,
              QSerialPort::DataBits dataBits = QSerialPort::Data8,
              QSerialPort::StopBits stopBits = QSerialPort::OneStop);
    void close();
    void setSilent(bool silent);
    void stopAnsweringFor(int ms);
    // Random faults on every request while set (not owned; null for none).
    // A drop has no meaning on a serial line and is taken as a silence.
    void setFaultInjector(FaultInjector *injector);

private:
    void processBuffer();
    void handleFrame(int length);

    struct Private;
    Private *d;
};

// A pseudo-terminal pair made by socat, for RTU over a real serial line.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    // Optional fixed names for the two ends (symbolic links socat makes to
    // them), so a line started again after stop() is found under the same
    // names, as a USB adapter plugged in again is.
    void setLinks(const QString &first, const QString &second);
    bool start(int timeoutMs = 5000); // false when socat is missing or fails
    void stop();                      // both ends vanish, as a pulled adapter does
    QString first() const;            // for the simulator
    QString second() const;           // for the program

private:
    struct Private;
    Private *d;
};

} // namespace sim
