#include "historyview/historytimeline.h"

#include <QDateTime>
#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr qint64 HourMs = 60ll * 60 * 1000;
constexpr qint64 DayMs = 24 * HourMs;
constexpr int RightMargin = 8;
constexpr int BandInset = 3;
// Nothing recorded (switched off, the program not running).
const QColor Unrecorded(228, 228, 228);
const QColor GridLine(200, 200, 200);
const QColor NowLine(30, 30, 225);
const QColor TaggedMark(60, 60, 60);
const QColor SelectedFrame(20, 90, 220);

} // namespace

HistoryTimeline::HistoryTimeline(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("historyTimeline"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    measureNames();
}

void HistoryTimeline::setRows(qint64 from, qint64 to, const QVector<Row> &rows)
{
    m_from = from;
    m_to = qMax(to, from + 1);
    m_rows = rows;
    m_selected.clear();
    measureNames();
    updateGeometry();
    update();
}

void HistoryTimeline::setStates(const QVector<QColor> &colours, const QStringList &names)
{
    m_colours = colours;
    m_names = names;
    update();
}

QSize HistoryTimeline::sizeHint() const
{
    return {nameWidth() + 720 + RightMargin, HeaderHeight + RowHeight * int(qMax(1, m_rows.size())) + 2};
}

QSize HistoryTimeline::minimumSizeHint() const
{
    return {nameWidth() + 240, HeaderHeight + RowHeight * int(qMax(1, m_rows.size())) + 2};
}

void HistoryTimeline::measureNames()
{
    int widest = 40;
    for (const Row &row : qAsConst(m_rows))
        widest = qMax(widest, fontMetrics().horizontalAdvance(row.machine));
    m_nameWidth = qMin(widest, 180) + 12;
}

void HistoryTimeline::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        measureNames();
    QWidget::changeEvent(event);
}

double HistoryTimeline::xOf(qint64 time) const
{
    const int left = nameWidth();
    const int width = qMax(1, this->width() - left - RightMargin);
    return left + double(time - m_from) * width / double(m_to - m_from);
}

// Hour marks for a day, day marks for a week, a label where it fits.
void HistoryTimeline::paintScale(QPainter &painter)
{
    const bool week = m_to - m_from > 2 * DayMs;
    const int bottom = HeaderHeight + RowHeight * int(m_rows.size());
    const QLocale locale = this->locale();
    const double hourWidth = (xOf(m_from + HourMs) - xOf(m_from));
    int labelStep = 1; // hours between labels of a day
    for (int step : {1, 2, 3, 4, 6, 12}) {
        labelStep = step;
        if (step * hourWidth >= fontMetrics().horizontalAdvance(QStringLiteral("00:00")) + 10)
            break;
    }
    QDateTime mark = QDateTime::fromMSecsSinceEpoch(m_from);
    for (int hour = 0; mark.toMSecsSinceEpoch() < m_to; ++hour, mark = mark.addSecs(3600)) {
        const int hourOfDay = mark.time().hour();
        const bool labelled = week ? hourOfDay == 0 : hourOfDay % labelStep == 0;
        if (week && hourOfDay % 6 != 0)
            continue;
        const double x = xOf(mark.toMSecsSinceEpoch());
        painter.setPen(labelled ? GridLine.darker(115) : GridLine);
        painter.drawLine(QPointF(x, labelled ? HeaderHeight - 6 : HeaderHeight - 3), QPointF(x, bottom));
        if (!labelled)
            continue;
        painter.setPen(palette().color(QPalette::Text));
        const QString label = week ? locale.toString(mark.date(), QStringLiteral("ddd MM-dd"))
                                   : mark.time().toString(QStringLiteral("HH:mm"));
        painter.drawText(QPointF(x + 2, HeaderHeight - 8), label);
    }
}

void HistoryTimeline::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Base));
    const int left = nameWidth();
    const double right = xOf(m_to);
    for (int i = 0; i < m_rows.size(); ++i) {
        const Row &row = m_rows.at(i);
        const int top = HeaderHeight + i * RowHeight;
        if (top > event->rect().bottom() || top + RowHeight < event->rect().top())
            continue;
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QRect(4, top, left - 8, RowHeight), Qt::AlignVCenter | Qt::AlignLeft,
                         fontMetrics().elidedText(row.machine, Qt::ElideRight, left - 8));
        const int y = top + BandInset;
        const int height = RowHeight - 2 * BandInset;
        painter.fillRect(QRect(left, y, int(right) - left, height), Unrecorded);
        // Whole pixels: the shortest stretch still shows, a pixel wide, and
        // one that falls in a pixel already painted is left out (a week holds
        // tens of thousands of them).
        int painted = -1;
        for (const History::StatePeriod &period : row.periods) {
            const int x0 = int(xOf(period.start));
            const int x1 = qMax(int(xOf(period.end)), x0 + 1);
            if (x1 <= painted)
                continue;
            painter.fillRect(QRect(qMax(x0, painted), y, x1 - qMax(x0, painted), height),
                             m_colours.value(period.state, Unrecorded));
            painted = x1;
        }
        paintStops(painter, i, y, height);
    }
    paintScale(painter);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now > m_from && now < m_to) {
        painter.setPen(QPen(NowLine, 1, Qt::DashLine));
        const double x = xOf(now);
        painter.drawLine(QPointF(x, HeaderHeight), QPointF(x, HeaderHeight + RowHeight * int(m_rows.size())));
    }
}

// A tagged stop is underlined; a chosen one framed.
void HistoryTimeline::paintStops(QPainter &painter, int row, int y, int height)
{
    const QVector<History::Stop> &stops = m_rows.at(row).stops;
    for (int j = 0; j < stops.size(); ++j) {
        const History::Stop &stop = stops.at(j);
        if (stop.end <= m_from || stop.start >= m_to)
            continue;
        const int x0 = int(xOf(qMax(stop.start, m_from)));
        const int x1 = qMax(int(xOf(qMin(stop.end, m_to))), x0 + 1);
        if (stop.reason != 0)
            painter.fillRect(QRect(x0, y + height - 3, x1 - x0, 3), TaggedMark);
        if (m_selected.contains(StopRef(row, j))) {
            painter.setPen(QPen(SelectedFrame, 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRect(x0, y - 1, qMax(2, x1 - x0), height + 2));
        }
    }
}

HistoryTimeline::StopRef HistoryTimeline::stopAt(const QPoint &point) const
{
    const int index = (point.y() - HeaderHeight) / RowHeight;
    if (point.y() < HeaderHeight || index >= m_rows.size() || point.x() < nameWidth())
        return {-1, -1};
    const QVector<History::Stop> &stops = m_rows.at(index).stops;
    // The stop under the point, or one drawn a pixel wide there.
    for (int j = 0; j < stops.size(); ++j) {
        const int x0 = int(xOf(qMax(stops.at(j).start, m_from)));
        const int x1 = qMax(int(xOf(qMin(stops.at(j).end, m_to))), x0 + 1);
        if (point.x() >= x0 - 1 && point.x() <= x1)
            return {index, j};
    }
    return {-1, -1};
}

void HistoryTimeline::setSelectedStops(const QVector<StopRef> &stops)
{
    m_selected = stops;
    update();
    emit selectionChanged();
}

void HistoryTimeline::setStopReasons(int row, const QVector<History::Stop> &stops)
{
    if (row >= 0 && row < m_rows.size())
        m_rows[row].stops = stops;
    update();
}

void HistoryTimeline::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const StopRef stop = stopAt(event->pos());
    const bool adding = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
    QVector<StopRef> selected = adding ? m_selected : QVector<StopRef>();
    if (stop.first >= 0) {
        if (adding && selected.contains(stop))
            selected.removeAll(stop);
        else
            selected.append(stop);
    }
    setSelectedStops(selected);
}

QString HistoryTimeline::textAt(const QPoint &point) const
{
    const int index = (point.y() - HeaderHeight) / RowHeight;
    if (point.y() < HeaderHeight || index >= m_rows.size() || point.x() < nameWidth())
        return QString();
    const Row &row = m_rows.at(index);
    // The last stretch that starts at or before the point and reaches it,
    // a pixel at least.
    const auto after =
        std::upper_bound(row.periods.cbegin(), row.periods.cend(), point.x(),
                         [this](int x, const History::StatePeriod &p) { return x < xOf(p.start); });
    if (after == row.periods.cbegin())
        return QString();
    const History::StatePeriod &period = *(after - 1);
    if (point.x() > qMax(xOf(period.end), xOf(period.start) + 1))
        return QString();
    const bool week = m_to - m_from > 2 * DayMs;
    const QString format = week ? QStringLiteral("MM-dd HH:mm:ss") : QStringLiteral("HH:mm:ss");
    QString text = QStringLiteral("%1\n%2  %3 - %4 (%5)")
                       .arg(row.machine, m_names.value(period.state),
                            QDateTime::fromMSecsSinceEpoch(period.start).toString(format),
                            QDateTime::fromMSecsSinceEpoch(period.end).toString(format),
                            History::clockText(period.end - period.start, true));
    if (!period.program.isEmpty())
        text += QLatin1Char('\n') + tr("程序 %1").arg(period.program);
    return text;
}

bool HistoryTimeline::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString text = textAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}
