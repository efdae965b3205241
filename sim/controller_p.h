#pragma once

#include "controller.h"

#include <QMap>
#include <QPointer>

#include <functional>

namespace sim {

// The controller's own map. Addresses and values are written down here from
// the controller's side, on purpose independently of the PC program's table.
namespace reg {
constexpr int SignatureBlock = 0x1E00;    // PC writes 0x7376, channel here
constexpr int SignatureReadBack = 0x7376; // ... and reads them back here
constexpr quint16 SignatureWord = 0x7376;
constexpr int TransferCommand = 0x3300;
constexpr int TransferReply = 0x3304;
constexpr int TransferReplySize = 125; // the reply buffer covers one maximal read
constexpr int DeleteCommand = 0x2000;
constexpr int BlockSpan = 128; // a descriptor governs at most this many registers
constexpr int MaxChunkBytes = 200;
constexpr int MaxReadRegisters = 125;
constexpr int MaxWriteRegisters = 123;
constexpr int MaxReadCoils = 2000;
constexpr int IoWords = 16;
} // namespace reg

namespace exc {
constexpr quint8 IllegalFunction = 0x01;
constexpr quint8 IllegalAddress = 0x02;
constexpr quint8 IllegalValue = 0x03;
constexpr quint8 DeviceFailure = 0x04;
} // namespace exc

// The transfer window's commands and the kinds of text an open names.
namespace cmd {
constexpr quint16 Open = 20;
constexpr quint16 Close = 21;
constexpr quint16 ReadChunk = 22;
constexpr quint16 WriteChunk = 23;
constexpr quint16 Delete = 25;
constexpr quint16 OpenDirectory = 30;
constexpr quint16 CloseDirectory = 31;
constexpr quint16 DirectoryEntry = 32;
constexpr quint16 KindReadProgram = 1;
constexpr quint16 KindReadFile = 2;
constexpr quint16 KindWriteProgram = 0x1001;
constexpr quint16 KindWriteFile = 0x1003;
} // namespace cmd

// An exception reply to a request of the given function.
QByteArray exceptionPdu(quint8 function, quint8 code);
// The big-endian word at offset of a PDU; 0 past its end.
quint16 wordAt(const QByteArray &pdu, int offset);

struct Descriptor
{
    quint16 type = 0;
    quint16 channel = 0;
    quint16 item = 0;
    quint16 reserved = 0;
};

struct StoredProgram
{
    QByteArray text;
    QDate date;
};

enum class Window { Closed, ReadTransfer, WriteTransfer, Directory };

// One per simulated controller, its fields grouped by meaning: the padding
// the analyser would save is a few bytes.
struct Controller::Private // NOLINT(clang-analyzer-optin.performance.Padding)
{
    quint8 station = 10;

    // static data
    QVector<AxisConfig> axes;
    quint16 channelCount = 1;
    quint32 speedScale = 10000;
    int runCoil = 0;
    int alarmCoil = 0;
    int idleCoil = 0;

    // live data
    RunState state = RunState::Idle;
    int statusFlagsOverride = -1;
    quint32 pieceCount = 0;
    quint32 pieceTarget = 0;
    quint32 cycleTime = 0;
    quint32 runTime = 0;
    quint16 programNumber = 0;
    quint8 workMode = 0;
    quint16 inputs[reg::IoWords] = {};
    quint16 outputs[reg::IoWords] = {};

    // installation: what the PC wrote, kept across its connections
    QMap<int, Descriptor> blocks; // by block start address
    bool signature = false;
    quint16 signatureChannel = 0;
    QHash<int, quint16> plain; // registers written outside any known meaning

    // program and file store
    QMap<int, StoredProgram> programs;
    QMap<QString, QByteArray> files;

    // transfer window
    Window window = Window::Closed;
    bool windowIsProgram = false;
    int windowProgram = 0;
    QString windowFile;
    QByteArray windowText; // being read or being written
    QList<int> directory;  // snapshot taken when the directory was opened
    QVector<quint16> reply = QVector<quint16>(reg::TransferReplySize, 0);

    // faults
    QHash<int, quint8> exceptionAt;
    QHash<int, int> shortRead;
    int chunkByteCount = -1;
    bool endlessDirectory = false;
    bool endlessText = false;
    int textEndChunk = 0;
    QHash<QString, QPair<quint8, int>> refusedOpens; // name -> exception, times left
    quint8 absentException = exc::IllegalValue;

    QTimer *animation = nullptr;
    quint32 animationTicks = 0;

    QVector<Request> log;
    int logLimit = 100000;

    quint16 registerValue(int address) const;
    quint16 blockWord(const Descriptor &descriptor, int offset) const;
    quint16 perAxisWord(int offset, const std::function<quint32(const AxisConfig &)> &value) const;
    quint16 statusFlags() const;
    bool coilValue(int coil) const;

    // Transfer window; each returns 0 when accepted or the exception code.
    quint8 transferCommand(const QVector<quint16> &words);
    quint8 deleteCommand(const QVector<quint16> &words);
    quint8 openTransfer(const QVector<quint16> &words);
    quint8 refusedOpen(const QString &name); // a refusal asked for by refuseOpen(), or 0
    quint8 readChunk(int n);
    quint8 writeChunk(int n, const QVector<quint16> &words);
    quint8 closeTransfer();
    quint8 directoryEntry(int n);
    void clearReply();
};

// Low word first, as every 32-bit value of the map.
inline quint16 lowWord(quint32 value)
{
    return quint16(value & 0xFFFF);
}
inline quint16 highWord(quint32 value)
{
    return quint16(value >> 16);
}

quint16 dosDate(const QDate &date);
QString programName(int number);

} // namespace sim
