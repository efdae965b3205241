#pragma once

#include "config/devicerecord.h"

#include <QString>

#include <memory>

class MqttClient;
namespace History {
class Recorder;
}

// What the command line's backups and restores did, kept as the window keeps
// its writes: in the history's operations beside Configure.xml and, when
// publishing is on, as events on the broker (PREFIX/ID/event). Only events:
// the run polls nothing, and the shop's presence flag and the devices' states
// are the collectors' word. The events get a few seconds at the end to reach
// the broker; one that is away is told on stderr, and the run goes on.
class CommandAudit
{
public:
    CommandAudit();
    ~CommandAudit();
    CommandAudit(const CommandAudit &) = delete;
    CommandAudit &operator=(const CommandAudit &) = delete;

    void note(const DeviceRecord &device, const QString &kind, const QString &target, int result,
              qint64 bytes);

    static constexpr int DeliveryWaitMs = 5000;

private:
    void start();

    std::unique_ptr<History::Recorder> m_history;
    std::unique_ptr<MqttClient> m_broker;
    QString m_prefix;
    int m_events = 0;
};
