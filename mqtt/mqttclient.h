#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <thread>

// One connection to the shop's broker through the Eclipse client library,
// driven by a thread of its own: connecting, a broker that is down, refuses
// or falls silent, and the back-off between attempts never hold up the
// thread that hands messages over. That thread only queues and goes on.
//
// What waits while the broker is away is bounded: the latest payload of each
// retained topic (a device's state and online flag; published again after
// every reconnection, so a broker that lost them gets them back) and at most
// MaxQueuedEvents events, the oldest dropped first. Events go with QoS 1 and
// are queued again when the connection drops before the broker took them.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString host;
        int port = 1883;
        QString user;
        QByteArray password; // sent only together with a user
        QString caFile;      // TLS with this authority when set
        QString clientId;
        // Retained "true" once connected and "false" on a clean stop; the
        // broker sets it "false" itself (the last will) when the program
        // vanishes without one.
        QString presenceTopic;
        int keepAliveSeconds = 15;
        // Topic filters subscribed to (QoS 0) on every connection; what
        // arrives comes through messageReceived().
        QStringList subscriptions;
    };

    // Why the link is not up, for SET; the library's own words in detail.
    enum class Problem { None, Unreachable, Refused, Silent, Lost, Tls };

    explicit MqttClient(QObject *parent = nullptr);
    // Stops as stop() does.
    ~MqttClient() override;

    // (Re)starts with these options. A running connection says goodbye on
    // its own, and the new one connects only after it (within StopWaitMs).
    // Events it did not get acknowledged, and those a stop() left waiting,
    // move over; retained topics start afresh.
    void start(const Options &options);
    // The goodbye: what waits, "false" on the presence topic, DISCONNECT,
    // within GoodbyeMs. With waitForGoodbye (the end of the program) this
    // waits for it, up to StopWaitMs; else it goes on in the client's thread.
    void stop(bool waitForGoodbye = true);
    bool isRunning() const;
    bool isConnected() const;
    Problem problem() const;
    QString problemDetail() const;

    void publishRetained(const QString &topic, const QByteArray &payload);
    void publishEvent(const QString &topic, const QByteArray &payload);

    struct Counters
    {
        quint64 sent = 0;          // messages the broker took (QoS 1) or that went out (QoS 0)
        quint64 droppedEvents = 0; // events dropped while the queue was full
        int connections = 0;       // connections the broker accepted
    };
    Counters counters() const;

    static constexpr int MaxQueuedEvents = 1000;
    // Messages handed to the library and not yet out (or, for QoS 1, not yet
    // acknowledged); beyond it messages wait here, where they are bounded.
    static constexpr int MaxInFlight = 100;
    static constexpr int FirstRetryMs = 1000;
    static constexpr int LastRetryMs = 30000;
    // A connection that stayed up this long starts the back-off afresh.
    static constexpr int StableConnectionMs = 30000;
    // A broker that takes the connection but does not accept it in this time
    // counts as silent.
    static constexpr int AcceptTimeoutMs = 10000;
    static constexpr int GoodbyeMs = 1000;
    static constexpr int StopWaitMs = 3000;

signals:
    void connectedChanged(bool connected);
    void problemChanged();
    // A message on a subscribed topic, in the client's thread.
    void messageReceived(const QString &topic, const QByteArray &payload);

private:
    class Worker;
    struct Shared;
    void onWorkerReport(quint64 generation, bool connected, Problem problem, const QString &detail);
    void onWorkerMessage(quint64 generation, const QString &topic, const QByteArray &payload);

    std::shared_ptr<Shared> m_shared;   // null while stopped
    std::shared_ptr<Shared> m_previous; // stopped; the next start follows it
    std::thread m_thread;               // detached once asked to stop
    Counters m_lastCounters;            // as they were at the last stop
    quint64 m_generation = 0;
    bool m_connected = false;
    Problem m_problem = Problem::None;
    QString m_problemDetail;
};
