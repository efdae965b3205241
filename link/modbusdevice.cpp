#include "link/modbusdevice.h"

#include "config/configstore.h"
#include "link/protocol.h"
#include "link/registercodec.h"

#include <QAbstractSocket>
#include <QDebug>
#include <QLockFile>
#include <QModbusClient>
#include <QModbusReply>
#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QTimer>

namespace {

// Waiting for a controller reply is bounded by the client's own time-out and
// retries; this margin covers the client's timer slack and queueing.
constexpr int WaitMarginMs = 1000;

} // namespace

ModbusDevice::BusyScope::BusyScope(ModbusDevice *device) : m_device(device)
{
    m_device->m_busy = true;
    if (m_device->m_busyScopes++ > 0)
        return; // the outer scope's link and station stand
    m_device->m_sequenceLink = m_device->m_linkGeneration;
    m_device->m_sequenceStation = m_device->m_record.Address;
}

ModbusDevice::BusyScope::~BusyScope()
{
    if (--m_device->m_busyScopes == 0)
        m_device->m_busy = false;
}

int ModbusDevice::refusal(bool needsIdle) const
{
    if (!m_ready)
        return Result::NotReady;
    if (isBusy())
        return Result::Busy;
    if (needsIdle && m_state != DeviceState::Idle)
        return Result::NotIdle;
    return Result::Ok;
}

int ModbusDevice::admit(bool needsIdle)
{
    // Inside one of the device's own waits the loop does not nest: busy then.
    if (m_polling && m_waitDepth == 0 && !m_releasePending)
        waitInLoop([this] { return !m_polling; }, waitBoundMs());
    return refusal(needsIdle);
}

bool ModbusDevice::isValidUnit(const QModbusDataUnit &unit)
{
    return unit.registerType() != QModbusDataUnit::Invalid && unit.startAddress() != -1;
}

ModbusDevice::ModbusDevice(QObject *parent) : QObject(parent)
{
    m_setUpTimer.setSingleShot(true);
    m_setUpTimer.setTimerType(Qt::PreciseTimer);
    m_setUpTimer.setInterval(SetUpDelayMs);
    connect(&m_setUpTimer, &QTimer::timeout, this, &ModbusDevice::onSetUpDue);
    m_waitBound.setSingleShot(true);
    connect(&m_waitBound, &QTimer::timeout, &m_loop, &QEventLoop::quit);
}

ModbusDevice::~ModbusDevice()
{
    // The wait's frame would return into a deleted device; the card releases
    // its device with releaseWhenIdle(), which defers the deletion.
    Q_ASSERT_X(m_waitDepth == 0, "ModbusDevice", "destroyed while a transaction waits in its event loop");
    m_releasePending = true;
    abandonBackground();
    retireClient();
    for (QModbusClient *client : qAsConst(m_retiredClients))
        client->deleteLater();
    m_retiredClients.clear();
}

DeviceRecord ModbusDevice::record() const
{
    return m_record;
}
void ModbusDevice::setRecord(const DeviceRecord &record)
{
    m_record = record;
}
bool ModbusDevice::isReady() const
{
    return m_ready;
}

void ModbusDevice::open()
{
    openClient(m_record.Type);
}

void ModbusDevice::openClient(int type)
{
    if (m_releasePending)
        return;
    QModbusClient *client = nullptr;
    if (type == 0)
        client = new QModbusRtuSerialMaster;
    else if (type == 1)
        client = new QModbusTcpClient;

    // A re-open replaces the previous client instead of leaking it; an unknown
    // link kind leaves the device without a client (every operation answers 2).
    if (m_client)
        close();
    m_client = client;
    m_clientType = type;
    if (!m_client)
        return;
    m_clientSocket = m_client->findChild<QAbstractSocket *>(QString(), Qt::FindDirectChildrenOnly);

    QPointer<QModbusClient> guard(m_client);
    connect(m_client, &QModbusDevice::stateChanged, this, [this, guard](QModbusDevice::State state) {
        if (guard && guard == m_client)
            onStateChanged(state);
    });
    connect(m_client, &QModbusDevice::errorOccurred, this, [this, guard](QModbusDevice::Error error) {
        if (guard && guard == m_client)
            onErrorOccurred(error);
    });
}

void ModbusDevice::tryConnect()
{
    m_state = DeviceState::Connecting;
    const ModbusSettings settings = ConfigStore::instance()->modbusSettings();
    if (!m_client || m_releasePending)
        return;
    if (m_client->state() != QModbusDevice::UnconnectedState)
        return;

    if (m_record.Type == 1) {
        m_client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, m_record.IP);
        m_client->setConnectionParameter(QModbusDevice::NetworkPortParameter, settings.NetworkPort);
    } else if (m_record.Type == 0) {
        m_client->setConnectionParameter(QModbusDevice::SerialPortNameParameter, settings.Port);
        m_client->setConnectionParameter(QModbusDevice::SerialParityParameter, settings.Parity);
        m_client->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, settings.BaudRate);
        m_client->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, settings.DataBits);
        m_client->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, settings.StopBits);
    }
    m_client->setTimeout(settings.Timeout);
    m_client->setNumberOfRetries(settings.NumberOfRetries);
    m_client->connectDevice();
}

void ModbusDevice::close()
{
    m_state = DeviceState::NotConnected;
    if (!m_client)
        return;
    linkDropped();
    retireClient();
}

// A new client of the same kind: a confused link (a corrupt frame, a
// controller gone mute) starts afresh at the card's next connection attempt.
void ModbusDevice::reopenLink()
{
    const int type = m_clientType;
    close();
    openClient(type);
    m_state = DeviceState::Connecting;
}

void ModbusDevice::retireClient()
{
    QModbusClient *client = m_client;
    if (!client)
        return;
    m_client = nullptr;
    // No more state or error reports from this client; the finished signal of
    // a reply still being waited for stays connected.
    disconnect(client, nullptr, this, nullptr);
    client->disconnectDevice();
    if (m_waitDepth > 0)
        m_retiredClients.append(client); // the waiting transaction still reads its reply
    else
        client->deleteLater();
}

bool ModbusDevice::isWaiting() const
{
    return m_waitDepth > 0;
}

void ModbusDevice::releaseWhenIdle()
{
    if (m_releasePending)
        return;
    m_releasePending = true;
    abandonBackground();
    if (m_waitDepth == 0)
        deleteLater();
    // Otherwise waitForReply() calls deleteLater() once the outermost wait returned.
}

bool ModbusDevice::isBusy() const
{
    // While a wait of the device is on the stack nothing can be sent (its
    // loop does not nest), even in the moment after a poll ended and before
    // pollState()'s wait has returned.
    return m_busy || m_waitDepth > 0;
}
int ModbusDevice::stateCode() const
{
    return m_state;
}
quint16 ModbusDevice::channelCount() const
{
    return m_channelCount;
}
quint16 ModbusDevice::channel() const
{
    return m_channel;
}
quint8 ModbusDevice::axisCount() const
{
    return m_axisCount;
}
QList<quint8> ModbusDevice::axisList() const
{
    return m_axisList;
}
QList<int> ModbusDevice::decimals() const
{
    return m_decimals;
}
quint32 ModbusDevice::speedScale() const
{
    return m_speedScale;
}
QList<float> ModbusDevice::speedDivisors() const
{
    return m_speedDivisors;
}
bool ModbusDevice::statusCoilMode() const
{
    return m_statusCoilMode;
}
int ModbusDevice::runCoil() const
{
    return m_runCoil;
}
int ModbusDevice::alarmCoil() const
{
    return m_alarmCoil;
}
int ModbusDevice::idleCoil() const
{
    return m_idleCoil;
}
PositionStatus ModbusDevice::positionCache() const
{
    return m_position;
}
QList<ProgramEntry> ModbusDevice::programDirectory() const
{
    return m_directory;
}
QModbusClient *ModbusDevice::client() const
{
    return m_client;
}
int ModbusDevice::lastResult() const
{
    return m_lastResult;
}
QString ModbusDevice::axisLabel(quint16 code)
{
    return RegisterCodec::axisLabel(code);
}

void ModbusDevice::onStateChanged(QModbusDevice::State state)
{
    if (state == QModbusDevice::ConnectedState) {
        // The set-up belongs to this connection: 200 ms from now, and not at
        // all when the link drops before (the drop stops the timer).
        m_setUpTimer.start();
    } else if (state == QModbusDevice::UnconnectedState) {
        m_state = DeviceState::NotConnected;
        linkDropped();
    }
}

void ModbusDevice::linkDropped()
{
    m_ready = false;
    m_busy = false;
    m_channel = 0;
    m_silentPolls = 0;
    m_setUpTimer.stop();
    ++m_linkGeneration;
    abandonBackground();
    // Some clients never finish the outstanding reply when the line goes.
    if (m_waitDepth > 0)
        m_loop.quit();
}

void ModbusDevice::onErrorOccurred(QModbusDevice::Error error)
{
    qDebug() << "ModbusDevice" << m_record.Name << error << m_client->errorString();
    // A serial line that vanishes (an adapter pulled out) fails every read from
    // then on while the client still counts as connected, reporting the error
    // again and again. Close it, so the link shows as down and the card's next
    // attempts open the line again once it is back.
    const bool lineGone = error == QModbusDevice::ConnectionError || error == QModbusDevice::ReadError;
    if (lineGone && qobject_cast<QModbusRtuSerialMaster *>(m_client) &&
        m_client->state() == QModbusDevice::ConnectedState) {
        QPointer<QModbusClient> client(m_client);
        QTimer::singleShot(0, this, [this, client] {
            if (client && client == m_client && client->state() == QModbusDevice::ConnectedState)
                client->disconnectDevice();
        });
    }
}

void ModbusDevice::onSetUpDue()
{
    if (m_ready || m_releasePending || !linkUp())
        return;
    // An operation of an earlier link still has to return from its wait (it
    // would clear busy on the way out); the set-up follows once it has.
    if (m_waitDepth > 0 || m_background) {
        m_setUpTimer.start();
        return;
    }
    setUpLink();
}

bool ModbusDevice::linkChanged() const
{
    return m_sequenceLink != m_linkGeneration;
}

bool ModbusDevice::lastRequestTimedOut() const
{
    return m_lastResult == QModbusDevice::TimeoutError;
}

bool ModbusDevice::linkUp() const
{
    return m_client && m_client->state() == QModbusDevice::ConnectedState;
}

int ModbusDevice::waitBoundMs() const
{
    if (!m_client)
        return WaitMarginMs;
    const qint64 timeout = qMax(0, m_client->timeout());
    const qint64 attempts = qint64(m_client->numberOfRetries()) + 1;
    return int(qMin<qint64>(timeout * qMax<qint64>(1, attempts) + WaitMarginMs, 24ll * 3600 * 1000));
}

bool ModbusDevice::waitForReply(QModbusReply *reply)
{
    QPointer<QModbusReply> guard(reply);
    const QMetaObject::Connection finished =
        connect(reply, &QModbusReply::finished, this, [this] { m_loop.quit(); });
    const quint64 link = m_linkGeneration;
    waitInLoop([&] { return !guard || guard->isFinished() || link != m_linkGeneration; }, waitBoundMs());
    disconnect(finished);
    return guard && guard->isFinished();
}

void ModbusDevice::waitInLoop(const std::function<bool()> &done, int boundMs)
{
    ++m_waitDepth;
    m_waitBound.start(boundMs);
    // exec() answers -1 at once once the application is quitting: the wait
    // ends there rather than spin without handling a single event.
    while (!done() && m_waitBound.isActive()) {
        if (m_loop.exec() < 0)
            break;
    }
    m_waitBound.stop();
    --m_waitDepth;

    if (m_waitDepth == 0) {
        // Clients closed during the wait go now that nobody reads their replies;
        // the reply itself is a child of its client, so it stays alive until the
        // caller's deleteLater() is processed as well.
        for (QModbusClient *client : qAsConst(m_retiredClients))
            client->deleteLater();
        m_retiredClients.clear();
        if (m_releasePending)
            deleteLater();
    }
}

bool ModbusDevice::canSend() const
{
    return linkUp() && m_waitDepth == 0 && !m_releasePending && !linkChanged();
}

int ModbusDevice::writeRegisters(int address, const QVector<quint16> &values)
{
    transact(QModbusDataUnit(QModbusDataUnit::HoldingRegisters, address, values), true);
    return m_lastResult;
}

QModbusDataUnit ModbusDevice::readUnit(QModbusDataUnit::RegisterType type, int address, int count)
{
    if (count < 0) {
        m_lastResult = NoLink;
        return {};
    }
    return transact(QModbusDataUnit(type, address, quint16(count)), false);
}

QModbusDataUnit ModbusDevice::transact(const QModbusDataUnit &request, bool write)
{
    if (!canSend()) {
        m_lastResult = NoLink;
        return {};
    }
    QModbusReply *reply = send(request, write, m_sequenceStation);
    if (!reply || !awaitReply(reply))
        return {};
    QModbusDataUnit result = answerOf(reply, write);
    // Its finished signal has been delivered and the client has let go of it:
    // delete it now rather than post one more event per request.
    delete reply;
    return result;
}

bool ModbusDevice::awaitReply(QModbusReply *reply)
{
    QPointer<QModbusReply> guard(reply);
    if (!waitForReply(reply)) {
        m_lastResult = QModbusDevice::TimeoutError;
        // The client may still hold it, and finish it later.
        if (guard)
            guard->deleteLater();
        return false;
    }
    m_lastResult = reply->error();
    // An exception response carries one byte, its code. The byte is taken
    // from the raw data: QModbusPdu's own accessors read the function code as
    // an enum that cannot hold an exception's function code.
    const QByteArray raw =
        m_lastResult == QModbusDevice::ProtocolError ? reply->rawResult().data() : QByteArray();
    m_lastException = raw.size() == 1 ? quint8(raw.at(0)) : 0;
    return true;
}

QModbusReply *ModbusDevice::send(const QModbusDataUnit &request, bool write, int station)
{
    return sent(write ? m_client->sendWriteRequest(request, station)
                      : m_client->sendReadRequest(request, station));
}

QModbusReply *ModbusDevice::sent(QModbusReply *reply)
{
    if (!reply) {
        m_lastResult = RefusedRequest;
        return nullptr;
    }
    if (reply->isFinished()) {
        // Refused on the spot; a read has no result then.
        m_lastResult = reply->error();
        reply->deleteLater();
        return nullptr;
    }
    sendAtOnce();
    return reply;
}

QModbusDataUnit ModbusDevice::answerOf(const QModbusReply *reply, bool write)
{
    if (write || reply->error() != QModbusDevice::NoError)
        return {};
    const QModbusDataUnit unit = reply->result();
    return isValidUnit(unit) ? unit : QModbusDataUnit();
}

void ModbusDevice::sendAtOnce()
{
    // The TCP client writes a request into its socket's buffer, which goes out
    // only once the event loop has seen the socket writable: one more turn of
    // the loop for every request.
    if (m_clientSocket)
        m_clientSocket->flush();
}

QModbusDataUnit ModbusDevice::readRegisters(int address, int count)
{
    return readUnit(QModbusDataUnit::HoldingRegisters, address, count);
}

QModbusDataUnit ModbusDevice::readCoils(int address, int count)
{
    return readUnit(QModbusDataUnit::Coils, address, count);
}
