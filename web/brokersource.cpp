#include "web/brokersource.h"

#include "link/protocol.h"
#include "mqtt/mqttclient.h"
#include "mqtt/mqttformat.h"
#include "mqtt/mqttservice.h"
#include "web/board.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Web {

namespace {

qint32 countOf(const QJsonValue &value)
{
    const double number = value.toDouble(-1);
    return number >= 0 && number <= 2147483647.0 ? qint32(number) : -1;
}

QString textOf(const QJsonValue &value)
{
    return value.toString().left(BrokerSource::MaxTextLength);
}

} // namespace

BrokerSource::BrokerSource(const MqttSettings &settings, const QByteArray &password, Board *board,
                           QObject *parent)
    : QObject(parent), m_client(new MqttClient(this)), m_board(board), m_prefix(settings.Prefix)
{
    MqttClient::Options options = MqttService::clientOptions(settings, password);
    options.clientId += QStringLiteral("-board"); // the publisher of this process has the plain one
    for (const char *filter :
         {"/+/state", "/+/online", "/+/event", "/$collectors/+/online", "/$collectors/+/machines"})
        options.subscriptions.append(m_prefix + QLatin1String(filter));
    connect(m_client, &MqttClient::messageReceived, this, &BrokerSource::onMessage);
    m_client->start(options);
}

BrokerSource::~BrokerSource()
{
    m_client->stop(false);
}

void BrokerSource::onMessage(const QString &topic, const QByteArray &payload)
{
    if (!topic.startsWith(m_prefix + QLatin1Char('/')) || payload.size() > MaxPayloadBytes)
        return;
    const QStringList parts = topic.mid(m_prefix.size() + 1).split(QLatin1Char('/'));
    if (parts.size() == 3 && parts.at(0) == QLatin1String("$collectors") && !parts.at(1).isEmpty()) {
        const QString &collector = parts.at(1);
        if (parts.at(2) == QLatin1String("machines")) {
            takeMachines(collector, payload);
        } else if (parts.at(2) == QLatin1String("online")) {
            m_collectorOnline.insert(collector, payload == "true");
            const QSet<QString> ids = m_collectorMachines.value(collector);
            for (const QString &id : ids)
                report(id);
        }
        return;
    }
    if (parts.size() != 2 || parts.at(0).isEmpty() || parts.at(0).startsWith(QLatin1Char('$')))
        return;
    const QString &id = parts.at(0);
    if (parts.at(1) == QLatin1String("state")) {
        takeState(id, payload);
    } else if (parts.at(1) == QLatin1String("online")) {
        if (payload.isEmpty() && !m_machines.contains(id))
            return;
        m_machines[id].online = payload != "false";
        report(id);
    } else if (parts.at(1) == QLatin1String("event")) {
        takeEvent(id, payload);
    }
}

void BrokerSource::takeState(const QString &id, const QByteArray &payload)
{
    if (payload.isEmpty()) { // the retained state was cleared: the machine is gone
        m_machines.remove(id);
        m_board->remove(id);
        return;
    }
    const QJsonObject object = QJsonDocument::fromJson(payload).object();
    const QString word = object.value(QStringLiteral("state")).toString();
    int state = -1;
    for (int code = 0; code <= DeviceState::Connecting && state < 0; ++code) {
        if (MqttFormat::stateWord(code) == word)
            state = code;
    }
    if (state < 0)
        return;
    if (!m_machines.contains(id) && m_machines.size() >= Board::MaxMachines)
        return;
    Machine &machine = m_machines[id];
    machine.stated = true;
    machine.state = state;
    machine.program = textOf(object.value(QStringLiteral("program")));
    machine.pieces = countOf(object.value(QStringLiteral("pieces")));
    machine.target = countOf(object.value(QStringLiteral("target")));
    machine.reason = textOf(object.value(QStringLiteral("reason")).toObject().value(QStringLiteral("text")));
    report(id);
}

void BrokerSource::takeEvent(const QString &id, const QByteArray &payload)
{
    const QJsonObject object = QJsonDocument::fromJson(payload).object();
    const QString kind = object.value(QStringLiteral("event")).toString();
    if (kind != QLatin1String("write-program") && kind != QLatin1String("write-file") &&
        kind != QLatin1String("delete-program"))
        return;
    m_board->noteOperation(id, MachineOperation{QDateTime::currentMSecsSinceEpoch(), kind,
                                                textOf(object.value(QStringLiteral("target"))),
                                                object.value(QStringLiteral("result")).toInt(),
                                                qint64(object.value(QStringLiteral("bytes")).toDouble())});
}

void BrokerSource::takeMachines(const QString &collector, const QByteArray &payload)
{
    const QJsonArray list = QJsonDocument::fromJson(payload).array();
    QSet<QString> ids;
    for (const QJsonValue &value : list) {
        if (value.isString() && ids.size() < Board::MaxMachines)
            ids.insert(value.toString());
    }
    const QSet<QString> before = m_collectorMachines.value(collector);
    m_collectorMachines.insert(collector, ids);
    for (const QString &id : before + ids)
        report(id);
}

// Listed by collectors, and every one of them gone.
bool BrokerSource::collectorsGone(const QString &id) const
{
    bool listed = false;
    for (auto it = m_collectorMachines.cbegin(); it != m_collectorMachines.cend(); ++it) {
        if (!it->contains(id))
            continue;
        if (m_collectorOnline.value(it.key(), true))
            return false;
        listed = true;
    }
    return listed;
}

void BrokerSource::report(const QString &id)
{
    const auto it = m_machines.constFind(id);
    if (it == m_machines.cend() || !it->stated)
        return;
    MachineReport report;
    report.id = id;
    report.name = id;
    report.state = it->state;
    // A device switched off keeps its last state with "false" beside it; one
    // not answering says so in its state.
    const bool answering = it->state == DeviceState::Running || it->state == DeviceState::Alarm ||
                           it->state == DeviceState::Idle;
    if (collectorsGone(id) || (answering && !it->online))
        report.state = DeviceState::NotConnected;
    report.on = report.state != DeviceState::NotConnected;
    report.program = it->program;
    report.pieces = it->pieces;
    report.target = it->target;
    report.reason = report.state == DeviceState::Running ? QString() : it->reason;
    m_board->update(report);
}

} // namespace Web
