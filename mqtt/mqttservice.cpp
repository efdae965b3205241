#include "mqtt/mqttservice.h"

#include "config/configstore.h"
#include "link/devicefleet.h"
#include "mqtt/mqttclient.h"
#include "mqtt/mqttformat.h"
#include "mqtt/mqttpublisher.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QFileInfo>
#include <QSysInfo>

namespace {

MqttService *s_current = nullptr;

} // namespace

MqttService::MqttService(DeviceFleet *fleet, bool keyringAllowed, QObject *parent)
    : QObject(parent), m_fleet(fleet), m_keyringAllowed(keyringAllowed), m_client(new MqttClient(this))
{
    if (!s_current)
        s_current = this;
    connect(m_client, &MqttClient::connectedChanged, this, &MqttService::statusChanged);
    connect(m_client, &MqttClient::problemChanged, this, &MqttService::statusChanged);
    // One line per change, for a shop server's log as much as for a terminal.
    connect(this, &MqttService::statusChanged, this,
            [this] { qInfo().noquote() << "MQTT:" << statusText(); });
}

MqttService::~MqttService()
{
    if (s_current == this)
        s_current = nullptr;
    disconnect(m_client, nullptr, this, nullptr);
    stopPublishing(true);
}

MqttService *MqttService::current()
{
    return s_current;
}

void MqttService::apply(const MqttSettings &settings, const QByteArray *typedPassword)
{
    if (m_applied && settings == m_settings && !typedPassword)
        return;
    m_applied = true;
    m_settings = settings;
    ++m_ticket;
    m_keyringWriteError.clear();
    if (!typedPassword) {
        lookUpPassword();
        return;
    }
    const quint64 ticket = m_ticket;
    MqttPassword::writeKeyring(settings, *typedPassword, this, [this, ticket](bool ok, const QString &error) {
        if (ticket != m_ticket)
            return;
        m_keyringWriteError = ok ? QString() : error;
        emit statusChanged();
    });
    // The environment and the file still come first; the typed password is
    // for the keyring's place.
    MqttPassword::Lookup lookup = MqttPassword::fromEnvironmentOrFile(settings);
    if (lookup.source == MqttPassword::Source::None) {
        lookup.source = MqttPassword::Source::Keyring;
        lookup.password = *typedPassword;
    }
    startWith(lookup);
}

void MqttService::lookUpPassword()
{
    const MqttPassword::Lookup lookup = MqttPassword::fromEnvironmentOrFile(m_settings);
    const bool askKeyring = lookup.source == MqttPassword::Source::None && m_keyringAllowed &&
                            m_settings.Enabled && !m_settings.User.isEmpty();
    if (!askKeyring) {
        startWith(lookup);
        return;
    }
    // Publishing goes on as it was until the keyring answers.
    const quint64 ticket = m_ticket;
    m_lookingUp = true;
    emit statusChanged();
    MqttPassword::readKeyring(m_settings, this, [this, ticket](const MqttPassword::Lookup &found) {
        if (ticket != m_ticket)
            return;
        m_lookingUp = false;
        startWith(found);
    });
}

void MqttService::startWith(const MqttPassword::Lookup &lookup)
{
    m_lookup = lookup;
    m_lookingUp = false;
    if (!m_settings.Enabled || !MqttFormat::isUsablePrefix(m_settings.Prefix) ||
        lookup.refusal != MqttPassword::Refusal::None || !m_fleet) {
        stopPublishing(false);
        emit statusChanged();
        return;
    }
    MqttClient::Options options = clientOptions(m_settings, lookup.password);
    options.presenceTopic = collectorTopic() + QStringLiteral("/online");
    if (m_publisher)
        m_publisher->publishOffline(); // under the old prefix, to the old broker
    m_client->start(options);
    // The new publisher sends every state at once; made before the old one
    // goes, so the polls never stop reading the counters in between.
    auto *publisher = new MqttPublisher(m_fleet, m_client, m_settings.Prefix, this);
    publisher->setMachinesTopic(collectorTopic() + QStringLiteral("/machines"));
    delete m_publisher;
    m_publisher = publisher;
    emit statusChanged();
}

MqttClient::Options MqttService::clientOptions(const MqttSettings &settings, const QByteArray &password)
{
    MqttClient::Options options;
    options.host = settings.Host;
    options.port = settings.Port;
    options.user = settings.User;
    options.password = password;
    options.caFile = settings.CaFile;
    options.clientId = QStringLiteral("vexa-assistant-%1-%2")
                           .arg(QSysInfo::machineHostName())
                           .arg(QCoreApplication::applicationPid());
    return options;
}

void MqttService::stopPublishing(bool waitForGoodbye)
{
    if (m_publisher) {
        m_publisher->publishOffline();
        delete m_publisher;
        m_publisher = nullptr;
    }
    m_client->stop(waitForGoodbye);
}

QString MqttService::collectorId(const QString &configFile)
{
    const QFileInfo file(configFile);
    const QString path = file.exists() ? file.canonicalFilePath() : file.absoluteFilePath();
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex();
    return MqttFormat::topicId(QSysInfo::machineHostName()) + QLatin1Char('-') + QLatin1String(hash.left(8));
}

QString MqttService::collectorTopic() const
{
    return m_settings.Prefix + QStringLiteral("/$collectors/") + collectorId(ConfigStore::filePath());
}

MqttSettings MqttService::settings() const
{
    return m_settings;
}

MqttClient *MqttService::client() const
{
    return m_client;
}

QString MqttService::passwordText() const
{
    if (m_settings.User.isEmpty())
        return tr("未设用户名：不发送密码");
    if (m_lookingUp)
        return tr("正在读取系统密钥环…");
    QString text = MqttPassword::describe(m_lookup, m_settings);
    if (!m_keyringWriteError.isEmpty())
        text = tr("未能存入系统密钥环（%1），仅本次运行使用；可用 VEXA_MQTT_PASSWORD 或密码文件")
                   .arg(m_keyringWriteError);
    return text;
}

QString MqttService::statusText() const
{
    const QString broker = QStringLiteral("%1:%2").arg(m_settings.Host).arg(m_settings.Port);
    if (!m_settings.Enabled)
        return tr("未启用");
    if (!MqttFormat::isUsablePrefix(m_settings.Prefix))
        return tr("主题前缀不可用：不能为空，不能含 + 或 #，不能以 $ 开头");
    if (m_lookup.refusal != MqttPassword::Refusal::None)
        return MqttPassword::describe(m_lookup, m_settings);
    if (m_lookingUp)
        return tr("正在读取系统密钥环…");
    if (!m_publisher)
        return tr("未启用");
    if (m_client->isConnected())
        return tr("已连接 %1").arg(broker);
    const QString detail = m_client->problemDetail();
    switch (m_client->problem()) {
    case MqttClient::Problem::None:
        break;
    case MqttClient::Problem::Unreachable:
        return tr("无法连接 %1（%2），稍后重试").arg(broker, detail);
    case MqttClient::Problem::Refused:
        return tr("代理拒绝连接（%1），稍后重试").arg(detail);
    case MqttClient::Problem::Silent:
        return tr("代理无响应，稍后重试");
    case MqttClient::Problem::Lost:
        return tr("连接中断（%1），稍后重试").arg(detail);
    case MqttClient::Problem::Tls:
        return tr("CA 文件不可用（%1）").arg(detail);
    }
    return tr("正在连接 %1…").arg(broker);
}

void MqttService::setStopReason(DeviceWatch *watch, int code, const QString &text)
{
    if (m_publisher)
        m_publisher->setStopReason(watch, code, text);
}
