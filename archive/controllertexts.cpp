#include "archive/controllertexts.h"

#include "config/filenames.h"
#include "link/modbusdevice.h"

#include <QModbusDevice>

TextTarget TextTarget::program(int number)
{
    return {FileNames::programName(quint32(qMax(number, 0))), qMax(number, 0)};
}

TextTarget TextTarget::file(const QString &name)
{
    return {name, -1};
}

TextTarget TextTarget::fromName(const QString &name)
{
    const int number = FileNames::programNumber(name);
    return number >= 0 ? program(number) : file(name);
}

namespace ControllerTexts {

namespace {

// Exceptions that say the controller could not take the request now, not
// that the text is missing.
constexpr int AcknowledgeException = 5;
constexpr int BusyException = 6;

// The exception that refused the open of the last read, or 0 when the read
// ended otherwise (read, timed out, link gone, refused by the device).
int openRefusal(ModbusDevice *device, int result)
{
    if (result != Result::OpenFailed || device->lastResult() != QModbusDevice::ProtocolError)
        return 0;
    const int exception = device->lastException();
    return exception == AcknowledgeException || exception == BusyException ? 0 : exception;
}

Current readFile(ModbusDevice *device, const QString &name)
{
    Current current;
    current.result = device->readSystemFile(&current.bytes, name);
    const int refused = openRefusal(device, current.result);
    if (refused != 0) {
        // One refusal may be a passing state of the controller: asked again.
        current.bytes.clear();
        current.result = device->readSystemFile(&current.bytes, name);
        current.absent = openRefusal(device, current.result) == refused;
    }
    return current;
}

} // namespace

const ProgramEntry *Directory::find(const QString &name) const
{
    for (const ProgramEntry &entry : entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

void Directory::noteWritten(const TextTarget &target, qint64 size)
{
    if (!ok() || !target.isProgram())
        return;
    const ProgramEntry line{target.name, QString(), QString::number(size) + QLatin1Char('B')};
    for (ProgramEntry &entry : entries) {
        if (entry.name == target.name) {
            entry = line;
            return;
        }
    }
    entries.append(line);
}

qint64 listedSize(const ProgramEntry &entry)
{
    if (!entry.size.endsWith(QLatin1Char('B')))
        return -1;
    bool ok = false;
    const qint64 size = entry.size.leftRef(entry.size.size() - 1).toLongLong(&ok);
    return ok && size >= 0 ? size : -1;
}

void ensureDirectory(ModbusDevice *device, const SharedDirectory &directory)
{
    if (directory->ok())
        return;
    const SharedDirectory held = directory; // NOLINT(performance-unnecessary-copy-initialization)
    QList<ProgramEntry> entries;
    held->result = readDirectory(device, &entries);
    held->entries = entries;
}

Current read(ModbusDevice *device, const TextTarget &target, SharedDirectory directory)
{
    Current current;
    if (!device) {
        current.result = Result::NoDevice;
        return current;
    }
    if (!target.isProgram()) {
        current = readFile(device, target.name);
    } else {
        if (!directory)
            directory = std::make_shared<Directory>();
        ensureDirectory(device, directory);
        if (!directory->ok()) {
            current.result = directory->result;
            return current;
        }
        const ProgramEntry *entry = directory->find(target.name);
        if (!entry) {
            current.absent = true;
            current.result = Result::OpenFailed;
            return current;
        }
        const qint64 size = listedSize(*entry);
        current.result = device->readProgram(&current.bytes, target.number);
        if ((current.result == Result::Ok || current.result == Result::CloseFailed) && size >= 0 &&
            current.bytes.size() != size) {
            current.result = Result::SizeDiffers;
            current.bytes.clear();
        }
    }
    // A close that failed after every byte arrived still brought the text.
    if (current.result == Result::CloseFailed)
        current.result = Result::Ok;
    return current;
}

int write(ModbusDevice *device, const TextTarget &target, const QByteArray &bytes,
          const TransferProgress &progress)
{
    if (!device)
        return Result::NoDevice;
    return target.isProgram() ? device->writeProgram(bytes, target.number, progress)
                              : device->writeSystemFile(bytes, target.name, progress);
}

int readDirectory(ModbusDevice *device, QList<ProgramEntry> *entries)
{
    if (!device)
        return Result::NoDevice;
    const int result = device->readProgramList(entries, true);
    return result == Result::CloseFailed ? Result::Ok : result;
}

} // namespace ControllerTexts
