#include "archive/archiveguard.h"

#include "archive/archivestore.h"
#include "config/configstore.h"
#include "link/modbusdevice.h"
#include "link/resulttext.h"

#include <QDateTime>

bool ArchiveGuard::enabled()
{
    return ConfigStore::instance()->archiveEnabled();
}

bool ArchiveGuard::keepCurrent(ModbusDevice *device, const TextTarget &target,
                               ArchiveIndex::Operation operation, QString *why,
                               const ControllerTexts::SharedDirectory &directory)
{
    if (!enabled())
        return true;
    if (!device) {
        if (why)
            *why = tr("未连接设备");
        return false;
    }
    // The read is admitted only once a poll under way has ended, and that poll
    // may have found the controller idle: whether the write will go ahead is
    // decided after it. A controller that is not idle then refuses the write
    // or delete that follows (no event is handled in between, so no poll can
    // change that): nothing is replaced, and a version kept for it would only
    // push real ones out of the bound.
    const ControllerTexts::Current current = ControllerTexts::read(device, target, directory);
    if (device->stateCode() != DeviceState::Idle)
        return true;
    return keep(device->record(), target, operation, current, why);
}

bool ArchiveGuard::keep(const DeviceRecord &device, const TextTarget &target,
                        ArchiveIndex::Operation operation, const ControllerTexts::Current &current,
                        QString *why)
{
    if (!enabled() || current.absent)
        return true;
    if (!current.ok()) {
        if (why)
            *why = tr("无法读取控制器上的 %1：%2，未能存档，操作未执行")
                       .arg(target.name, ResultText::withCode(current.result));
        return false;
    }
    QString reason;
    const ArchiveStore store = ArchiveStore::configured();
    if (!store.keep(store.deviceFolder(device, true), target.name, operation, current.bytes,
                    QDateTime::currentDateTime(), &reason)) {
        if (why)
            *why = tr("%1 未能存档 (%2)，操作未执行").arg(target.name, reason);
        return false;
    }
    return true;
}

int ArchiveGuard::write(ModbusDevice *device, const TextTarget &target, const QByteArray &bytes,
                        ArchiveIndex::Operation operation, const TransferProgress &progress, QString *why,
                        const ControllerTexts::SharedDirectory &directory)
{
    // Held here: the caller's may go while the write waits.
    // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
    const ControllerTexts::SharedDirectory held = directory;
    if (!keepCurrent(device, target, operation, why, held))
        return NotKept;
    const int result = ControllerTexts::write(device, target, bytes, progress);
    if (held && result == Result::Ok)
        held->noteWritten(target, bytes.size());
    return result;
}
