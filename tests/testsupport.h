#pragma once

#include "config/configstore.h"
#include "link/modbusdevice.h"

#include <QTest>

// Helpers shared by the tests that talk to a simulated controller.
namespace TestSupport {

// Link settings that reach a simulator on `port` and give up quickly.
inline void useQuickLink(quint16 port, int timeoutMs = 200, quint8 retries = 0)
{
    ModbusSettings settings = ConfigStore::instance()->modbusSettings();
    settings.NetworkPort = port;
    settings.Timeout = timeoutMs;
    settings.NumberOfRetries = retries;
    ConfigStore::instance()->setModbusSettings(settings);
}

// Opens the device's link and waits until its set-up is through.
inline bool connectUp(ModbusDevice *device, int timeoutMs = 10000)
{
    device->open();
    device->tryConnect();
    return QTest::qWaitFor([device] { return device->isReady(); }, timeoutMs);
}

} // namespace TestSupport
