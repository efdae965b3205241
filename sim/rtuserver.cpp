#include "controller.h"
#include "faults.h"
#include "servers.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>

namespace sim {

namespace {

constexpr int MaxFrame = 256; // station + PDU (253) + CRC
constexpr int GapMs = 30;     // silence after which a partial frame is garbage

quint16 crc16(const char *data, int size)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < size; ++i) {
        crc ^= quint8(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

bool crcMatches(const QByteArray &buffer, int length)
{
    const quint16 crc = crc16(buffer.constData(), length - 2);
    return quint8(buffer.at(length - 2)) == (crc & 0xFF) && quint8(buffer.at(length - 1)) == (crc >> 8);
}

// Length of the request frame at the head of the buffer: > 0 known, -1 more
// bytes needed to tell, 0 not a request this controller can frame.
int expectedLength(const QByteArray &buffer)
{
    if (buffer.size() < 2)
        return -1;
    switch (quint8(buffer.at(1))) {
    case 0x01:
    case 0x03:
        return 8; // station, function, address, count, CRC
    case 0x10: {
        if (buffer.size() < 7)
            return -1;
        const int byteCount = quint8(buffer.at(6));
        if (byteCount > 246)
            return 0;
        return 7 + byteCount + 2;
    }
    }
    return 0;
}

} // namespace

struct RtuServer::Private
{
    QPointer<Controller> controller;
    QSerialPort *port = nullptr;
    QTimer *gap = nullptr;
    QByteArray buffer;
    bool silent = false;
    QDeadlineTimer quietUntil = QDeadlineTimer(0);
    FaultInjector *faults = nullptr;

    bool answering() const { return !silent && quietUntil.hasExpired(); }
};

RtuServer::RtuServer(Controller *controller, QObject *parent) : QObject(parent), d(new Private)
{
    d->controller = controller;
    d->port = new QSerialPort(this);
    d->gap = new QTimer(this);
    d->gap->setSingleShot(true);
    d->gap->setInterval(GapMs);
    connect(d->port, &QSerialPort::readyRead, this, [this]() {
        d->buffer.append(d->port->readAll());
        if (d->buffer.size() > 4 * MaxFrame)
            d->buffer.remove(0, d->buffer.size() - MaxFrame);
        d->gap->start();
        processBuffer();
    });
    connect(d->gap, &QTimer::timeout, this, [this]() {
        // The line went quiet with bytes that make no frame: drop them one by
        // one, so a good frame behind the garbage is still found.
        QPointer<RtuServer> self(this);
        while (self && !d->buffer.isEmpty()) {
            d->buffer.remove(0, 1);
            processBuffer();
        }
    });
}

RtuServer::~RtuServer()
{
    close();
    // Destruction may come from a receiver of the request signal while the
    // port or the gap timer is still delivering its own signal.
    for (QObject *child : {static_cast<QObject *>(d->port), static_cast<QObject *>(d->gap)}) {
        child->disconnect(this);
        child->setParent(nullptr);
        child->deleteLater();
    }
    delete d;
}

bool RtuServer::open(const QString &device, qint32 baudRate, QSerialPort::Parity parity,
                     QSerialPort::DataBits dataBits, QSerialPort::StopBits stopBits)
{
    close();
    d->port->setPortName(device);
    if (!d->port->open(QIODevice::ReadWrite)) {
        qWarning("sim: cannot open %s: %s", qPrintable(device), qPrintable(d->port->errorString()));
        return false;
    }
    // A pseudo-terminal takes any settings; a real port may refuse one.
    const bool ok = d->port->setBaudRate(baudRate) && d->port->setParity(parity) &&
                    d->port->setDataBits(dataBits) && d->port->setStopBits(stopBits);
    if (!ok) {
        qWarning("sim: %s refuses the serial settings: %s", qPrintable(device),
                 qPrintable(d->port->errorString()));
        d->port->close();
        return false;
    }
    d->port->clear();
    d->buffer.clear();
    return true;
}

void RtuServer::close()
{
    d->gap->stop();
    if (d->port->isOpen())
        d->port->close();
    d->buffer.clear();
}

void RtuServer::setSilent(bool silent)
{
    d->silent = silent;
}
void RtuServer::stopAnsweringFor(int ms)
{
    d->quietUntil = QDeadlineTimer(qMax(0, ms));
}

void RtuServer::setFaultInjector(FaultInjector *injector)
{
    d->faults = injector;
}

void RtuServer::processBuffer()
{
    QPointer<RtuServer> self(this);
    while (!d->buffer.isEmpty()) {
        const int length = expectedLength(d->buffer);
        if (length < 0)
            return;
        if (length == 0) {
            // An unknown function: its length is unknown, so take everything
            // received so far if it checks as one frame (answered with exception 1).
            if (d->buffer.size() >= 4 && d->buffer.size() <= MaxFrame &&
                crcMatches(d->buffer, d->buffer.size()))
                handleFrame(d->buffer.size());
            return;
        }
        if (d->buffer.size() < length)
            return;
        if (!crcMatches(d->buffer, length)) {
            d->buffer.remove(0, 1);
            continue;
        }
        handleFrame(length);
        if (!self)
            return;
    }
}

void RtuServer::handleFrame(int length)
{
    const quint8 station = quint8(d->buffer.at(0));
    const QByteArray pdu = d->buffer.mid(1, length - 3);
    d->buffer.remove(0, length);
    if (!d->answering() || !d->controller)
        return;
    QPointer<RtuServer> self(this);
    const Fault fault = d->faults ? d->faults->draw(pdu) : Fault::None;
    QByteArray response;
    if (fault != Fault::Exception && fault != Fault::Drop)
        response = d->controller->handlePdu(station, pdu);
    if (!self || !d->port->isOpen())
        return;
    quint8 answering = station;
    if (d->faults)
        d->faults->shape(fault, pdu, &response, &answering);
    if (response.isEmpty() || fault == Fault::Silence || fault == Fault::Drop)
        return;
    QByteArray frame;
    frame.append(char(answering));
    frame.append(response);
    const quint16 crc = crc16(frame.constData(), frame.size());
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    d->port->write(frame);
}

} // namespace sim
