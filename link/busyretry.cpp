#include "link/busyretry.h"

#include "link/modbusdevice.h"

#include <QTimer>

bool BusyRetry::again(const ModbusDevice *device)
{
    if (!device) {
        m_waiting = false;
        return false;
    }
    if (!m_waiting) {
        m_waiting = true;
        m_until = QDeadlineTimer(device->waitBoundMs());
    }
    if (m_until.hasExpired()) {
        m_waiting = false;
        return false;
    }
    return true;
}

bool BusyRetry::later(const ModbusDevice *device, QObject *context, std::function<void()> action)
{
    if (!device || !device->isWaiting()) {
        reset();
        return false;
    }
    if (!again(device))
        return false;
    QTimer::singleShot(IntervalMs, context, std::move(action));
    return true;
}
