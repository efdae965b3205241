#include "link/registercodec.h"

#include "link/protocol.h"

#include <QTime>

#include <cmath>
#include <limits>

namespace RegisterCodec {

namespace {

constexpr int AxisFirstWord = 6;

int axisIndex(int axis)
{
    // Axis numbers come from the controller; anything that cannot address a
    // word maps to an index that is never present.
    if (axis < 0 || axis > (std::numeric_limits<int>::max() - AxisFirstWord) / 2)
        return -1;
    return AxisFirstWord + 2 * axis;
}

int clampToInt(double magnitude)
{
    if (!std::isfinite(magnitude))
        return 0;
    if (magnitude >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(magnitude);
}

} // namespace

quint16 wordAt(const QVector<quint16> &words, int index)
{
    if (index < 0 || index >= words.size())
        return 0;
    return words.at(index);
}

quint32 unsigned32(const QVector<quint16> &words, int index)
{
    if (index < 0 || index == std::numeric_limits<int>::max())
        return 0;
    return quint32(wordAt(words, index)) | (quint32(wordAt(words, index + 1)) << 16);
}

qint32 signed32(const QVector<quint16> &words, int index)
{
    return static_cast<qint32>(unsigned32(words, index));
}

quint32 axisUnsigned(const QVector<quint16> &words, int axis)
{
    return unsigned32(words, axisIndex(axis));
}

qint32 axisSigned(const QVector<quint16> &words, int axis)
{
    return signed32(words, axisIndex(axis));
}

quint16 axisWord(const QVector<quint16> &words, int axis)
{
    return wordAt(words, axisIndex(axis));
}

bool hasAxisWord(const QVector<quint16> &words, int axis)
{
    const int index = axisIndex(axis);
    return index >= 0 && index < words.size();
}

int statusState(const QVector<quint16> &words)
{
    if (words.size() <= Protocol::StatusFlagsWord)
        return DeviceState::Idle;
    const quint16 flags = words.at(Protocol::StatusFlagsWord);
    if (flags & Protocol::StatusAlarmFlag)
        return DeviceState::Alarm;
    if (flags & Protocol::StatusRunningFlag)
        return DeviceState::Running;
    return DeviceState::Idle;
}

QString axisLabel(quint16 code)
{
    static const char *const letters[] = {"X", "Y", "Z", "A", "B", "C", "U", "V", "W"};
    if (code >= 1 && code <= 9)
        return QString::fromLatin1(letters[code - 1]);
    if (code < 100 || code > 999)
        return {};
    QString label = QString::fromLatin1(letters[code / 100 - 1]);
    const int rest = code % 100;
    if (rest <= 9)
        label += QChar('0' + rest);
    else if (rest >= 66 && rest <= 89)
        label += QChar(rest);
    return label;
}

QString defaultAxisLabel(int axis)
{
    if (axis < 0 || axis >= 9)
        return {};
    return axisLabel(quint16(axis + 1));
}

QString coordinateText(qint32 value, int decimals)
{
    const int d = qBound(0, decimals, MaxDecimals);
    // Formed in single precision, as the controller's own display does, so
    // both show the same last digit.
    const float factor = static_cast<float>(std::pow(0.1f, d));
    const float scaled = static_cast<float>(value) * factor;
    return QString::number(static_cast<double>(scaled), 'f', d);
}

QString cycleTimeText(quint32 tenths)
{
    const qint64 dayMs = 24ll * 3600 * 1000;
    const int ms = static_cast<int>((qint64(tenths) * 100) % dayMs);
    const QTime time = QTime(0, 0).addMSecs(ms);
    return time.toString(QStringLiteral("mm:ss")) + QLatin1Char('.') + QString::number(time.msec());
}

QString runTimeText(quint32 tenths)
{
    const int seconds = static_cast<int>((tenths / 10) % (24u * 3600));
    return QTime(0, 0).addSecs(seconds).toString(QStringLiteral("HH:mm:ss"));
}

QString workModeText(quint8 mode)
{
    switch (mode) {
    case 0:
        return QStringLiteral("回零");
    case 1:
        return QStringLiteral("增量");
    case 2:
        return QStringLiteral("手轮");
    case 4:
        return QStringLiteral("手动");
    case 8:
        return QStringLiteral("录入");
    case 32:
        return QStringLiteral("自动");
    case 64:
        return QStringLiteral("编辑");
    default:
        return QStringLiteral("未知");
    }
}

float speedDivisor(quint32 speedParameter, quint32 speedScale)
{
    const quint64 product = quint64(speedParameter) * speedScale;
    return static_cast<float>(product) / 60000000.0f;
}

int speedValue(qint32 raw, float divisor)
{
    if (divisor == 0.0f || !std::isfinite(divisor))
        return 0;
    const float quotient = static_cast<float>(raw) / divisor;
    return clampToInt(std::fabs(static_cast<double>(quotient)));
}

int torqueValue(qint32 raw)
{
    return clampToInt(std::fabs(static_cast<double>(static_cast<float>(raw)) / 10.0));
}

} // namespace RegisterCodec
