#include "history/periods.h"

#include "link/protocol.h"

#include <QMap>

#include <algorithm>

namespace History {

bool operator==(const StatePeriod &a, const StatePeriod &b)
{
    return a.state == b.state && a.start == b.start && a.end == b.end && a.program == b.program;
}

namespace {

bool hasLink(int state)
{
    return state != DeviceState::NotConnected && state != DeviceState::Connecting;
}

} // namespace

PeriodBuilder::PeriodBuilder(qint64 maxGapMs) : m_maxGapMs(maxGapMs) {}

bool PeriodBuilder::add(const StateSample &sample, StatePeriod *closed)
{
    const QString program = hasLink(sample.state) ? sample.program : QString();
    const bool watchedSince =
        m_seen && !sample.restart && sample.at >= m_last && sample.at - m_last <= m_maxGapMs;
    bool didClose = false;
    if (hasOpen()) {
        const bool same = watchedSince && sample.state == m_open.state && program == m_open.program;
        if (same) {
            m_open.end = sample.at;
        } else {
            // Up to this sample when it was watched all along (a change, a
            // switch-off); otherwise up to the last sign of it.
            m_open.end = watchedSince ? sample.at : m_last;
            *closed = m_open;
            didClose = true;
            m_open = StatePeriod();
        }
    }
    if (!hasOpen() && sample.state != Off)
        m_open = StatePeriod{sample.state, sample.at, sample.at, program};
    m_last = sample.at;
    m_seen = true;
    return didClose;
}

bool PeriodBuilder::finish(StatePeriod *closed)
{
    if (!hasOpen())
        return false;
    *closed = m_open;
    m_open = StatePeriod();
    return true;
}

QVector<StatePeriod> buildPeriods(const QVector<StateSample> &samples, qint64 maxGapMs)
{
    QVector<StatePeriod> periods;
    PeriodBuilder builder(maxGapMs);
    StatePeriod closed;
    for (const StateSample &sample : samples) {
        if (builder.add(sample, &closed))
            periods.append(closed);
    }
    if (builder.finish(&closed))
        periods.append(closed);
    return periods;
}

QString clockText(qint64 ms, bool withSeconds)
{
    const qint64 seconds = qMax<qint64>(0, ms) / 1000;
    const QString text =
        QStringLiteral("%1:%2").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'));
    return withSeconds ? text + QStringLiteral(":%1").arg(seconds % 60, 2, 10, QLatin1Char('0')) : text;
}

bool clip(StatePeriod *period, qint64 from, qint64 to)
{
    // A period of no length (one sample, then nothing) still marks its moment.
    const bool inside = period->start == period->end ? period->start >= from && period->start < to
                                                     : period->start < to && period->end > from;
    if (!inside)
        return false;
    period->start = qMax(period->start, from);
    period->end = qMin(period->end, to);
    return true;
}

Summary summarize(const QVector<StatePeriod> &periods, qint64 from, qint64 to)
{
    Summary summary;
    QMap<QString, qint64> programTime;
    qint64 alarmStretchEnd = -1; // end of the last alarm period counted or continued
    for (StatePeriod period : periods) {
        const qint64 start = period.start;
        if (!clip(&period, from, to))
            continue;
        const qint64 ms = period.end - period.start;
        summary.onMs += ms;
        switch (period.state) {
        case DeviceState::Running:
            summary.runMs += ms;
            if (!period.program.isEmpty())
                programTime[period.program] += ms;
            break;
        case DeviceState::Idle:
            summary.idleMs += ms;
            break;
        case DeviceState::Alarm:
            summary.alarmMs += ms;
            // An alarm split by a change of program is still one alarm.
            if (start != alarmStretchEnd)
                ++summary.alarms;
            break;
        default:
            summary.linklessMs += ms;
            break;
        }
        alarmStretchEnd = period.state == DeviceState::Alarm ? period.end : -1;
    }
    QVector<QPair<qint64, QString>> ranked;
    for (auto it = programTime.cbegin(); it != programTime.cend(); ++it)
        ranked.append({it.value(), it.key()});
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto &a, const auto &b) { return a.first > b.first; });
    for (const auto &entry : ranked) {
        summary.programs.append(entry.second);
        summary.programMs.append(entry.first);
    }
    return summary;
}

qint64 piecesMade(const QVector<PieceSample> &samples)
{
    qint64 made = 0;
    for (int i = 1; i < samples.size(); ++i) {
        const qint64 rise = qint64(samples.at(i).pieces) - samples.at(i - 1).pieces;
        // After a reset the count starts again from the value it was set to.
        made += rise >= 0 ? rise : 0;
    }
    return made;
}

} // namespace History
