#include "mqtt/mqttpublisher.h"

#include "link/devicefleet.h"
#include "link/devicestatus.h"
#include "link/devicewatch.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "mqtt/mqttclient.h"
#include "mqtt/mqttformat.h"

#include <QDateTime>

namespace {

bool answers(int state)
{
    return state == DeviceState::Running || state == DeviceState::Alarm || state == DeviceState::Idle;
}

QString eventKind(int kind)
{
    switch (kind) {
    case DeviceEvent::ReadProgram:
        return QStringLiteral("read-program");
    case DeviceEvent::ReadFile:
        return QStringLiteral("read-file");
    case DeviceEvent::WriteProgram:
        return QStringLiteral("write-program");
    case DeviceEvent::WriteFile:
        return QStringLiteral("write-file");
    default:
        return QStringLiteral("delete-program");
    }
}

} // namespace

MqttPublisher::MqttPublisher(DeviceFleet *fleet, MqttClient *client, const QString &prefix, QObject *parent)
    : QObject(parent), m_fleet(fleet), m_client(client), m_prefix(prefix)
{
    connect(fleet, &DeviceFleet::added, this, &MqttPublisher::onAdded);
    connect(fleet, &DeviceFleet::removed, this, &MqttPublisher::onRemoved);
    connect(fleet, &DeviceFleet::snapshotChanged, this, &MqttPublisher::onSnapshotChanged);
    connect(fleet, &DeviceFleet::operationFinished, this, &MqttPublisher::onOperationFinished);
    fleet->wantCounters();
    const QList<DeviceWatch *> watches = fleet->watches();
    for (DeviceWatch *watch : watches)
        onAdded(watch);
    m_repeat.setInterval(RepeatMs);
    connect(&m_repeat, &QTimer::timeout, this, &MqttPublisher::publishAll);
    m_repeat.start();
}

MqttPublisher::~MqttPublisher()
{
    if (m_fleet)
        m_fleet->releaseCounters();
}

void MqttPublisher::publishAll()
{
    for (auto it = m_devices.begin(); it != m_devices.end(); ++it) {
        if (it.key()->isOn())
            publishState(it.key(), it.key()->snapshot());
    }
}

void MqttPublisher::publishOffline()
{
    for (Device &device : m_devices) {
        if (device.published)
            publishOnline(device, false);
    }
}

void MqttPublisher::setMachinesTopic(const QString &topic)
{
    m_machinesTopic = topic;
    m_machines.clear();
    publishMachines();
}

void MqttPublisher::publishMachines()
{
    if (m_machinesTopic.isEmpty())
        return;
    QStringList ids;
    for (const Device &device : qAsConst(m_devices))
        ids.append(device.id);
    ids.sort();
    QByteArray list = "[";
    for (const QString &id : qAsConst(ids))
        list += (list.size() > 1 ? "," : "") + MqttFormat::jsonString(id);
    list += ']';
    if (list == m_machines)
        return;
    m_machines = list;
    m_client->publishRetained(m_machinesTopic, list);
}

void MqttPublisher::onAdded(DeviceWatch *watch)
{
    // A watch destroyed without being removed leaves the fleet silently.
    connect(watch, &QObject::destroyed, this, [this, watch] {
        m_devices.remove(watch);
        publishMachines();
    });
    deviceOf(watch);
    if (watch->isOn())
        publishState(watch, watch->snapshot());
}

void MqttPublisher::onRemoved(DeviceWatch *watch)
{
    const auto it = m_devices.find(watch);
    if (it == m_devices.end())
        return;
    if (it->published)
        publishOnline(*it, false);
    m_devices.erase(it);
    publishMachines();
}

void MqttPublisher::onSnapshotChanged(DeviceWatch *watch, const DeviceSnapshot &snapshot)
{
    if (watch->isOn()) {
        publishState(watch, snapshot);
        return;
    }
    // Switched off: the last word on it is that it is not watched.
    Device &device = deviceOf(watch);
    if (device.published) {
        m_client->publishRetained(topic(device, "state"),
                                  MqttFormat::stateJson(snapshot.state, snapshot.program, snapshot.pieces,
                                                        snapshot.target, QDateTime::currentDateTime()));
        publishOnline(device, false);
    }
}

void MqttPublisher::onOperationFinished(DeviceWatch *watch, const DeviceEvent &event)
{
    const bool write = event.kind == DeviceEvent::WriteProgram || event.kind == DeviceEvent::WriteFile ||
                       event.kind == DeviceEvent::DeleteProgram;
    if (!write && event.result == Result::Ok)
        return;
    const Device &device = deviceOf(watch);
    m_client->publishEvent(topic(device, "event"),
                           MqttFormat::eventJson(eventKind(event.kind), event.target, event.result,
                                                 event.bytes, QDateTime::currentDateTime()));
}

void MqttPublisher::setStopReason(DeviceWatch *watch, int code, const QString &text)
{
    if (!watch->isOn())
        return;
    Device &device = deviceOf(watch);
    device.reason = code;
    device.reasonText = text;
    if (code > 0)
        m_client->publishEvent(topic(device, "event"),
                               MqttFormat::stopReasonJson(code, text, QDateTime::currentDateTime()));
    publishState(watch, watch->snapshot());
}

// The ID follows the device's name and Id: the name for people, the Id's
// short form so that two collectors' devices of one name never share a
// topic. Two devices whose IDs still come out the same keep apart by a
// number, in the order they were met.
QString MqttPublisher::baseId(const DeviceWatch *watch)
{
    const ModbusDevice *link = watch->device();
    return MqttFormat::topicId(watch->name(), link ? link->record().shortId() : QString());
}

MqttPublisher::Device &MqttPublisher::deviceOf(DeviceWatch *watch)
{
    Device &device = m_devices[watch];
    const ModbusDevice *link = watch->device();
    const QString shortId = link ? link->record().shortId() : QString();
    const QString name = watch->name() + QChar(0x1F) + shortId;
    if (device.id.isEmpty() || device.name != name) {
        if (device.published)
            publishOnline(device, false); // the old topics are left behind
        device.name = name;
        device.id = uniqueId(baseId(watch), watch);
        device.published = false;
        publishMachines();
    }
    return device;
}

QString MqttPublisher::uniqueId(const QString &base, DeviceWatch *watch) const
{
    QString id = base;
    for (int n = 2;; ++n) {
        bool taken = false;
        for (auto it = m_devices.cbegin(); it != m_devices.cend() && !taken; ++it)
            taken = it.key() != watch && it->id == id;
        if (!taken)
            return id;
        id = base + QLatin1Char('-') + QString::number(n);
    }
}

QString MqttPublisher::topic(const Device &device, const char *leaf) const
{
    return m_prefix + QLatin1Char('/') + device.id + QLatin1Char('/') + QLatin1String(leaf);
}

void MqttPublisher::publishState(DeviceWatch *watch, const DeviceSnapshot &snapshot)
{
    Device &device = deviceOf(watch);
    // Running again: the stop and its reason are over.
    if (snapshot.state == DeviceState::Running)
        device.reason = 0;
    m_client->publishRetained(topic(device, "state"),
                              MqttFormat::stateJson(snapshot.state, snapshot.program, snapshot.pieces,
                                                    snapshot.target, QDateTime::currentDateTime(),
                                                    device.reason, device.reasonText));
    device.published = true;
    publishOnline(device, answers(snapshot.state));
}

void MqttPublisher::publishOnline(Device &device, bool online)
{
    m_client->publishRetained(topic(device, "online"),
                              online ? QByteArrayLiteral("true") : QByteArrayLiteral("false"));
}
