#include "historyview/stopsview.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

using namespace History;
using namespace QtCharts;

namespace {

QTableWidgetItem *cell(const QString &text, bool number = true)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// The segments of a machine the table shows: time outside the shifts only
// where the machine was on.
QVector<ShiftFigures> shownShifts(const QVector<ShiftFigures> &figures)
{
    QVector<ShiftFigures> shown = byShift(figures);
    shown.erase(std::remove_if(
                    shown.begin(), shown.end(),
                    [](const ShiftFigures &f) { return f.shift == Segment::OutsideShifts && f.onMs == 0; }),
                shown.end());
    return shown;
}

// Stop time per reason, the longest first.
QVector<QPair<int, qint64>> ranked(const QMap<int, qint64> &times)
{
    QVector<QPair<int, qint64>> list;
    for (auto it = times.cbegin(); it != times.cend(); ++it) {
        if (it.value() > 0)
            list.append({it.key(), it.value()});
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const auto &a, const auto &b) { return a.second > b.second; });
    return list;
}

} // namespace

StopsView::StopsView(QWidget *window) : QObject(window), m_window(window)
{
    m_bar = new QWidget;
    m_bar->setObjectName(QStringLiteral("historyReasons"));
    auto *bar = new QHBoxLayout(m_bar);
    bar->setContentsMargins(0, 0, 0, 0);
    m_selection = new QLabel;
    m_selection->setObjectName(QStringLiteral("historyStopSelection"));
    bar->addWidget(m_selection);
    bar->addStretch();
    m_buttons = new QButtonGroup(this);
    connect(m_buttons, &QButtonGroup::idClicked, this, &StopsView::reasonChosen);

    m_table = new QTableWidget(0, ColumnCount);
    m_table->setObjectName(QStringLiteral("historyShifts"));
    m_table->setHorizontalHeaderLabels({tr("机床"), tr("班次"), tr("开机"), tr("运行"), tr("利用率"),
                                        tr("可用率"), tr("停机次数"), tr("短停"), tr("停机时间（按原因）")});
    m_table->horizontalHeader()->setSectionResizeMode(ReasonsColumn, QHeaderView::Stretch);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);

    m_pareto = new QWidget;
    auto *pareto = new QVBoxLayout(m_pareto);
    pareto->setContentsMargins(0, 0, 0, 0);
    m_paretoOf = new QComboBox;
    m_paretoOf->setObjectName(QStringLiteral("historyParetoOf"));
    m_paretoChart = new QChartView;
    m_paretoChart->setObjectName(QStringLiteral("historyPareto"));
    m_paretoChart->setRenderHint(QPainter::Antialiasing);
    auto *choose = new QHBoxLayout;
    choose->addWidget(m_paretoOf);
    choose->addStretch();
    pareto->addLayout(choose);
    pareto->addWidget(m_paretoChart, 1);
    connect(m_paretoOf, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &StopsView::paretoChanged);
    m_pareto->installEventFilter(this);
    setSelectedCount(0);
}

void StopsView::setReasons(const QVector<StopReason> &reasons, int language)
{
    m_reasons = reasons;
    m_language = language;
    const QList<QAbstractButton *> old = m_buttons->buttons();
    for (QAbstractButton *button : old)
        delete button;
    auto *bar = static_cast<QHBoxLayout *>(m_bar->layout());
    for (const StopReason &reason : reasons) {
        if (reason.Retired)
            continue;
        auto *button = new QPushButton(reason.text(language));
        button->setObjectName(QStringLiteral("reason%1").arg(reason.Code));
        button->setAutoDefault(false);
        m_buttons->addButton(button, reason.Code);
        bar->addWidget(button);
    }
    setSelectedCount(0);
}

QString StopsView::reasonText(int code) const
{
    if (code == 0)
        return tr("未填原因");
    const StopReason *reason = StopSettings::reasonOf(m_reasons, code);
    return reason ? reason->text(m_language) : tr("原因 %1").arg(code);
}

void StopsView::setSelectedCount(int count)
{
    m_selection->setText(count == 0 ? tr("点击时间轴上的停机（Ctrl 多选），再点原因：")
                                    : tr("选中 %n 次停机，原因：", nullptr, count));
    const QList<QAbstractButton *> buttons = m_buttons->buttons();
    for (QAbstractButton *button : buttons)
        button->setEnabled(count > 0);
}

QString StopsView::shiftName(const ShiftFigures &figures) const
{
    if (figures.shift == Segment::WholeDay)
        return tr("全天");
    if (figures.shift == Segment::OutsideShifts)
        return tr("班外");
    return figures.name;
}

void StopsView::fillRow(int row, const QString &machine, const ShiftFigures &f)
{
    const QLocale locale = m_window->locale();
    const auto percent = [&](double value) {
        return QStringLiteral("%1 %").arg(locale.toString(100 * value, 'f', 1));
    };
    m_table->setItem(row, MachineColumn, cell(machine, false));
    m_table->setItem(row, ShiftColumn, cell(shiftName(f), false));
    m_table->setItem(row, OnColumn, cell(clockText(f.onMs)));
    m_table->setItem(row, RunColumn, cell(clockText(f.runMs)));
    m_table->setItem(row, UtilizationColumn, cell(percent(f.utilization())));
    m_table->setItem(row, AvailabilityColumn, cell(percent(f.availability())));
    m_table->setItem(row, StopsColumn, cell(QString::number(f.stops)));
    m_table->setItem(row, MicroStopsColumn,
                     cell(QStringLiteral("%1 (%2)").arg(f.microStops).arg(clockText(f.microStopMs, true))));
    QStringList reasons;
    for (const auto &entry : ranked(f.reasonMs))
        reasons << QStringLiteral("%1 %2").arg(reasonText(entry.first), clockText(entry.second));
    m_table->setItem(row, ReasonsColumn, cell(reasons.join(QStringLiteral(", ")), false));
}

void StopsView::setFigures(const QVector<Machine> &machines)
{
    m_machines = machines;
    m_firstRows.clear();
    int row = 0;
    m_table->setRowCount(0);
    for (const Machine &machine : machines) {
        m_firstRows.append(row);
        const QVector<ShiftFigures> shifts = shownShifts(machine.figures);
        for (const ShiftFigures &f : shifts) {
            m_table->insertRow(row);
            fillRow(row, machine.name, f);
            ++row;
        }
    }
    m_firstRows.append(row);
    for (int column = MachineColumn; column < ReasonsColumn; ++column)
        m_table->resizeColumnToContents(column);

    const QString chosen = m_paretoOf->currentIndex() > 0 ? m_paretoOf->currentText() : QString();
    {
        const QSignalBlocker blocker(m_paretoOf);
        m_paretoOf->clear();
        m_paretoOf->addItem(tr("全车间"));
        for (const Machine &machine : machines)
            m_paretoOf->addItem(machine.name);
        m_paretoOf->setCurrentIndex(qMax(0, m_paretoOf->findText(chosen)));
    }
    paretoChanged();
}

void StopsView::setMachineFigures(int index, const QVector<ShiftFigures> &figures)
{
    if (index < 0 || index >= m_machines.size())
        return;
    Machine &machine = m_machines[index];
    machine.figures = figures;
    const QVector<ShiftFigures> shifts = shownShifts(figures);
    const int first = m_firstRows.at(index);
    const int grown = shifts.size() - (m_firstRows.at(index + 1) - first);
    for (int i = grown; i < 0; ++i)
        m_table->removeRow(first);
    for (int i = 0; i < grown; ++i)
        m_table->insertRow(first);
    for (int later = index + 1; later < m_firstRows.size(); ++later)
        m_firstRows[later] += grown;
    for (int i = 0; i < shifts.size(); ++i)
        fillRow(first + i, machine.name, shifts.at(i));
    // A planned stop changes the availability; the rest keeps its width.
    m_table->resizeColumnToContents(AvailabilityColumn);
    paretoChanged();
}

void StopsView::paretoChanged()
{
    m_paretoStale = true;
    if (m_pareto->isVisible())
        fillPareto();
}

bool StopsView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_pareto && event->type() == QEvent::Show && m_paretoStale)
        fillPareto();
    return QObject::eventFilter(watched, event);
}

// Stop time by reason, longest first, with the running share of the whole.
void StopsView::fillPareto()
{
    m_paretoStale = false;
    QMap<int, qint64> times;
    const QString machine = m_paretoOf->currentIndex() > 0 ? m_paretoOf->currentText() : QString();
    for (const Machine &m : qAsConst(m_machines)) {
        if (!machine.isEmpty() && m.name != machine)
            continue;
        for (const ShiftFigures &f : m.figures) {
            for (auto it = f.reasonMs.cbegin(); it != f.reasonMs.cend(); ++it)
                times[it.key()] += it.value();
        }
    }
    const QVector<QPair<int, qint64>> list = ranked(times);
    qint64 total = 0;
    for (const auto &entry : list)
        total += entry.second;

    auto *chart = new QChart;
    auto *bars = new QBarSet(tr("停机时间"));
    bars->setColor(QColor(230, 120, 0));
    auto *share = new QLineSeries;
    share->setName(tr("累计 %"));
    QStringList categories;
    qint64 sum = 0;
    double most = 0;
    for (int i = 0; i < list.size(); ++i) {
        const double hours = double(list.at(i).second) / 3600000.0;
        bars->append(hours);
        most = qMax(most, hours);
        sum += list.at(i).second;
        share->append(i, total > 0 ? 100.0 * double(sum) / double(total) : 0.0);
        categories << reasonText(list.at(i).first);
    }
    auto *series = new QBarSeries;
    series->append(bars);
    chart->addSeries(series);
    chart->addSeries(share);
    auto *axisX = new QBarCategoryAxis;
    axisX->append(categories);
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);
    share->attachAxis(axisX);
    auto *hoursAxis = new QValueAxis;
    hoursAxis->setTitleText(tr("小时"));
    hoursAxis->setRange(0, most > 0 ? most * 1.1 : 1);
    hoursAxis->setLabelFormat(QStringLiteral("%.1f"));
    chart->addAxis(hoursAxis, Qt::AlignLeft);
    series->attachAxis(hoursAxis);
    auto *percentAxis = new QValueAxis;
    percentAxis->setRange(0, 100);
    percentAxis->setLabelFormat(QStringLiteral("%.0f %%"));
    chart->addAxis(percentAxis, Qt::AlignRight);
    share->attachAxis(percentAxis);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setTitle(list.isEmpty() ? tr("没有停机") : QString());
    QChart *old = m_paretoChart->chart();
    m_paretoChart->setChart(chart);
    delete old;
}
