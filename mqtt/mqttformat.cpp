#include "mqtt/mqttformat.h"

#include <QVector>

namespace MqttFormat {

namespace {

// A topic travels with a 16-bit length; device names and the fixed parts are
// short, so a prefix of this size leaves ample room.
constexpr int MaxPrefixBytes = 1024;

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

QByteArray numberOrNull(qint64 value)
{
    return value < 0 ? QByteArrayLiteral("null") : number(value);
}

} // namespace

QString topicId(const QString &name, const QString &shortId)
{
    if (!shortId.isEmpty())
        return topicId(name) + QLatin1Char('-') + topicId(shortId);
    if (name.isEmpty())
        return QStringLiteral("_");
    QString id;
    const QVector<uint> codes = name.toUcs4();
    for (const uint code : codes) {
        const bool keep = QChar::isLetter(code) || QChar::isDigit(code) || code == '-' || code == '_';
        if (keep)
            id.append(QString::fromUcs4(&code, 1));
        else
            id.append(QLatin1Char('_'));
    }
    return id;
}

bool isUsablePrefix(const QString &prefix)
{
    if (prefix.isEmpty() || prefix.startsWith(QLatin1Char('$')) || prefix.toUtf8().size() > MaxPrefixBytes)
        return false;
    for (const QChar c : prefix) {
        if (c == QLatin1Char('+') || c == QLatin1Char('#') || c.unicode() == 0 || c.isSurrogate())
            return false;
    }
    return true;
}

QString stateWord(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("running");
    case 2:
        return QStringLiteral("alarm");
    case 3:
        return QStringLiteral("idle");
    case 4:
        return QStringLiteral("connecting");
    default:
        return QStringLiteral("offline");
    }
}

QString timeText(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray jsonString(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out.append('"');
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.append('\\').append(c);
        } else if (byte < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out.append("\\u00").append(hex[byte >> 4]).append(hex[byte & 0xF]);
        } else {
            out.append(c);
        }
    }
    out.append('"');
    return out;
}

namespace {

QByteArray reasonObject(int reasonCode, const QString &reasonText)
{
    return "{\"code\":" + number(reasonCode) + ",\"text\":" + jsonString(reasonText) + '}';
}

} // namespace

QByteArray stateJson(int code, const QString &program, qint32 pieces, qint32 target, const QDateTime &time,
                     int reasonCode, const QString &reasonText)
{
    QByteArray json = QByteArrayLiteral("{\"state\":");
    json += jsonString(stateWord(code));
    json += ",\"code\":" + number(code);
    json += ",\"program\":" + (program.isEmpty() ? QByteArrayLiteral("null") : jsonString(program));
    json += ",\"pieces\":" + numberOrNull(pieces);
    json += ",\"target\":" + numberOrNull(target);
    json += ",\"time\":" + jsonString(timeText(time));
    if (reasonCode > 0)
        json += ",\"reason\":" + reasonObject(reasonCode, reasonText);
    return json + '}';
}

QByteArray stopReasonJson(int reasonCode, const QString &reasonText, const QDateTime &time)
{
    return "{\"event\":\"stop-reason\",\"reason\":" + reasonObject(reasonCode, reasonText) +
           ",\"time\":" + jsonString(timeText(time)) + '}';
}

QByteArray eventJson(const QString &kind, const QString &target, int result, qint64 bytes,
                     const QDateTime &time)
{
    QByteArray json = QByteArrayLiteral("{\"event\":");
    json += jsonString(kind);
    json += ",\"target\":" + jsonString(target);
    json += ",\"result\":" + number(result);
    json += result == 0 ? QByteArrayLiteral(",\"ok\":true") : QByteArrayLiteral(",\"ok\":false");
    json += ",\"bytes\":" + number(bytes);
    json += ",\"time\":" + jsonString(timeText(time)) + '}';
    return json;
}

} // namespace MqttFormat
