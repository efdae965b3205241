// The history window's stops: found in the periods, tagged from the
// timeline, summed up per shift.
#include "config/configstore.h"
#include "history/historycsv.h"
#include "historyview/historywindow.h"
#include "historyview/stopsview.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QStackedBarSeries>
#include <QValueAxis>

using namespace History;

void HistoryWindow::attachStops(const QHash<QString, qint64> &before)
{
    QHash<QString, QVector<Stop>> stops;
    qint64 earliest = m_from;
    for (HistoryTimeline::Row &row : m_rows) {
        row.stops = findStops(row.periods);
        // A stop under way at the range's start is known by where it began,
        // maybe days before.
        const auto early = before.constFind(row.machine);
        if (early != before.constEnd() && !row.stops.isEmpty() && row.stops.constFirst().start == m_from) {
            row.stops.first().start = m_store.stopStart(row.machine, early.value());
            earliest = qMin(earliest, row.stops.constFirst().start);
        }
    }
    QVector<StopTag> tags;
    if (m_store.isOpen() && m_store.tags(earliest, m_to, m_machine, &tags) && !tags.isEmpty()) {
        QHash<QPair<QString, qint64>, int> reasons; // the latest tag of each stop
        for (const StopTag &tag : qAsConst(tags))
            reasons.insert({tag.device, tag.stopStart}, tag.reason);
        for (HistoryTimeline::Row &row : m_rows) {
            for (Stop &stop : row.stops)
                stop.reason = reasons.value({row.machine, stop.start});
        }
    }
    if (m_store.isOpen())
        m_store.shiftPlans(&m_plans);
}

void HistoryWindow::figureRules(StopRules *rules, QVector<Segment> *cut) const
{
    const ConfigStore *config = ConfigStore::instance();
    rules->microStopMs = qint64(config->microStopMinutes()) * 60 * 1000;
    rules->now = QDateTime::currentMSecsSinceEpoch();
    const QVector<StopReason> reasons = config->stopReasons();
    for (const StopReason &reason : reasons) {
        if (reason.Planned)
            rules->planned.insert(reason.Code);
    }
    // Without a plan recorded yet, the shifts of SET.
    const QVector<ShiftPlan> plans = m_plans.isEmpty() ? QVector<ShiftPlan>{{0, config->shifts()}} : m_plans;
    *cut = segments(plans, m_from, m_to);
}

void HistoryWindow::fillStops()
{
    StopRules rules;
    QVector<Segment> cut;
    figureRules(&rules, &cut);
    QVector<StopsView::Machine> machines;
    machines.reserve(m_rows.size());
    m_shiftFigures.clear();
    for (const HistoryTimeline::Row &row : qAsConst(m_rows)) {
        machines.append({row.machine, shiftFigures(row.periods, row.stops, cut, rules)});
        m_shiftFigures.append({row.machine, machines.constLast().figures});
    }
    m_stops->setFigures(machines);
}

void HistoryWindow::refreshStops(const QVector<int> &rows)
{
    StopRules rules;
    QVector<Segment> cut;
    figureRules(&rules, &cut);
    for (int index : rows) {
        const HistoryTimeline::Row &row = m_rows.at(index);
        m_shiftFigures[index].second = shiftFigures(row.periods, row.stops, cut, rules);
        m_stops->setMachineFigures(index, m_shiftFigures.at(index).second);
    }
}

bool HistoryWindow::tagSelected(int reason)
{
    const QVector<HistoryTimeline::StopRef> chosen = m_timeline->selectedStops();
    if (chosen.isEmpty() || reason <= 0)
        return false;
    QVector<StopTag> tags;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QString who = userName();
    for (const HistoryTimeline::StopRef &ref : chosen) {
        if (ref.first < 0 || ref.first >= m_rows.size() || ref.second < 0 ||
            ref.second >= m_rows.at(ref.first).stops.size())
            return false;
        const HistoryTimeline::Row &row = m_rows.at(ref.first);
        tags.append({row.machine, row.stops.at(ref.second).start, reason, who, now});
    }
    // A connection for writing, kept once made: the next tag costs no opening.
    if (!m_tagStore) {
        m_tagStore = std::make_unique<HistoryStore>();
        m_tagStore->open(m_file, HistoryStore::ReadWrite);
    }
    Batch batch;
    batch.tags = tags;
    if (!m_tagStore->isOpen() || !m_tagStore->write(batch)) {
        m_notice->setText(tr("停机原因无法保存：%1").arg(m_tagStore->errorText()));
        m_notice->show();
        m_tagStore.reset(); // tried afresh next time
        return false;
    }
    // Shown at once, without reading the range again: only the tagged
    // machines' bands and figures change.
    QVector<int> rows;
    for (const HistoryTimeline::StopRef &ref : chosen) {
        m_rows[ref.first].stops[ref.second].reason = reason;
        if (!rows.contains(ref.first))
            rows.append(ref.first);
    }
    for (int row : qAsConst(rows))
        m_timeline->setStopReasons(row, m_rows.at(row).stops);
    m_timeline->setSelectedStops({});
    refreshStops(rows);
    emit tagged(tags);
    return true;
}

void HistoryWindow::appendCsvLines(int row, QVector<QPair<qint64, QString>> *lines) const
{
    const HistoryTimeline::Row &r = m_rows.at(row);
    const QVector<StopReason> reasons = ConfigStore::instance()->stopReasons();
    ShiftLookup shifts(m_plans.isEmpty() ? QVector<ShiftPlan>{{0, ConfigStore::instance()->shifts()}}
                                         : m_plans);
    int stop = 0;
    for (const StatePeriod &period : r.periods) {
        // The stop that holds a stop period ends at its end or later.
        while (stop < r.stops.size() && r.stops.at(stop).end < period.end)
            ++stop;
        const bool inStop =
            isStopState(period.state) && stop < r.stops.size() && r.stops.at(stop).start <= period.start;
        lines->append(
            {period.start, csvLine(r.machine, period, shifts.at(period.start).name,
                                   inStop ? reasonWord(reasons, r.stops.at(stop).reason) : QString())});
    }
}

QtCharts::QChart *HistoryWindow::shiftChart() const
{
    using namespace QtCharts;
    const QDate monday = QDateTime::fromMSecsSinceEpoch(m_from).date();
    QStringList names; // the shifts in the order first met
    QHash<QString, QVector<double>> hours;
    for (const auto &machine : m_shiftFigures) {
        for (const ShiftFigures &f : machine.second) {
            const QString name = f.shift == Segment::WholeDay        ? tr("全天")
                                 : f.shift == Segment::OutsideShifts ? tr("班外")
                                                                     : f.name;
            const int day = int(monday.daysTo(f.day));
            if (day < 0 || day >= 7)
                continue;
            if (!hours.contains(name)) {
                names.append(name);
                hours.insert(name, QVector<double>(7, 0.0));
            }
            hours[name][day] += double(f.runMs) / 3600000.0;
        }
    }
    auto *chart = new QChart;
    auto *series = new QStackedBarSeries;
    for (const QString &name : qAsConst(names)) {
        auto *set = new QBarSet(name);
        for (double value : hours.value(name))
            set->append(value);
        series->append(set);
    }
    chart->addSeries(series);
    QStringList days;
    for (int day = 0; day < 7; ++day)
        days << locale().toString(monday.addDays(day), QStringLiteral("ddd MM-dd"));
    auto *axisX = new QBarCategoryAxis;
    axisX->append(days);
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);
    auto *axisY = new QValueAxis;
    axisY->setTitleText(tr("运行小时"));
    axisY->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisY);
    chart->legend()->setAlignment(Qt::AlignRight);
    return chart;
}
