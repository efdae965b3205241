#pragma once

#include "link/devicestatus.h"

#include <QList>
#include <QObject>

class DeviceWatch;

// The controllers of this run, for the observers that record or publish what
// they do. The device list adds each card's watch and removes it before the
// card goes; the windowless modes fill one without cards. Observers connect
// to the fleet only.
class DeviceFleet : public QObject
{
    Q_OBJECT

public:
    explicit DeviceFleet(QObject *parent = nullptr);
    ~DeviceFleet() override;

    QList<DeviceWatch *> watches() const;
    void add(DeviceWatch *watch);
    // Emits removed() while the watch is still whole; a watch destroyed
    // without being removed leaves silently.
    void remove(DeviceWatch *watch);

    // The background polls of every watch, present and later, read the
    // counters while at least one observer wants them.
    void wantCounters();
    void releaseCounters();

signals:
    void added(DeviceWatch *watch);
    void removed(DeviceWatch *watch);
    void snapshotChanged(DeviceWatch *watch, const DeviceSnapshot &snapshot);
    void operationFinished(DeviceWatch *watch, const DeviceEvent &event);

private:
    void applyCounters(DeviceWatch *watch) const;

    QList<DeviceWatch *> m_watches;
    int m_counterUsers = 0;
};
