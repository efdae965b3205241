#include "config/filenames.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "link/transfercodec.h"

#include <QModbusClient>
#include <QModbusReply>
#include <QModbusRequest>

#include <utility>

// Programs, system files, the program directory and program deletion, all
// through the transfer window. Every request waits in the device's event loop,
// where a card may close the link or a dialog may drop what shows the
// progress (the caller's progress function guards that). The link may also
// drop, and come back, while a request waits: each sequence checks after every
// wait that it still runs on the link it started on.

int ModbusDevice::readProgram(QByteArray *bytes, int number)
{
    return readText(DeviceEvent::ReadProgram, FileNames::programName(quint32(qMax(number, 0))),
                    TransferCodec::openProgramCommand(Protocol::KindReadProgram, number), bytes);
}

int ModbusDevice::readSystemFile(QByteArray *bytes, const QString &name)
{
    return readText(DeviceEvent::ReadFile, name, TransferCodec::openFileCommand(Protocol::KindReadFile, name),
                    bytes);
}

int ModbusDevice::writeProgram(const QByteArray &bytes, int number, const TransferProgress &progress)
{
    return writeText(DeviceEvent::WriteProgram, FileNames::programName(quint32(qMax(number, 0))), bytes,
                     TransferCodec::openProgramCommand(Protocol::KindWriteProgram, number),
                     TransferCodec::openProgramCommand(Protocol::KindReadProgram, number), progress);
}

int ModbusDevice::writeSystemFile(const QByteArray &bytes, const QString &name,
                                  const TransferProgress &progress)
{
    return writeText(DeviceEvent::WriteFile, name, bytes,
                     TransferCodec::openFileCommand(Protocol::KindWriteFile, name),
                     TransferCodec::openFileCommand(Protocol::KindReadFile, name), progress);
}

int ModbusDevice::readText(DeviceEvent::Kind kind, const QString &target, const QVector<quint16> &openCommand,
                           QByteArray *bytes)
{
    if (const int refused = admit())
        return refused;
    QByteArray received;
    const int result = receiveTransfer(openCommand, &received);
    if (bytes && (result == Result::Ok || result == Result::CloseFailed))
        *bytes = received;
    emit operationFinished({kind, target, result, received.size()});
    return result;
}

int ModbusDevice::writeText(DeviceEvent::Kind kind, const QString &target, const QByteArray &bytes,
                            const QVector<quint16> &openCommand, const QVector<quint16> &readBackCommand,
                            const TransferProgress &progress)
{
    if (const int refused = admit(true))
        return toldRefusal(kind, target, refused);
    // The caller's bytes may go while a request waits (the upload dialog
    // closed with its list): the transfer holds its own, a counted reference.
    const QByteArray held = bytes; // NOLINT(performance-unnecessary-copy-initialization)
    int result = Result::Ok;
    {
        // The write and its check hold the controller as one transfer.
        BusyScope busy(this);
        TransferLock lock(this);
        result = lock.result();
        if (result == Result::Ok)
            result = sendTransfer(held, openCommand, progress);
        if (result == Result::Ok)
            result = verifyWritten(held, readBackCommand);
    }
    emit operationFinished({kind, target, result, held.size()});
    return result;
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
    if (const int refused = admit())
        return refused;

    BusyScope busy(this);
    const TransferLock lock(this);
    if (lock.result() != Result::Ok)
        return lock.result();
    m_directory.clear();
    const QVector<quint16> open = TransferCodec::plainCommand(Protocol::CmdOpenDirectory);
    if (writeRegisters(Protocol::TransferCommand, open) != 0 || linkChanged())
        return Result::OpenFailed;

    const int maxEntries = TransferCodec::readLimits().maxDirectoryEntries;
    QList<ProgramEntry> entries;
    bool complete = false;
    // A controller full to the last program number lists the bound's entries
    // and then its end: that one is asked for too.
    for (int n = 1; n <= maxEntries + 1; ++n) {
        const QVector<quint16> request = TransferCodec::requestCommand(Protocol::CmdDirectoryEntry, n);
        if (writeRegisters(Protocol::TransferCommand, request) != 0 || linkChanged())
            break;
        const QModbusDataUnit unit =
            readRegisters(Protocol::TransferReply, Protocol::DirectoryEntryReadCount);
        if (linkChanged() || !isValidUnit(unit))
            break;
        const QVector<quint16> words = unit.values();
        if (TransferCodec::isDirectoryEnd(words)) {
            complete = true;
            break;
        }
        if (n > maxEntries || !TransferCodec::isCompleteEntry(words))
            break;
        entries.append(TransferCodec::decodeDirectoryEntry(words));
    }
    // Only a complete directory is cached: a short one served later without
    // asking would pass for the controller's whole list. The cache stays empty
    // until a read completes, and the caller's list is left as it was.
    if (!complete)
        return Result::ReadFailed;

    m_directory = entries;
    if (list)
        *list = entries;
    const int closed =
        writeRegisters(Protocol::TransferCommand, TransferCodec::plainCommand(Protocol::CmdCloseDirectory));
    return closed == 0 ? Result::Ok : Result::CloseFailed;
}

int ModbusDevice::deleteProgram(int number)
{
    if (const int refused = admit(true))
        return toldRefusal(DeviceEvent::DeleteProgram, FileNames::programName(quint32(qMax(number, 0))),
                           refused);
    // A number that does not fit the register would delete another program.
    if (number < 0 || number > 0xFFFF)
        return Result::WriteFailed;

    int result = Result::Ok;
    {
        BusyScope busy(this);
        const QVector<quint16> command{Protocol::CmdDelete, 0, 0, 1, static_cast<quint16>(number)};
        result = writeRegisters(Protocol::DeleteCommand, command) == 0 ? Result::Ok : Result::WriteFailed;
    }
    emit operationFinished({DeviceEvent::DeleteProgram, FileNames::programName(quint32(number)), result, 0});
    return result;
}

// A write or a delete the operator asked for and the device refused is told
// too, so the history shows why nothing changed. Busy is not: its callers try
// again, and the try that runs is told.
int ModbusDevice::toldRefusal(DeviceEvent::Kind kind, const QString &target, int refused)
{
    if (refused != Result::Busy)
        emit operationFinished({kind, target, refused, 0});
    return refused;
}

int ModbusDevice::receiveTransfer(const QVector<quint16> &openCommand, QByteArray *bytes)
{
    if (openCommand.isEmpty())
        return Result::OpenFailed;

    BusyScope busy(this);
    const TransferLock lock(this);
    if (lock.result() != Result::Ok)
        return lock.result();
    if (writeRegisters(Protocol::TransferCommand, openCommand) != 0 || linkChanged())
        return Result::OpenFailed;

    const qint64 maxBytes = TransferCodec::readLimits().maxTextBytes;
    QByteArray received;
    for (int n = 1;; ++n) {
        const QVector<quint16> request = TransferCodec::requestCommand(Protocol::CmdReadChunk, n);
        if (writeRegisters(Protocol::TransferCommand, request) != 0 || linkChanged())
            return Result::ReadFailed;
        const QModbusDataUnit unit = readRegisters(Protocol::TransferReply, Protocol::ChunkReadCount);
        if (linkChanged() || !isValidUnit(unit))
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

    *bytes = std::move(received);
    return writeRegisters(Protocol::TransferCommand, TransferCodec::plainCommand(Protocol::CmdClose)) == 0
               ? Result::Ok
               : Result::CloseFailed;
}

int ModbusDevice::sendTransfer(const QByteArray &bytes, const QVector<quint16> &openCommand,
                               const TransferProgress &progress)
{
    if (openCommand.isEmpty())
        return Result::OpenFailed;

    const qint64 length = bytes.size();
    if (!TransferCodec::fitsWindow(length))
        return Result::OpenFailed;
    const int chunks = TransferCodec::chunkCount(length);

    // The caller's function may be a temporary of a caller that is gone by
    // the next chunk; the transfer holds its own copy.
    const TransferProgress report = progress; // NOLINT(performance-unnecessary-copy-initialization)
    BusyScope busy(this);
    const TransferLock lock(this);
    if (lock.result() != Result::Ok)
        return lock.result();
    if (writeRegisters(Protocol::TransferCommand, openCommand) != 0 || linkChanged())
        return Result::OpenFailed;

    // A chunk goes to the client as a finished request: the client's own
    // encoding writes the 105 words one at a time through a data stream, about
    // 10 µs a chunk, which made a written chunk dearer than a read one. The
    // answer must echo the address and count, as the client would not check.
    const auto writeChunk = [this](const QVector<quint16> &words) {
        if (!canSend())
            return int(NoLink);
        QByteArray pdu;
        pdu.reserve(5 + 2 * words.size());
        const auto put = [&pdu](quint16 word) {
            pdu.append(char(word >> 8));
            pdu.append(char(word & 0xFF));
        };
        put(quint16(Protocol::TransferCommand));
        put(quint16(words.size()));
        pdu.append(char(2 * words.size()));
        for (const quint16 word : words)
            put(word);
        QModbusReply *reply = sent(m_client->sendRawRequest(
            QModbusRequest(QModbusRequest::WriteMultipleRegisters, pdu), m_sequenceStation));
        if (!reply || !awaitReply(reply))
            return m_lastResult;
        const QModbusResponse answer = reply->rawResult();
        int result = m_lastResult;
        if (result == QModbusDevice::NoError &&
            (answer.functionCode() != QModbusRequest::WriteMultipleRegisters || answer.data() != pdu.left(4)))
            result = QModbusDevice::UnknownError;
        delete reply;
        return result;
    };
    for (int n = 1; n <= chunks; ++n) {
        m_lastResult = writeChunk(TransferCodec::writeChunk(bytes, n));
        if (m_lastResult != 0 || linkChanged())
            return Result::WriteFailed;
        if (report)
            report(qMin(qint64(Protocol::ChunkBytes) * n, length), length);
    }

    return writeRegisters(Protocol::TransferCommand, TransferCodec::plainCommand(Protocol::CmdClose)) == 0
               ? Result::Ok
               : Result::CloseFailed;
}
