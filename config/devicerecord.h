#pragma once

#include <QString>
#include <QVariant>
#include <QtGlobal>

// One controller as stored in Configure.xml and held by its card's ModbusDevice.
// The member defaults are what a Device element of the file without the
// attribute reads as; files written by hand rely on them.
struct DeviceRecord
{
    qint32 Type = 0; // 0 Modbus RTU, 1 Modbus TCP
    QString Name;
    quint8 Model = 0; // 0 "P7", 1 "P5", 2 "P5X"
    QString IP = QStringLiteral("192.168.1.10");
    quint8 Address = 10; // Modbus server (station) address
    bool On = false;     // the card's switch when the list was saved; switched on again at start

    // What the add button makes, and what a card holds before it is given a
    // record: a Modbus TCP controller named 设备 at 192.168.3.20.
    static DeviceRecord newDevice()
    {
        DeviceRecord record;
        record.Type = 1;
        record.Name = QStringLiteral("设备");
        record.IP = QStringLiteral("192.168.3.20");
        return record;
    }
};

inline bool operator==(const DeviceRecord &a, const DeviceRecord &b)
{
    return a.Type == b.Type && a.Name == b.Name && a.Model == b.Model && a.IP == b.IP &&
           a.Address == b.Address && a.On == b.On;
}

// Link settings shared by every device. The serial values are variants because
// they arrive as numbers (defaults), attribute texts (file) or combo-box texts
// (settings view); consumers convert them where they use them.
struct ModbusSettings
{
    QVariant Port = QStringLiteral("COM3");
    QVariant Parity = 3; // QSerialPort::Parity, odd by default
    QVariant BaudRate = 115200;
    QVariant DataBits = 8;
    QVariant StopBits = 1;      // QSerialPort::StopBits
    QVariant NetworkPort = 502; // never stored
    quint8 NumberOfRetries = 3;
    qint32 Timeout = 300; // milliseconds
};
