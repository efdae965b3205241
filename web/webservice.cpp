#include "web/webservice.h"

#include "link/devicefleet.h"
#include "mqtt/mqttclient.h"
#include "mqtt/mqttpassword.h"
#include "web/board.h"
#include "web/brokersource.h"
#include "web/fleetsource.h"
#include "web/webserver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QHostAddress>
#include <QThread>

namespace Web {

namespace {

WebService *s_current = nullptr;

QString refusalText(MqttPassword::Refusal refusal)
{
    switch (refusal) {
    case MqttPassword::Refusal::None:
        break;
    case MqttPassword::Refusal::Missing:
        return QCoreApplication::translate("WebService", "无法打开");
    case MqttPassword::Refusal::NotPlainFile:
        return QCoreApplication::translate("WebService", "不是普通文件");
    case MqttPassword::Refusal::NotOwner:
        return QCoreApplication::translate("WebService", "不属于当前用户");
    case MqttPassword::Refusal::OthersCanRead:
        return QCoreApplication::translate("WebService", "其他用户可读（应为 chmod 600）");
    case MqttPassword::Refusal::TooLarge:
        return QCoreApplication::translate("WebService", "过大");
    }
    return QString();
}

} // namespace

WebService::WebService(DeviceFleet *fleet, QObject *parent) : QObject(parent), m_fleet(fleet)
{
    if (!s_current)
        s_current = this;
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] {
        if (m_board)
            m_board->broadcastFleet();
    });
    connect(this, &WebService::statusChanged, this, [this] { qInfo().noquote() << "Web:" << statusText(); });
}

WebService::~WebService()
{
    if (s_current == this)
        s_current = nullptr;
    stop();
}

WebService *WebService::current()
{
    return s_current;
}

QByteArray WebService::token(const WebSettings &settings, QString *problem)
{
    problem->clear();
    QByteArray variable = qgetenv(TokenVariable);
    if (!variable.isEmpty())
        return variable;
    if (settings.TokenFile.isEmpty())
        return QByteArray();
    MqttPassword::Refusal refusal = MqttPassword::Refusal::None;
    QByteArray token = MqttPassword::readFile(settings.TokenFile, &refusal);
    if (refusal != MqttPassword::Refusal::None)
        *problem = QCoreApplication::translate("WebService", "令牌文件 %1 %2，看板未开启")
                       .arg(settings.TokenFile, refusalText(refusal));
    else if (token.isEmpty())
        *problem = QCoreApplication::translate("WebService", "令牌文件 %1 是空的，看板未开启")
                       .arg(settings.TokenFile);
    return token;
}

void WebService::apply(const WebSettings &settings, const MqttSettings &mqtt, int language)
{
    const bool mqttMatters = settings.fromBroker() || m_settings.fromBroker();
    if (m_applied && settings == m_settings && (!mqttMatters || mqtt == m_mqtt) && language == m_language)
        return;
    m_applied = true;
    m_settings = settings;
    m_mqtt = mqtt;
    m_language = language;
    stop();
    m_problem.clear();
    if (!settings.Enabled) {
        emit statusChanged();
        return;
    }
    WebServer::Options options;
    options.address = QHostAddress(settings.Listen);
    options.port = quint16(settings.Port);
    options.language = language;
    options.token = token(settings, &m_problem);
    m_hasToken = !options.token.isEmpty();
    if (!m_problem.isEmpty()) {
        emit statusChanged();
        return;
    }
    if (options.address.isNull()) {
        m_problem = QCoreApplication::translate("WebService", "监听地址 %1 无效").arg(settings.Listen);
        emit statusChanged();
        return;
    }
    const qint64 started = QDateTime::currentMSecsSinceEpoch();
    m_board = std::make_unique<Board>();
    m_server = std::make_unique<WebServer>(m_board.get());
    QString error;
    if (!m_server->start(options, &error)) {
        m_problem = QCoreApplication::translate("WebService", "无法在 %1:%2 监听（%3）")
                        .arg(settings.Listen)
                        .arg(settings.Port)
                        .arg(error);
        stop();
        emit statusChanged();
        return;
    }
    if (settings.fromBroker()) {
        m_brokerSource =
            new BrokerSource(mqtt, MqttPassword::fromEnvironmentOrFile(mqtt).password, m_board.get(), this);
        connect(m_brokerSource->client(), &MqttClient::connectedChanged, this, &WebService::statusChanged);
    } else if (m_fleet) {
        m_fleetSource = new FleetSource(m_fleet, m_board.get(), this);
        readHistory(started);
    }
    m_refresh.start();
    emit statusChanged();
}

// The store may take long with many devices: it is read by a connection of
// its own in a thread, and the result reaches the board queued, on this
// thread, unless that board went meanwhile. Stopping waits for the reading,
// which gives up at its next row.
void WebService::readHistory(qint64 until)
{
    if (m_historyFile.isEmpty())
        return;
    const QVector<RecordedDevice> devices = m_fleetSource->recordedDevices();
    const qint64 day =
        QDateTime(QDateTime::fromMSecsSinceEpoch(until).date(), QTime(0, 0)).toMSecsSinceEpoch();
    const int generation = m_generation;
    m_historyRead.reset(QThread::create([this, file = m_historyFile, devices, day, until, generation] {
        const QHash<QString, Board::PastDay> days = readPastDay(file, devices, day, until, m_cancelRead);
        if (days.isEmpty() || m_cancelRead)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, days, generation] {
                if (m_board && generation == m_generation)
                    m_board->loadDay(days);
            },
            Qt::QueuedConnection);
    }));
    m_historyRead->start(QThread::LowPriority);
}

void WebService::stop()
{
    if (m_historyRead) {
        m_cancelRead = true;
        m_historyRead->wait();
        m_historyRead.reset();
        m_cancelRead = false;
    }
    ++m_generation;
    m_refresh.stop();
    delete m_fleetSource;
    m_fleetSource = nullptr;
    delete m_brokerSource;
    m_brokerSource = nullptr;
    m_server.reset(); // closes the streams and joins the server's threads
    m_board.reset();
}

bool WebService::isServing() const
{
    return m_server && m_server->isRunning();
}

quint16 WebService::port() const
{
    return m_server ? m_server->port() : 0;
}

QString WebService::statusText() const
{
    if (!m_problem.isEmpty())
        return m_problem;
    if (!isServing())
        return QCoreApplication::translate("WebService", "未启用");
    const QHostAddress address(m_settings.Listen);
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + m_settings.Listen + QLatin1Char(']')
                             : m_settings.Listen;
    QString text = QCoreApplication::translate("WebService", "看板在 http://%1:%2/").arg(host).arg(port());
    if (m_hasToken)
        text += QCoreApplication::translate("WebService", "，需要令牌");
    if (m_brokerSource)
        text += m_brokerSource->client()->isConnected()
                    ? QCoreApplication::translate("WebService", "，已连接代理")
                    : QCoreApplication::translate("WebService", "，正在连接代理…");
    return text;
}

void WebService::setStopReason(DeviceWatch *watch, const QString &text)
{
    if (m_fleetSource)
        m_fleetSource->setStopReason(watch, text);
}

} // namespace Web
