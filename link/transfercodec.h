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
// At most byteCount bytes, and never more than the words hold.
QByteArray unpackBytes(const QVector<quint16> &words, int byteCount);

// A file name in local 8-bit encoding, padded with zero registers to 32; a
// longer name keeps all its registers.
QVector<quint16> encodeName(const QString &name);

// Open commands (20, 0, 0, kind, ...). A program number is one register; a
// number that does not fit one, or a name whose command would not fit one
// Modbus write, gives an empty command: such a transfer cannot be opened.
QVector<quint16> openProgramCommand(quint16 kind, int number);
QVector<quint16> openFileCommand(quint16 kind, const QString &name);
// Four-word request for read chunk or directory entry n: command, 0, 0, n.
QVector<quint16> requestCommand(quint16 command, int n);
// Five-word command without arguments (close, open or close the directory).
QVector<quint16> plainCommand(quint16 command);

// Chunks of a text of L bytes are numbered 1 to L / 200 + 1; the last one is
// empty when L is a multiple of 200.
int chunkCount(qint64 length);
// True when a text of this many bytes can travel through the window: every
// chunk, the last included, gets a number (up to Protocol::MaxTextBytes).
bool fitsWindow(qint64 length);
// Write chunk n (from 1): 23, 0, 0, n, byte count, then the data words.
QVector<quint16> writeChunk(const QByteArray &bytes, int n);
// Progress after a chunk ending at byte `end` of `length`: end * 100 / length,
// 100 for an empty text.
int chunkProgress(qint64 end, qint64 length);

enum class ChunkResult {
    Data,    // bytes appended
    End,     // no values or byte count 0: the text is complete
    Invalid, // byte count above 200 or above what arrived
};
// Appends the bytes of one read chunk (word 0 = byte count, then the data).
ChunkResult appendChunk(const QVector<quint16> &words, QByteArray *bytes);

// Received text bytes up to the first zero byte, decoded as
// TextCodec::decodeControllerText() does.
QString decodeText(const QByteArray &bytes);

// True when a directory reply ends the directory (no values or word 0 = 0).
bool isDirectoryEnd(const QVector<quint16> &words);
// True when an entry reply reaches the last word of the name; a shorter one
// cannot be decoded into the entry the controller meant.
bool isCompleteEntry(const QVector<quint16> &words);
ProgramEntry decodeDirectoryEntry(const QVector<quint16> &words);
// DOS date word as "year/MM/DD".
QString dosDateText(quint16 date);

// Bounds on what one read gathers from a controller that never ends its
// directory or its text. The defaults are the protocol's; tests lower them to
// reach them quickly.
struct ReadLimits
{
    int maxDirectoryEntries;
    qint64 maxTextBytes;
};
ReadLimits readLimits();
void setReadLimits(const ReadLimits &limits);

} // namespace TransferCodec
