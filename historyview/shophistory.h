#pragma once

#include "config/stopsettings.h"

#include <QObject>
#include <QPointer>
#include <QVector>

class HistoryWindow;
class QMainWindow;

namespace History {
class Recorder;
}

// The history in the main window: records what the run's controllers do into
// history.sqlite beside Configure.xml, and opens the history windows, of the
// shop from the History menu and of one machine from its card's menu.
class ShopHistory : public QObject
{
    Q_OBJECT

public:
    explicit ShopHistory(QMainWindow *window);
    ~ShopHistory() override;

    static QString historyFile();
    History::Recorder *recorder() const { return m_recorder; }

    // The window of one machine, or of the shop when `machine` is empty; one
    // already open for it is raised instead.
    HistoryWindow *showWindow(const QString &machine);

private:
    void onUnavailable(const QString &problem);
    // A reason given or gone for the stop under way of a recorded device.
    void onReasonChanged(quintptr key, int reason);
    // How recording goes, when it does not go as it should; shown in the windows.
    void setRecordingText(const QString &text);

    QMainWindow *m_window;
    History::Recorder *m_recorder = nullptr;
    QList<QPointer<HistoryWindow>> m_windows;
    QVector<Shift> m_shifts; // as last handed to the recorder
    QString m_recordingText;
};
