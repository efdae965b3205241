#pragma once

#include "config/devicerecord.h"
#include "link/devicestatus.h"

#include <QList>
#include <QWidget>

class deviceWidget;

namespace Ui {
class DeviceManager;
}

// The device list: one card per controller, selection by double-click, and the
// single entry through which the function views reach the selected controller.
class DeviceManager : public QWidget
{
    Q_OBJECT

public:
    static DeviceManager *instance();
    ~DeviceManager() override;

    void addDevice();
    void addDevice(const DeviceRecord &record);
    void removeSelectedDevice();
    void selectDevice(); // slot for a card's signDoubleClicked()
    deviceWidget *selectedDevice() const;
    QList<DeviceRecord> deviceRecords() const;
    QList<deviceWidget *> cards() const;

    // Forwarded to the selected card's device; 1 when no card is selected.
    int readPosition(PositionStatus *status);
    int readIo(IoStatus *status);
    int readProgramList(QList<ProgramEntry> *list, bool reload);
    int readProgram(QString *text, int number);
    int writeProgram(const QString &text, int number);
    int deleteProgram(int number);
    int readSystemFile(QString *text, const QString &name);

private:
    explicit DeviceManager(QWidget *parent = nullptr);

    Ui::DeviceManager *ui = nullptr;
    QList<deviceWidget *> m_cards;
    deviceWidget *m_selected = nullptr;
};
