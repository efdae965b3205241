#include "devices/devicewidget.h"

#include "link/modbusdevice.h"

deviceWidget::deviceWidget(QWidget *parent) : QTabWidget(parent), m_device(new ModbusDevice) {}
deviceWidget::~deviceWidget() { delete m_device; }
void deviceWidget::setRecord(const DeviceRecord &record) { m_device->setRecord(record); }
DeviceRecord deviceWidget::record() const { return m_device->record(); }
void deviceWidget::setSelected(bool) {}
void deviceWidget::releaseConnection() {}
void deviceWidget::refreshState() {}
void deviceWidget::showUploadDialog() {}
ModbusDevice *deviceWidget::device() const { return m_device; }
UpLoadDialog *deviceWidget::uploadDialog() const { return m_uploadDialog; }
void deviceWidget::releaseWhenIdle() { deleteLater(); }
