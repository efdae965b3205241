#include "history/fleetrecording.h"

#include "history/historyrecorder.h"
#include "link/devicefleet.h"
#include "link/devicewatch.h"
#include "link/exportwords.h"
#include "link/modbusdevice.h"

namespace History {

namespace {

// The device as the history keeps it: by its Id, under its name.
QString deviceKey(const DeviceWatch *watch)
{
    const ModbusDevice *device = watch->device();
    return HistoryStore::deviceKey(watch->name(), device ? device->record().Id : QString());
}

void note(Recorder *recorder, const DeviceWatch *watch, const DeviceSnapshot &snapshot)
{
    recorder->noteState(quintptr(watch), deviceKey(watch), watch->isOn(), snapshot.state, snapshot.program,
                        snapshot.pieces);
}

void watchOne(Recorder *recorder, DeviceWatch *watch)
{
    note(recorder, watch, watch->snapshot());
    // A watch may go without being removed from the fleet.
    QObject::connect(watch, &QObject::destroyed, recorder,
                     [recorder, key = quintptr(watch)] { recorder->forget(key); });
}

} // namespace

void recordFleet(DeviceFleet *fleet, Recorder *recorder)
{
    fleet->wantCounters();
    QObject::connect(recorder, &QObject::destroyed, fleet, [fleet] { fleet->releaseCounters(); });
    const QList<DeviceWatch *> watches = fleet->watches();
    for (DeviceWatch *watch : watches)
        watchOne(recorder, watch);
    QObject::connect(fleet, &DeviceFleet::added, recorder,
                     [recorder](DeviceWatch *watch) { watchOne(recorder, watch); });
    QObject::connect(fleet, &DeviceFleet::removed, recorder, [recorder](DeviceWatch *watch) {
        QObject::disconnect(watch, &QObject::destroyed, recorder, nullptr);
        recorder->forget(quintptr(watch));
    });
    QObject::connect(
        fleet, &DeviceFleet::snapshotChanged, recorder,
        [recorder](DeviceWatch *watch, const DeviceSnapshot &snapshot) { note(recorder, watch, snapshot); });
    QObject::connect(fleet, &DeviceFleet::operationFinished, recorder,
                     [recorder](DeviceWatch *watch, const DeviceEvent &event) {
                         const QString kind = ExportWords::changeOperation(event.kind);
                         if (!kind.isEmpty())
                             recorder->noteOperation(deviceKey(watch), kind, event.target, event.result,
                                                     event.bytes);
                     });
    QObject::connect(recorder, &Recorder::sampling, fleet, [fleet, recorder] {
        const QList<DeviceWatch *> now = fleet->watches();
        for (const DeviceWatch *watch : now)
            note(recorder, watch, watch->snapshot());
    });
}

} // namespace History
