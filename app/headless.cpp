#include "app/headless.h"

#include "app/quitsignals.h"
#include "config/configstore.h"
#include "config/translations.h"
#include "history/fleetrecording.h"
#include "history/historyrecorder.h"
#include "link/devicefleet.h"
#include "link/devicewatch.h"
#include "link/modbusdevice.h"
#include "mqtt/mqttservice.h"
#include "web/webservice.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>

#include <sys/resource.h>

namespace Headless {

namespace {

// A collector holds a socket per controller: a thousand of them pass the
// 1,024 descriptors a process gets by default, far below what it may take.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int run(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    installQuitSignals(&app);
    raiseDescriptorLimit();
    const ConfigStore *config = ConfigStore::instance();
    Translations::install(config->language());

    // Destroyed in reverse order: the service says goodbye to the broker
    // while the watches still exist, the links close last.
    QObject links;
    DeviceFleet fleet;
    const QList<DeviceRecord> records = config->devices();
    for (const DeviceRecord &record : records) {
        auto *device = new ModbusDevice(&links);
        device->setRecord(record.cleaned());
        auto *watch = new DeviceWatch(device, &fleet);
        fleet.add(watch);
        watch->setOn(true);
    }
    qInfo().noquote() << "vexa-assistant: watching" << records.size() << "controllers of"
                      << QDir::toNativeSeparators(ConfigStore::filePath());

    int code = 0;
    {
        MqttService mqtt(&fleet, false);
        mqtt.apply(config->mqttSettings());
        Web::WebService web(&fleet);
        web.setHistoryFile(History::HistoryStore::fileBeside(ConfigStore::filePath()));
        web.apply(config->webSettings(), config->mqttSettings(), config->language());
        History::Recorder history(History::HistoryStore::fileBeside(ConfigStore::filePath()),
                                  config->historyRetentionDays());
        History::recordFleet(&fleet, &history);
        history.setShifts(config->shifts());
        code = QCoreApplication::exec();
    }
    const QList<DeviceWatch *> watches = fleet.watches();
    for (DeviceWatch *watch : watches) {
        watch->setOn(false);
        fleet.remove(watch);
        delete watch;
    }
    qInfo("vexa-assistant: stopped");
    return code;
}

} // namespace Headless
