#pragma once

#include "config/stopsettings.h"
#include "history/stopreasons.h"

#include <QObject>
#include <QVector>

class QButtonGroup;
class QComboBox;
class QLabel;
class QTableWidget;
class QWidget;

namespace QtCharts {
class QChartView;
}

// The history window's parts for stops: the row of reasons that tags the
// stops chosen on the timeline with one click, the figures per machine and
// shift, and the Pareto chart of stop time by reason. The widgets are the
// window's (it lays them out); this object fills them.
class StopsView : public QObject
{
    Q_OBJECT

public:
    explicit StopsView(QWidget *window);

    QWidget *reasonBar() const { return m_bar; }
    QTableWidget *shiftTable() const { return m_table; }
    QWidget *pareto() const { return m_pareto; }

    // The reasons offered (not the retired) and named, in the window's language.
    void setReasons(const QVector<StopReason> &reasons, int language);
    // A reason's text; 0 is the stops without one.
    QString reasonText(int code) const;

    struct Machine
    {
        QString name;
        QVector<History::ShiftFigures> figures; // per segment of the range
    };
    void setFigures(const QVector<Machine> &machines);
    // One machine's figures anew (its stops were tagged): its rows change,
    // and the Pareto chart when next shown.
    void setMachineFigures(int index, const QVector<History::ShiftFigures> &figures);
    void setSelectedCount(int count);

    enum Column {
        MachineColumn,
        ShiftColumn,
        OnColumn,
        RunColumn,
        UtilizationColumn,
        AvailabilityColumn,
        StopsColumn,
        MicroStopsColumn,
        ReasonsColumn,
        ColumnCount
    };

signals:
    void reasonChosen(int code);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString shiftName(const History::ShiftFigures &figures) const;
    void fillRow(int row, const QString &machine, const History::ShiftFigures &figures);
    // The chart is made only while its tab shows; otherwise when next shown.
    void paretoChanged();
    void fillPareto();

    QWidget *m_window;
    QWidget *m_bar = nullptr;
    QLabel *m_selection = nullptr;
    QButtonGroup *m_buttons = nullptr;
    QTableWidget *m_table = nullptr;
    QWidget *m_pareto = nullptr;
    QComboBox *m_paretoOf = nullptr;
    QtCharts::QChartView *m_paretoChart = nullptr;
    QVector<StopReason> m_reasons;
    int m_language = 0;
    QVector<Machine> m_machines;
    QVector<int> m_firstRows; // per machine, its first row in the table; then the row count
    bool m_paretoStale = false;
};
