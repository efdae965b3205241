#include "link/devicewatch.h"

#include "link/modbusdevice.h"

#include <QRandomGenerator>

DeviceWatch::DeviceWatch(ModbusDevice *device, QObject *parent) : QObject(parent), m_device(device)
{
    m_ticks.setInterval(PollIntervalMs);
    connect(&m_ticks, &QTimer::timeout, this, &DeviceWatch::onTick);
    if (!device)
        return;
    m_snapshot = device->snapshot();
    connect(device, &ModbusDevice::pollFinished, this, &DeviceWatch::onPolled);
    connect(device, &ModbusDevice::operationFinished, this, &DeviceWatch::operationFinished);
}

DeviceWatch::~DeviceWatch() = default;

ModbusDevice *DeviceWatch::device() const
{
    return m_device;
}

QString DeviceWatch::name() const
{
    return m_device ? m_device->record().Name : QString();
}

void DeviceWatch::setOn(bool on)
{
    if (!m_device)
        return;
    m_on = on;
    if (on) {
        // The first tick tells what the attempt brought.
        m_device->open();
        // Devices switched on together (at start, or the windowless mode's
        // whole file) would poll together, and a thousand polls at once keep
        // the window from its input for a third of a second: the first tick
        // comes somewhere in the next period, and the later ones keep about
        // its phase (the timer moves them by up to 25 ms, onto the moments
        // where other timers wake the program anyway).
        m_ticks.start(PollIntervalMs / 2 + int(QRandomGenerator::global()->bounded(PollIntervalMs)));
    } else {
        m_ticks.stop();
        m_device->close();
        refresh();
    }
}

bool DeviceWatch::isOn() const
{
    return m_on;
}

void DeviceWatch::stopTicks()
{
    m_ticks.stop();
}

void DeviceWatch::onTick()
{
    if (m_ticks.interval() != PollIntervalMs)
        m_ticks.setInterval(PollIntervalMs);
    if (m_device && !m_device->isReady())
        m_device->tryConnect();
    refresh();
}

// The poll of a ready device runs in the background and its answer comes
// through onPolled(); until then the state is what the device holds now
// (connecting after an attempt, not connected after a drop).
void DeviceWatch::refresh()
{
    if (!m_device)
        return;
    if (m_on)
        m_device->startStatePoll();
    take(m_device->stateCode());
}

void DeviceWatch::onPolled(int code)
{
    // A poll that was under way when the switch went off has nothing to tell.
    if (m_on)
        take(code);
}

void DeviceWatch::take(int state)
{
    DeviceSnapshot now = m_device->snapshot();
    now.state = state;
    if (now == m_snapshot)
        return;
    m_snapshot = now;
    emit snapshotChanged(m_snapshot);
}

DeviceSnapshot DeviceWatch::snapshot() const
{
    return m_snapshot;
}
