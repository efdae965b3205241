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

QString axisLabel(quint16 code);
QString coordinateText(qint32 value, int decimals);
QString cycleTimeText(quint32 tenths);
QString runTimeText(quint32 tenths);
QString workModeText(quint8 mode);
QString programName(quint32 number);
float speedDivisor(quint32 speedParameter, quint32 speedScale);
int speedValue(qint32 raw, float divisor);
int torqueValue(qint32 raw);

} // namespace RegisterCodec
