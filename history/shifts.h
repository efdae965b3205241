#pragma once

#include "config/stopsettings.h"

#include <QDate>
#include <QVector>

// The shop's time cut into shifts and calendar days, in local time.
namespace History {

// The shifts in force from a moment on (milliseconds since the epoch), until
// the next plan's moment. A change of the shifts applies from then on, and
// what came before keeps the shifts it had.
struct ShiftPlan
{
    qint64 since = 0;
    QVector<Shift> shifts;
};

// A stretch of one shift within one calendar day.
struct Segment
{
    qint64 start = 0;
    qint64 end = 0;
    QDate day;
    int shift = WholeDay; // index in its plan's shifts, or one of the two below
    QString name;         // the shift's name; empty for the two below

    static constexpr int WholeDay = -1;      // no shifts defined: the day is one
    static constexpr int OutsideShifts = -2; // time no shift covers
};

// [from, to) cut at every shift's start and end and at every local midnight,
// in time order, with the plans in force then (the first one also before its
// moment). A day of a change to or from daylight saving time has 23 or 25
// hours; a shift starting in the skipped hour starts at its end.
QVector<Segment> segments(const QVector<ShiftPlan> &plans, qint64 from, qint64 to);

// The segment of a moment, for many moments in about time order: the
// segments of one day are kept.
class ShiftLookup
{
public:
    explicit ShiftLookup(const QVector<ShiftPlan> &plans) : m_plans(plans) {}
    Segment at(qint64 ms);

private:
    QVector<ShiftPlan> m_plans;
    QVector<Segment> m_day;
};

// The epoch milliseconds of a local date and time; a time the clock skipped
// is taken as the moment after the skip.
qint64 localMs(const QDate &day, const QTime &time);

} // namespace History
