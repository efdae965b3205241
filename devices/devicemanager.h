#pragma once

#include "config/devicerecord.h"
#include "link/devicestatus.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class DeviceFleet;
class ModbusDevice;
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
    // The one device list of the run, created on the first call without a
    // parent; the main window re-parents and in the end destroys it. It is
    // never built again: a late call would bring back the cards of the
    // start-up records, and a configuration saved from them would lose the
    // run's changes. After the destruction this answers null, which callers
    // handle.
    static DeviceManager *instance();
    // The list when one is built, without building one.
    static DeviceManager *existing();
    // For tests only: destroys the list, if there is one, and lets the next
    // instance() build a fresh one from ConfigStore's records. A test that
    // needs a new list (or a second main window) says so by calling this.
    static void resetInstanceForTesting();
    ~DeviceManager() override;

    void addDevice();
    void addDevice(const DeviceRecord &record);
    void removeSelectedDevice();
    void selectDevice(); // slot for a card's signDoubleClicked()
    deviceWidget *selectedDevice() const;
    // The selected card's device, when there is a list and a card is selected:
    // what a view's operation went to, for the busy rule's wait bound.
    static ModbusDevice *selectedModbusDevice();
    QList<DeviceRecord> deviceRecords() const;
    QList<deviceWidget *> cards() const;
    // The run's controllers for the observers (history, broker): each card's
    // watch, from the card's making until it leaves the list.
    DeviceFleet *fleet() const;

    // Forwarded to the selected card's device; 1 when no card is selected.
    int readPosition(PositionStatus *status);
    int readIo(IoStatus *status);
    int readProgramList(QList<ProgramEntry> *list, bool reload);
    int readProgram(QByteArray *bytes, int number);
    int writeProgram(const QByteArray &bytes, int number);
    int deleteProgram(int number);
    int readSystemFile(QByteArray *bytes, const QString &name);

signals:
    // Another card, or none, is selected: what a view shows of the previous
    // controller belongs to that controller and must go.
    void selectedDeviceChanged();
    // A card's menu asks for the history of its machine, or for a backup of
    // (or a restore to) its controller.
    void historyRequested(const QString &machine);
    void backupRequested(deviceWidget *card);
    void restoreRequested(deviceWidget *card);
    // A card's menu gives the stop under way of its machine a reason.
    void stopReasonChosen(deviceWidget *card, int reason);

private:
    explicit DeviceManager(QWidget *parent = nullptr);
    void addCard(const DeviceRecord &record);
    QString noSelectionText() const;

    Ui::DeviceManager *ui = nullptr;
    QList<deviceWidget *> m_cards; // children of the scroll area's content widget
    QPointer<deviceWidget> m_selected;
    DeviceFleet *m_fleet = nullptr; // child
};
