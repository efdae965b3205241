#include "controller.h"
#include "faults.h"
#include "servers.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace sim {

namespace {
constexpr int MbapHeader = 7;      // transaction, protocol, length, unit
constexpr int MaxMbapLength = 254; // unit byte + a PDU of at most 253 bytes
constexpr qint64 MaxPending = 64ll * 1024;
} // namespace

struct TcpServer::Private
{
    QPointer<Controller> controller;
    QTcpServer *server = nullptr;
    QList<QPointer<QTcpSocket>> sockets;
    QHash<QTcpSocket *, QByteArray> buffers;
    bool silent = false;
    QDeadlineTimer quietUntil;
    int ignored = 0;
    int answerDelayMs = 0;
    FaultInjector *faults = nullptr;

    bool answering() const { return !silent && (quietUntil.isForever() || quietUntil.hasExpired()); }
};

TcpServer::TcpServer(Controller *controller, QObject *parent) : QObject(parent), d(new Private)
{
    d->controller = controller;
    d->quietUntil = QDeadlineTimer(0);
    d->server = new QTcpServer(this);
    connect(d->server, &QTcpServer::newConnection, this, [this]() {
        while (QTcpSocket *socket = d->server->nextPendingConnection()) {
            socket->setParent(this);
            d->sockets.append(socket);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
                d->buffers.remove(socket);
                d->sockets.removeAll(socket);
                socket->deleteLater();
            });
        }
    });
}

TcpServer::~TcpServer()
{
    close();
    delete d;
}

bool TcpServer::listen(const QHostAddress &address, quint16 port)
{
    if (d->server->isListening())
        d->server->close();
    if (!d->server->listen(address, port)) {
        qWarning("sim: cannot listen on %s:%u: %s", qPrintable(address.toString()), unsigned(port),
                 qPrintable(d->server->errorString()));
        return false;
    }
    return true;
}

void TcpServer::close()
{
    d->server->close();
    dropConnections();
}

quint16 TcpServer::port() const
{
    return d->server->serverPort();
}

int TcpServer::connectionCount() const
{
    int n = 0;
    for (const QPointer<QTcpSocket> &s : d->sockets) {
        if (s && s->state() == QAbstractSocket::ConnectedState)
            ++n;
    }
    return n;
}

void TcpServer::dropConnections()
{
    const QList<QPointer<QTcpSocket>> sockets = d->sockets;
    d->sockets.clear();
    d->buffers.clear();
    for (const QPointer<QTcpSocket> &s : sockets) {
        if (!s)
            continue;
        // The socket may be the one whose signal is being delivered right now
        // (a receiver of the request signal dropped us): never delete it here.
        s->disconnect(this);
        s->setParent(nullptr);
        s->abort();
        s->deleteLater();
    }
}

void TcpServer::setSilent(bool silent)
{
    d->silent = silent;
}

int TcpServer::ignoredCount() const
{
    return d->ignored;
}

void TcpServer::stopAnsweringFor(int ms)
{
    d->quietUntil = QDeadlineTimer(qMax(0, ms));
}

void TcpServer::setAnswerDelay(int ms)
{
    d->answerDelayMs = qMax(0, ms);
}

void TcpServer::setFaultInjector(FaultInjector *injector)
{
    d->faults = injector;
}

void TcpServer::onReadyRead(QTcpSocket *socket)
{
    QPointer<TcpServer> self(this);
    QPointer<QTcpSocket> guard(socket);
    QByteArray buffer = d->buffers.take(socket) + socket->readAll();
    if (buffer.size() > MaxPending) {
        // Nobody speaking Modbus sends this much without waiting for answers.
        socket->abort();
        return;
    }
    while (buffer.size() >= MbapHeader) {
        const quint16 transaction = quint16((quint8(buffer.at(0)) << 8) | quint8(buffer.at(1)));
        const quint16 protocol = quint16((quint8(buffer.at(2)) << 8) | quint8(buffer.at(3)));
        const int length = (quint8(buffer.at(4)) << 8) | quint8(buffer.at(5));
        if (length < 2 || length > MaxMbapLength) {
            // The stream cannot be resynchronised after a bad length.
            socket->abort();
            return;
        }
        if (buffer.size() < 6 + length)
            break;
        const quint8 unit = quint8(buffer.at(6));
        const QByteArray pdu = buffer.mid(MbapHeader, length - 1);
        buffer.remove(0, 6 + length);
        if (protocol != 0 || !d->controller)
            continue;
        if (!d->answering()) {
            ++d->ignored;
            continue;
        }

        const Fault fault = d->faults ? d->faults->draw(pdu) : Fault::None;
        if (fault == Fault::Drop) {
            socket->abort();
            return;
        }
        QByteArray response;
        if (fault != Fault::Exception)
            response = d->controller->handlePdu(unit, pdu);
        // A receiver of the request signal may have closed us or this socket.
        if (!self || !guard || !d->sockets.contains(guard))
            return;
        quint8 answeringUnit = unit;
        if (d->faults)
            d->faults->shape(fault, pdu, &response, &answeringUnit);
        if (response.isEmpty() || fault == Fault::Silence ||
            guard->state() != QAbstractSocket::ConnectedState)
            continue;
        if (d->answerDelayMs > 0) {
            QTimer::singleShot(d->answerDelayMs, this, [this, guard, transaction, answeringUnit, response] {
                if (guard && d->sockets.contains(guard) && guard->state() == QAbstractSocket::ConnectedState)
                    send(guard, transaction, answeringUnit, response);
            });
            continue;
        }
        send(guard, transaction, answeringUnit, response);
    }
    d->buffers.insert(socket, buffer);
}

void TcpServer::send(QTcpSocket *socket, quint16 transaction, quint8 unit, const QByteArray &response)
{
    QByteArray frame;
    frame.reserve(MbapHeader + response.size());
    const int len = response.size() + 1;
    frame.append(char(transaction >> 8));
    frame.append(char(transaction & 0xFF));
    frame.append('\0');
    frame.append('\0');
    frame.append(char(len >> 8));
    frame.append(char(len & 0xFF));
    frame.append(char(unit));
    frame.append(response);
    socket->write(frame);
}

} // namespace sim
