#pragma once

#include "config/devicerecord.h"

#include <QTabWidget>

class ModbusDevice;
class QTimer;
class UpLoadDialog;

namespace Ui {
class deviceWidget;
}

// The card of one controller in the device list: connect switch, live state,
// settings page, upload button and drop target. It owns the controller's
// ModbusDevice and polls it every 500 ms while the switch is on.
class deviceWidget : public QTabWidget
{
    Q_OBJECT

public:
    explicit deviceWidget(QWidget *parent = nullptr);
    ~deviceWidget() override;

    void setRecord(const DeviceRecord &record);
    DeviceRecord record() const;
    void setSelected(bool selected);
    void releaseConnection();
    void refreshState();
    void showUploadDialog();

    ModbusDevice *device() const;
    UpLoadDialog *uploadDialog() const;

    // For a card taken out of the list: deletes it once no transaction of its
    // device waits in a nested event loop.
    void releaseWhenIdle();

signals:
    void signDoubleClicked();

private:
    Ui::deviceWidget *ui = nullptr;
    ModbusDevice *m_device = nullptr;
    QTimer *m_pollTimer = nullptr;
    int m_lastState = 4;
    UpLoadDialog *m_uploadDialog = nullptr;
};
