#pragma once

#include "link/devicestatus.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// Packing of names and texts into transfer-window registers, chunking, and the
// program directory entries. Bytes travel two per register, first byte in the
// low half.
namespace TransferCodec {

QVector<quint16> packBytes(const QByteArray &bytes);
QByteArray unpackBytes(const QVector<quint16> &words, int byteCount);
// A file name in local 8-bit encoding, padded with zero registers to 32.
QVector<quint16> encodeName(const QString &name);
// Chunk n (from 1) of a text of L bytes: header 23, 0, 0, n, count, then data.
int chunkCount(qint64 length);
QVector<quint16> writeChunk(const QByteArray &bytes, int n);
ProgramEntry decodeDirectoryEntry(const QVector<quint16> &words);
QString dosDateText(quint16 date);

} // namespace TransferCodec
