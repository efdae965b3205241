#pragma once

#include "history/historystore.h"
#include "history/periods.h"

#include <QHash>
#include <QObject>
#include <QThread>
#include <QTimer>

namespace History {

class Writer;

// Turns what the devices show into periods, piece counts and operations, and
// has them written to history.sqlite once a second by a thread of its own:
// taking a sample costs the caller (the poll's answer) no file access, and a
// killed program loses at most the last second.
//
// Devices are told apart by a key (their watch), named by their record's
// name. While another program holds the file's lock, what comes waits in
// memory (bounded) and is written once the file is free; held() and
// resumed() tell. A file that cannot be written otherwise (read-only, not a
// database) is reported once through unavailable(); the recorder then drops
// what it is given, and the program runs on without history.
class Recorder : public QObject
{
    Q_OBJECT

public:
    static constexpr int FlushIntervalMs = 1000;
    // Program names come from the controller: what is kept of one.
    static constexpr int MaxProgramLength = 64;
    // While the file is locked: the tries' back-off, and what may wait for
    // it (periods, piece counts and operations together; each device's
    // period under way besides). About 200 bytes a row.
    static constexpr int FirstRetryMs = 1000;
    static constexpr int LastRetryMs = 30000;
    static constexpr int MaxWaitingRows = 50000;

    // Starts recording into `path`, removing what ended more than
    // `retentionDays` ago (at start and once a day; the default when not
    // positive).
    Recorder(const QString &path, int retentionDays, QObject *parent = nullptr);
    // Closes the periods under way at this moment and writes what is left.
    ~Recorder() override;

    // What a device shows now: switched on or not, its state code, the
    // program in run and the piece count (-1 while not read).
    void noteState(quintptr key, const QString &name, bool on, int state, const QString &program,
                   qint32 pieces);
    // A write or delete the program made on the device.
    void noteOperation(const QString &name, const QString &kind, const QString &target, int result,
                       qint64 bytes);
    // The device left the run: its period ends now.
    void forget(quintptr key);

    // Gives the stop under way of a device a reason, as `who`; false when
    // the device is not stopped.
    bool tagStop(quintptr key, int reason, const QString &who);
    // Tags written elsewhere (the history window): a stop under way among
    // them takes its reason.
    void noteTags(const QVector<StopTag> &tags);
    // The reason of the stop under way of a device, 0 when untagged or running.
    int reasonNow(quintptr key) const;
    // The shifts from now on; recorded when they differ from the last ones.
    void setShifts(const QVector<Shift> &shifts);

    // False once the file turned out unusable.
    bool isRecording() const { return m_problem.isEmpty(); }
    QString problem() const { return m_problem; }
    // Why what comes waits in memory now; empty while it is written.
    QString heldBy() const { return m_heldBy; }

    // Hands what is pending to the writer now, and (wait) returns once it is
    // written. For the tests and the benchmarks; the timer does it otherwise.
    void flush(bool wait = false);

signals:
    // Before each second's write: a source whose state can change without
    // telling (a switch turned while the state stays) reports it now.
    void sampling();
    // Once: the file cannot be used this run, and why.
    void unavailable(const QString &problem);
    // The file is locked by another program: what comes waits from now on.
    void held(const QString &problem);
    // The file is written again, with what waited; `lost` rows found no room.
    void resumed(qint64 lost);
    // A batch reached the file; `upTo` is the time of its last sample.
    void written(qint64 upTo);
    // The stop under way of a device was given a reason, or (0) the tagged stop ended.
    void reasonChanged(quintptr key, int reason);

private:
    struct Entry
    {
        QString name;
        quintptr watch = 0;
        qint64 key = 0; // the key of its row of periods under way
        PeriodBuilder builder;
        StateSample last;
        qint32 pieces = -1;
        bool stored = false; // a period of it under way is in the file
        qint64 stopStart = -1; // the start of the stop under way
        int reason = 0;        // the reason given to it
    };

    void take(Entry *entry, const StateSample &sample);
    void close(Entry *entry, qint64 at);
    void endStop(Entry *entry);
    void onTick();
    void onFailed(const QString &problem);
    void onHeld(const QString &problem);
    void onResumed(qint64 lost);
    void collectOpen();

    QThread m_thread;
    Writer *m_writer = nullptr; // lives in m_thread
    QTimer m_tick;
    QHash<quintptr, Entry> m_entries;
    Batch m_pending;
    qint64 m_keyBase = 0;
    qint64 m_nextKey = 0;
    QString m_problem;
    QString m_heldBy;
};

} // namespace History
