#include "historyview/historywindow.h"

#include "config/configstore.h"
#include "devices/statelook.h"
#include "history/historycsv.h"
#include "historyview/stopsview.h"
#include "link/exportwords.h"
#include "link/protocol.h"
#include "link/resulttext.h"
#include "views/dialogs.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QStackedBarSeries>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

using namespace History;
using namespace QtCharts;

namespace {

constexpr qint64 HourMs = 60ll * 60 * 1000;
constexpr int StateCount = 5;
// While the shown range holds the present, what is recorded meanwhile shows.
constexpr int RefreshMs = 30000;

// The colour of a card's state label, from the style the card is given.
QColor styleColour(const QString &style)
{
    static const QRegularExpression colour(QStringLiteral("(?:^|;)\\s*color\\s*:\\s*([^;]+)"));
    static const QRegularExpression rgb(
        QStringLiteral("rgb\\(\\s*(\\d+)\\s*,\\s*(\\d+)\\s*,\\s*(\\d+)\\s*\\)"));
    const QString value = colour.match(style).captured(1).trimmed();
    const QRegularExpressionMatch parts = rgb.match(value);
    if (parts.hasMatch())
        return QColor(parts.captured(1).toInt(), parts.captured(2).toInt(), parts.captured(3).toInt());
    return QColor(value);
}

QTableWidgetItem *cell(const QString &text, bool number = true)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QDate mondayOf(const QDate &date)
{
    return date.addDays(1 - date.dayOfWeek());
}

} // namespace

HistoryWindow::HistoryWindow(const QString &historyFile, const QString &machine, const QStringList &machines,
                             QWidget *parent)
    : QWidget(parent, Qt::Window), m_file(historyFile), m_machine(machine), m_machines(machines)
{
    setObjectName(QStringLiteral("HistoryWindow"));
    // Day names in the program's language, whatever the system's.
    setLocale(QLocale(ConfigStore::instance()->language() == 1 ? QLocale::English : QLocale::Chinese));
    setWindowTitle(machine.isEmpty() ? tr("车间历史") : tr("%1 的历史").arg(machine));
    const QStringList texts = StateLook::texts();
    const QStringList styles = StateLook::styles();
    for (int state = 0; state < StateCount; ++state) {
        m_colours.append(styleColour(styles.value(state)));
        m_stateNames.append(texts.value(state).trimmed());
    }

    buildControls();
    m_refresh = new QTimer(this);
    connect(m_refresh, &QTimer::timeout, this, &HistoryWindow::reload);
    Dialogs::fitToScreen(this, QSize(1000, machine.isEmpty() ? 640 : 480));
    auto *close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    showRange(Day, QDate::currentDate());
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::buildControls()
{
    m_span = new QComboBox;
    m_span->setObjectName(QStringLiteral("historySpan"));
    m_span->addItems({tr("日"), tr("周")});
    auto *earlier = new QToolButton;
    earlier->setObjectName(QStringLiteral("historyEarlier"));
    earlier->setArrowType(Qt::LeftArrow);
    earlier->setToolTip(tr("更早"));
    m_date = new QDateEdit;
    m_date->setObjectName(QStringLiteral("historyDate"));
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    auto *later = new QToolButton;
    later->setObjectName(QStringLiteral("historyLater"));
    later->setArrowType(Qt::RightArrow);
    later->setToolTip(tr("更晚"));
    auto *today = new QPushButton(tr("今天"));
    today->setObjectName(QStringLiteral("historyToday"));
    auto *refresh = new QPushButton(tr("刷新"));
    refresh->setObjectName(QStringLiteral("historyRefresh"));
    auto *exportButton = new QPushButton(tr("导出CSV"));
    exportButton->setObjectName(QStringLiteral("historyExport"));

    auto *controls = new QHBoxLayout;
    for (QWidget *widget :
         {static_cast<QWidget *>(m_span), static_cast<QWidget *>(earlier), static_cast<QWidget *>(m_date),
          static_cast<QWidget *>(later), static_cast<QWidget *>(today)})
        controls->addWidget(widget);
    m_byShift = new QCheckBox(tr("按班次"));
    m_byShift->setObjectName(QStringLiteral("historyByShift"));
    m_byShift->setToolTip(tr("每周图表按班次分开运行时间"));
    controls->addWidget(m_byShift);
    controls->addStretch();
    controls->addWidget(refresh);
    controls->addWidget(exportButton);
    auto *closeButton = new QPushButton(tr("关闭"));
    closeButton->setObjectName(QStringLiteral("historyClose"));
    controls->addWidget(closeButton);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    m_notice = new QLabel;
    m_notice->setObjectName(QStringLiteral("historyNotice"));
    m_notice->setWordWrap(true);
    m_notice->hide();

    m_timeline = new HistoryTimeline;
    m_timeline->setStates(m_colours, m_stateNames);
    auto *scroll = new QScrollArea;
    scroll->setWidget(m_timeline);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);

    QString legend;
    for (int state : {DeviceState::Running, DeviceState::Idle, DeviceState::Alarm, DeviceState::Connecting,
                      DeviceState::NotConnected})
        legend += QStringLiteral("<span style=\"color:%1\">&#9632;</span> %2&nbsp;&nbsp;&nbsp;")
                      .arg(m_colours.at(state).name(), m_stateNames.at(state).toHtmlEscaped());
    auto *legendLabel = new QLabel(legend);
    legendLabel->setObjectName(QStringLiteral("historyLegend"));

    m_figures = new QTableWidget(0, ColumnCount);
    m_figures->setObjectName(QStringLiteral("historyFigures"));
    m_figures->setHorizontalHeaderLabels({tr("机床"), tr("开机"), tr("运行"), tr("利用率"), tr("报警次数"),
                                          tr("报警时间"), tr("件数"), tr("程序")});
    m_figures->horizontalHeader()->setSectionResizeMode(Programs, QHeaderView::Stretch);
    m_figures->verticalHeader()->hide();
    m_figures->setEditTriggers(QAbstractItemView::NoEditTriggers);

    m_chart = new QChartView;
    m_chart->setObjectName(QStringLiteral("historyChart"));
    m_chart->setRenderHint(QPainter::Antialiasing);

    m_operations = new QTableWidget(0, 6);
    m_operations->setObjectName(QStringLiteral("historyOperations"));
    m_operations->setHorizontalHeaderLabels(
        {tr("时间"), tr("机床"), tr("操作"), tr("对象"), tr("结果"), tr("字节")});
    m_operations->horizontalHeader()->setStretchLastSection(true);
    m_operations->verticalHeader()->hide();
    m_operations->setEditTriggers(QAbstractItemView::NoEditTriggers);

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("historyTabs"));
    m_tabs->addTab(m_figures, tr("数字"));
    m_tabs->addTab(m_chart, tr("每日时长"));
    m_tabs->addTab(m_operations, tr("写入与删除"));
    m_stops = new StopsView(this);
    m_stops->setReasons(ConfigStore::instance()->stopReasons(), ConfigStore::instance()->language());
    m_tabs->addTab(m_stops->shiftTable(), tr("班次"));
    m_tabs->addTab(m_stops->pareto(), tr("停机原因"));

    auto *top = new QWidget;
    auto *topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(scroll, 1);
    topLayout->addWidget(legendLabel);
    topLayout->addWidget(m_stops->reasonBar());
    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(top);
    splitter->addWidget(m_tabs);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    m_splitter = splitter;

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_notice);
    layout->addWidget(splitter, 1);

    connect(m_span, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &HistoryWindow::onRangeEdited);
    connect(m_date, &QDateEdit::dateChanged, this, &HistoryWindow::onRangeEdited);
    connect(earlier, &QToolButton::clicked, this, [this] { step(-1); });
    connect(later, &QToolButton::clicked, this, [this] { step(1); });
    connect(today, &QPushButton::clicked, this, [this] { m_date->setDate(QDate::currentDate()); });
    connect(refresh, &QPushButton::clicked, this, &HistoryWindow::reload);
    connect(exportButton, &QPushButton::clicked, this, &HistoryWindow::exportShown);
    connect(m_timeline, &HistoryTimeline::selectionChanged, this,
            [this] { m_stops->setSelectedCount(m_timeline->selectedStops().size()); });
    connect(m_stops, &StopsView::reasonChosen, this, &HistoryWindow::tagSelected);
    connect(m_byShift, &QCheckBox::toggled, this, &HistoryWindow::fillChart);
}

HistoryWindow::Span HistoryWindow::span() const
{
    return m_span->currentIndex() == 1 ? Week : Day;
}

QDate HistoryWindow::date() const
{
    return m_date->date();
}

void HistoryWindow::showRange(Span span, const QDate &date)
{
    {
        const QSignalBlocker spanBlocker(m_span);
        const QSignalBlocker dateBlocker(m_date);
        m_span->setCurrentIndex(span == Week ? 1 : 0);
        m_date->setDate(date);
    }
    onRangeEdited();
}

void HistoryWindow::onRangeEdited()
{
    const bool week = span() == Week;
    const QDate first = week ? mondayOf(date()) : date();
    m_from = QDateTime(first, QTime(0, 0)).toMSecsSinceEpoch();
    m_to = QDateTime(first.addDays(week ? 7 : 1), QTime(0, 0)).toMSecsSinceEpoch();
    m_tabs->setTabEnabled(m_tabs->indexOf(m_chart), week);
    m_byShift->setEnabled(week);
    reload();
}

void HistoryWindow::step(int direction)
{
    m_date->setDate(date().addDays(qint64(direction) * (span() == Week ? 7 : 1)));
}

bool HistoryWindow::openStore()
{
    if (m_store.isOpen())
        return true;
    if (!QFileInfo::exists(m_file)) {
        m_notice->setText(tr("还没有记录历史。"));
    } else if (!m_store.open(m_file, HistoryStore::ReadOnly)) {
        m_notice->setText(tr("历史记录无法读取：%1").arg(m_store.errorText()));
    } else {
        return true;
    }
    m_notice->show();
    return false;
}

void HistoryWindow::reload()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now >= m_from && now < m_to)
        m_refresh->start(RefreshMs);
    else
        m_refresh->stop();

    QHash<QString, QVector<StatePeriod>> periods;
    QHash<QString, QVector<PieceSample>> counts;
    QVector<Operation> operations;
    QStringList recorded;
    QHash<QString, qint64> before;
    if (openStore()) {
        const bool ok = m_store.visitPeriods(m_from, m_to, m_machine,
                                             [&](const QString &name, StatePeriod period) {
                                                 if (period.start < m_from && period.end >= m_from &&
                                                     isStopState(period.state))
                                                     before.insert(name, period.start);
                                                 if (!clip(&period, m_from, m_to))
                                                     return;
                                                 auto it = periods.find(name);
                                                 if (it == periods.end()) {
                                                     it = periods.insert(name, {});
                                                     recorded.append(name);
                                                 }
                                                 it->append(period);
                                             }) &&
                        m_store.visitPieces(m_from, m_to, m_machine,
                                            [&](const QString &name, const PieceSample &sample) {
                                                counts[name].append(sample);
                                            }) &&
                        m_store.operations(m_from, m_to, m_machine, &operations);
        m_notice->setVisible(!ok);
        if (!ok)
            m_notice->setText(tr("历史记录无法读取：%1").arg(m_store.errorText()));
    }

    // The device list's machines in its order, then the others recorded here.
    QStringList names = m_machine.isEmpty() ? m_machines : QStringList{m_machine};
    std::sort(recorded.begin(), recorded.end());
    for (const QString &name : recorded) {
        if (!names.contains(name))
            names.append(name);
    }
    m_rows.clear();
    QHash<QString, qint64> pieces;
    for (const QString &name : names) {
        m_rows.append({name, periods.value(name), {}});
        pieces.insert(name, piecesMade(counts.value(name)));
    }
    attachStops(before);
    m_timeline->setRows(m_from, m_to, m_rows);
    if (!m_sized) {
        // Few machines leave the room to the figures.
        m_sized = true;
        const int bands = m_timeline->sizeHint().height() + 2 * fontMetrics().height() + 8;
        const int total = m_splitter->height() > 0 ? m_splitter->height() : height();
        if (bands < total / 2)
            m_splitter->setSizes({bands, total - bands});
    }
    fillFigures(pieces);
    fillStops();
    fillChart();
    fillOperations(operations);
}

void HistoryWindow::fillFigures(const QHash<QString, qint64> &pieces)
{
    const bool total = m_machine.isEmpty() && m_rows.size() > 1;
    m_figures->setRowCount(m_rows.size() + (total ? 1 : 0));
    Summary shop;
    qint64 shopPieces = 0;
    auto fill = [this](int row, const QString &name, const Summary &s, qint64 made) {
        const QLocale locale = this->locale();
        m_figures->setItem(row, Machine, cell(name, false));
        m_figures->setItem(row, SwitchedOn, cell(clockText(s.onMs)));
        m_figures->setItem(row, Running, cell(clockText(s.runMs)));
        m_figures->setItem(row, Utilization,
                           cell(QStringLiteral("%1 %").arg(locale.toString(100 * s.utilization(), 'f', 1))));
        m_figures->setItem(row, Alarms, cell(QString::number(s.alarms)));
        // Seconds below a minute: a few alarms add up to no minute at all.
        m_figures->setItem(row, AlarmTime, cell(clockText(s.alarmMs, s.alarmMs > 0 && s.alarmMs < 60000)));
        m_figures->setItem(row, Pieces, cell(QString::number(made)));
        QStringList programs;
        for (int i = 0; i < s.programs.size(); ++i)
            programs << QStringLiteral("%1 (%2)").arg(s.programs.at(i), clockText(s.programMs.at(i)));
        m_figures->setItem(row, Programs, cell(programs.join(QStringLiteral(", ")), false));
    };
    for (int i = 0; i < m_rows.size(); ++i) {
        const Summary s = summarize(m_rows.at(i).periods, m_from, m_to);
        const qint64 made = pieces.value(m_rows.at(i).machine);
        fill(i, m_rows.at(i).machine, s, made);
        shop.onMs += s.onMs;
        shop.runMs += s.runMs;
        shop.alarmMs += s.alarmMs;
        shop.alarms += s.alarms;
        shopPieces += made;
    }
    if (total)
        fill(m_rows.size(), tr("合计"), shop, shopPieces);
    // Once filled: sized to their contents at every cell, the columns would
    // be measured again for each cell of a large shop.
    for (int column = Machine; column < Programs; ++column)
        m_figures->resizeColumnToContents(column);
}

// The hours of each state per day of the week, summed over the machines shown.
void HistoryWindow::fillChart()
{
    if (span() != Week)
        return;
    if (m_byShift->isChecked()) {
        QChart *old = m_chart->chart();
        m_chart->setChart(shiftChart());
        delete old;
        return;
    }
    auto *chart = new QChart;
    auto *series = new QStackedBarSeries;
    QStringList days;
    const QDate monday = mondayOf(date());
    QVector<qint64> dayStarts;
    for (int day = 0; day <= 7; ++day)
        dayStarts.append(QDateTime(monday.addDays(day), QTime(0, 0)).toMSecsSinceEpoch());
    for (int day = 0; day < 7; ++day)
        days << locale().toString(monday.addDays(day), QStringLiteral("ddd MM-dd"));
    // Hours per state and day, in one pass over the periods.
    QVector<QVector<double>> hours(StateCount, QVector<double>(7, 0.0));
    for (const HistoryTimeline::Row &row : qAsConst(m_rows)) {
        for (const StatePeriod &period : row.periods) {
            for (int day = 0; day < 7 && period.state >= 0 && period.state < StateCount; ++day) {
                StatePeriod part = period;
                if (clip(&part, dayStarts.at(day), dayStarts.at(day + 1)))
                    hours[period.state][day] += double(part.end - part.start) / HourMs;
            }
        }
    }
    for (int state : {DeviceState::Running, DeviceState::Idle, DeviceState::Alarm, DeviceState::Connecting,
                      DeviceState::NotConnected}) {
        auto *set = new QBarSet(m_stateNames.at(state));
        set->setColor(m_colours.at(state));
        set->setBorderColor(m_colours.at(state).darker(130));
        for (double value : qAsConst(hours.at(state)))
            set->append(value);
        series->append(set);
    }
    chart->addSeries(series);
    auto *axisX = new QBarCategoryAxis;
    axisX->append(days);
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);
    double highest = 0;
    for (int day = 0; day < 7; ++day) {
        double total = 0;
        for (int state = 0; state < StateCount; ++state)
            total += hours.at(state).at(day);
        highest = qMax(highest, total);
    }
    auto *axisY = new QValueAxis;
    axisY->setTitleText(tr("小时"));
    // Labels with as many decimals as their step needs: a few minutes a day
    // must not read 0, 0, 0.
    axisY->setRange(0, highest > 0 ? highest : 1);
    axisY->applyNiceNumbers();
    const double stepHours = (axisY->max() - axisY->min()) / qMax(1, axisY->tickCount() - 1);
    int decimals = 0;
    for (double scaled = stepHours; decimals < 3 && std::abs(scaled - std::round(scaled)) > 1e-6;
         scaled *= 10)
        ++decimals;
    axisY->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisY);
    chart->legend()->setAlignment(Qt::AlignRight);
    QChart *old = m_chart->chart();
    m_chart->setChart(chart);
    delete old;
}

QString HistoryWindow::operationText(const QString &kind) const
{
    if (kind == ExportWords::changeOperation(DeviceEvent::WriteProgram))
        return tr("写入程序");
    if (kind == ExportWords::changeOperation(DeviceEvent::WriteFile))
        return tr("写入文件");
    if (kind == ExportWords::changeOperation(DeviceEvent::DeleteProgram))
        return tr("删除程序");
    return kind;
}

void HistoryWindow::fillOperations(const QVector<Operation> &operations)
{
    m_operations->setRowCount(operations.size());
    const QString format = span() == Week ? QStringLiteral("MM-dd HH:mm:ss") : QStringLiteral("HH:mm:ss");
    for (int i = 0; i < operations.size(); ++i) {
        const Operation &o = operations.at(i);
        m_operations->setItem(i, 0, cell(QDateTime::fromMSecsSinceEpoch(o.at).toString(format), false));
        m_operations->setItem(i, 1, cell(o.device, false));
        m_operations->setItem(i, 2, cell(operationText(o.kind), false));
        m_operations->setItem(i, 3, cell(o.target, false));
        m_operations->setItem(
            i, 4, cell(o.result == Result::Ok ? tr("成功") : ResultText::withCode(o.result), false));
        m_operations->setItem(i, 5, cell(QString::number(o.bytes)));
    }
    m_operations->resizeColumnsToContents();
}

void HistoryWindow::setRecordingText(const QString &text)
{
    if (!m_recording) {
        if (text.isEmpty())
            return;
        m_recording = new QLabel;
        m_recording->setObjectName(QStringLiteral("historyRecording"));
        m_recording->setWordWrap(true);
        auto *column = qobject_cast<QVBoxLayout *>(layout());
        column->insertWidget(column->indexOf(m_notice) + 1, m_recording);
    }
    m_recording->setText(text);
    m_recording->setVisible(!text.isEmpty());
}

bool HistoryWindow::exportCsv(const QString &path) const
{
    QVector<QPair<qint64, QString>> lines;
    for (int row = 0; row < m_rows.size(); ++row)
        appendCsvLines(row, &lines);
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QString text = csvHeader() + QLatin1Char('\n');
    for (const auto &line : lines)
        text += line.second + QLatin1Char('\n');
    const QByteArray bytes = text.toUtf8();
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

void HistoryWindow::exportShown()
{
    // A machine's name may hold what a file name cannot.
    QString what = m_machine.isEmpty() ? QStringLiteral("shop") : m_machine;
    what.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|\\s]+")), QStringLiteral("_"));
    // Named after what is shown: the day, or the week's first and last day.
    const QDate first = QDateTime::fromMSecsSinceEpoch(m_from).date();
    const QDate last = QDateTime::fromMSecsSinceEpoch(m_to).date().addDays(-1);
    QString range = first.toString(Qt::ISODate);
    if (last != first)
        range += QStringLiteral("_") + last.toString(Qt::ISODate);
    const QString proposed = QDir::current().filePath(QStringLiteral("history-%1-%2.csv").arg(what, range));
    const QString path = Dialogs::saveFileName(this, tr("导出CSV"), proposed, tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    if (!exportCsv(path))
        Dialogs::information(this, tr("导出失败"), tr("无法写入 %1。").arg(QDir::toNativeSeparators(path)));
    else
        Dialogs::information(this, tr("导出CSV"), tr("已保存到 %1").arg(QDir::toNativeSeparators(path)));
}
