#include "link/uploaddialog.h"

#include "link/modbusdevice.h"

UpLoadDialog::UpLoadDialog(QWidget *parent) : QDialog(parent) {}
UpLoadDialog::~UpLoadDialog() = default;
void UpLoadDialog::bindDevice(ModbusDevice *device) { m_device = device; }
ModbusDevice *UpLoadDialog::device() const { return m_device; }
void UpLoadDialog::insertFiles(const QStringList &) {}
void UpLoadDialog::insertFile(const QFileInfo &) {}
