#include "web/board.h"

#include "link/exportwords.h"
#include "link/protocol.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace Web {

namespace {

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

qint64 midnightOf(qint64 ms)
{
    return QDateTime(QDateTime::fromMSecsSinceEpoch(ms).date(), QTime(0, 0)).toMSecsSinceEpoch();
}

qint64 nextMidnight(qint64 day)
{
    return QDateTime(QDateTime::fromMSecsSinceEpoch(day).date().addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
}

QJsonValue utcText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate);
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonValue countOrNull(qint32 count)
{
    return count < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(count);
}

QByteArray sseEvent(const char *name, const QByteArray &json)
{
    return QByteArrayLiteral("event: ") + name + QByteArrayLiteral("\ndata: ") + json + "\n\n";
}

} // namespace

bool operator==(const MachineReport &a, const MachineReport &b)
{
    return a.id == b.id && a.name == b.name && a.state == b.state && a.on == b.on && a.program == b.program &&
           a.pieces == b.pieces && a.target == b.target && a.reason == b.reason;
}

Board::Board() = default;

Board::~Board()
{
    close();
}

// Counts the time since the last count in the state it had, crossing
// midnight into a new day with the periods started afresh.
void Board::account(Machine *machine, qint64 now) const
{
    const MachineReport &report = machine->report;
    while (now > machine->counted) {
        const qint64 dayEnd = nextMidnight(machine->day);
        const qint64 until = std::min(now, dayEnd);
        const qint64 span = until - machine->counted;
        if (report.on) {
            machine->onMs += span;
            if (report.state == DeviceState::Running)
                machine->runMs += span;
        }
        machine->counted = until;
        if (until < dayEnd)
            break;
        machine->day = dayEnd;
        machine->runMs = 0;
        machine->onMs = 0;
        machine->periods = {Period{dayEnd, -1, report.state, report.on}};
    }
}

void Board::update(const MachineReport &report)
{
    if (report.id.isEmpty())
        return;
    const qint64 now = nowMs();
    QByteArray event;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_machines.find(report.id);
        if (it == m_machines.end()) {
            if (m_machines.size() >= MaxMachines)
                return;
            Machine machine;
            machine.report = report;
            machine.since = now;
            machine.first = now;
            machine.day = midnightOf(now);
            machine.counted = now;
            machine.periods.append(Period{now, -1, report.state, report.on});
            it = m_machines.insert(report.id, machine);
        } else {
            Machine &machine = *it;
            if (machine.report == report)
                return;
            account(&machine, now);
            const bool stateChanged = machine.report.state != report.state || machine.report.on != report.on;
            if (machine.report.state != report.state)
                machine.since = now;
            if (stateChanged) {
                machine.periods.last().end = now;
                machine.periods.append(Period{now, -1, report.state, report.on});
                if (machine.periods.size() > MaxPeriods)
                    machine.periods.removeFirst();
            }
            machine.report = report;
            if (stateChanged)
                carry(&machine);
        }
        event = sseEvent("machine", machineObject(*it, now, false));
    }
    push(event);
}

void Board::remove(const QString &id)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_machines.remove(id) == 0)
            return;
    }
    // Each reader asks for the fleet when it next reads: many removals in a
    // row (a list cleared) build it once, not once per removal.
    std::lock_guard<std::mutex> lock(m_listenMutex);
    for (const std::shared_ptr<Listener> &listener : qAsConst(m_listeners)) {
        listener->m_queue.clear();
        listener->m_resync = true;
    }
    m_wake.notify_all();
}

void Board::noteOperation(const QString &id, const MachineOperation &operation)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_machines.find(id);
    if (it == m_machines.end())
        return;
    it->operations.prepend(operation);
    if (it->operations.size() > MaxOperations)
        it->operations.removeLast();
}

bool Board::linkless(int state, bool on)
{
    return !on || state == DeviceState::NotConnected || state == DeviceState::Connecting;
}

// Decided at the first state with a link the board sees after the recorded
// one: either the machine went on in it through the restart, or not.
bool Board::carry(Machine *machine)
{
    const Period &present = machine->periods.constLast();
    if (machine->carried.start < 0 || linkless(present.state, present.on))
        return false;
    bool goesOn = present.state == machine->carried.state && present.start >= machine->first &&
                  present.start <= machine->first + CarryMs;
    for (int i = 0; goesOn && i + 1 < machine->periods.size(); ++i) {
        const Period &seen = machine->periods.at(i);
        goesOn = seen.start < machine->first || linkless(seen.state, seen.on);
    }
    if (goesOn)
        machine->since = std::min(machine->since, machine->carried.start);
    machine->carried.start = -1;
    return goesOn;
}

void Board::loadDay(const QHash<QString, PastDay> &days)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto day = days.cbegin(); day != days.cend(); ++day) {
            const auto it = m_machines.find(day.key());
            if (it == m_machines.end() || it->loaded || day->day != it->day || day->until > it->first ||
                day->until < day->day)
                continue;
            Machine &machine = *it;
            machine.loaded = true;
            // Bounded by the day itself, whatever the file said.
            const qint64 onMs = qBound(qint64(0), day->onMs, day->until - day->day);
            machine.onMs += onMs;
            machine.runMs += qBound(qint64(0), day->runMs, onMs);
            QVector<Period> periods;
            for (const Period &period : day->periods) {
                if (period.start >= day->day && period.end > period.start && period.end <= day->until &&
                    (periods.isEmpty() || period.start >= periods.constLast().end))
                    periods.append(period);
            }
            periods += machine.periods;
            if (periods.size() > MaxPeriods)
                periods.remove(0, periods.size() - MaxPeriods);
            machine.periods = periods;
            machine.operations += day->operations.mid(0, MaxOperations);
            if (machine.operations.size() > MaxOperations)
                machine.operations.resize(MaxOperations);
            if (day->carried.start >= day->day && day->carried.end >= day->until - CarryMs &&
                !linkless(day->carried.state, day->carried.on)) {
                machine.carried = day->carried;
                carry(&machine);
            }
        }
    }
    broadcastFleet();
}

void Board::broadcastFleet()
{
    // Built once for every reader, not once per reader's thread under the
    // lock update() needs. Held under the listeners' lock, so that a report
    // pushed meanwhile is either in the snapshot or queued after it.
    std::lock_guard<std::mutex> lock(m_listenMutex);
    if (m_listeners.isEmpty())
        return;
    const QByteArray fleet = sseEvent("fleet", fleetJson());
    for (const std::shared_ptr<Listener> &listener : qAsConst(m_listeners)) {
        listener->m_queue.clear();
        if (!listener->m_resync)
            listener->m_queue.push_back(fleet);
    }
    m_wake.notify_all();
}

// A copy, counted up to now: the utilization and the periods as they are
// at this moment, without touching the board's own count.
QByteArray Board::machineObject(Machine machine, qint64 now, bool detail) const
{
    account(&machine, now);
    const MachineReport &report = machine.report;
    QJsonObject object{
        {QStringLiteral("id"), report.id},
        {QStringLiteral("name"), report.name},
        {QStringLiteral("state"), ExportWords::brokerState(report.state)},
        {QStringLiteral("program"), textOrNull(report.program)},
        {QStringLiteral("pieces"), countOrNull(report.pieces)},
        {QStringLiteral("target"), countOrNull(report.target)},
        {QStringLiteral("since"), utcText(machine.since)},
        {QStringLiteral("utilization"),
         machine.onMs > 0 ? std::round(1000.0 * double(machine.runMs) / double(machine.onMs)) / 1000.0 : 0.0},
        {QStringLiteral("reason"), textOrNull(report.reason)},
    };
    if (detail) {
        QJsonArray periods;
        for (const Period &period : qAsConst(machine.periods)) {
            if (period.start < machine.day)
                continue;
            periods.append(QJsonObject{
                {QStringLiteral("state"), ExportWords::brokerState(period.on ? period.state : 0)},
                {QStringLiteral("from"), utcText(period.start)},
                {QStringLiteral("to"), utcText(period.end < 0 ? now : period.end)},
            });
        }
        QJsonArray operations;
        for (const MachineOperation &operation : qAsConst(machine.operations)) {
            operations.append(QJsonObject{
                {QStringLiteral("time"), utcText(operation.at)},
                {QStringLiteral("kind"), operation.kind},
                {QStringLiteral("target"), operation.target},
                {QStringLiteral("ok"), operation.result == 0},
                {QStringLiteral("result"), operation.result},
                {QStringLiteral("bytes"), operation.bytes},
            });
        }
        object.insert(QStringLiteral("day"), utcText(machine.day));
        object.insert(QStringLiteral("now"), utcText(now));
        object.insert(QStringLiteral("periods"), periods);
        object.insert(QStringLiteral("operations"), operations);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray Board::fleetJson() const
{
    const qint64 now = nowMs();
    std::lock_guard<std::mutex> lock(m_mutex);
    QByteArray json = "[";
    json.reserve(m_machines.size() * 220 + 2);
    for (auto it = m_machines.cbegin(); it != m_machines.cend(); ++it) {
        if (json.size() > 1)
            json += ',';
        json += machineObject(*it, now, false);
    }
    return json + ']';
}

QByteArray Board::machineJson(const QString &id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_machines.constFind(id);
    return it == m_machines.cend() ? QByteArray() : machineObject(*it, nowMs(), true);
}

int Board::machineCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_machines.size();
}

void Board::push(const QByteArray &event)
{
    std::lock_guard<std::mutex> lock(m_listenMutex);
    for (const std::shared_ptr<Listener> &listener : qAsConst(m_listeners)) {
        if (listener->m_resync)
            continue; // gets the whole fleet anyway
        if (int(listener->m_queue.size()) >= MaxQueuedEvents) {
            listener->m_queue.clear();
            listener->m_resync = true;
            continue;
        }
        listener->m_queue.push_back(event);
    }
    m_wake.notify_all();
}

std::shared_ptr<Board::Listener> Board::listen()
{
    auto listener = std::make_shared<Listener>();
    listener->m_board = this;
    std::lock_guard<std::mutex> lock(m_listenMutex);
    if (!m_closed)
        m_listeners.append(listener);
    return listener;
}

void Board::unlisten(const std::shared_ptr<Listener> &listener)
{
    std::lock_guard<std::mutex> lock(m_listenMutex);
    m_listeners.removeAll(listener);
}

void Board::close()
{
    std::lock_guard<std::mutex> lock(m_listenMutex);
    m_closed = true;
    m_listeners.clear();
    m_wake.notify_all();
}

void Board::open()
{
    std::lock_guard<std::mutex> lock(m_listenMutex);
    m_closed = false;
}

QByteArray Board::Listener::next(int timeoutMs)
{
    Board *board = m_board;
    bool resync = false;
    QByteArray text;
    {
        std::unique_lock<std::mutex> lock(board->m_listenMutex);
        board->m_wake.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return board->m_closed || m_resync || !m_queue.empty(); });
        if (board->m_closed)
            return QByteArray();
        resync = m_resync;
        m_resync = false;
        if (resync)
            m_queue.clear();
        while (!m_queue.empty()) {
            text += m_queue.front();
            m_queue.pop_front();
        }
    }
    if (resync)
        return sseEvent("fleet", board->fleetJson());
    return text.isEmpty() ? QByteArrayLiteral(": heartbeat\n\n") : text;
}

} // namespace Web
