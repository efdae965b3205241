#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What goes to the broker: topic names and the JSON texts of states and
// events. The keys come in the order consumers were promised, so the texts
// are written here rather than by a JSON object (which sorts its keys).
namespace MqttFormat {

// A device name made fit for one topic level: letters and digits (of any
// script), '-' and '_' stay, every other character becomes '_'; an empty
// name is "_". Distinct names can meet here; the publisher tells them apart.
// With a device's short Id: "Mill (TCP)", "5b1e0c2a" -> "Mill__TCP_-5b1e0c2a",
// so that two collectors' devices of one name never share a topic.
QString topicId(const QString &name, const QString &shortId = QString());

// False for a prefix no topic can start with: empty, holding a wildcard
// (+, #) or NUL, starting with '$' (the broker's own topics), or so long
// that a topic under it could not be sent.
bool isUsablePrefix(const QString &prefix);

// {"state":"running","code":1,"program":"O0001","pieces":12,"target":500,"time":"..."};
// a program not read yet (empty) and counters not read yet (negative) are null.
// While a tagged stop lasts, "reason":{"code":3,"text":"Setup"} follows the time.
QByteArray stateJson(int code, const QString &program, qint32 pieces, qint32 target, const QDateTime &time,
                     int reasonCode = 0, const QString &reasonText = QString());

// {"event":"stop-reason","reason":{"code":3,"text":"Setup"},"time":"..."}
QByteArray stopReasonJson(int reasonCode, const QString &reasonText, const QDateTime &time);

// {"event":"write-program","target":"O0012","result":0,"ok":true,"bytes":1534,"time":"..."}
QByteArray eventJson(const QString &kind, const QString &target, int result, qint64 bytes,
                     const QDateTime &time);

// A JSON string literal, quotes included.
QByteArray jsonString(const QString &text);

} // namespace MqttFormat
