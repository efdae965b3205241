// What the machines' history costs: recording what 64 switched-on controllers
// do, and opening the history window on a year of a 64-machine shop.
//
//   bench/bench_history [days of history = 365] [rounds = 5] [seconds per recording phase = 20]
//
// A history.sqlite of 64 machines is generated first (bench/historydata.h:
// shifts, cycles of 5 to 40 minutes, alarms, dropped links, pieces), written
// through the store as the recorder writes. Then:
//
// - the window: the time from constructing the shop's window to its first
//   full paint (grabbed into a pixmap), for a day and a week at the start and
//   the middle of the year and today (the history runs up to now); the same window over an empty file is the
//   reference in the same round. The store's read alone is timed beside it.
//   Three shifts are set throughout; a copy of the year has a reason given
//   to two stops in three ("with reasons").
// - tagging: in the window on today of the copy with reasons, ten stops
//   chosen on the timeline are given a reason, up to the repaint.
// - the recording: 64 devices polled every 500 ms, whose state changes about
//   once a minute and whose piece count rises about every two minutes, told
//   to the recorder as the fleet tells it (every change, and every device at
//   each second's sampling), into the generated file. The process's CPU time
//   (every thread) is compared with the same polling simulation without a
//   recorder, the two phases interleaved; then once more with a change at
//   every poll of every device, far beyond any shop.
#include "bench/benchclock.h"
#include "bench/historydata.h"
#include "config/configstore.h"
#include "config/translations.h"
#include "history/historyrecorder.h"
#include "history/historystore.h"
#include "history/stopreasons.h"
#include "historyview/historywindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

namespace {

using BenchClock::median;

using BenchClock::cpuSeconds;
using BenchClock::runFor;

constexpr int Machines = 64;
constexpr int PollMs = 500;

QStringList machineNames()
{
    QStringList names;
    for (int m = 1; m <= Machines; ++m)
        names << QStringLiteral("M%1").arg(m);
    return names;
}

// Milliseconds from constructing the window (on today) to its first full
// paint; or, given a range, from choosing it in a window already open to the
// paint.
double openWindow(const QString &file, HistoryWindow::Span span = HistoryWindow::Day,
                  const QDate &date = QDate())
{
    QElapsedTimer clock;
    clock.start();
    HistoryWindow window(file, QString(), machineNames());
    window.show();
    QCoreApplication::processEvents();
    QPixmap painted = window.grab();
    if (date.isValid()) {
        clock.restart();
        window.showRange(span, date);
        QCoreApplication::processEvents();
        painted = window.grab();
    }
    const double ms = clock.nsecsElapsed() / 1e6;
    return painted.isNull() ? -1 : ms;
}

// Milliseconds from giving ten chosen stops a reason to the repaint, the
// window's first tag (which opens its connection for writing); (*again) the
// same for ten further stops; (*repaint) a repaint alone of the same window,
// the reference.
double tagTen(const QString &file, const QDate &day, double *again, double *repaint)
{
    HistoryWindow window(file, QString(), machineNames());
    window.showRange(HistoryWindow::Day, day);
    window.show();
    QCoreApplication::processEvents();
    window.grab();
    auto *timeline = window.findChild<HistoryTimeline *>();
    QVector<HistoryTimeline::StopRef> chosen;
    for (int row = 0; row < Machines && chosen.size() < 10; ++row)
        chosen.append({row, 0});
    timeline->setSelectedStops(chosen);
    QElapsedTimer clock;
    clock.start();
    window.update();
    window.grab();
    *repaint = clock.nsecsElapsed() / 1e6;
    clock.restart();
    bool ok = window.tagSelected(3);
    QCoreApplication::processEvents();
    QPixmap painted = window.grab();
    const double ms = clock.nsecsElapsed() / 1e6;
    for (auto &stop : chosen)
        ++stop.second;
    timeline->setSelectedStops(chosen);
    clock.restart();
    ok = window.tagSelected(5) && ok && !painted.isNull();
    QCoreApplication::processEvents();
    painted = window.grab();
    *again = ok && !painted.isNull() ? clock.nsecsElapsed() / 1e6 : -1;
    return ok ? ms : -1;
}

// A copy of the year with a reason given to two stops in three.
bool addReasons(const QString &from, const QString &to)
{
    if (!QFile::copy(from, to))
        return false;
    History::HistoryStore store;
    if (!store.open(to, History::HistoryStore::ReadWrite))
        return false;
    QHash<QString, QVector<History::StatePeriod>> periods;
    store.visitPeriods(0, std::numeric_limits<qint64>::max(), QString(),
                       [&](const QString &name, const History::StatePeriod &p) { periods[name].append(p); });
    History::Batch batch;
    batch.plans.append({0, ConfigStore::instance()->shifts()});
    int n = 0;
    for (auto it = periods.cbegin(); it != periods.cend(); ++it) {
        for (const History::Stop &stop : History::findStops(it.value())) {
            if (++n % 3 != 0)
                batch.tags.append({it.key(), stop.start, 1 + n % 9, QStringLiteral("bench"), stop.end});
        }
    }
    return store.write(batch);
}

double readOnly(const QString &file, HistoryWindow::Span span, const QDate &date, qint64 *periods)
{
    QElapsedTimer clock;
    clock.start();
    History::HistoryStore store;
    *periods = 0;
    if (!store.open(file, History::HistoryStore::ReadOnly))
        return -1;
    const QDate first = span == HistoryWindow::Week ? date.addDays(1 - date.dayOfWeek()) : date;
    const qint64 from = QDateTime(first, QTime(0, 0)).toMSecsSinceEpoch();
    const int length = span == HistoryWindow::Week ? 7 : 1;
    store.visitPeriods(from, QDateTime(first.addDays(length), QTime(0, 0)).toMSecsSinceEpoch(), QString(),
                       [&](const QString &, const History::StatePeriod &) { ++*periods; });
    return clock.nsecsElapsed() / 1e6;
}

// 64 devices polled every 500 ms, as their watches would tell a recorder.
class Shop
{
public:
    Shop(History::Recorder *recorder, int changeEvery, int pieceEvery)
        : m_recorder(recorder), m_changeEvery(changeEvery), m_pieceEvery(pieceEvery), m_state(Machines, 3),
          m_pieces(Machines, 0), m_names(machineNames())
    {
        QObject::connect(&m_polls, &QTimer::timeout, [this] { poll(); });
        if (recorder)
            QObject::connect(recorder, &History::Recorder::sampling, [this] {
                for (int m = 0; m < Machines; ++m)
                    tell(m);
            });
        m_polls.start(PollMs);
    }

private:
    void poll()
    {
        for (int m = 0; m < Machines; ++m) {
            bool changed = false;
            if (m_random.bounded(m_changeEvery) == 0) {
                m_state[m] = m_state[m] == 1 ? 3 : 1;
                changed = true;
            }
            if (m_random.bounded(m_pieceEvery) == 0) {
                ++m_pieces[m];
                changed = true;
            }
            if (changed)
                tell(m);
        }
    }
    void tell(int m)
    {
        if (m_recorder)
            m_recorder->noteState(quintptr(m + 1), m_names.at(m), true, m_state.at(m),
                                  QStringLiteral("O0001"), m_pieces.at(m));
    }

    History::Recorder *m_recorder;
    int m_changeEvery;
    int m_pieceEvery;
    QVector<int> m_state;
    QVector<qint32> m_pieces;
    QStringList m_names;
    QTimer m_polls;
    QRandomGenerator m_random{7};
};

// Percent of one core used over `seconds` with or without a recorder.
double recordingLoad(const QString &file, bool record, int seconds, int changeEvery, int pieceEvery)
{
    std::unique_ptr<History::Recorder> recorder;
    if (record)
        recorder = std::make_unique<History::Recorder>(file, ConfigStore::DefaultHistoryRetentionDays);
    Shop shop(recorder.get(), changeEvery, pieceEvery);
    runFor(1500); // the file opened, every device told once
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = cpuSeconds();
    runFor(seconds * 1000);
    const double cpu = cpuSeconds() - cpu0;
    return 100.0 * cpu / (wall.nsecsElapsed() / 1e9);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int days = argc > 1 ? qMax(7, QByteArray(argv[1]).toInt()) : 365;
    const int rounds = argc > 2 ? qMax(1, QByteArray(argv[2]).toInt()) : 5;
    const int seconds = argc > 3 ? qMax(2, QByteArray(argv[3]).toInt()) : 20;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    ConfigStore::instance()->setLanguage(1);
    ConfigStore::instance()->setShifts({{QStringLiteral("Early"), QTime(6, 0), QTime(14, 0)},
                                        {QStringLiteral("Late"), QTime(14, 0), QTime(22, 0)},
                                        {QStringLiteral("Night"), QTime(22, 0), QTime(6, 0)}});
    Translations::install(1);

    const QString year = dir.filePath(QStringLiteral("history.sqlite"));
    const QString empty = dir.filePath(QStringLiteral("empty.sqlite"));
    const QDate first = QDate::currentDate().addDays(1 - days);
    QElapsedTimer clock;
    clock.start();
    HistoryData::Totals totals;
    {
        History::HistoryStore store;
        if (!store.open(year, History::HistoryStore::ReadWrite) ||
            !HistoryData::generate(&store, machineNames(), first, days, 1, &totals,
                                   QDateTime::currentMSecsSinceEpoch())) {
            std::fprintf(stderr, "cannot generate %s: %s\n", qPrintable(year), qPrintable(store.errorText()));
            return 1;
        }
        History::HistoryStore none;
        none.open(empty, History::HistoryStore::ReadWrite);
    }
    const QString reasons = dir.filePath(QStringLiteral("reasons.sqlite"));
    if (!addReasons(year, reasons)) {
        std::fprintf(stderr, "cannot give the stops of %s reasons\n", qPrintable(reasons));
        return 1;
    }
    std::printf("Generated %d days of %d machines in %.1f s: %lld periods, %lld piece counts, %lld writes; "
                "%.0f MiB\n\n",
                days, Machines, clock.elapsed() / 1000.0, totals.periods, totals.pieces, totals.operations,
                QFileInfo(year).size() / 1048576.0);

    std::printf("| shown | periods | store read, ms | window, ms (empty file) | window, ms (year) | ratio | "
                "window, ms (year with reasons) | ratio |\n"
                "|---|---|---|---|---|---|---|---|\n");
    struct View
    {
        const char *name;
        HistoryWindow::Span span;
        QDate date; // invalid: the window as it opens, on today
    };
    const QDate today = QDate::currentDate();
    const View views[] = {{"opened: today", HistoryWindow::Day, QDate()},
                          {"a day at the start of the year", HistoryWindow::Day, first.addDays(1)},
                          {"a day in the middle", HistoryWindow::Day, first.addDays(days / 2)},
                          {"this week", HistoryWindow::Week, today},
                          {"a week in the middle", HistoryWindow::Week, first.addDays(days / 2)}};
    openWindow(empty); // the first window pays for fonts and styles
    for (const View &view : views) {
        QVector<double> reads, bare, full, tagged;
        qint64 periods = 0;
        for (int round = 0; round < rounds; ++round) {
            bare << openWindow(empty, view.span, view.date);
            full << openWindow(year, view.span, view.date);
            tagged << openWindow(reasons, view.span, view.date);
            reads << readOnly(year, view.span, view.date.isValid() ? view.date : today, &periods);
        }
        std::printf("| %s | %lld | %.1f | %.1f | %.1f | %.2f | %.1f | %.2f |\n", view.name, periods,
                    median(reads), median(bare), median(full), median(full) / median(bare), median(tagged),
                    median(tagged) / median(bare));
        std::fflush(stdout);
    }
    QVector<double> tagging, again, repaints;
    const QDate middle = first.addDays(days / 2);
    const QDate wednesday = middle.addDays(3 - middle.dayOfWeek());
    for (int round = 0; round < rounds; ++round) {
        double repaint = 0, next = 0;
        tagging << tagTen(reasons, wednesday, &next, &repaint);
        again << next;
        repaints << repaint;
    }
    std::printf(
        "\nTen stops given a reason in the window on a day in the middle (year with reasons): %.1f ms "
        "to the repaint, ten more %.1f ms; a repaint alone %.1f ms (ratios %.2f, %.2f)\n",
        median(tagging), median(again), median(repaints), median(tagging) / median(repaints),
        median(again) / median(repaints));

    std::printf("\n| round | load | CPU without recorder | CPU with recorder | added, %% of a core |\n"
                "|---|---|---|---|---|\n");
    struct Load
    {
        const char *name;
        int changeEvery; // polls
        int pieceEvery;
    };
    for (const Load &load : {Load{"a change a minute", 120, 240}, Load{"a change every poll", 1, 1}}) {
        for (int round = 1; round <= (load.changeEvery == 1 ? 1 : rounds); ++round) {
            const bool recordFirst = round % 2 == 0;
            double with = 0, without = 0;
            for (bool record : {recordFirst, !recordFirst})
                (record ? with : without) =
                    recordingLoad(year, record, seconds, load.changeEvery, load.pieceEvery);
            std::printf("| %d | %s | %.2f %% | %.2f %% | %.2f |\n", round, load.name, without, with,
                        with - without);
            std::fflush(stdout);
        }
    }
    return 0;
}
