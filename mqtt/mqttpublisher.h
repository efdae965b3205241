#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class DeviceFleet;
class DeviceWatch;
class MqttClient;
struct DeviceEvent;
struct DeviceSnapshot;

// Puts what the run's controllers do on the broker, under one prefix, for
// every switched-on device (ID: the device name and the short form of its Id,
// made topic-safe, "Mill__TCP_-5b1e0c2a"):
//   PREFIX/ID/state   retained, on every change and at least every RepeatMs;
//   PREFIX/ID/online  retained, "true" while the controller answers;
//   PREFIX/ID/event   QoS 1, one per write, delete or failed transfer.
// It wants the counters of the fleet's polls (program and pieces) while it
// lives, and only queues: the client does the networking in its own thread.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    MqttPublisher(DeviceFleet *fleet, MqttClient *client, const QString &prefix, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Every switched-on device's state and online flag, as they are now.
    void publishAll();
    // Every device's online flag "false": nobody watches them any more.
    void publishOffline();
    // Where the list of the topic IDs this publisher covers goes (retained, a
    // JSON array), now and whenever a device comes, goes or is renamed.
    void setMachinesTopic(const QString &topic);

    static constexpr int RepeatMs = 60000;

    // The ID a device's topics are named after, before two devices of one
    // ID are told apart by a number: the name and the short form of its Id.
    static QString baseId(const DeviceWatch *watch);

    // The stop under way of a device was given a reason (0: none any more):
    // its state carries it while the stop lasts, and a tag is told as an event.
    void setStopReason(DeviceWatch *watch, int code, const QString &text);

private:
    struct Device
    {
        QString name; // the name and Id the ID was made from
        QString id;
        bool published = false; // anything sent for it yet
        int reason = 0;         // of the stop under way
        QString reasonText;
    };

    void onAdded(DeviceWatch *watch);
    void onRemoved(DeviceWatch *watch);
    void onSnapshotChanged(DeviceWatch *watch, const DeviceSnapshot &snapshot);
    void onOperationFinished(DeviceWatch *watch, const DeviceEvent &event);
    Device &deviceOf(DeviceWatch *watch);
    QString uniqueId(const QString &base, DeviceWatch *watch) const;
    QString topic(const Device &device, const char *leaf) const;
    void publishState(DeviceWatch *watch, const DeviceSnapshot &snapshot);
    void publishOnline(Device &device, bool online);
    void publishMachines();

    QPointer<DeviceFleet> m_fleet;
    MqttClient *m_client;
    QString m_prefix;
    QHash<DeviceWatch *, Device> m_devices;
    QTimer m_repeat;
    QString m_machinesTopic;
    QByteArray m_machines; // as last published
};
