#include "link/devicefleet.h"

#include "link/devicewatch.h"
#include "link/modbusdevice.h"

DeviceFleet::DeviceFleet(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<DeviceSnapshot>();
    qRegisterMetaType<DeviceEvent>();
    qRegisterMetaType<DeviceWatch *>();
}

DeviceFleet::~DeviceFleet() = default;

QList<DeviceWatch *> DeviceFleet::watches() const
{
    return m_watches;
}

void DeviceFleet::add(DeviceWatch *watch)
{
    if (!watch || m_watches.contains(watch))
        return;
    m_watches.append(watch);
    applyCounters(watch);
    connect(watch, &DeviceWatch::snapshotChanged, this,
            [this, watch](const DeviceSnapshot &snapshot) { emit snapshotChanged(watch, snapshot); });
    connect(watch, &DeviceWatch::operationFinished, this,
            [this, watch](const DeviceEvent &event) { emit operationFinished(watch, event); });
    connect(watch, &QObject::destroyed, this, [this, watch] { m_watches.removeAll(watch); });
    emit added(watch);
}

void DeviceFleet::remove(DeviceWatch *watch)
{
    if (!m_watches.removeAll(watch))
        return;
    disconnect(watch, nullptr, this, nullptr);
    emit removed(watch);
}

void DeviceFleet::wantCounters()
{
    if (m_counterUsers++ == 0) {
        for (DeviceWatch *watch : qAsConst(m_watches))
            applyCounters(watch);
    }
}

void DeviceFleet::releaseCounters()
{
    if (m_counterUsers > 0 && --m_counterUsers == 0) {
        for (DeviceWatch *watch : qAsConst(m_watches))
            applyCounters(watch);
    }
}

void DeviceFleet::applyCounters(DeviceWatch *watch) const
{
    if (ModbusDevice *device = watch->device())
        device->setCountersWanted(m_counterUsers > 0);
}
