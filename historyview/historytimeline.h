#pragma once

#include "history/periods.h"
#include "history/stopreasons.h"

#include <QColor>
#include <QStringList>
#include <QVector>
#include <QWidget>

// One band per machine across the shown day or week, coloured by state as the
// cards colour them; hovering a stretch tells its state, times and program.
class HistoryTimeline : public QWidget
{
    Q_OBJECT

public:
    struct Row
    {
        QString machine;
        QVector<History::StatePeriod> periods; // within the range, in time order
        QVector<History::Stop> stops;          // in time order; may start before the range
    };
    // A stop chosen on the timeline: its row and its index in the row's stops.
    using StopRef = QPair<int, int>;

    explicit HistoryTimeline(QWidget *parent = nullptr);

    // The range [from, to) in milliseconds since the epoch, and its rows.
    void setRows(qint64 from, qint64 to, const QVector<Row> &rows);
    // Colour and name per state code (0..4).
    void setStates(const QVector<QColor> &colours, const QStringList &names);

    // What the band shows at a point: the hover text, empty where nothing was recorded.
    QString textAt(const QPoint &point) const;

    // A click on a stop chooses it; with Ctrl or Shift it is added to (or
    // taken from) what is chosen.
    QVector<StopRef> selectedStops() const { return m_selected; }
    void setSelectedStops(const QVector<StopRef> &stops);
    // The stop at a point, or (-1, -1).
    StopRef stopAt(const QPoint &point) const;
    // The reasons of the stops changed: drawn again.
    void setStopReasons(int row, const QVector<History::Stop> &stops);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static constexpr int RowHeight = 22;
    static constexpr int HeaderHeight = 22;

signals:
    void selectionChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    int nameWidth() const { return m_nameWidth; }
    void measureNames();
    double xOf(qint64 time) const;
    void paintScale(QPainter &painter);
    void paintStops(QPainter &painter, int row, int y, int height);

    qint64 m_from = 0;
    qint64 m_to = 1;
    QVector<Row> m_rows;
    QVector<QColor> m_colours;
    QStringList m_names;
    QVector<StopRef> m_selected;
    int m_nameWidth = 0; // the column of the machines' names, measured once per change
};
