#pragma once

#include "history/historystore.h"
#include "link/protocol.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QStringList>

// A made-up but plausible past for a shop, written through the store as the
// recorder writes it: each machine switched on for a shift (06:00 to 22:00
// give or take, Sundays off), cycles of a program running 5 to 40 minutes
// with idle pauses, now and then an alarm or a dropped link, a piece per
// cycle and a program written now and then. The same seed gives the same
// past.
namespace HistoryData {

struct Totals
{
    qint64 periods = 0;
    qint64 pieces = 0;
    qint64 operations = 0;
};

inline bool generate(History::HistoryStore *store, const QStringList &machines, const QDate &firstDay,
                     int days, quint32 seed, Totals *totals = nullptr, qint64 until = -1)
{
    using namespace History;
    constexpr qint64 MinuteMs = 60 * 1000;
    QRandomGenerator random(seed);
    Batch batch;
    Totals counted;
    auto flush = [&] {
        const bool ok = store->write(batch);
        batch = Batch();
        return ok;
    };
    for (int m = 0; m < machines.size(); ++m) {
        const QString &machine = machines.at(m);
        qint32 pieces = random.bounded(1000);
        for (int day = 0; day < days; ++day) {
            const QDate date = firstDay.addDays(day);
            if (date.dayOfWeek() == Qt::Sunday)
                continue;
            qint64 at = QDateTime(date, QTime(6, 0)).toMSecsSinceEpoch() + random.bounded(60) * MinuteMs;
            const qint64 off =
                QDateTime(date, QTime(21, 30)).toMSecsSinceEpoch() + random.bounded(60) * MinuteMs;
            QString program = QStringLiteral("O%1").arg(1 + random.bounded(40), 4, 10, QLatin1Char('0'));
            auto add = [&](int state, qint64 ms, const QString &name) {
                const qint64 end = qMin(qMin(at + ms, off), until < 0 ? off : until);
                if (end > at) {
                    batch.closed.append({machine, StatePeriod{state, at, end, name}});
                    ++counted.periods;
                }
                at = end;
            };
            add(DeviceState::Connecting, 2000 + random.bounded(3000), QString());
            while (at < off && (until < 0 || at < until)) {
                if (random.bounded(30) == 0)
                    program = QStringLiteral("O%1").arg(1 + random.bounded(40), 4, 10, QLatin1Char('0'));
                add(DeviceState::Running, (5 + random.bounded(36)) * MinuteMs, program);
                batch.pieces.append({machine, PieceSample{at, ++pieces}});
                ++counted.pieces;
                const int chance = random.bounded(100);
                if (chance < 5) {
                    add(DeviceState::Alarm, (2 + random.bounded(18)) * MinuteMs, program);
                } else if (chance < 6) {
                    add(DeviceState::NotConnected, (1 + random.bounded(5)) * MinuteMs, QString());
                    add(DeviceState::Connecting, 3000, QString());
                } else if (chance < 8) {
                    batch.operations.append({machine, at, QStringLiteral("write program"), program,
                                             Result::Ok, qint64(2000 + random.bounded(60000))});
                    ++counted.operations;
                }
                add(DeviceState::Idle, (1 + random.bounded(10)) * MinuteMs, program);
            }
            if (batch.closed.size() > 20000 && !flush())
                return false;
        }
    }
    if (totals)
        *totals = counted;
    return flush();
}

} // namespace HistoryData
