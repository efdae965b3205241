#include "link/transfercodec.h"

#include "config/textcodec.h"
#include "link/protocol.h"
#include "link/registercodec.h"

namespace TransferCodec {

using RegisterCodec::wordAt;

namespace {

ReadLimits g_limits{Protocol::MaxDirectoryEntries, Protocol::MaxTextBytes};

// The five name bytes of a directory entry sit in words 5 to 7.
constexpr int EntryNameFirstWord = 5;
constexpr int EntryNameLastWord = 7;

QVector<quint16> commandHeader(quint16 command, quint16 arg)
{
    return {command, 0, 0, arg};
}

} // namespace

QVector<quint16> packBytes(const QByteArray &bytes)
{
    QVector<quint16> words((bytes.size() + 1) / 2, 0);
    for (int i = 0; i < bytes.size(); ++i) {
        const quint16 byte = static_cast<quint8>(bytes.at(i));
        words[i / 2] |= (i % 2 == 0) ? byte : static_cast<quint16>(byte << 8);
    }
    return words;
}

QByteArray unpackBytes(const QVector<quint16> &words, int byteCount)
{
    const int count = qBound(0, byteCount, 2 * words.size());
    QByteArray bytes(count, '\0');
    for (int i = 0; i < count; ++i) {
        const quint16 word = words.at(i / 2);
        bytes[i] = static_cast<char>((i % 2 == 0) ? (word & 0xFF) : (word >> 8));
    }
    return bytes;
}

QVector<quint16> encodeName(const QString &name)
{
    QVector<quint16> words = packBytes(name.toLocal8Bit());
    if (words.size() < Protocol::NameRegisters)
        words.resize(Protocol::NameRegisters); // new words are zero
    return words;
}

QVector<quint16> openProgramCommand(quint16 kind, int number)
{
    if (number < 0 || number > 0xFFFF)
        return {};
    QVector<quint16> command = commandHeader(Protocol::CmdOpen, kind);
    command.append(static_cast<quint16>(number));
    return command;
}

QVector<quint16> openFileCommand(quint16 kind, const QString &name)
{
    const QVector<quint16> encoded = encodeName(name);
    if (Protocol::DescriptorWords + encoded.size() > Protocol::MaxWriteRegisters)
        return {};
    QVector<quint16> command = commandHeader(Protocol::CmdOpen, kind);
    command += encoded;
    return command;
}

QVector<quint16> requestCommand(quint16 command, int n)
{
    return commandHeader(command, static_cast<quint16>(n));
}

QVector<quint16> plainCommand(quint16 command)
{
    return {command, 0, 0, 0, 0};
}

int chunkCount(qint64 length)
{
    if (length < 0)
        return 1;
    return static_cast<int>(length / Protocol::ChunkBytes + 1);
}

bool fitsWindow(qint64 length)
{
    return length >= 0 && length <= Protocol::MaxTextBytes;
}

QVector<quint16> writeChunk(const QByteArray &bytes, int n)
{
    const qint64 begin = qint64(Protocol::ChunkBytes) * (n - 1);
    const qint64 end = qMin(begin + Protocol::ChunkBytes, qint64(bytes.size()));
    const int count = (n >= 1 && begin < end) ? static_cast<int>(end - begin) : 0;
    QVector<quint16> chunk = commandHeader(Protocol::CmdWriteChunk, static_cast<quint16>(n));
    chunk.append(static_cast<quint16>(count));
    if (count > 0)
        chunk += packBytes(bytes.mid(static_cast<int>(begin), count));
    return chunk;
}

int chunkProgress(qint64 end, qint64 length)
{
    if (length <= 0)
        return 100;
    // 64-bit: a text of tens of megabytes times 100 overflows an int.
    return static_cast<int>(qBound<qint64>(0, end, length) * 100 / length);
}

ChunkResult appendChunk(const QVector<quint16> &words, QByteArray *bytes)
{
    if (words.isEmpty() || words.at(0) == 0)
        return ChunkResult::End;
    const int count = words.at(0);
    const int arrived = 2 * (words.size() - 1);
    if (count > Protocol::ChunkBytes || count > arrived)
        return ChunkResult::Invalid;
    bytes->append(unpackBytes(words.mid(1), count));
    return ChunkResult::Data;
}

QString decodeText(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return TextCodec::decodeControllerText(zero < 0 ? bytes : bytes.left(zero));
}

bool isDirectoryEnd(const QVector<quint16> &words)
{
    return words.isEmpty() || words.at(0) == 0;
}

bool isCompleteEntry(const QVector<quint16> &words)
{
    return words.size() >= EntryNameLastWord + 1;
}

ProgramEntry decodeDirectoryEntry(const QVector<quint16> &words)
{
    ProgramEntry entry;
    const quint32 size = quint32(wordAt(words, 1)) | (quint32(wordAt(words, 2)) << 16);
    entry.size = QString::number(size) + QLatin1Char('B');
    entry.date = dosDateText(wordAt(words, 3));
    for (int i = 0; i < 5; ++i) {
        const quint16 word = wordAt(words, EntryNameFirstWord + i / 2);
        entry.name.append(QChar(static_cast<ushort>((i % 2 == 0) ? (word & 0xFF) : (word >> 8))));
    }
    return entry;
}

QString dosDateText(quint16 date)
{
    const int day = date & 0x1F;
    const int month = (date >> 5) & 0x0F;
    const int year = ((date >> 9) & 0x7F) + 1980;
    return QStringLiteral("%1/%2/%3")
        .arg(year)
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'));
}

ReadLimits readLimits()
{
    return g_limits;
}

void setReadLimits(const ReadLimits &limits)
{
    g_limits = limits;
}

} // namespace TransferCodec
