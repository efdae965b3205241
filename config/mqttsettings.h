#pragma once

#include <QString>

// How the program reaches the shop's MQTT broker: Configure.xml's one Mqtt
// element, edited in SET. The password is never part of it; where it comes
// from is MqttPassword's business.
struct MqttSettings
{
    bool Enabled = false;
    QString Host = QStringLiteral("127.0.0.1");
    int Port = 1883;
    QString Prefix = QStringLiteral("vexa");
    QString User;
    QString CaFile;       // TLS to the broker when set
    QString PasswordFile; // where no keyring runs: a file only its owner can read
};

inline bool operator==(const MqttSettings &a, const MqttSettings &b)
{
    return a.Enabled == b.Enabled && a.Host == b.Host && a.Port == b.Port && a.Prefix == b.Prefix &&
           a.User == b.User && a.CaFile == b.CaFile && a.PasswordFile == b.PasswordFile;
}

inline bool operator!=(const MqttSettings &a, const MqttSettings &b)
{
    return !(a == b);
}
