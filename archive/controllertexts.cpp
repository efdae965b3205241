#include "archive/controllertexts.h"

#include "archive/manifest.h"
#include "link/modbusdevice.h"
#include "link/registercodec.h"

#include <QModbusDevice>
#include <QModbusPdu>

TextTarget TextTarget::program(int number)
{
    return {RegisterCodec::programName(quint32(qMax(number, 0))), qMax(number, 0)};
}

TextTarget TextTarget::file(const QString &name)
{
    return {name, -1};
}

TextTarget TextTarget::fromName(const QString &name)
{
    const int number = Manifest::programNumber(name);
    return number >= 0 ? program(number) : file(name);
}

namespace ControllerTexts {

Current read(ModbusDevice *device, const TextTarget &target)
{
    Current current;
    if (!device) {
        current.result = Result::NoDevice;
        return current;
    }
    current.result = target.isProgram() ? device->readProgram(&current.bytes, target.number)
                                        : device->readSystemFile(&current.bytes, target.name);
    // The open of a text the controller does not hold is answered with an
    // illegal-value exception. Any other exception (busy, device failure), a
    // time-out or a dropped link says nothing of whether the text is there.
    current.absent = current.result == Result::OpenFailed &&
                     device->lastResult() == QModbusDevice::ProtocolError &&
                     device->lastException() == QModbusExceptionResponse::IllegalDataValue;
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
