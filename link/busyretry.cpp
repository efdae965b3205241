#include "link/busyretry.h"

#include "link/modbusdevice.h"

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
