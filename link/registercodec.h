#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// Decoding and formatting of the controller's data blocks. Register words are
// unsigned 16-bit; a 32-bit value is two words, low word first; a word beyond
// what arrived reads as 0.
namespace RegisterCodec {

quint16 wordAt(const QVector<quint16> &words, int index);
quint32 unsigned32(const QVector<quint16> &words, int index);
qint32 signed32(const QVector<quint16> &words, int index);

// Per-axis blocks: axis a (0-based) is the pair at words 6 + 2a and 7 + 2a.
quint32 axisUnsigned(const QVector<quint16> &words, int axis);
qint32 axisSigned(const QVector<quint16> &words, int axis);
// The low word of axis a's pair (channel, name code, decimals).
quint16 axisWord(const QVector<quint16> &words, int axis);
// True when the low word of axis a's pair arrived.
bool hasAxisWord(const QVector<quint16> &words, int axis);

// Device state from a status block read: alarm (flag 0x100) wins over running
// (0x80), neither is idle, and a read without the flags word counts as idle.
int statusState(const QVector<quint16> &words);

QString axisLabel(quint16 code);
// The label an axis gets before the controller named it: X, Y, Z, A, ... by
// axis number, empty past the ninth.
QString defaultAxisLabel(int axis);

// value x 10^-decimals in single precision, with that many decimal places.
// Decimals outside 0..MaxDecimals are clamped: the count comes from the
// controller and a float carries no more digits anyway.
constexpr int MaxDecimals = 9;
QString coordinateText(qint32 value, int decimals);

// Minutes and seconds in two digits, then the milliseconds without leading
// zeros: 605 tenths -> 01:00.500, 600 -> 01:00.0. Wraps at 24 hours.
QString cycleTimeText(quint32 tenths);
// HH:mm:ss of whole seconds; wraps at 24 hours.
QString runTimeText(quint32 tenths);
// High byte of the work-mode word.
QString workModeText(quint8 mode);

// Speed parameter x scale / 60000000 in single precision.
float speedDivisor(quint32 speedParameter, quint32 speedScale);
// |raw / divisor| truncated; 0 when the divisor is 0 or the quotient is not a
// finite number, and clamped to the int range.
int speedValue(qint32 raw, float divisor);
// |raw / 10| truncated (torque comes in tenths).
int torqueValue(qint32 raw);

} // namespace RegisterCodec
