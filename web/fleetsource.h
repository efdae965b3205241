#pragma once

#include "web/historyday.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>

class DeviceFleet;
class DeviceWatch;
struct DeviceEvent;
struct DeviceSnapshot;

namespace Web {

class Board;

// Feeds the board with this program's devices, observed through the fleet as
// the broker's publisher observes them and under the same topic IDs. It wants
// the polls' counters (program, pieces) while it lives.
class FleetSource : public QObject
{
    Q_OBJECT

public:
    FleetSource(DeviceFleet *fleet, Board *board, QObject *parent = nullptr);
    ~FleetSource() override;

    // The reason given to the stop under way of a device (empty: none any more).
    void setStopReason(DeviceWatch *watch, const QString &text);

    // Every device as it is now; also once a second, since a switch turned
    // while the state stays tells the fleet nothing.
    void reportAll();
    // The devices on the board, as the history knows them.
    QVector<RecordedDevice> recordedDevices() const;

private:
    struct Device
    {
        QString base; // the ID before it was told apart from another's
        QString id;
        QString reason;
    };

    void onAdded(DeviceWatch *watch);
    void onRemoved(DeviceWatch *watch);
    void report(DeviceWatch *watch);
    void onOperationFinished(DeviceWatch *watch, const DeviceEvent &event);
    Device &deviceOf(DeviceWatch *watch);

    QPointer<DeviceFleet> m_fleet;
    Board *m_board;
    QHash<DeviceWatch *, Device> m_devices;
    QList<DeviceWatch *> m_order; // as met, which decides who keeps an ID
    QTimer m_sample;
};

} // namespace Web
