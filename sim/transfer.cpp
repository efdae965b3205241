// The transfer window and the program and file store behind it.
#include "controller.h"
#include "controller_p.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace sim {

namespace {

constexpr int MaxProgramNumber = 9999;
constexpr int DirectoryEntryWords = 38;

// Bytes two per register, first byte in the low half.
QByteArray unpackBytes(const QVector<quint16> &words, int from, int byteCount)
{
    QByteArray bytes;
    bytes.reserve(byteCount);
    for (int i = 0; i < byteCount; ++i) {
        const int w = from + i / 2;
        if (w >= words.size())
            break;
        bytes.append(char(i % 2 == 0 ? words.at(w) & 0xFF : words.at(w) >> 8));
    }
    return bytes;
}

QString decodeName(const QVector<quint16> &words, int from)
{
    QByteArray bytes = unpackBytes(words, from, 2 * qMax(0, words.size() - from));
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromLocal8Bit(bytes);
}

} // namespace

void Controller::Private::clearReply()
{
    reply.fill(0);
}

quint8 Controller::Private::transferCommand(const QVector<quint16> &words)
{
    // Every command has at least the command word, two zeros and an argument.
    if (words.size() < 4)
        return exc::IllegalValue;
    switch (words.at(0)) {
    case cmd::Open:
        return openTransfer(words);
    case cmd::ReadChunk:
        return readChunk(words.at(3));
    case cmd::WriteChunk:
        return writeChunk(words.at(3), words);
    case cmd::Close:
        return closeTransfer();
    case cmd::OpenDirectory:
        window = Window::Directory;
        directory = programs.keys();
        windowText.clear();
        clearReply();
        return 0;
    case cmd::DirectoryEntry:
        return directoryEntry(words.at(3));
    case cmd::CloseDirectory:
        if (window != Window::Directory)
            return exc::IllegalValue;
        window = Window::Closed;
        directory.clear();
        clearReply();
        return 0;
    }
    return exc::IllegalValue;
}

quint8 Controller::Private::openTransfer(const QVector<quint16> &words)
{
    if (words.size() < 5)
        return exc::IllegalValue;
    const quint16 kind = words.at(3);
    // Whatever happens to this open, a transfer left open before it is over.
    window = Window::Closed;
    windowText.clear();
    windowFile.clear();
    clearReply();
    switch (kind) {
    case cmd::KindReadProgram:
    case cmd::KindWriteProgram: {
        const int number = words.at(4);
        if (number > MaxProgramNumber)
            return exc::IllegalValue;
        if (kind == cmd::KindReadProgram) {
            if (const quint8 refused = refusedOpen(programName(number)))
                return refused;
            if (!programs.contains(number))
                return absentException;
            windowText = programs.value(number).text;
        }
        window = kind == cmd::KindReadProgram ? Window::ReadTransfer : Window::WriteTransfer;
        windowIsProgram = true;
        windowProgram = number;
        return 0;
    }
    case cmd::KindReadFile:
    case cmd::KindWriteFile: {
        const QString name = decodeName(words, 4);
        if (name.isEmpty())
            return exc::IllegalValue;
        if (kind == cmd::KindReadFile) {
            // Programs are files on the controller too: a program's name
            // reads that program unless a system file of that name exists.
            static const QRegularExpression byProgramName(QStringLiteral("^O(\\d{4})$"));
            const QRegularExpressionMatch m = byProgramName.match(name);
            if (const quint8 refused = refusedOpen(name))
                return refused;
            if (files.contains(name))
                windowText = files.value(name);
            else if (m.hasMatch() && programs.contains(m.captured(1).toInt()))
                windowText = programs.value(m.captured(1).toInt()).text;
            else
                return absentException;
        }
        window = kind == cmd::KindReadFile ? Window::ReadTransfer : Window::WriteTransfer;
        windowIsProgram = false;
        windowFile = name;
        return 0;
    }
    }
    return exc::IllegalValue;
}

quint8 Controller::Private::refusedOpen(const QString &name)
{
    const auto it = refusedOpens.find(name);
    if (it == refusedOpens.end() || it->second <= 0)
        return 0;
    --it->second;
    return it->first;
}

quint8 Controller::Private::readChunk(int n)
{
    // Chunk numbers are one register; an endless text outruns them, so there
    // number 0 (the wrap) is accepted too.
    if (window != Window::ReadTransfer || (n < 1 && !endlessText))
        return exc::IllegalValue;
    clearReply();
    // Chunks are addressed by number, so a repeated request (a retry) gets the same bytes.
    const qint64 start = qint64(reg::MaxChunkBytes) * (n - 1);
    QByteArray bytes;
    if (n >= 1 && start < windowText.size())
        bytes = windowText.mid(int(start), reg::MaxChunkBytes);
    else if (endlessText)
        bytes = QByteArray(reg::MaxChunkBytes, 'X');
    if (bytes.isEmpty() || (textEndChunk > 0 && n >= textEndChunk))
        return 0; // byte count 0: the end
    reply[0] = chunkByteCount >= 0 ? quint16(chunkByteCount) : quint16(bytes.size());
    for (int i = 0; i < bytes.size(); ++i) {
        const quint16 b = quint8(bytes.at(i));
        reply[1 + i / 2] |= i % 2 == 0 ? b : quint16(b << 8);
    }
    return 0;
}

quint8 Controller::Private::writeChunk(int n, const QVector<quint16> &words)
{
    if (window != Window::WriteTransfer || n < 1 || words.size() < 5)
        return exc::IllegalValue;
    const int byteCount = words.at(4);
    if (byteCount > reg::MaxChunkBytes || byteCount > 2 * (words.size() - 5))
        return exc::IllegalValue;
    // Chunk n holds bytes from 200 (n - 1) on. Only the last chunk may be short,
    // so a chunk past a gap is refused; a repeated chunk replaces what it wrote.
    const qint64 start = qint64(reg::MaxChunkBytes) * (n - 1);
    if (start > windowText.size())
        return exc::IllegalValue;
    windowText.truncate(int(start));
    windowText.append(unpackBytes(words, 5, byteCount));
    return 0;
}

quint8 Controller::Private::closeTransfer()
{
    if (window != Window::ReadTransfer && window != Window::WriteTransfer)
        return exc::IllegalValue;
    if (window == Window::WriteTransfer) {
        // A written text becomes visible only now, complete.
        if (windowIsProgram)
            programs.insert(windowProgram, StoredProgram{windowText, QDate::currentDate()});
        else
            files.insert(windowFile, windowText);
    }
    window = Window::Closed;
    windowText.clear();
    windowFile.clear();
    clearReply();
    return 0;
}

quint8 Controller::Private::directoryEntry(int n)
{
    if (window != Window::Directory || n < 1)
        return exc::IllegalValue;
    clearReply();
    int number = -1;
    QByteArray text;
    QDate date;
    if (n <= directory.size()) {
        number = directory.at(n - 1);
        const StoredProgram p = programs.value(number);
        text = p.text;
        date = p.date;
    } else if (endlessDirectory) {
        number = (n - 1) % (MaxProgramNumber + 1);
        date = QDate(2023, 5, 17);
    }
    if (number < 0)
        return 0; // word 0 = 0: the end
    const quint32 size = quint32(text.size());
    const QByteArray name = programName(number).toLatin1();
    reply[0] = 1;
    reply[1] = lowWord(size);
    reply[2] = highWord(size);
    reply[3] = dosDate(date);
    reply[4] = 0;
    for (int i = 0; i < 5 && i < name.size(); ++i) {
        const quint16 b = quint8(name.at(i));
        reply[5 + i / 2] |= i % 2 == 0 ? b : quint16(b << 8);
    }
    static_assert(DirectoryEntryWords <= reg::TransferReplySize, "entry fits the reply buffer");
    return 0;
}

quint8 Controller::Private::deleteCommand(const QVector<quint16> &words)
{
    if (words.size() < 5 || words.at(0) != cmd::Delete || words.at(3) != 1)
        return exc::IllegalValue;
    if (!programs.remove(words.at(4)))
        return exc::IllegalValue;
    return 0;
}

void Controller::setProgram(int number, const QByteArray &text, const QDate &date)
{
    if (number < 0 || number > MaxProgramNumber) {
        qWarning("sim: program number %d is outside O0000 to O9999", number);
        return;
    }
    d->programs.insert(number, StoredProgram{text, date});
}

bool Controller::hasProgram(int number) const
{
    return d->programs.contains(number);
}
QByteArray Controller::program(int number) const
{
    return d->programs.value(number).text;
}
QList<int> Controller::programNumbers() const
{
    return d->programs.keys();
}
void Controller::removeProgram(int number)
{
    d->programs.remove(number);
}
void Controller::setFile(const QString &name, const QByteArray &bytes)
{
    d->files.insert(name, bytes);
}
void Controller::removeFile(const QString &name)
{
    d->files.remove(name);
}
bool Controller::hasFile(const QString &name) const
{
    return d->files.contains(name);
}
QByteArray Controller::file(const QString &name) const
{
    return d->files.value(name);
}
QStringList Controller::fileNames() const
{
    return d->files.keys();
}

bool Controller::loadFolder(const QString &path)
{
    const QDir dir(path);
    if (path.isEmpty() || !dir.exists())
        return false;
    static const QRegularExpression programFile(QStringLiteral("^[Oo](\\d{1,4})(\\.[^.]*)?$"));
    bool ok = true;
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo &info : entries) {
        QFile f(info.absoluteFilePath());
        if (!f.open(QIODevice::ReadOnly)) {
            ok = false;
            continue;
        }
        const QByteArray bytes = f.readAll();
        const QRegularExpressionMatch m = programFile.match(info.fileName());
        if (m.hasMatch())
            setProgram(m.captured(1).toInt(), bytes, info.lastModified().date());
        else
            setFile(info.fileName(), bytes);
    }
    return ok;
}

} // namespace sim
