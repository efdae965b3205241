#include "archive/archiveguard.h"

#include "archive/archivestore.h"
#include "config/configstore.h"
#include "link/modbusdevice.h"

#include <QDateTime>

bool ArchiveGuard::enabled()
{
    return ConfigStore::instance()->archiveEnabled();
}

bool ArchiveGuard::keepCurrent(ModbusDevice *device, const TextTarget &target,
                               ArchiveIndex::Operation operation, QString *why)
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
    const ControllerTexts::Current current = ControllerTexts::read(device, target);
    if (device->stateCode() != DeviceState::Idle)
        return true;
    return keep(device->record().Name, target, operation, current, why);
}

bool ArchiveGuard::keep(const QString &device, const TextTarget &target, ArchiveIndex::Operation operation,
                        const ControllerTexts::Current &current, QString *why)
{
    if (!enabled() || current.absent)
        return true;
    if (!current.ok()) {
        if (why)
            *why = tr("无法读取控制器上的 %1 (代码 %2)，未能存档，操作未执行")
                       .arg(target.name)
                       .arg(current.result);
        return false;
    }
    QString reason;
    if (!ArchiveStore::configured().keep(device, target.name, operation, current.bytes,
                                         QDateTime::currentDateTime(), &reason)) {
        if (why)
            *why = tr("%1 未能存档 (%2)，操作未执行").arg(target.name, reason);
        return false;
    }
    return true;
}

int ArchiveGuard::write(ModbusDevice *device, const TextTarget &target, const QByteArray &bytes,
                        ArchiveIndex::Operation operation, const TransferProgress &progress, QString *why)
{
    if (!keepCurrent(device, target, operation, why))
        return NotKept;
    return ControllerTexts::write(device, target, bytes, progress);
}
