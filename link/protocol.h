#pragma once

#include <QtGlobal>

// The controller's register protocol as the PC speaks it: data-block addresses,
// descriptors, the status block and the transfer window.
namespace Protocol {

// A data block carries its four-register descriptor (type, channel, item, 0)
// first; the variable's data follow from word 4 of the block.
constexpr int DescriptorWords = 4;

// Signature: written to SignatureBlock as (SignatureWord, channel), reported
// back at SignatureReadback once the blocks are installed.
constexpr int SignatureBlock = 0x1E00;
constexpr int SignatureReadback = 0x7376;
constexpr quint16 SignatureWord = 0x7376;

// Global blocks, installed once per controller.
constexpr int AxisChannelBlock = 0x2400;
constexpr int AxisNameBlock = 0x2500;
constexpr int AxisDecimalsBlock = 0x2600;
constexpr int RunCoilBlock = 0x2700;
constexpr int AlarmCoilBlock = 0x2800;
constexpr int IdleCoilBlock = 0x2900;
constexpr int TorqueBlock = 0x3100;
constexpr int CountsBlock = 0x1100;
constexpr int AbsoluteBlock = 0x3000;
constexpr int MachineBlock = 0x3600;
constexpr int UnreadBlock3700 = 0x3700;
constexpr int InputBlock = 0x1A00;
constexpr int OutputBlock = 0x1800;
constexpr int SpeedScaleBlock = 0x1200;
constexpr int SpeedParameterBlock = 0x3400;
constexpr int UnreadBlock3500 = 0x3500;
constexpr int SpeedBlock = 0x3200;

// Descriptors of the global blocks, in the order the link set-up writes them.
struct BlockDescriptor
{
    int address;
    quint16 type;
    quint16 item;
};
constexpr BlockDescriptor GlobalBlocks[] = {
    {AxisChannelBlock, 4, 10}, {AxisNameBlock, 4, 12},    {AxisDecimalsBlock, 4, 13},
    {RunCoilBlock, 4, 3355},   {AlarmCoilBlock, 4, 3356}, {IdleCoilBlock, 4, 3357},
    {TorqueBlock, 6, 433},     {CountsBlock, 6, 4},       {AbsoluteBlock, 6, 300},
    {MachineBlock, 6, 302},    {UnreadBlock3700, 6, 431}, {InputBlock, 1, 88},
    {OutputBlock, 1, 89},      {SpeedScaleBlock, 6, 10},  {SpeedParameterBlock, 4, 22},
    {UnreadBlock3500, 4, 23},  {SpeedBlock, 6, 333},
};

// Channel blocks, installed for the device's channel.
constexpr int CounterBlock = 0x1000;
constexpr int TimeBlock = 0x1010;
constexpr int WorkModeBlock = 0x1D00;
constexpr int AxisBlockA = 0x1500; // + 16 * axis
constexpr int AxisBlockB = 0x1600; // + 16 * axis
constexpr int AxisBlockStride = 16;
constexpr int ChannelBlock15E0 = 0x15E0;
constexpr int ChannelBlock15F0 = 0x15F0;
constexpr int ChannelBlock16E0 = 0x16E0;
constexpr int ChannelBlock16F0 = 0x16F0;
// Descriptor types and items of the channel blocks.
constexpr quint16 CounterType = 2;
constexpr quint16 TimeType = 3;
constexpr quint16 WorkModeType = 1;
constexpr quint16 WorkModeItem = 70;
constexpr quint16 AxisBlockAType = 11;
constexpr quint16 AxisBlockBType = 12;
constexpr quint16 ChannelBlockItem101 = 101;
constexpr quint16 ChannelBlockItem200 = 200;
// The per-axis descriptors of one channel live in 0x1500..0x15F0 and
// 0x1600..0x16F0; more axes would overwrite the blocks beyond (outputs at
// 0x1800, inputs at 0x1A00, the global blocks), so only this many are written.
constexpr int MaxAxisBlocks = 16;

// Status block: descriptor (1, channel index, 70, 0) written before each read.
constexpr int StatusBlock = 0x3E00;
constexpr quint16 StatusAlarmFlag = 0x100;
constexpr quint16 StatusRunningFlag = 0x80;
constexpr quint16 StatusType = 1;
constexpr quint16 StatusItem = 70;
constexpr int StatusReadCount = 6;
constexpr int StatusFlagsWord = 4;
// A poll asks at most this many channels (controllers of this class have a
// few), so one that claims 255 cannot hold the device for minutes.
constexpr int MaxPolledChannels = 16;

// Register counts of the reads.
constexpr int PerAxisReadCount = 70; // words 6 + 2a, 7 + 2a carry axis a
constexpr int PerAxisFirstWord = 6;
constexpr int IoWordCount = 16;
constexpr int InputWords = 0x1A04;
constexpr int OutputWords = 0x1804;
constexpr int SignatureReadCount = 2;
constexpr int CountsReadCount = 12;
constexpr int CountsWord = 10;
constexpr int SpeedScaleReadCount = 8;
constexpr int CoilNumberReadCount = 8;
constexpr int CoilNumberWord = 6;
constexpr int CounterReadCount = 10;
constexpr int TimeReadCount = 8;
constexpr int WorkModeReadCount = 6;
constexpr int WorkModeWord = 5;

// Transfer window.
constexpr int TransferCommand = 0x3300;
constexpr int TransferReply = 0x3304;
constexpr int DeleteCommand = 0x2000;

constexpr quint16 CmdOpen = 20;
constexpr quint16 CmdClose = 21;
constexpr quint16 CmdReadChunk = 22;
constexpr quint16 CmdWriteChunk = 23;
constexpr quint16 CmdDelete = 25;
constexpr quint16 CmdOpenDirectory = 30;
constexpr quint16 CmdCloseDirectory = 31;
constexpr quint16 CmdDirectoryEntry = 32;

constexpr quint16 KindReadProgram = 1;
constexpr quint16 KindReadFile = 2;
constexpr quint16 KindWriteProgram = 0x1001;
constexpr quint16 KindWriteFile = 0x1003;

constexpr int ChunkBytes = 200;
constexpr int ChunkReadCount = 101;
constexpr int DirectoryEntryReadCount = 38;
constexpr int NameRegisters = 32;
constexpr int MaxWriteRegisters = 123; // one Modbus write request
constexpr int MaxChunkNumber = 0xFFFF; // chunk numbers travel in one register

// The largest text the window can move: its chunks are numbered in one
// register, and the last one (short, or empty when the text fills whole
// chunks) needs a number too, so 65,535 chunks carry at most
// 65,534 x 200 + 199 = 13,106,999 bytes. Reads, writes and the upload dialog
// all hold to it.
constexpr qint64 MaxTextBytes = qint64(MaxChunkNumber) * ChunkBytes - 1;

// The controller's programs are numbered 0 to 9999 ("O0000" to "O9999").
constexpr int MaxProgramNumber = 9999;

// Guard against a controller that never ends a directory.
constexpr int MaxDirectoryEntries = 10000;

} // namespace Protocol

// Result codes of every device operation.
namespace Result {
constexpr int Ok = 0;
constexpr int NoDevice = 1;
constexpr int NotReady = 2;
constexpr int NotIdle = 3;
constexpr int OpenFailed = 5;
constexpr int CloseFailed = 6;
constexpr int ReadFailed = 7;
constexpr int WriteFailed = 8;
constexpr int Busy = 9;
// A program read whole whose byte count is not the size its directory line
// gave: a text cut short (or grown) on the way, never kept as the program.
constexpr int SizeDiffers = 10;
// Another process of the program holds the controller's transfer lock.
constexpr int Locked = 11;
// A text written was not read back as it was sent.
constexpr int VerifyFailed = 12;
// Not done: what the operation would replace could not be read or archived.
constexpr int NotArchived = 20;
} // namespace Result

// Device state codes.
namespace DeviceState {
constexpr int NotConnected = 0;
constexpr int Running = 1;
constexpr int Alarm = 2;
constexpr int Idle = 3;
constexpr int Connecting = 4;
} // namespace DeviceState
