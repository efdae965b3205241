#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace Web {

// What a source tells of one machine: the fleet's watch or the broker's topics.
struct MachineReport
{
    QString id; // the broker's topic ID
    QString name;
    int state = 0;      // the card's state code 0..4
    bool on = false;    // switched on (fleet) or online (broker): counted in the utilization
    QString program;    // empty while not read
    qint32 pieces = -1; // -1 while not read
    qint32 target = -1;
    QString reason; // the tagged stop reason; empty for none
};

bool operator==(const MachineReport &a, const MachineReport &b);
inline bool operator!=(const MachineReport &a, const MachineReport &b)
{
    return !(a == b);
}

// A write or delete the program made on the machine.
struct MachineOperation
{
    qint64 at = 0; // ms since the epoch
    QString kind;  // "write-program", "write-file", "delete-program"
    QString target;
    int result = 0;
    qint64 bytes = 0;
};

// The board's picture of the shop, shared between the thread that feeds it
// (the program's, through a source) and the server's threads that read it.
// Every member takes the one mutex for a short copy or update and never
// calls out while holding it; nothing here waits on a client.
//
// What a machine did today (the run and switched-on time, the periods for
// its timeline, the last operations) is what this board observed since it
// started, with what the history recorded earlier today once loadDay() hands
// it over. The board's readers follow it through listeners: each has a queue
// of its own, bounded, so a reader that falls behind loses its queue and is
// handed the whole fleet again, never holding the feeder or the others.
class Board
{
public:
    // One reader of the event stream, used by one server thread.
    class Listener
    {
    public:
        // The next text of the stream: waits up to timeoutMs for events, else
        // gives a heartbeat comment. Empty once the board closed.
        QByteArray next(int timeoutMs);

    private:
        friend class Board;
        Board *m_board = nullptr;
        std::deque<QByteArray> m_queue; // under the board's listener mutex
        bool m_resync = true;           // the next text is the whole fleet
    };

    static constexpr int MaxQueuedEvents = 256;
    static constexpr int MaxPeriods = 2000; // of one machine's day; the oldest go first
    static constexpr int MaxOperations = 20;
    static constexpr int MaxMachines = 10000;
    // A recorded state goes on across a restart of the program when the
    // record reaches to within this of the board's start, and the board sees
    // the state again within this of seeing the machine, with only the
    // connecting states (or switched off) in between.
    static constexpr qint64 CarryMs = 60000;

    struct Period
    {
        qint64 start = 0;
        qint64 end = -1; // -1 while under way
        int state = 0;
        bool on = false;
    };
    // What the history recorded of one machine today, before `until`: the
    // periods in time order without overlaps (the last MaxPeriods), their
    // sums, the last recorded period in which the link stood (start -1 for
    // none), the last operations, newest first.
    struct PastDay
    {
        qint64 day = 0;
        qint64 until = 0;
        QVector<Period> periods;
        qint64 runMs = 0;
        qint64 onMs = 0;
        Period carried{-1, -1, 0, false};
        QVector<MachineOperation> operations;
    };

    Board();
    ~Board();
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;

    // A machine's report, now. Listeners hear of it when anything changed.
    void update(const MachineReport &report);
    void remove(const QString &id);
    void noteOperation(const QString &id, const MachineOperation &operation);
    // Puts what the history recorded today before each machine's days the
    // board counts, by ID: once per machine, and only to a day it still
    // counts and a machine it saw no earlier than `until`. Listeners get the
    // whole fleet again.
    void loadDay(const QHash<QString, PastDay> &days);
    // Every listener gets the whole fleet again (the utilization moves on
    // without reports).
    void broadcastFleet();

    // The JSON of /api/fleet and of /api/machine/ID (empty when unknown).
    QByteArray fleetJson() const;
    QByteArray machineJson(const QString &id) const;
    int machineCount() const;

    std::shared_ptr<Listener> listen();
    void unlisten(const std::shared_ptr<Listener> &listener);
    // Wakes every listener with the end of its stream; no new ones come
    // until it is opened again.
    void close();
    void open();

private:
    struct Machine
    {
        MachineReport report;
        qint64 since = 0;                 // start of the present state
        qint64 first = 0;                 // when the board first saw it
        bool loaded = false;              // the history's day is in
        Period carried{-1, -1, 0, false}; // the recorded state it may go on in
        qint64 day = 0;                   // local midnight of the day counted
        qint64 counted = 0;
        qint64 runMs = 0;
        qint64 onMs = 0;
        QVector<Period> periods;
        QVector<MachineOperation> operations;
    };

    void account(Machine *machine, qint64 now) const;
    static bool linkless(int state, bool on);
    // The present state goes on from the recorded one: true when since moved.
    static bool carry(Machine *machine);
    QByteArray machineObject(Machine machine, qint64 now, bool detail) const;
    void push(const QByteArray &event);

    mutable std::mutex m_mutex; // the machines
    QHash<QString, Machine> m_machines;

    std::mutex m_listenMutex; // the listeners and their queues
    std::condition_variable m_wake;
    QVector<std::shared_ptr<Listener>> m_listeners;
    bool m_closed = false;
};

} // namespace Web
