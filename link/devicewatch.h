#pragma once

#include "link/devicestatus.h"

#include <QObject>
#include <QPointer>

class ModbusDevice;

// Keeps one controller's link up and polled while it is switched on, as its
// card does: a tick every PollIntervalMs (from one clock that every watch of
// the program shares) connects while the device is not
// ready and otherwise starts the background status poll. The card shows what
// it tells; the windowless modes use it alone.
class DeviceWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int PollIntervalMs = 500;

    explicit DeviceWatch(ModbusDevice *device, QObject *parent = nullptr);
    ~DeviceWatch() override;

    // Null once the device was released.
    ModbusDevice *device() const;
    // The device record's name.
    QString name() const;

    // The card's switch: on opens the link and starts the ticks; off stops
    // them and closes the link.
    void setOn(bool on);
    bool isOn() const;
    // Stops the ticks for good, leaving the link as it is: for a card on its
    // way out, which closes the link itself.
    void stopTicks();

    // One tick's work without the connection attempt: starts a poll when the
    // link is on and takes the state the device holds now.
    void refresh();

    DeviceSnapshot snapshot() const;

signals:
    void snapshotChanged(const DeviceSnapshot &snapshot);
    void operationFinished(const DeviceEvent &event);

private:
    void onTick();
    void onPolled(int code);
    void take(int state);

    friend class PollClock;
    void startTicks();

    QPointer<ModbusDevice> m_device;
    int m_slot = -1; // of the poll clock, while ticking
    bool m_on = false;
    DeviceSnapshot m_snapshot;
};
