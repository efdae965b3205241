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
    // Read whatever the card last saw: the read is admitted only once a poll
    // under way has ended, and that poll may have found the controller idle,
    // so a state read before it would skip the keep of a text the write then
    // replaces. A write the controller then refuses keeps a version that
    // equals the newest one, which the store does not keep twice.
    const QString name = device->record().Name;
    return keep(name, target, operation, ControllerTexts::read(device, target), why);
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
