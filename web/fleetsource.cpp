#include "web/fleetsource.h"

#include "link/devicefleet.h"
#include "link/devicewatch.h"
#include "link/modbusdevice.h"
#include "mqtt/mqttpublisher.h"
#include "web/board.h"

#include <QDateTime>

namespace Web {

FleetSource::FleetSource(DeviceFleet *fleet, Board *board, QObject *parent)
    : QObject(parent), m_fleet(fleet), m_board(board)
{
    connect(fleet, &DeviceFleet::added, this, &FleetSource::onAdded);
    connect(fleet, &DeviceFleet::removed, this, &FleetSource::onRemoved);
    connect(fleet, &DeviceFleet::snapshotChanged, this, [this](DeviceWatch *watch) { report(watch); });
    connect(fleet, &DeviceFleet::operationFinished, this, &FleetSource::onOperationFinished);
    fleet->wantCounters();
    const QList<DeviceWatch *> watches = fleet->watches();
    for (DeviceWatch *watch : watches)
        onAdded(watch);
    m_sample.setInterval(1000);
    connect(&m_sample, &QTimer::timeout, this, &FleetSource::reportAll);
    m_sample.start();
}

FleetSource::~FleetSource()
{
    if (m_fleet)
        m_fleet->releaseCounters();
}

void FleetSource::reportAll()
{
    for (DeviceWatch *watch : qAsConst(m_order))
        report(watch);
}

QVector<RecordedDevice> FleetSource::recordedDevices() const
{
    QVector<RecordedDevice> devices;
    for (DeviceWatch *watch : qAsConst(m_order)) {
        const ModbusDevice *device = watch->device();
        devices.append({m_devices.value(watch).id, watch->name(), device ? device->record().Id : QString()});
    }
    return devices;
}

void FleetSource::onAdded(DeviceWatch *watch)
{
    // A watch destroyed without being removed leaves the fleet silently.
    connect(watch, &QObject::destroyed, this, [this, watch] {
        const Device device = m_devices.take(watch);
        m_order.removeAll(watch);
        m_board->remove(device.id);
    });
    m_order.append(watch);
    m_devices.insert(watch, Device()); // its ID is given at its first report
    report(watch);
}

void FleetSource::onRemoved(DeviceWatch *watch)
{
    disconnect(watch, &QObject::destroyed, this, nullptr);
    m_order.removeAll(watch);
    const auto it = m_devices.find(watch);
    if (it == m_devices.end())
        return;
    m_board->remove(it->id);
    m_devices.erase(it);
}

// The publisher's rule: the base ID, and for a second device of one base ID
// the base and a number, in the order they were met.
FleetSource::Device &FleetSource::deviceOf(DeviceWatch *watch)
{
    Device &device = m_devices[watch];
    const QString base = MqttPublisher::baseId(watch);
    if (!device.id.isEmpty() && device.base == base)
        return device;
    if (!device.id.isEmpty())
        m_board->remove(device.id); // renamed
    device.base = base;
    QString id = base;
    for (int n = 2;; ++n) {
        bool taken = false;
        for (auto it = m_devices.cbegin(); it != m_devices.cend() && !taken; ++it)
            taken = it.key() != watch && it->id == id;
        if (!taken)
            break;
        id = base + QLatin1Char('-') + QString::number(n);
    }
    device.id = id;
    return device;
}

void FleetSource::report(DeviceWatch *watch)
{
    if (!m_devices.contains(watch)) // a hash: every device reports every second
        return;
    Device &device = deviceOf(watch);
    const DeviceSnapshot snapshot = watch->snapshot();
    MachineReport report;
    report.id = device.id;
    report.name = watch->name();
    report.on = watch->isOn();
    report.state = report.on ? snapshot.state : DeviceState::NotConnected;
    if (report.state == DeviceState::Running || !report.on)
        device.reason.clear(); // the stop and its reason are over
    report.program = snapshot.program;
    report.pieces = snapshot.pieces;
    report.target = snapshot.target;
    report.reason = device.reason;
    m_board->update(report);
}

void FleetSource::setStopReason(DeviceWatch *watch, const QString &text)
{
    if (!m_devices.contains(watch))
        return;
    m_devices[watch].reason = watch->isOn() ? text : QString();
    report(watch);
}

void FleetSource::onOperationFinished(DeviceWatch *watch, const DeviceEvent &event)
{
    const char *kind = nullptr;
    switch (event.kind) {
    case DeviceEvent::WriteProgram:
        kind = "write-program";
        break;
    case DeviceEvent::WriteFile:
        kind = "write-file";
        break;
    case DeviceEvent::DeleteProgram:
        kind = "delete-program";
        break;
    default:
        return;
    }
    if (!m_devices.contains(watch))
        return;
    m_board->noteOperation(m_devices.value(watch).id,
                           MachineOperation{QDateTime::currentMSecsSinceEpoch(), QString::fromLatin1(kind),
                                            event.target, event.result, event.bytes});
}

} // namespace Web
