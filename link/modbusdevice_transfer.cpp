#include "link/modbusdevice.h"

#include "link/protocol.h"

int ModbusDevice::readProgramList(QList<ProgramEntry> *, bool) { return Result::NotReady; }
int ModbusDevice::readProgram(QString *, int) { return Result::NotReady; }
int ModbusDevice::readSystemFile(QString *, const QString &) { return Result::NotReady; }
int ModbusDevice::writeProgram(const QString &, int, QProgressBar *) { return Result::NotReady; }
int ModbusDevice::writeSystemFile(const QString &, const QString &, QProgressBar *) { return Result::NotReady; }
int ModbusDevice::deleteProgram(int) { return Result::NotReady; }
