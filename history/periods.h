#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// What a machine did, as stretches of one state: built from the states its
// card showed, summed up for a day or a week. Pure functions, no I/O.
namespace History {

// The state of a device that is switched off, or while nothing recorded it.
constexpr int Off = -1;

// Two samples of one device further apart than this mean nobody watched in
// between (the program stopped, the PC slept): what the device did then is
// not known, and no period spans it. The recorder samples every second.
constexpr qint64 DefaultMaxGapMs = 5000;

// Times are milliseconds since 1970-01-01 UTC.
struct StateSample
{
    qint64 at = 0;
    int state = Off; // a DeviceState code, or Off
    QString program; // the program in run; empty while not read
    // The first sample of a recording run: whatever came before it belongs to
    // an earlier run, however close in time.
    bool restart = false;
};

struct StatePeriod
{
    int state = Off;
    qint64 start = 0;
    qint64 end = 0;
    QString program;
};

bool operator==(const StatePeriod &a, const StatePeriod &b);

// Folds the samples of one device, in the order they were taken, into
// periods. A period ends where the state or the program changes (at the
// changing sample), where the device is switched off (at that sample), and
// where the recording stops: a gap longer than the limit, a restart or a
// clock set back end it at the last sample before. A state without a link
// (not connected, connecting) carries no program: the controller said
// nothing then.
class PeriodBuilder
{
public:
    explicit PeriodBuilder(qint64 maxGapMs = DefaultMaxGapMs);

    // Takes the next sample; true when it closed a period, given in *closed.
    bool add(const StateSample &sample, StatePeriod *closed);
    // Ends the recording: the period under way, if any, closes at the last sample.
    bool finish(StatePeriod *closed);

    bool hasOpen() const { return m_open.state != Off; }
    // The period under way, ending at the last sample.
    const StatePeriod &open() const { return m_open; }

private:
    qint64 m_maxGapMs;
    StatePeriod m_open;
    qint64 m_last = 0;
    bool m_seen = false;
};

// All periods of the samples, the last one closed at the last sample.
QVector<StatePeriod> buildPeriods(const QVector<StateSample> &samples, qint64 maxGapMs = DefaultMaxGapMs);

// A length of time as hours and minutes ("27:05"), with seconds when asked ("27:05:09").
QString clockText(qint64 ms, bool withSeconds = false);

// A period limited to [from, to); false when nothing of it lies inside.
bool clip(StatePeriod *period, qint64 from, qint64 to);

// The figures of one device over [from, to), from its periods in time order.
struct Summary
{
    qint64 onMs = 0; // switched on (any state)
    qint64 runMs = 0;
    qint64 idleMs = 0;
    qint64 alarmMs = 0;
    qint64 linklessMs = 0; // not connected or connecting
    int alarms = 0;        // alarms that began or lasted into the range
    // The programs that ran, longest running time first, with that time.
    QStringList programs;
    QVector<qint64> programMs;

    double utilization() const { return onMs > 0 ? double(runMs) / double(onMs) : 0.0; }
};

Summary summarize(const QVector<StatePeriod> &periods, qint64 from, qint64 to);

// One reading of a device's piece count.
struct PieceSample
{
    qint64 at = 0;
    qint32 pieces = 0;
};

// Pieces made between the readings, in time order: every rise of the count.
// A count that falls was reset at the controller, and counts on from there.
qint64 piecesMade(const QVector<PieceSample> &samples);

} // namespace History
