#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "link/transfercodec.h"

#include <QPointer>
#include <QProgressBar>

namespace {

bool isValidRead(const QModbusDataUnit &unit)
{
    return unit.registerType() != QModbusDataUnit::Invalid && unit.startAddress() != -1;
}

} // namespace

// Programs, system files, the program directory and program deletion, all
// through the transfer window. Every request waits in the device's event loop,
// where a card may close the link or a dialog may drop its progress bar: the
// bar is watched through a QPointer. The device may also be released, or its
// link dropped and brought up again, while a request waits: each sequence
// checks after every wait that it still runs on the link it started on.

int ModbusDevice::readProgram(QString *text, int number)
{
    if (!m_ready)
        return Result::NotReady;
    if (m_busy)
        return Result::Busy;
    return receiveTransfer(TransferCodec::openProgramCommand(Protocol::KindReadProgram, number), text);
}

int ModbusDevice::readSystemFile(QString *text, const QString &name)
{
    if (!m_ready)
        return Result::NotReady;
    if (m_busy)
        return Result::Busy;
    return receiveTransfer(TransferCodec::openFileCommand(Protocol::KindReadFile, name), text);
}

int ModbusDevice::writeProgram(const QString &text, int number, QProgressBar *progress)
{
    if (!m_ready)
        return Result::NotReady;
    if (m_busy)
        return Result::Busy;
    if (m_state != DeviceState::Idle)
        return Result::NotIdle;
    return sendTransfer(text, TransferCodec::openProgramCommand(Protocol::KindWriteProgram, number),
                        progress);
}

int ModbusDevice::writeSystemFile(const QString &text, const QString &name, QProgressBar *progress)
{
    if (!m_ready)
        return Result::NotReady;
    if (m_busy)
        return Result::Busy;
    if (m_state != DeviceState::Idle)
        return Result::NotIdle;
    return sendTransfer(text, TransferCodec::openFileCommand(Protocol::KindWriteFile, name), progress);
}

int ModbusDevice::readProgramList(QList<ProgramEntry> *list, bool reload)
{
    if (!m_ready)
        return Result::NotReady;
    // The cached list needs no transaction, so it is served even while busy.
    if (!m_directory.isEmpty() && !reload) {
        if (list)
            *list = m_directory;
        return Result::Ok;
    }
    if (m_busy)
        return Result::Busy;

    const QPointer<ModbusDevice> self(this);
    const quint64 generation = m_linkGeneration;
    const auto lost = [this, &self, generation] { return !self || m_linkGeneration != generation; };
    BusyScope busy(this);
    m_directory.clear();
    const QVector<quint16> open = TransferCodec::plainCommand(Protocol::CmdOpenDirectory);
    if (writeRegisters(Protocol::TransferCommand, open) != 0 || lost())
        return Result::OpenFailed;

    const int maxEntries = TransferCodec::readLimits().maxDirectoryEntries;
    QList<ProgramEntry> entries;
    bool complete = false;
    for (int n = 1; n <= maxEntries; ++n) {
        const QVector<quint16> request = TransferCodec::requestCommand(Protocol::CmdDirectoryEntry, n);
        if (writeRegisters(Protocol::TransferCommand, request) != 0 || lost())
            break;
        const QModbusDataUnit unit =
            readRegisters(Protocol::TransferReply, Protocol::DirectoryEntryReadCount);
        if (lost() || !isValidRead(unit))
            break;
        const QVector<quint16> words = unit.values();
        if (TransferCodec::isDirectoryEnd(words)) {
            complete = true;
            break;
        }
        if (!TransferCodec::isCompleteEntry(words))
            break;
        entries.append(TransferCodec::decodeDirectoryEntry(words));
    }
    if (!self)
        return Result::ReadFailed;
    // A failed entry leaves the entries read so far as the cache; the caller's
    // list is only filled from a complete directory.
    m_directory = entries;
    if (!complete)
        return Result::ReadFailed;

    if (list)
        *list = entries;
    const int closed =
        writeRegisters(Protocol::TransferCommand, TransferCodec::plainCommand(Protocol::CmdCloseDirectory));
    return closed == 0 ? Result::Ok : Result::CloseFailed;
}

int ModbusDevice::deleteProgram(int number)
{
    if (!m_ready)
        return Result::NotReady;
    if (m_busy)
        return Result::Busy;
    if (m_state != DeviceState::Idle)
        return Result::NotIdle;
    // A number that does not fit the register would delete another program.
    if (number < 0 || number > 0xFFFF)
        return Result::WriteFailed;

    BusyScope busy(this);
    const QVector<quint16> command{Protocol::CmdDelete, 0, 0, 1, static_cast<quint16>(number)};
    return writeRegisters(Protocol::DeleteCommand, command) == 0 ? Result::Ok : Result::WriteFailed;
}

int ModbusDevice::receiveTransfer(const QVector<quint16> &openCommand, QString *text)
{
    if (openCommand.isEmpty())
        return Result::OpenFailed;

    const QPointer<ModbusDevice> self(this);
    const quint64 generation = m_linkGeneration;
    const auto lost = [this, &self, generation] { return !self || m_linkGeneration != generation; };
    BusyScope busy(this);
    if (writeRegisters(Protocol::TransferCommand, openCommand) != 0 || lost())
        return Result::OpenFailed;

    const qint64 maxBytes = TransferCodec::readLimits().maxTextBytes;
    QByteArray received;
    for (int n = 1;; ++n) {
        const QVector<quint16> request = TransferCodec::requestCommand(Protocol::CmdReadChunk, n);
        if (writeRegisters(Protocol::TransferCommand, request) != 0 || lost())
            return Result::ReadFailed;
        const QModbusDataUnit unit = readRegisters(Protocol::TransferReply, Protocol::ChunkReadCount);
        if (lost() || !isValidRead(unit))
            return Result::ReadFailed;
        const TransferCodec::ChunkResult chunk = TransferCodec::appendChunk(unit.values(), &received);
        if (chunk == TransferCodec::ChunkResult::End)
            break;
        if (chunk == TransferCodec::ChunkResult::Invalid || received.size() > maxBytes)
            return Result::ReadFailed;
        // The chunk number is one register; a text that needs more chunks than
        // that cannot be told apart on the wire.
        if (n >= Protocol::MaxChunkNumber)
            return Result::ReadFailed;
    }

    if (text)
        *text = TransferCodec::decodeText(received);
    return writeRegisters(Protocol::TransferCommand, TransferCodec::plainCommand(Protocol::CmdClose)) == 0
               ? Result::Ok
               : Result::CloseFailed;
}

int ModbusDevice::sendTransfer(const QString &text, const QVector<quint16> &openCommand,
                               QProgressBar *progress)
{
    if (openCommand.isEmpty())
        return Result::OpenFailed;

    const QByteArray bytes = text.toLocal8Bit();
    const qint64 length = bytes.size();
    const int chunks = TransferCodec::chunkCount(length);
    // Chunk numbers are one register on the wire.
    if (chunks > Protocol::MaxChunkNumber)
        return Result::OpenFailed;

    const QPointer<ModbusDevice> self(this);
    const quint64 generation = m_linkGeneration;
    const auto lost = [this, &self, generation] { return !self || m_linkGeneration != generation; };
    QPointer<QProgressBar> bar(progress);
    BusyScope busy(this);
    if (writeRegisters(Protocol::TransferCommand, openCommand) != 0 || lost())
        return Result::OpenFailed;

    for (int n = 1; n <= chunks; ++n) {
        if (writeRegisters(Protocol::TransferCommand, TransferCodec::writeChunk(bytes, n)) != 0 || lost())
            return Result::WriteFailed;
        if (bar) {
            const qint64 end = qMin(qint64(Protocol::ChunkBytes) * n, length);
            bar->setValue(TransferCodec::chunkProgress(end, length));
        }
    }

    return writeRegisters(Protocol::TransferCommand, TransferCodec::plainCommand(Protocol::CmdClose)) == 0
               ? Result::Ok
               : Result::CloseFailed;
}
