#pragma once

#include <QString>
#include <QStringList>
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
    // Which controller this is, whatever it is named: made once (a UUID
    // without braces) and never changed. The archive, the backups, the
    // history and the broker's topics are kept by it. Empty only in a record
    // that was never given one; ConfigStore gives every record it reads one.
    QString Id{};

    static constexpr int LastModel = 2;
    bool On = false;     // the card's switch when the list was saved; switched on again at start

    // What the add button makes, and what a card holds before it is given a
    // record: a Modbus TCP controller named 设备 at 192.168.3.20, with an Id
    // of its own.
    static DeviceRecord newDevice();
    static QString newId();

    // The record as a link can use it, the one rule for the card, the command
    // line and the windowless mode. Only 0 is a serial link; any other stored
    // value is TCP, the one kind the device can still open. A model past the
    // last is the last (the IO view reads it so). Station 0 is the broadcast
    // address, which never answers: it is taken as 1.
    DeviceRecord cleaned() const;

    // The first 8 characters of a UUID Id, any other Id whole: enough to tell
    // apart two devices of one name, short enough for a folder or a topic.
    QString shortId() const;

    // "设备", or "设备 2", "设备 3", … : the first not among the names given.
    static QString unusedName(const QString &base, const QStringList &taken);
};

inline bool operator==(const DeviceRecord &a, const DeviceRecord &b)
{
    return a.Type == b.Type && a.Name == b.Name && a.Model == b.Model && a.IP == b.IP &&
           a.Address == b.Address && a.Id == b.Id && a.On == b.On;
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
