#pragma once

#include "link/busyretry.h"

#include <QObject>

#include <functional>

class QTimer;
class QWidget;

// The refresh of a page that polls the selected device while it is visible
// (the position and IO pages): a 500 ms timer, one read at a time, and a read
// that the device refused as busy (the card's status poll of the same device
// was waiting) tried again by the busy rule (BusyRetry) until it goes through,
// the rule gives up or the next tick is due, so the page does not go stale
// while the card polls. What the page shows fades while it is older than a
// refresh that failed.
class ViewPoller : public QObject
{
    Q_OBJECT

public:
    static constexpr int IntervalMs = 500;

    // One read of the selected device and its display; returns the device's
    // result code. The page, and this poller with it, may be deleted while the
    // read waits.
    using Read = std::function<int()>;

    ViewPoller(Read read, QObject *parent);

    void start(); // from the page's show event
    void stop();  // from its hide event
    // What the timer runs: one read, counted as a tick.
    void tick();
    // One read now; nothing while a read of this page waits.
    void refresh();

    // Precise timers: a coarse timer of the same interval as the card's poll
    // would line up with it and land while the poll waits, every time. Tests
    // lengthen the interval to drive the ticks themselves.
    void setInterval(int ms);

    bool isActive() const;
    bool isReading() const { return m_reading; }
    int lastResult() const { return m_lastResult; }
    int tickCount() const { return m_ticks; }
    int refreshCount() const { return m_refreshes; } // reads that answered 0

    // True from a read that failed (or a whole tick refused as busy) until a
    // read answers 0: the values on show are older than that refresh.
    bool isStale() const { return m_stale; }
    // These widgets (a table: its cells) fade while the values are stale,
    // instead of looking live.
    void fadeWhenStale(const QList<QWidget *> &widgets);

signals:
    void staleChanged(bool stale);

private:
    void setStale(bool stale);

    Read m_read;
    QTimer *m_timer = nullptr;
    QTimer *m_retry = nullptr;
    BusyRetry m_busy;
    bool m_reading = false;
    int m_lastResult = -1;
    int m_ticks = 0;
    int m_refreshes = 0;
    bool m_stale = false;
    bool m_answeredThisTick = true;
};
