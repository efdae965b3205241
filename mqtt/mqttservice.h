#pragma once

#include "config/mqttsettings.h"
#include "mqtt/mqttclient.h"
#include "mqtt/mqttpassword.h"

#include <QObject>
#include <QPointer>

class DeviceFleet;
class DeviceWatch;
class MqttClient;
class MqttPublisher;

// Publishing as this run has it: the settings in force, the password found
// for them, the broker client and the publisher over the run's devices. The
// window makes one (SET reaches it through current()); the windowless mode
// makes its own. Nothing here waits on the network.
class MqttService : public QObject
{
    Q_OBJECT

public:
    // keyringAllowed: a desktop session, where the user's keyring may be asked.
    MqttService(DeviceFleet *fleet, bool keyringAllowed, QObject *parent = nullptr);
    // Every device's online flag "false", then the client's goodbye.
    ~MqttService() override;

    // The client's options for these settings, without a presence topic;
    // client ids differ between the processes of one machine.
    static MqttClient::Options clientOptions(const MqttSettings &settings, const QByteArray &password);

    // The service the window made, or null.
    static MqttService *current();

    // Starts, restarts or stops publishing for these settings. A password
    // typed in SET (non-null) is used at once and kept in the keyring; an
    // unchanged call with none typed changes nothing.
    void apply(const MqttSettings &settings, const QByteArray *typedPassword = nullptr);

    // This collector's name among the shop's: the host and the configuration
    // file, so collectors of several halls (on one host or several) never
    // share one, and a collector started again keeps its own.
    static QString collectorId(const QString &configFile);
    // PREFIX/$collectors/ID: its "online" flag (which the broker's last will
    // turns "false") and its "machines" (the topic IDs it publishes).
    QString collectorTopic() const;

    MqttSettings settings() const;
    MqttClient *client() const;
    // For SET and the log: where the password is kept, and how publishing goes.
    QString passwordText() const;
    QString statusText() const;
    // Handed to the publisher, when publishing: see MqttPublisher::setStopReason().
    void setStopReason(DeviceWatch *watch, int code, const QString &text);

signals:
    void statusChanged();

private:
    void lookUpPassword();
    void startWith(const MqttPassword::Lookup &lookup);
    void stopPublishing(bool waitForGoodbye);

    QPointer<DeviceFleet> m_fleet;
    const bool m_keyringAllowed;
    MqttSettings m_settings;
    bool m_applied = false;
    MqttPassword::Lookup m_lookup;
    QString m_keyringWriteError;
    bool m_lookingUp = false;
    quint64 m_ticket = 0; // answers of the keyring for older settings are dropped
    MqttClient *m_client = nullptr;
    MqttPublisher *m_publisher = nullptr;
};
