// Controller replies and local texts through the transfer codec: chunks and
// directory entries as they arrive off the wire, and texts split into write
// chunks that must join back to the same bytes.
#include "link/protocol.h"
#include "link/transfercodec.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    QVector<quint16> words;
    for (size_t i = 0; i + 1 < size; i += 2)
        words.append(static_cast<quint16>(data[i] | (data[i + 1] << 8)));

    QByteArray received;
    const TransferCodec::ChunkResult chunk = TransferCodec::appendChunk(words, &received);
    if (chunk == TransferCodec::ChunkResult::Data) {
        if (received.size() != words.at(0) || received.size() > Protocol::ChunkBytes)
            std::abort();
    } else if (!received.isEmpty()) {
        std::abort();
    }
    TransferCodec::decodeText(received);

    if (!TransferCodec::isDirectoryEnd(words)) {
        const ProgramEntry entry = TransferCodec::decodeDirectoryEntry(words);
        if (entry.name.size() != 5 || entry.date.size() != 10 || !entry.size.endsWith(QLatin1Char('B')))
            std::abort();
    }

    const int count = size > 0 ? static_cast<int>(data[0]) * 3 - 100 : 0;
    if (TransferCodec::unpackBytes(words, count).size() > 2 * words.size())
        std::abort();

    QByteArray joined;
    const int chunks = TransferCodec::chunkCount(bytes.size());
    for (int n = 1; n <= chunks; ++n) {
        const QVector<quint16> written = TransferCodec::writeChunk(bytes, n);
        if (written.size() > Protocol::MaxWriteRegisters)
            std::abort();
        joined += TransferCodec::unpackBytes(written.mid(5), written.at(4));
    }
    if (joined != bytes)
        std::abort();

    const QVector<quint16> open =
        TransferCodec::openFileCommand(Protocol::KindReadFile, QString::fromLocal8Bit(bytes));
    if (open.size() > Protocol::MaxWriteRegisters)
        std::abort();
    return 0;
}
