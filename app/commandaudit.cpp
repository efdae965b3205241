#include "app/commandaudit.h"

#include "config/configstore.h"
#include "history/historyrecorder.h"
#include "history/historystore.h"
#include "mqtt/mqttclient.h"
#include "mqtt/mqttformat.h"
#include "mqtt/mqttpassword.h"
#include "mqtt/mqttservice.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

CommandAudit::CommandAudit() = default;

// At the first entry: a run that wrote nothing (a usage error, a dry run)
// leaves no history file and makes no connection.
void CommandAudit::start()
{
    const ConfigStore *config = ConfigStore::instance();
    m_history = std::make_unique<History::Recorder>(
        History::HistoryStore::fileBeside(ConfigStore::filePath()), config->historyRetentionDays());
    const MqttSettings settings = config->mqttSettings();
    if (!settings.Enabled || !MqttFormat::isUsablePrefix(settings.Prefix))
        return;
    const MqttPassword::Lookup lookup = MqttPassword::fromEnvironmentOrFile(settings);
    if (lookup.refusal != MqttPassword::Refusal::None)
        return;
    m_prefix = settings.Prefix;
    m_broker = std::make_unique<MqttClient>();
    m_broker->start(MqttService::clientOptions(settings, lookup.password));
}

CommandAudit::~CommandAudit()
{
    m_history.reset(); // writes what is pending
    if (!m_broker || m_events == 0)
        return;
    QEventLoop loop;
    QTimer check;
    const QDeadlineTimer deadline(DeliveryWaitMs);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (m_broker->counters().sent >= quint64(m_events) || deadline.hasExpired())
            loop.quit();
    });
    check.start(20);
    loop.exec();
    if (m_broker->counters().sent < quint64(m_events))
        std::fprintf(stderr, "%s\n",
                     qPrintable(QStringLiteral("MQTT: %1 events not delivered (%2)")
                                    .arg(m_events - int(m_broker->counters().sent))
                                    .arg(m_broker->problemDetail())));
    m_broker->stop(true);
}

void CommandAudit::note(const DeviceRecord &device, const QString &kind, const QString &target, int result,
                        qint64 bytes)
{
    if (!m_history)
        start();
    m_history->noteOperation(History::HistoryStore::deviceKey(device.Name, device.Id), kind, target, result,
                             bytes);
    if (!m_broker)
        return;
    QString event = kind;
    event.replace(QLatin1Char(' '), QLatin1Char('-'));
    m_broker->publishEvent(m_prefix + QLatin1Char('/') + MqttFormat::topicId(device.Name, device.shortId()) +
                               QStringLiteral("/event"),
                           MqttFormat::eventJson(event, target, result, bytes, QDateTime::currentDateTime()));
    ++m_events;
}
