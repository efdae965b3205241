#include "history/stopreasons.h"

#include "link/protocol.h"

#include <algorithm>

namespace History {

bool isStopState(int state)
{
    return state == DeviceState::Idle || state == DeviceState::Alarm || state == DeviceState::NotConnected ||
           state == DeviceState::Connecting;
}

QVector<Stop> findStops(const QVector<StatePeriod> &periods)
{
    QVector<Stop> stops;
    bool open = false;
    for (const StatePeriod &period : periods) {
        if (!isStopState(period.state)) {
            open = false;
            continue;
        }
        if (open && stops.last().end == period.start) {
            stops.last().end = qMax(stops.last().end, period.end);
        } else {
            stops.append({period.start, period.end, 0});
            open = true;
        }
    }
    return stops;
}

QString userName()
{
    for (const char *name : {"USER", "USERNAME", "LOGNAME"}) {
        QString user = qEnvironmentVariable(name);
        if (!user.isEmpty())
            return user;
    }
    return QStringLiteral("?");
}

void ShiftFigures::add(const ShiftFigures &other)
{
    shiftMs += other.shiftMs;
    onMs += other.onMs;
    runMs += other.runMs;
    plannedMs += other.plannedMs;
    stops += other.stops;
    microStops += other.microStops;
    microStopMs += other.microStopMs;
    for (auto it = other.reasonMs.cbegin(); it != other.reasonMs.cend(); ++it)
        reasonMs[it.key()] += it.value();
}

namespace {

qint64 overlap(qint64 start, qint64 end, const Segment &segment)
{
    return qMax<qint64>(0, qMin(end, segment.end) - qMax(start, segment.start));
}

} // namespace

QVector<ShiftFigures> shiftFigures(const QVector<StatePeriod> &periods, const QVector<Stop> &stops,
                                   const QVector<Segment> &segments, const StopRules &rules)
{
    QVector<ShiftFigures> figures;
    figures.reserve(segments.size());
    for (const Segment &segment : segments) {
        ShiftFigures f;
        f.day = segment.day;
        f.shift = segment.shift;
        f.name = segment.name;
        f.shiftMs = qMax<qint64>(0, qMin(segment.end, qMax(rules.now, segment.start)) - segment.start);
        figures.append(f);
    }
    if (segments.isEmpty())
        return figures;
    const qint64 from = segments.constFirst().start;

    // Both lists and the segments are in time order: each walk starts at the
    // first segment the item can reach.
    int first = 0;
    for (const StatePeriod &period : periods) {
        while (first < segments.size() && segments.at(first).end <= period.start)
            ++first;
        for (int i = first; i < segments.size() && segments.at(i).start < period.end; ++i) {
            const qint64 ms = overlap(period.start, period.end, segments.at(i));
            figures[i].onMs += ms;
            if (period.state == DeviceState::Running)
                figures[i].runMs += ms;
        }
    }
    first = 0;
    for (const Stop &stop : stops) {
        const bool micro = stop.end - stop.start < rules.microStopMs;
        const bool planned = rules.planned.contains(stop.reason);
        const qint64 countedAt = qMax(stop.start, from);
        while (first < segments.size() && segments.at(first).end <= stop.start)
            ++first;
        // A stop of no length still counts where it is.
        for (int i = first;
             i < segments.size() && (segments.at(i).start < stop.end || segments.at(i).start <= countedAt);
             ++i) {
            const Segment &segment = segments.at(i);
            const qint64 ms = overlap(stop.start, stop.end, segment);
            if (ms > 0)
                figures[i].reasonMs[stop.reason] += ms;
            if (planned)
                figures[i].plannedMs += ms;
            if (micro)
                figures[i].microStopMs += ms;
            if (countedAt >= segment.start && countedAt < segment.end) {
                ++figures[i].stops;
                if (micro)
                    ++figures[i].microStops;
            }
        }
    }
    return figures;
}

QVector<ShiftFigures> byShift(const QVector<ShiftFigures> &figures)
{
    QVector<ShiftFigures> merged;
    for (const ShiftFigures &f : figures) {
        auto it = std::find_if(merged.begin(), merged.end(), [&](const ShiftFigures &m) {
            // Shifts by name: a plan changed during the week keeps its names.
            return qMin(m.shift, 0) == qMin(f.shift, 0) && m.name == f.name;
        });
        if (it == merged.end()) {
            merged.append(f);
            merged.last().day = QDate();
        } else {
            it->add(f);
        }
    }
    return merged;
}

} // namespace History
