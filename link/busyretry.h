#pragma once

#include <QDeadlineTimer>

#include <functional>

class ModbusDevice;
class QObject;

// The one rule for an operation a device refused as busy (another operation
// of the same device, most often the card's status poll, was waiting): it is
// tried again every IntervalMs from the event loop, never in a loop of its
// own (what keeps the device busy may be waiting below the refused call),
// until it goes through or the device's wait bound (waitBoundMs(): as long as
// one request may take with its retries) has passed since the first refusal.
// Then the refusal stands and the caller reports it as any other failure.
class BusyRetry
{
public:
    static constexpr int IntervalMs = 20;

    // After a refusal: true when the caller tries again in IntervalMs, false
    // when the bound has passed (or there is no device to wait for); the next
    // refusal after that starts a new bound.
    bool again(const ModbusDevice *device);
    // The operation went through or was given up for another reason: the
    // next refusal starts a new bound.
    void reset() { m_waiting = false; }
    bool isWaiting() const { return m_waiting; }

    // For an action the operator starts (a click): while a wait of the
    // device is on the stack below it (a page's refresh, or another action,
    // was waiting for a reply when the click came), the device's loop cannot
    // take another request, and the wait below cannot return before this
    // call has. Then action runs again from the event loop in IntervalMs,
    // within the bound, and this answers true: the caller returns at once.
    // False when the action goes on now; past the bound it goes on and finds
    // the device busy, which it reports.
    bool later(const ModbusDevice *device, QObject *context, std::function<void()> action);

private:
    bool m_waiting = false;
    QDeadlineTimer m_until;
};
