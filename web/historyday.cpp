#include "web/historyday.h"

#include "history/historystore.h"
#include "link/devicestatus.h"
#include "link/exportwords.h"
#include "link/protocol.h"

#include <QFileInfo>

#include <algorithm>

namespace Web {

namespace {

constexpr int MaxTargetLength = 200;

// The board's word for an operation the history recorded; empty for one it
// does not show.
QString boardOperation(const QString &recorded)
{
    for (const DeviceEvent::Kind kind :
         {DeviceEvent::WriteProgram, DeviceEvent::WriteFile, DeviceEvent::DeleteProgram}) {
        if (ExportWords::changeOperation(kind) == recorded)
            return ExportWords::brokerOperation(kind);
    }
    return QString();
}

// Folds one device's periods, met in order of their start, into its day:
// each cut to the day and to where the one before ended, so that a file
// with overlapping or future periods never counts a moment twice.
struct DayFold
{
    Board::PastDay day;
    qint64 reached = 0;

    void add(const History::StatePeriod &period)
    {
        if (period.state < History::Off || period.state > DeviceState::Connecting)
            return;
        const qint64 start = std::max({period.start, day.day, reached});
        const qint64 end = std::min(period.end, day.until);
        if (end <= start)
            return;
        reached = end;
        const bool on = period.state != History::Off;
        const int state = on ? period.state : DeviceState::NotConnected;
        if (on) {
            day.onMs += end - start;
            if (state == DeviceState::Running)
                day.runMs += end - start;
            if (state != DeviceState::NotConnected && state != DeviceState::Connecting)
                day.carried = Board::Period{start, end, state, true};
        }
        day.periods.append(Board::Period{start, end, state, on});
        if (day.periods.size() >= 2 * Board::MaxPeriods)
            day.periods.remove(0, day.periods.size() - Board::MaxPeriods);
    }
};

} // namespace

QHash<QString, Board::PastDay> readPastDay(const QString &file, const QVector<RecordedDevice> &devices,
                                           qint64 day, qint64 until, const std::atomic_bool &cancelled)
{
    QHash<QString, Board::PastDay> days;
    if (devices.isEmpty() || until <= day || !QFileInfo(file).isFile())
        return days;
    History::HistoryStore store;
    if (!store.open(file, History::HistoryStore::ReadOnly))
        return days;
    store.setCancel(&cancelled);
    // A file from before devices had Ids knows them by name alone.
    QHash<QString, QString> namesById;
    store.deviceNames(&namesById);
    QHash<QString, QString> idsByName;
    for (const RecordedDevice &device : devices) {
        const QString name = namesById.value(device.recordId, device.name);
        if (!device.id.isEmpty() && !idsByName.contains(name))
            idsByName.insert(name, device.id);
    }

    QHash<QString, DayFold> folds;
    const bool read = store.visitPeriods(day, until, QString(),
                                         [&](const QString &name, const History::StatePeriod &period) {
                                             const auto id = idsByName.constFind(name);
                                             if (id == idsByName.cend())
                                                 return;
                                             DayFold &fold = folds[*id];
                                             fold.day.day = day;
                                             fold.day.until = until;
                                             fold.add(period);
                                         });
    QVector<History::Operation> operations;
    if (!read || !store.operations(day, until, QString(), &operations))
        return days;
    for (auto fold = folds.begin(); fold != folds.end(); ++fold) {
        if (fold->day.periods.size() > Board::MaxPeriods)
            fold->day.periods.remove(0, fold->day.periods.size() - Board::MaxPeriods);
        days.insert(fold.key(), fold->day);
    }
    for (int i = operations.size() - 1; i >= 0; --i) { // newest first
        const History::Operation &operation = operations.at(i);
        const auto id = idsByName.constFind(operation.device);
        const QString kind = boardOperation(operation.kind);
        if (id == idsByName.cend() || kind.isEmpty())
            continue;
        Board::PastDay &past = days[*id];
        if (past.operations.size() >= Board::MaxOperations)
            continue;
        past.day = day;
        past.until = until;
        past.operations.append(MachineOperation{operation.at, kind, operation.target.left(MaxTargetLength),
                                                operation.result, qMax(qint64(0), operation.bytes)});
    }
    return days;
}

} // namespace Web
