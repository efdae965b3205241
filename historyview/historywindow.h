#pragma once

#include "history/historystore.h"
#include "historyview/historytimeline.h"

#include <QDate>
#include <QStringList>
#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QTabWidget;
class QSplitter;
class QTableWidget;
class QTimer;
class StopsView;

namespace QtCharts {
class QChart;
class QChartView;
} // namespace QtCharts

// What one machine, or the whole shop, did on a day or in a week: a band per
// machine, the figures (utilization, alarms, pieces, programs), the week's
// hours per state as bars, the writes and deletes; the shown periods can be
// saved as CSV. It reads the history file on its own connection and never
// writes it.
class HistoryWindow : public QWidget
{
    Q_OBJECT

public:
    enum Span { Day, Week };

    // `machine` empty shows the shop: the `machines` of the device list in its
    // order, then any other machine recorded in the range.
    HistoryWindow(const QString &historyFile, const QString &machine, const QStringList &machines,
                  QWidget *parent = nullptr);
    ~HistoryWindow() override;

    void showRange(Span span, const QDate &date);
    Span span() const;
    QDate date() const;
    qint64 from() const { return m_from; }
    qint64 to() const { return m_to; }

    // Reads the range again: what was recorded since shows.
    void reload();
    // How the recording of this run goes, above the bands; empty: no line.
    void setRecordingText(const QString &text);
    // The shown periods, cut to the range, oldest first; false when the file
    // could not be written.
    bool exportCsv(const QString &path) const;

    // Columns of the figures table.
    enum Column {
        Machine,
        SwitchedOn,
        Running,
        Utilization,
        Alarms,
        AlarmTime,
        Pieces,
        Programs,
        ColumnCount
    };

    // Gives the stops chosen on the timeline the reason; false, with a
    // notice, when the file could not be written.
    bool tagSelected(int reason);

signals:
    // Reasons were given here (and written): a stop under way takes its reason.
    void tagged(const QVector<History::StopTag> &tags);

private:
    void buildControls();
    void onRangeEdited();
    void step(int direction);
    void exportShown();
    bool openStore();
    void fillFigures(const QHash<QString, qint64> &pieces);
    void fillChart();
    void fillOperations(const QVector<History::Operation> &operations);
    QString operationText(const QString &kind) const;
    // The stops of the rows, with their reasons; `before` holds, per machine,
    // the start of a stop period under way at the range's start.
    void attachStops(const QHash<QString, qint64> &before);
    void figureRules(History::StopRules *rules, QVector<History::Segment> *cut) const;
    void fillStops();
    // The figures of the given rows again, after their stops were tagged.
    void refreshStops(const QVector<int> &rows);
    // The week's running hours per day, split by shift.
    QtCharts::QChart *shiftChart() const;
    // The CSV lines of a row's periods, with their shift and reason, by start.
    void appendCsvLines(int row, QVector<QPair<qint64, QString>> *lines) const;

    QString m_file;
    QString m_machine;
    QStringList m_machines;
    History::HistoryStore m_store;
    qint64 m_from = 0;
    qint64 m_to = 0;
    QVector<HistoryTimeline::Row> m_rows; // as shown
    QVector<QColor> m_colours;
    QStringList m_stateNames;

    QComboBox *m_span = nullptr;
    QDateEdit *m_date = nullptr;
    QLabel *m_notice = nullptr;
    QLabel *m_recording = nullptr;
    HistoryTimeline *m_timeline = nullptr;
    QTabWidget *m_tabs = nullptr;
    QTableWidget *m_figures = nullptr;
    QtCharts::QChartView *m_chart = nullptr;
    QTableWidget *m_operations = nullptr;
    QTimer *m_refresh = nullptr;
    QSplitter *m_splitter = nullptr;
    StopsView *m_stops = nullptr;
    std::unique_ptr<History::HistoryStore> m_tagStore; // for the tags, once one is given
    QCheckBox *m_byShift = nullptr;
    QVector<QPair<QString, QVector<History::ShiftFigures>>> m_shiftFigures; // per machine, per segment
    QVector<History::ShiftPlan> m_plans;
    bool m_sized = false; // the bands' room set to what they need, once
};
