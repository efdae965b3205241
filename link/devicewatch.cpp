#include "link/devicewatch.h"

#include "link/modbusdevice.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <array>
#include <vector>

// One timer ticks every watch. Qt keeps a thread's timers in one list that
// every start, stop and expiry walks, and the link's requests start and stop
// timers of their own; with a timer per watch, a thousand watches made that
// list a thousand long and its walks the largest cost of polling. The clock
// fires every PollIntervalMs / SlotCount and ticks one slot of watches each
// time, so each watch still ticks every PollIntervalMs, the first time
// PollIntervalMs after it started.
class PollClock : public QObject
{
public:
    static constexpr int SlotCount = 10;

    // The program's clock, made on first use (null once the application is gone).
    static PollClock *instance()
    {
        static QPointer<PollClock> clock;
        if (!clock && QCoreApplication::instance())
            clock = new PollClock(QCoreApplication::instance());
        return clock;
    }

    void add(DeviceWatch *watch)
    {
        if (watch->m_slot >= 0)
            remove(watch);
        // The slot that fired last comes again after a whole interval; but
        // watches switched on together (at start, or the windowless mode's
        // whole file) would then all poll in one slot, and a thousand polls at
        // once keep the window from its input for a third of a second: a
        // watch joins the least filled slot, the last fired among equals.
        int chosen = (m_next + SlotCount - 1) % SlotCount;
        for (int back = 1; back < SlotCount; ++back) {
            const int slot = (m_next + SlotCount - 1 - back) % SlotCount;
            if (m_slots[size_t(slot)].size() < m_slots[size_t(chosen)].size())
                chosen = slot;
        }
        watch->m_slot = chosen;
        m_slots[size_t(watch->m_slot)].push_back(watch);
        ++m_watches;
        if (!m_timer.isActive())
            m_timer.start();
    }

    void remove(DeviceWatch *watch)
    {
        if (watch->m_slot < 0)
            return;
        // Emptied, not erased: the slot may be ticking right now.
        std::vector<DeviceWatch *> &slot = m_slots[size_t(watch->m_slot)];
        const auto it = std::find(slot.begin(), slot.end(), watch);
        if (it != slot.end())
            *it = nullptr;
        watch->m_slot = -1;
        if (--m_watches == 0)
            m_timer.stop();
    }

private:
    explicit PollClock(QObject *parent) : QObject(parent)
    {
        m_timer.setInterval(DeviceWatch::PollIntervalMs / SlotCount);
        connect(&m_timer, &QTimer::timeout, this, &PollClock::fire);
    }

    void fire()
    {
        const int current = m_next;
        m_next = (m_next + 1) % SlotCount;
        std::vector<DeviceWatch *> &slot = m_slots[size_t(current)];
        // A tick may switch watches off, delete them or start others (which
        // join this slot, for their first tick a whole interval from now).
        const size_t due = slot.size();
        for (size_t i = 0; i < due; ++i) {
            if (DeviceWatch *watch = slot[i])
                watch->onTick();
        }
        slot.erase(std::remove(slot.begin(), slot.end(), nullptr), slot.end());
    }

    QTimer m_timer;
    std::array<std::vector<DeviceWatch *>, SlotCount> m_slots;
    int m_next = 0;
    int m_watches = 0;
};

DeviceWatch::DeviceWatch(ModbusDevice *device, QObject *parent) : QObject(parent), m_device(device)
{
    if (!device)
        return;
    m_snapshot = device->snapshot();
    connect(device, &ModbusDevice::pollFinished, this, &DeviceWatch::onPolled);
    connect(device, &ModbusDevice::operationFinished, this, &DeviceWatch::operationFinished);
}

DeviceWatch::~DeviceWatch()
{
    stopTicks();
}

ModbusDevice *DeviceWatch::device() const
{
    return m_device;
}

QString DeviceWatch::name() const
{
    return m_device ? m_device->record().Name : QString();
}

void DeviceWatch::setOn(bool on)
{
    if (!m_device)
        return;
    m_on = on;
    if (on) {
        // The first tick tells what the attempt brought.
        m_device->open();
        startTicks();
    } else {
        stopTicks();
        m_device->close();
        refresh();
    }
}

bool DeviceWatch::isOn() const
{
    return m_on;
}

void DeviceWatch::startTicks()
{
    if (PollClock *clock = PollClock::instance())
        clock->add(this);
}

void DeviceWatch::stopTicks()
{
    PollClock *clock = m_slot >= 0 ? PollClock::instance() : nullptr;
    if (clock)
        clock->remove(this);
    m_slot = -1;
}

void DeviceWatch::onTick()
{
    if (m_device && !m_device->isReady())
        m_device->tryConnect();
    refresh();
}

// The poll of a ready device runs in the background and its answer comes
// through onPolled(); until then the state is what the device holds now
// (connecting after an attempt, not connected after a drop).
void DeviceWatch::refresh()
{
    if (!m_device)
        return;
    if (m_on)
        m_device->startStatePoll();
    take(m_device->stateCode());
}

void DeviceWatch::onPolled(int code)
{
    // A poll that was under way when the switch went off has nothing to tell.
    if (m_on)
        take(code);
}

void DeviceWatch::take(int state)
{
    DeviceSnapshot now = m_device->snapshot();
    now.state = state;
    if (now == m_snapshot)
        return;
    m_snapshot = now;
    emit snapshotChanged(m_snapshot);
}

DeviceSnapshot DeviceWatch::snapshot() const
{
    return m_snapshot;
}
