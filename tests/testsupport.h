#pragma once

#include "config/configstore.h"
#include "link/modbusdevice.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

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

// Tries to connect, as a card does on its ticks, until the device is ready.
inline bool keepConnecting(ModbusDevice *device, int timeoutMs = 10000)
{
    return QTest::qWaitFor(
        [device] {
            if (!device->isReady())
                device->tryConnect();
            return device->isReady();
        },
        timeoutMs);
}

// Waits for `count` status polls of a ready device: a span of time taken from
// the link itself, over which the views' ticks (as often as the card's polls)
// have come at least count - 2 times.
inline bool waitForPolls(ModbusDevice *device, int count)
{
    QSignalSpy polls(device, &ModbusDevice::pollFinished);
    return QTest::qWaitFor([&polls, count] { return polls.count() >= count; }, 5000 + 1000 * count);
}

} // namespace TestSupport
