#include "history/shifts.h"

#include <QDateTime>

#include <algorithm>

namespace History {

namespace {

struct Span
{
    qint64 start;
    qint64 end;
    int shift;
    QString name;
};

QDate localDate(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).date();
}

// Appends [start, end) cut at local midnights.
void appendByDay(QVector<Segment> *out, qint64 start, qint64 end, int shift, const QString &name)
{
    while (start < end) {
        const QDate day = localDate(start);
        const qint64 midnight = localMs(day.addDays(1), QTime(0, 0));
        const qint64 cut = midnight > start ? qMin(end, midnight) : end;
        out->append({start, cut, day, shift, name});
        start = cut;
    }
}

// The plan's shifts over [from, to), the time between them as outside.
void appendPlan(QVector<Segment> *out, const QVector<Shift> &shifts, qint64 from, qint64 to)
{
    if (shifts.isEmpty()) {
        appendByDay(out, from, to, Segment::WholeDay, QString());
        return;
    }
    QVector<Span> spans;
    // A night shift of the day before reaches into the first day.
    for (QDate day = localDate(from).addDays(-1); day <= localDate(to - 1); day = day.addDays(1)) {
        for (int i = 0; i < shifts.size(); ++i) {
            const Shift &shift = shifts.at(i);
            const qint64 start = localMs(day, shift.Start);
            const qint64 end = localMs(shift.End > shift.Start ? day : day.addDays(1), shift.End);
            if (end > start)
                spans.append({start, end, i, shift.Name});
        }
    }
    std::sort(spans.begin(), spans.end(), [](const Span &a, const Span &b) { return a.start < b.start; });
    qint64 at = from;
    for (const Span &span : qAsConst(spans)) {
        if (span.end <= at)
            continue; // before the range, or covered by the shift before
        if (span.start >= to)
            break;
        if (span.start > at) {
            appendByDay(out, at, span.start, Segment::OutsideShifts, QString());
            at = span.start;
        }
        const qint64 end = qMin(span.end, to);
        appendByDay(out, at, end, span.shift, span.name);
        at = end;
    }
    if (at < to)
        appendByDay(out, at, to, Segment::OutsideShifts, QString());
}

} // namespace

qint64 localMs(const QDate &day, const QTime &time)
{
    QDateTime local(day, time);
    // A time in the hour the clock skipped is not valid: an hour on is.
    for (int i = 0; !local.isValid() && i < 4; ++i)
        local = QDateTime(day, time.addSecs(3600 * (i + 1)));
    return local.toMSecsSinceEpoch();
}

Segment ShiftLookup::at(qint64 ms)
{
    if (m_day.isEmpty() || ms < m_day.constFirst().start || ms >= m_day.constLast().end) {
        const QDate day = localDate(ms);
        m_day = segments(m_plans, localMs(day, QTime(0, 0)), localMs(day.addDays(1), QTime(0, 0)));
    }
    for (const Segment &segment : qAsConst(m_day)) {
        if (ms >= segment.start && ms < segment.end)
            return segment;
    }
    return Segment();
}

QVector<Segment> segments(const QVector<ShiftPlan> &plans, qint64 from, qint64 to)
{
    QVector<Segment> out;
    if (to <= from)
        return out;
    QVector<ShiftPlan> sorted = plans;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ShiftPlan &a, const ShiftPlan &b) { return a.since < b.since; });
    if (sorted.isEmpty())
        sorted.append(ShiftPlan());
    for (int i = 0; i < sorted.size(); ++i) {
        const qint64 start = i == 0 ? from : qMax(from, sorted.at(i).since);
        const qint64 end = i + 1 < sorted.size() ? qMin(to, sorted.at(i + 1).since) : to;
        if (start < end)
            appendPlan(&out, sorted.at(i).shifts, start, end);
    }
    return out;
}

} // namespace History
