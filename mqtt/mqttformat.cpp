#include "mqtt/mqttformat.h"

#include "link/exportwords.h"

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
    json += jsonString(ExportWords::brokerState(code));
    json += ",\"code\":" + number(code);
    json += ",\"program\":" + (program.isEmpty() ? QByteArrayLiteral("null") : jsonString(program));
    json += ",\"pieces\":" + numberOrNull(pieces);
    json += ",\"target\":" + numberOrNull(target);
    json += ",\"time\":" + jsonString(ExportWords::isoTime(time));
    if (reasonCode > 0)
        json += ",\"reason\":" + reasonObject(reasonCode, reasonText);
    return json + '}';
}

QByteArray stopReasonJson(int reasonCode, const QString &reasonText, const QDateTime &time)
{
    return "{\"event\":\"stop-reason\",\"reason\":" + reasonObject(reasonCode, reasonText) +
           ",\"time\":" + jsonString(ExportWords::isoTime(time)) + '}';
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
    json += ",\"time\":" + jsonString(ExportWords::isoTime(time)) + '}';
    return json;
}

} // namespace MqttFormat
