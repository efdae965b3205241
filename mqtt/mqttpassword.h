#pragma once

#include "config/mqttsettings.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QObject;

// Where the broker's password comes from, never Configure.xml: the
// environment variable VEXA_MQTT_PASSWORD, else the settings' PasswordFile,
// else, on a desktop, the user's keyring. The keyring keeps it under a key
// that names the user and the broker, so a password is never sent to a broker
// other than the one it was typed for.
namespace MqttPassword {

enum class Source { None, Environment, File, Keyring };

// Why a password file is not used.
enum class Refusal { None, Missing, NotPlainFile, OthersCanRead, NotOwner, TooLarge };

struct Lookup
{
    Source source = Source::None;
    QByteArray password;
    Refusal refusal = Refusal::None; // for Source::File
    QString keyringError;            // the keyring's own words when it could not answer
};

constexpr char EnvironmentVariable[] = "VEXA_MQTT_PASSWORD";
// A password is a line; nothing this large is one.
constexpr qint64 MaxFileBytes = 4096;

// The environment variable, else the file (Source::None when neither is set).
Lookup fromEnvironmentOrFile(const MqttSettings &settings);

// The file's first line, without its line break. Refused unless it is a plain
// file that belongs to the user running the program and that nobody else
// (group, others) may read.
QByteArray readFile(const QString &path, Refusal *refusal);

// The keyring, asynchronously; done runs in context's thread, never when
// context is gone.
QString keyringKey(const MqttSettings &settings);
void readKeyring(const MqttSettings &settings, QObject *context,
                 const std::function<void(const Lookup &)> &done);
void writeKeyring(const MqttSettings &settings, const QByteArray &password, QObject *context,
                  const std::function<void(bool ok, const QString &error)> &done);

// One sentence for SET and the log: where the password is kept.
QString describe(const Lookup &lookup, const MqttSettings &settings);

} // namespace MqttPassword
