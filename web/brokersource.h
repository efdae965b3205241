#pragma once

#include "config/mqttsettings.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

class MqttClient;

namespace Web {

class Board;

// Feeds the board from the shop's broker: every collector's retained
// PREFIX/ID/state and PREFIX/ID/online, their PREFIX/ID/event, and each
// collector's presence (PREFIX/$collectors/C/online, which its last will
// turns "false") with the machines it publishes (PREFIX/$collectors/C/machines).
// A collector gone makes its machines offline: their own topics keep what
// they said last. What arrives is checked before it is believed.
class BrokerSource : public QObject
{
    Q_OBJECT

public:
    BrokerSource(const MqttSettings &settings, const QByteArray &password, Board *board,
                 QObject *parent = nullptr);
    ~BrokerSource() override;

    MqttClient *client() const { return m_client; }

    static constexpr int MaxPayloadBytes = 16 * 1024;
    static constexpr int MaxTextLength = 200;

private:
    struct Machine
    {
        bool stated = false; // a state arrived
        int state = 0;
        bool online = true;
        QString program;
        qint32 pieces = -1;
        qint32 target = -1;
        QString reason;
    };

    void onMessage(const QString &topic, const QByteArray &payload);
    void takeState(const QString &id, const QByteArray &payload);
    void takeEvent(const QString &id, const QByteArray &payload);
    void takeMachines(const QString &collector, const QByteArray &payload);
    void report(const QString &id);
    bool collectorsGone(const QString &id) const;

    MqttClient *m_client;
    Board *m_board;
    QString m_prefix;
    QHash<QString, Machine> m_machines;
    QHash<QString, bool> m_collectorOnline;
    QHash<QString, QSet<QString>> m_collectorMachines;
};

} // namespace Web
