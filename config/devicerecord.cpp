#include "config/devicerecord.h"

#include <QUuid>

DeviceRecord DeviceRecord::newDevice()
{
    DeviceRecord record;
    record.Type = 1;
    record.Name = QStringLiteral("设备");
    record.IP = QStringLiteral("192.168.3.20");
    record.Id = newId();
    return record;
}

QString DeviceRecord::newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

DeviceRecord DeviceRecord::cleaned() const
{
    DeviceRecord held = *this;
    held.Type = Type == 0 ? 0 : 1;
    held.Model = quint8(qMin<int>(Model, LastModel));
    held.Address = qMax<quint8>(Address, 1);
    return held;
}

QString DeviceRecord::shortId() const
{
    const bool uuid = !QUuid::fromString(Id).isNull() && Id.size() == 36;
    return uuid ? Id.left(8) : Id;
}

QString DeviceRecord::unusedName(const QString &base, const QStringList &taken)
{
    QString name = base;
    for (int n = 2; taken.contains(name); ++n)
        name = QStringLiteral("%1 %2").arg(base).arg(n);
    return name;
}
