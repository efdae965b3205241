#pragma once

#include "history/periods.h"
#include "history/shifts.h"

#include <QMap>
#include <QSet>

// Why machines stood still: the stops among the periods, the reasons given
// to them, and the figures per shift. Pure functions, no I/O.
namespace History {

// Idle, alarm, not connected and connecting: the machine is switched on and
// makes nothing.
bool isStopState(int state);

// A stretch of stop states that follow one another without a gap. It is
// known by its device and its start; `reason` is 0 while untagged.
struct Stop
{
    qint64 start = 0;
    qint64 end = 0;
    int reason = 0;
};

// The stops among one device's periods in time order.
QVector<Stop> findStops(const QVector<StatePeriod> &periods);

// A reason given to the stop of `device` that began at `stopStart`, by whom
// and when. A later tag of the same stop replaces it; the earlier stay.
struct StopTag
{
    QString device;
    qint64 stopStart = 0;
    int reason = 0;
    QString who;
    qint64 at = 0;
};

// Who tags: the user logged in at this PC.
QString userName();

// What one machine did in one segment (a shift of a day).
struct ShiftFigures
{
    QDate day;
    int shift = Segment::WholeDay;
    QString name;
    qint64 shiftMs = 0; // the segment's time, up to now
    qint64 onMs = 0;
    qint64 runMs = 0;
    qint64 plannedMs = 0; // stop time tagged with a planned reason
    int stops = 0;        // stops that began in it, or were under way at the start of the range
    int microStops = 0;
    qint64 microStopMs = 0;
    QMap<int, qint64> reasonMs; // stop time per reason, 0 for untagged

    double utilization() const { return onMs > 0 ? double(runMs) / double(onMs) : 0.0; }
    // Running time over the shift's time less its planned stops.
    double availability() const
    {
        const qint64 base = shiftMs - plannedMs;
        return base > 0 ? double(runMs) / double(base) : 0.0;
    }
    // Adds another segment's figures (a day's shift to the week's).
    void add(const ShiftFigures &other);
};

struct StopRules
{
    qint64 microStopMs = qint64(5) * 60 * 1000; // a stop shorter than this is a micro-stop
    QSet<int> planned;                          // codes of planned reasons
    qint64 now = 0;                             // a segment's time counts up to here
};

// The figures of one machine per segment, from its periods and stops in time
// order (both may reach outside the segments). A stop across segments has
// its time split between them; it counts once, in the segment where it
// began or, begun before, in the first.
QVector<ShiftFigures> shiftFigures(const QVector<StatePeriod> &periods, const QVector<Stop> &stops,
                                   const QVector<Segment> &segments, const StopRules &rules);

// The figures of each shift over all days: one entry per shift name, in the
// order first met.
QVector<ShiftFigures> byShift(const QVector<ShiftFigures> &figures);

} // namespace History
