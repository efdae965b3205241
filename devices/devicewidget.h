#pragma once

#include "config/devicerecord.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <QTabWidget>

class DeviceWatch;
class ModbusDevice;
class QContextMenuEvent;
class QDragEnterEvent;
class QDropEvent;
class QMouseEvent;
class QTimer;
class QMenu;
class StopMark;
class UpLoadDialog;

namespace Ui {
class deviceWidget;
class deviceSettings;
} // namespace Ui

// The card of one controller in the device list: connect switch, live state,
// settings page, upload button and drop target. It owns the controller's
// ModbusDevice, and its DeviceWatch polls it every 500 ms while the switch is on.
class deviceWidget : public QTabWidget
{
    Q_OBJECT

public:
    explicit deviceWidget(QWidget *parent = nullptr);
    ~deviceWidget() override;

    // The record's On is the card's switch: record() reports it, and the list
    // switches a card on whose stored record says so.
    void setRecord(const DeviceRecord &record);
    DeviceRecord record() const;
    void setSwitchedOn(bool on);
    void setSelected(bool selected);
    void releaseConnection();
    void refreshState();
    void showUploadDialog();
    // Dialogs that run on this card's device, opened elsewhere on the card's
    // requests: closed when the card leaves the list, deleted with it.
    void holdDialog(QDialog *dialog);
    template<class T> T *heldDialog() const
    {
        for (const QPointer<QDialog> &dialog : m_heldDialogs) {
            if (T *held = qobject_cast<T *>(dialog.data()))
                return held;
        }
        return nullptr;
    }

    // The card's look as one style sheet. shareLook() sets it once on the
    // widget that holds the cards of a list, so the cards made inside it
    // carry no sheet of their own; a card elsewhere sets it on itself.
    static QString lookSheet();
    static void shareLook(QWidget *list);
    // The reason the stop under way was given, 0 for none: the untagged mark goes or may come.
    void showStopReason(int reason);

    ModbusDevice *device() const;
    DeviceWatch *watch() const;
    UpLoadDialog *uploadDialog() const;

    // For a card taken out of the list: deletes it once no transaction of its
    // device waits in a nested event loop.
    void releaseWhenIdle();

    // How often a card taken out of the list looks again whether its device
    // has left its nested event loop.
    static constexpr int ReleaseRetryMs = 50;

signals:
    void signDoubleClicked();
    // The card's menu asks for the machine's history, a whole-controller
    // backup into SET's backup folder, or the compare with (and restore from)
    // a backup folder. Never while the card leaves the list.
    void historyRequested();
    void backupRequested();
    void restoreRequested();
    // The card's menu gives the stop under way a reason.
    void stopReasonChosen(int reason);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void onSwitchToggled(bool checked);
    void buildSettingsPage();
    void fillSettingsPage(const DeviceRecord &record);
    void onSettingChanged();
    void showRowsForType(int type);
    void showName(const QString &name);
    void setUpStateDisplay();
    void showState(int code);
    void addStopReasonMenu(QMenu *menu);

    Ui::deviceWidget *ui = nullptr;
    Ui::deviceSettings *m_settings = nullptr; // the setting page, once it was first shown
    QString m_nameField;                      // what the page's name field holds (or would)
    // Deleted through ModbusDevice::releaseWhenIdle(), never directly: a
    // transaction may still wait in the device's event loop when the card goes.
    ModbusDevice *m_device = nullptr;
    DeviceWatch *m_watch = nullptr; // child of the card
    int m_lastState = 4;
    StopMark *m_stopMark = nullptr; // child of the card
    QStringList m_stateTexts;       // per state code, taken once, in the language then installed
    // Top-level window without a parent; hidden and deleted with the card.
    QPointer<UpLoadDialog> m_uploadDialog;
    QList<QPointer<QDialog>> m_heldDialogs;
    bool m_releasing = false;
};
