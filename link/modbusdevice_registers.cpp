#include "link/modbusdevice.h"

#include "link/protocol.h"

int ModbusDevice::pollState() { return m_state; }
int ModbusDevice::readPosition(PositionStatus *) { return m_ready ? Result::Ok : Result::NotReady; }
int ModbusDevice::readIo(IoStatus *) { return m_ready ? Result::Ok : Result::NotReady; }
