#include "link/modbusdevice.h"

#include "link/protocol.h"
#include "link/registercodec.h"

#include <QModbusClient>

ModbusDevice::ModbusDevice(QObject *parent) : QObject(parent) {}
ModbusDevice::~ModbusDevice() = default;
DeviceRecord ModbusDevice::record() const { return m_record; }
void ModbusDevice::setRecord(const DeviceRecord &record) { m_record = record; }
bool ModbusDevice::isReady() const { return m_ready; }
void ModbusDevice::open() {}
void ModbusDevice::tryConnect() { m_state = DeviceState::Connecting; }
void ModbusDevice::close() { m_state = 0; }
bool ModbusDevice::isWaiting() const { return m_waitDepth > 0; }
void ModbusDevice::releaseWhenIdle() { deleteLater(); }
bool ModbusDevice::isBusy() const { return m_busy; }
int ModbusDevice::stateCode() const { return m_state; }
quint16 ModbusDevice::channelCount() const { return m_channelCount; }
quint16 ModbusDevice::channel() const { return m_channel; }
quint8 ModbusDevice::axisCount() const { return m_axisCount; }
QList<quint8> ModbusDevice::axisList() const { return m_axisList; }
QList<int> ModbusDevice::decimals() const { return m_decimals; }
quint32 ModbusDevice::speedScale() const { return m_speedScale; }
QList<float> ModbusDevice::speedDivisors() const { return m_speedDivisors; }
bool ModbusDevice::statusCoilMode() const { return m_statusCoilMode; }
int ModbusDevice::runCoil() const { return m_runCoil; }
int ModbusDevice::alarmCoil() const { return m_alarmCoil; }
int ModbusDevice::idleCoil() const { return m_idleCoil; }
PositionStatus ModbusDevice::positionCache() const { return m_position; }
QList<ProgramEntry> ModbusDevice::programDirectory() const { return m_directory; }
QModbusClient *ModbusDevice::client() const { return m_client; }
int ModbusDevice::lastResult() const { return m_lastResult; }
QString ModbusDevice::axisLabel(quint16 code) { return RegisterCodec::axisLabel(code); }
