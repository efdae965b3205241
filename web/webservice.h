#pragma once

#include "config/mqttsettings.h"
#include "config/websettings.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <memory>

class DeviceFleet;
class DeviceWatch;
class QThread;

namespace Web {

class Board;
class BrokerSource;
class FleetSource;
class WebServer;

// The shop board as this run has it: the settings in force, the board, its
// source (this program's fleet or the broker) and the server. The window
// makes one (SET reaches it through current()); the windowless mode makes
// its own. Starting and stopping wait for no client: the server's threads
// are told to end and joined, and a stream ends at once.
class WebService : public QObject
{
    Q_OBJECT

public:
    explicit WebService(DeviceFleet *fleet, QObject *parent = nullptr);
    ~WebService() override;

    static WebService *current();

    // The history file whose record of today the board starts from with
    // Source="fleet" (empty: none). Read in a thread of its own, from the
    // next apply().
    void setHistoryFile(const QString &file) { m_historyFile = file; }

    // Starts, restarts or stops the board for these settings; the broker's
    // settings serve Source="broker", the language the pages without ?lang=.
    void apply(const WebSettings &settings, const MqttSettings &mqtt, int language);

    // The token asked of every request: VEXA_WEB_TOKEN, else the first line
    // of TokenFile (an owner-only file, as for the broker's password). Empty
    // for none; *problem says why a TokenFile is not used (then nothing is
    // served: the board is not opened to all because its token file broke).
    static QByteArray token(const WebSettings &settings, QString *problem);
    static constexpr char TokenVariable[] = "VEXA_WEB_TOKEN";

    bool isServing() const;
    quint16 port() const;
    // For SET and the log: where the board is, or why it is not.
    QString statusText() const;
    // The reason of the stop under way of a device, for Source="fleet".
    void setStopReason(DeviceWatch *watch, const QString &text);
    Board *board() const { return m_board.get(); }

    // Every open board gets the whole fleet this often (the utilization
    // moves on without reports).
    static constexpr int RefreshMs = 60000;

signals:
    void statusChanged();

private:
    void stop();
    // Reads the history's today in a thread and hands it to the board.
    void readHistory(qint64 until);

    QPointer<DeviceFleet> m_fleet;
    WebSettings m_settings;
    MqttSettings m_mqtt;
    int m_language = 0;
    bool m_applied = false;
    QString m_problem;
    bool m_hasToken = false;
    std::unique_ptr<Board> m_board;
    std::unique_ptr<WebServer> m_server;
    FleetSource *m_fleetSource = nullptr;
    BrokerSource *m_brokerSource = nullptr;
    QTimer m_refresh;
    QString m_historyFile;
    std::unique_ptr<QThread> m_historyRead;
    std::atomic_bool m_cancelRead{false};
    int m_generation = 0; // of the board: a reading for an earlier one is dropped
};

} // namespace Web
